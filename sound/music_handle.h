// Music handles: a 256-slot table of MIDI data played through the MCI sequencer (with the
// notification that loops or closes the device) or, in the DirectMusic mode, as segments on the
// performance; and the stop/release steps shutdown runs.
#pragma once

#include <windows.h>

constexpr int kMusicHandleSlots = 256;

struct MusicData {
    int checkId;
    int playing;
    int loopOrEnded;
    void* midiData;  // owned, tracked memory
    DWORD midiSize;
    void* segment;  // DirectMusic segment (DirectMusic mode), made on the first play
};

// A new handle holding a copy of standard MIDI file data. The handle, or -1.
int AddMusicHandle(const void* midi, int size);
// Plays through the MCI sequencer (a temporary file of the data); playType 3 loops. 0 / -1.
int PlayMusicHandle(int handle, int playType);
int StopMusicHandle(int handle);
int IsMusicHandlePlaying(int handle);  // 1, 0, or -1 for a bad handle
int ReleaseMusicHandle(int handle);
int ReleaseAllMusicHandles();
int GetMusicHandleCount();
// The MCI device a play opened, 0 when none is open.
unsigned GetMusicDevice();
// Deletes the temporary MIDI file when one was written (sound system end).
void DeleteTemporaryMusicFile();

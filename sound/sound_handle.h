// Sound handles: the 4096-slot table of SoundData records, loading whole sound files as decoded
// PCM into one DirectSound buffer plus duplicates, and playing, stopping and volume per handle.
// Everything runs under the runtime's API lock.
#pragma once

#include <windows.h>
#include <mmreg.h>

#include "sound/sound_buffer.h"
#include "sound/stream_data.h"

constexpr int kSoundHandleSlots = 4096;
constexpr int kMaxSoundBuffers = 10;

struct SoundData {
    int checkId;  // first field: the handle table's check id
    SoundBuffer buffers[kMaxSoundBuffers];
    WAVEFORMATEX format;  // of the PCM in the buffers
    int isStream;         // 0 static sound, 1 stream-type sound
    int playType;         // of the last play (stream form)
    DWORD startTime;      // timeGetTime at the last successful play
    int bufferCount;      // 1..10
    int currentBuffer;    // round-robin index of the buffer the last play used
    DWORD pcmSize;        // decoded PCM kept after it was copied into the buffers
    void* pcm;
    StreamState stream;   // isStream 1 only
};

// A new zero-filled record. With -1 it takes the next slot of the table; with a handle whose
// slot is free the record is made again in that slot under the handle's own check id (an
// occupied slot gives -1). The new handle, or -1.
int AddSoundData(int handle);
// The record of a live sound handle, or null.
SoundData* GetSoundData(int handle);
// Live handles, the table's area end and the check id the next handle gets.
int GetSoundHandleCount();
int GetSoundHandleAreaEnd();
int GetSoundNextCheckId();
// Frees the table's storage once no handle lives (sound system end).
void ClearSoundHandleTable();

// Makes `count` buffers for PCM of `bytes` bytes in `format` on the handle: kind 0 one static
// buffer and duplicates of it. 0 / -1. A refused static buffer is fatal.
int CreateSoundBuffers(const WAVEFORMATEX* format, DWORD bytes, int kind, int count, int handle);
// Decodes a sound file image into a new handle. The handle, or -1.
int LoadSoundHandleFromImage(const void* image, int imageSize, int bufferCount, int linkHandle);

int ReleaseAllSoundsImpl(int logFlag);
int LoadSoundHandleFromFileForward(const char* path, int bufferCount, int linkHandle);
int LoadSoundHandleFromFileImpl(const char* path, int bufferCount, int linkHandle);
int ReleaseSoundHandleImpl(int handle);
int PlaySoundHandleImpl(int handle, int playType, int topFlag);
int StopSoundHandleImpl(int handle);
int IsSoundHandlePlayingImpl(int handle);
int SetSoundHandleVolumeImpl(int volume, int handle);

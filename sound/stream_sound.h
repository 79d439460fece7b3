// Stream-type sounds: sources decoded while they play through a shared or own 6-second ring, the
// per-frame refill the message pump runs, and the stream branches of the sound handles' play,
// stop, playing test, volume and release. Also the per-frame music service and the end steps
// that the window procedure and shutdown call. All under the runtime's API lock.
#pragma once

#include <windows.h>

#include "runtime/stream.h"
#include "sound/sound_buffer.h"

struct SoundData;

int RefillAllStreamBuffers();  // every pump pass
int ServiceMusicPlayback();    // every pump pass
int StopCurrentMusic();        // shutdown: stops what the play-music entry started
// The window procedure's MCI notification (MM_MCINOTIFY).
int OnMciNotify(WPARAM wparam, LPARAM lparam);

// Adds a source read from `stream` to a handle (kind 0, 2 or 3; loop count -1 for ever). keepsFile
// is set to 1 when the source goes on reading the stream, which the handle then closes on release.
// The first source fixes the format and shares linkHandle's ring when it can. 0 / -1.
int AddSreamSound(const StreamFunctionTable* table, StreamHandle stream, int loopCount, int handle, int kind,
                  int* keepsFile, int linkHandle);
int AddStreamSoundWaveFile(const char* path, int loopCount, int handle, int kind, int linkHandle);
// The image is copied (kind 3 is taken as 2), so the caller may free it afterwards.
int AddStreamSoundWaveImage(const void* image, int imageSize, int loopCount, int handle, int kind, int linkHandle);

// The ring the handle plays through: its own or its link's. Another handle holding it is stopped
// and the ring taken only with mayTake set; else -1.
int ClaimStreamBuffer(int handle, SoundBuffer** buffer, int mayTake);
int StartSoundPlayback(int handle, int playType, int topFlag);
int RestartStreamBuffer(int handle);
int RefillStreamBuffer(int handle);
int QueryStreamPlaying(int handle);
int HaltStreamPlayback(int handle);
int SetStreamVolume(int handle, LONG attenuation);
// Stops the handle and frees its sources and ring (or leaves the ring to the handles sharing it).
// 1 when the caller should now free the record, 0 when it stays for the handles still sharing it.
int ReleaseStreamPart(int handle, SoundData* sound);
// Releases a handle whose record was kept only for its sharers, once the last one has gone.
void ReleasePendingStreamLink(int linkHandle);

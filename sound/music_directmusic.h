// The DirectMusic mode of the sound service: DirectSound comes from a DirectMusic performance
// set up for 64 channels at 44100 Hz, and music handles play as segments on that performance.
// Off unless set before the sound service starts.
#pragma once

#include <windows.h>
#include <mmreg.h>
#include <dsound.h>

// The mode flag, read when the sound service starts. 0 / 1.
void SetDirectMusicMode(int flag);
int GetDirectMusicMode();
// 1 while the performance is up.
int IsDirectMusicStarted();

// Creates the loader, the performance and the DirectMusic object, logs the ports, and sets up the
// performance's audio, which hands out the IDirectSound the sound service uses (the caller
// releases it). 0, or -1 with everything undone: the caller starts DirectSound on its own.
int StartDirectMusic(HWND window, IDirectSound** sound);
void EndDirectMusic();

// Segments of standard MIDI file data, downloaded to the performance. Each returns -1 when the
// performance is not up or DirectMusic refuses.
int DirectMusicLoadSegment(const void* midi, DWORD size, void** segment);
int DirectMusicPlaySegment(void* segment, int loop);
int DirectMusicStopSegment(void* segment);
int DirectMusicIsSegmentPlaying(void* segment);  // 1 / 0 / -1
void DirectMusicReleaseSegment(void* segment);    // unloads and releases

// Start and end of the sound service: the DirectSound object, its primary buffer and the silent
// looping buffer that keeps the device awake for the whole run.
#pragma once

#include <windows.h>
#include <mmreg.h>
#include <dsound.h>

// 0, or -1 when already started or DirectSound cannot be created or initialised.
int InitSoundSystem();
// Releases every sound and the DirectSound objects. 0; -1 when not started.
int TerminateSoundSystem();
// 1 while DirectSound is up.
int IsSoundSystemStarted();
// The DirectSound object while the sound service runs, else null.
IDirectSound* GetDirectSoundObject();
// How whole files are loaded: 0 decodes them into static buffers (the only mode used here).
int GetSoundLoadMode();
// Sets it: 0, or a stream source kind (2 or 3) that makes loads stream-type handles. 0 / -1.
int SetSoundLoadMode(int mode);

// Attenuation in hundredths of a decibel for a volume level 0..255 (255 and above full volume,
// 0 and below silent, otherwise 1000 x log10(v / 255) truncated, at least -10000).
LONG SoundVolumeToAttenuation(int volume);

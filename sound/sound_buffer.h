// One playable DirectSound secondary buffer and the thin operations the sound handles use on it;
// each returns -1 when the buffer is not valid or DirectSound refuses the call.
#pragma once

#include <windows.h>
#include <mmreg.h>
#include <dsound.h>

struct SoundBuffer {
    int valid;                   // 1 once created
    IDirectSoundBuffer* buffer;  // owned
};

// Creates the buffer from a description through the sound system's DirectSound object.
int SoundBufferCreate(SoundBuffer* buffer, const DSBUFFERDESC* description);
// Makes `buffer` a duplicate of `source`, sharing its sound data.
int SoundBufferDuplicate(SoundBuffer* buffer, const SoundBuffer* source);
int SoundBufferRelease(SoundBuffer* buffer);
int SoundBufferPlay(SoundBuffer* buffer, int loop);
int SoundBufferStop(SoundBuffer* buffer);
// Status word; bit 0 (DSBSTATUS_PLAYING) is set while it plays.
int SoundBufferGetStatus(SoundBuffer* buffer, DWORD* status);
int SoundBufferLock(SoundBuffer* buffer, DWORD offset, DWORD bytes, void** first, DWORD* firstLength, void** second,
                    DWORD* secondLength);
int SoundBufferUnlock(SoundBuffer* buffer, void* first, DWORD firstLength, void* second, DWORD secondLength);
// Attenuation in hundredths of a decibel (0 full, -10000 silent).
int SoundBufferSetVolume(SoundBuffer* buffer, LONG volume);
int SoundBufferGetVolume(SoundBuffer* buffer, LONG* volume);
int SoundBufferGetPosition(SoundBuffer* buffer, DWORD* play, DWORD* write);
int SoundBufferSetPosition(SoundBuffer* buffer, DWORD position);

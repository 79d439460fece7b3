// DirectSound side of a sound buffer: each operation is the matching IDirectSoundBuffer call.
#include "sound/sound_buffer.h"

#include "sound/sound_system.h"

int SoundBufferCreate(SoundBuffer* buffer, const DSBUFFERDESC* description) {
    IDirectSound* sound = GetDirectSoundObject();
    if (sound == nullptr) return -1;
    IDirectSoundBuffer* created = nullptr;
    if (FAILED(sound->CreateSoundBuffer(description, &created, nullptr)) || created == nullptr) return -1;
    buffer->buffer = created;
    buffer->valid = 1;
    return 0;
}

int SoundBufferDuplicate(SoundBuffer* buffer, const SoundBuffer* source) {
    IDirectSound* sound = GetDirectSoundObject();
    if (sound == nullptr || !source->valid) return -1;
    IDirectSoundBuffer* created = nullptr;
    if (FAILED(sound->DuplicateSoundBuffer(source->buffer, &created)) || created == nullptr) return -1;
    buffer->buffer = created;
    buffer->valid = 1;
    return 0;
}

int SoundBufferRelease(SoundBuffer* buffer) {
    if (!buffer->valid) return -1;
    buffer->buffer->Release();
    buffer->buffer = nullptr;
    buffer->valid = 0;
    return 0;
}

int SoundBufferPlay(SoundBuffer* buffer, int loop) {
    if (!buffer->valid) return -1;
    return FAILED(buffer->buffer->Play(0, 0, loop ? DSBPLAY_LOOPING : 0)) ? -1 : 0;
}

int SoundBufferStop(SoundBuffer* buffer) {
    if (!buffer->valid) return -1;
    return FAILED(buffer->buffer->Stop()) ? -1 : 0;
}

int SoundBufferGetStatus(SoundBuffer* buffer, DWORD* status) {
    if (!buffer->valid) return -1;
    return FAILED(buffer->buffer->GetStatus(status)) ? -1 : 0;
}

int SoundBufferLock(SoundBuffer* buffer, DWORD offset, DWORD bytes, void** first, DWORD* firstLength, void** second,
                    DWORD* secondLength) {
    if (!buffer->valid) return -1;
    return FAILED(buffer->buffer->Lock(offset, bytes, first, firstLength, second, secondLength, 0)) ? -1 : 0;
}

int SoundBufferUnlock(SoundBuffer* buffer, void* first, DWORD firstLength, void* second, DWORD secondLength) {
    if (!buffer->valid) return -1;
    return FAILED(buffer->buffer->Unlock(first, firstLength, second, secondLength)) ? -1 : 0;
}

int SoundBufferSetVolume(SoundBuffer* buffer, LONG volume) {
    if (!buffer->valid) return -1;
    return FAILED(buffer->buffer->SetVolume(volume)) ? -1 : 0;
}

int SoundBufferGetVolume(SoundBuffer* buffer, LONG* volume) {
    if (!buffer->valid) return -1;
    return FAILED(buffer->buffer->GetVolume(volume)) ? -1 : 0;
}

int SoundBufferGetPosition(SoundBuffer* buffer, DWORD* play, DWORD* write) {
    if (!buffer->valid) return -1;
    return FAILED(buffer->buffer->GetCurrentPosition(play, write)) ? -1 : 0;
}

int SoundBufferSetPosition(SoundBuffer* buffer, DWORD position) {
    if (!buffer->valid) return -1;
    return FAILED(buffer->buffer->SetCurrentPosition(position)) ? -1 : 0;
}

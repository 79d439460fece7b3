// Locked public entries of the sound service: each takes the API lock around its Impl.
#include "runtime/api_lock.h"
#include "sound/sound.h"
#include "sound/sound_handle.h"

int ReleaseAllSounds(int logFlag) {
    ApiLockScope lock;
    return ReleaseAllSoundsImpl(logFlag);
}

int LoadSoundHandleFromFile(const char* path, int bufferCount, int linkHandle) {
    ApiLockScope lock;
    return LoadSoundHandleFromFileForward(path, bufferCount, linkHandle);
}

int ReleaseSoundHandle(int handle) {
    ApiLockScope lock;
    return ReleaseSoundHandleImpl(handle);
}

int PlaySoundHandle(int handle, int playType, int topFlag) {
    ApiLockScope lock;
    return PlaySoundHandleImpl(handle, playType, topFlag);
}

int StopSoundHandle(int handle) {
    ApiLockScope lock;
    return StopSoundHandleImpl(handle);
}

int IsSoundHandlePlaying(int handle) {
    ApiLockScope lock;
    return IsSoundHandlePlayingImpl(handle);
}

int SetSoundHandleVolume(int volume, int handle) {
    ApiLockScope lock;
    return SetSoundHandleVolumeImpl(volume, handle);
}

// The sound functions the game calls: load whole sound files into handles, play, stop, test and
// set the volume of them, release them. Each takes the runtime's API lock around its Impl.
#pragma once

// Releases every sound handle (the flag is passed on and has no effect). 0.
int ReleaseAllSounds(int logFlag);
// Loads a whole sound file (WAV, compressed WAV, Ogg Vorbis, MP3) into a handle with bufferCount
// (1..10) DirectSound buffers, so that it can sound that many times at once. linkHandle is -1.
// The handle, or -1.
int LoadSoundHandleFromFile(const char* path, int bufferCount, int linkHandle);
int ReleaseSoundHandle(int handle);

// Play types: normal waits until the sound ends, back returns at once, loop repeats for ever.
enum SoundPlayType {
    kSoundPlayNormal = 0,
    kSoundPlayBack = 1,
    kSoundPlayLoop = 3,
};
// Plays on the handle's next buffer; topFlag 1 starts from the beginning (restarting a playing
// buffer), 0 leaves a playing buffer alone. 0 / -1.
int PlaySoundHandle(int handle, int playType, int topFlag);
int StopSoundHandle(int handle);
// 1 playing, 0 not, -1 bad handle.
int IsSoundHandlePlaying(int handle);
// volume 0..255 (255 full). 0 / -1.
int SetSoundHandleVolume(int volume, int handle);

// Sound handles over DirectSound buffers: the handle table, whole-file loading into static
// buffers, round-robin playing across a handle's duplicates, stop, playing test, volume, release.
#include "sound/sound_handle.h"

#include <string.h>

#include "runtime/file.h"
#include "runtime/handle.h"
#include "runtime/log.h"
#include "runtime/memory.h"
#include "runtime/message_pump.h"
#include "runtime/stream.h"
#include "sound/audio_decoder.h"
#include "sound/sound.h"
#include "sound/sound_system.h"
#include "sound/stream_sound.h"

namespace {

HandleTableCore g_sounds = {kHandleTypeSound, kSoundHandleSlots, 0, 0, 0, nullptr};

bool EnsureTable() {
    if (g_sounds.records) return true;
    int nextCheckId = g_sounds.nextCheckId;
    if (HandleTableCoreInit(&g_sounds, kHandleTypeSound, kSoundHandleSlots) != 0) return false;
    g_sounds.nextCheckId = nextCheckId;
    return true;
}

// The record of a handle while DirectSound is up; every operation refuses otherwise.
SoundData* LiveSound(int handle) {
    if (!IsSoundSystemStarted()) return nullptr;
    return GetSoundData(handle);
}

// DirectSound plays what its format says; a decoder's PCM that it would refuse must be turned
// away here, where it is a bad file and not a failing device.
bool IsPlayablePcm(WAVEFORMATEX* format, DWORD bytes) {
    if (format->wFormatTag != WAVE_FORMAT_PCM) return false;
    if (format->nChannels < 1 || format->nChannels > 8) return false;
    WORD bits = format->wBitsPerSample;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (format->nBlockAlign != format->nChannels * bits / 8) return false;
    if (format->nSamplesPerSec < DSBFREQUENCY_MIN || format->nSamplesPerSec > DSBFREQUENCY_MAX) return false;
    if (bytes < DSBSIZE_MIN || bytes > DSBSIZE_MAX) return false;
    // A sloppy byte rate in a file header does not change what the data is.
    format->nAvgBytesPerSec = format->nSamplesPerSec * format->nBlockAlign;
    format->cbSize = 0;
    return true;
}

// Reads a whole file through the file layer into a new tracked block.
int LoadWholeFile(const char* path, void** image, int* size) {
    *image = nullptr;
    *size = 0;
    FileHandle file = FileLayerOpen(path, 0, 0);
    if (file == 0) {
        WriteLogFormat("右記のファイルのオープンに失敗しました：%s", path);
        return -1;
    }
    FileLayerSeek(file, 0, SEEK_END);
    int length = FileLayerTell(file);
    FileLayerSeek(file, 0, SEEK_SET);
    if (length < 0) length = 0;
    void* block = KV_ALLOC(length ? (size_t)length : 1);
    if (block == nullptr) {
        FileLayerClose(file);
        WriteLogFormat("右記のファイルのロードに必要なメモリの確保に失敗しました：%s", path);
        return -1;
    }
    size_t got = length ? FileLayerRead(block, 1, (size_t)length, file) : 0;
    FileLayerClose(file);
    *image = block;
    *size = (int)got;
    return 0;
}

// Copies the PCM into every buffer of the handle.
int FillBuffers(SoundData* sound, const void* pcm, DWORD bytes) {
    for (int i = 0; i < sound->bufferCount; ++i) {
        void* first = nullptr;
        void* second = nullptr;
        DWORD firstLength = 0, secondLength = 0;
        if (SoundBufferLock(&sound->buffers[i], 0, bytes, &first, &firstLength, &second, &secondLength) != 0) {
            WriteLogFormat("サウンドデータの転送に失敗しました_1");
            return -1;
        }
        DWORD head = firstLength < bytes ? firstLength : bytes;
        memcpy(first, pcm, head);
        if (second && head < bytes) {
            DWORD tail = bytes - head < secondLength ? bytes - head : secondLength;
            memcpy(second, (const BYTE*)pcm + head, tail);
        }
        if (SoundBufferUnlock(&sound->buffers[i], first, firstLength, second, secondLength) != 0) {
            WriteLogFormat("サウンドデータの転送に失敗しました_2");
            return -1;
        }
    }
    return 0;
}

}  // namespace

// ---- Handle table ----

int AddSoundData(int handle) {
    if (!EnsureTable()) return -1;
    SoundData* sound = nullptr;
    if (handle == -1) {
        if (g_sounds.liveCount >= kSoundHandleSlots) {
            WriteLog("サウンドの数が許容量を越えました\n");
            return -1;
        }
        sound = (SoundData*)KV_ALLOC_ZEROED(sizeof(SoundData));
        if (sound == nullptr) {
            WriteLogFormat("メモリ領域の確保に失敗しました in AddSoundData");
            return -1;
        }
        int made = HandleTableCoreAdd(&g_sounds, sound);
        if (made < 0) KV_FREE(sound);
        return made;
    }

    // A given handle is made again in its own slot, under its own check id.
    if (handle < 0 || HandleTypeOf(handle) != kHandleTypeSound) return -1;
    int slot = HandleSlotOf(handle);
    if (slot >= kSoundHandleSlots || g_sounds.records[slot] != nullptr) return -1;
    sound = (SoundData*)KV_ALLOC_ZEROED(sizeof(SoundData));
    if (sound == nullptr) {
        WriteLogFormat("メモリ領域の確保に失敗しました in AddSoundData");
        return -1;
    }
    sound->checkId = HandleCheckIdOf(handle);
    g_sounds.records[slot] = sound;
    g_sounds.liveCount += 1;
    if (slot >= g_sounds.highWater) g_sounds.highWater = slot + 1;
    return handle;
}

SoundData* GetSoundData(int handle) { return (SoundData*)HandleTableCoreGet(&g_sounds, handle); }
int GetSoundHandleCount() { return g_sounds.liveCount; }
int GetSoundHandleAreaEnd() { return g_sounds.highWater; }
int GetSoundNextCheckId() { return g_sounds.nextCheckId; }

void ClearSoundHandleTable() {
    if (g_sounds.records == nullptr || g_sounds.liveCount != 0) return;
    int nextCheckId = g_sounds.nextCheckId;
    HandleTableCoreDestroy(&g_sounds);
    g_sounds.nextCheckId = nextCheckId;
}

// ---- Buffers ----

int CreateSoundBuffers(const WAVEFORMATEX* format, DWORD bytes, int kind, int count, int handle) {
    SoundData* sound = LiveSound(handle);
    if (sound == nullptr || kind != 0) return -1;
    if (count < 1) count = 1;
    if (count > kMaxSoundBuffers) count = kMaxSoundBuffers;

    WAVEFORMATEX wave = *format;
    DSBUFFERDESC description;
    memset(&description, 0, sizeof(description));
    description.dwSize = sizeof(description);
    description.dwFlags =
        DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | DSBCAPS_GLOBALFOCUS;
    description.dwBufferBytes = bytes;
    description.lpwfxFormat = &wave;
    if (SoundBufferCreate(&sound->buffers[0], &description) != 0) {
        description.dwFlags = DSBCAPS_STATIC | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
        if (SoundBufferCreate(&sound->buffers[0], &description) != 0) FatalError("DirectSoundBuffer の作成に失敗しました");
    }
    int made = 1;
    while (made < count && SoundBufferDuplicate(&sound->buffers[made], &sound->buffers[0]) == 0) ++made;
    sound->bufferCount = made;
    sound->currentBuffer = 0;
    return 0;
}

// ---- Loading ----

int LoadSoundHandleFromImage(const void* image, int imageSize, int bufferCount, int linkHandle) {
    int loadMode = GetSoundLoadMode();
    if (loadMode == 2 || loadMode == 3) {
        // Stream-load mode: the image becomes the one source of a stream-type handle.
        if (!IsSoundSystemStarted() || image == nullptr || imageSize < 0) return -1;
        int handle = AddSoundData(-1);
        if (handle < 0) return -1;
        if (AddStreamSoundWaveImage(image, imageSize, 0, handle, loadMode, linkHandle) != 0 ||
            RestartStreamBuffer(handle) != 0) {
            ReleaseSoundHandleImpl(handle);
            return -1;
        }
        return handle;
    }
    if (bufferCount > kMaxSoundBuffers) return -1;
    if (bufferCount < 1) bufferCount = 1;
    if (!IsSoundSystemStarted() || image == nullptr || imageSize < 0) return -1;
    int handle = AddSoundData(-1);
    if (handle < 0) return -1;

    WAVEFORMATEX format;
    void* pcm = nullptr;
    DWORD pcmSize = 0;
    StreamHandle stream = OpenMemoryStream(image, imageSize);
    if (stream == 0) {
        ReleaseSoundHandleImpl(handle);
        return -1;
    }
    AudioDecoder* decoder = (AudioDecoder*)KV_ALLOC_ZEROED(sizeof(AudioDecoder));
    int result = -1;
    if (decoder == nullptr || AudioDecoderOpen(GetMemoryStreamFunctions(), stream, decoder) != 0) {
        WriteLogFormat("音声ファイルのＰＣＭへの変換に失敗しました");
    } else {
        if (AudioDecoderReadAll(decoder, &format, &pcm, &pcmSize) != 0) {
            WriteLogFormat("音声ファイルを格納するメモリ領域の確保に失敗しました");
        } else if (pcm == nullptr || !IsPlayablePcm(&format, pcmSize)) {
            // Nothing playable came out: a bad file, not a reason to stop the program.
            WriteLogFormat("音声ファイルのＰＣＭへの変換に失敗しました");
        } else {
            result = 0;
        }
        AudioDecoderClose(decoder);
    }
    KV_FREE(decoder);
    CloseMemoryStream(stream);

    if (result == 0) result = CreateSoundBuffers(&format, pcmSize, 0, bufferCount, handle);
    SoundData* sound = GetSoundData(handle);
    if (result == 0) {
        sound->format = format;
        sound->pcm = pcm;
        sound->pcmSize = pcmSize;
        pcm = nullptr;
        result = FillBuffers(sound, sound->pcm, pcmSize);
    }
    if (pcm) KV_FREE(pcm);
    if (result != 0) {
        ReleaseSoundHandleImpl(handle);
        return -1;
    }
    return handle;
}

int LoadSoundHandleFromFileImpl(const char* path, int bufferCount, int linkHandle) {
    if (bufferCount > kMaxSoundBuffers) bufferCount = kMaxSoundBuffers;
    if (path == nullptr || !IsSoundSystemStarted()) return -1;
    int loadMode = GetSoundLoadMode();
    if (loadMode == 2 || loadMode == 3) {
        // Stream-load mode: the file becomes the one source of a stream-type handle.
        int handle = AddSoundData(-1);
        if (handle < 0) return -1;
        if (AddStreamSoundWaveFile(path, 0, handle, loadMode, linkHandle) != 0 || RestartStreamBuffer(handle) != 0) {
            ReleaseSoundHandleImpl(handle);
            return -1;
        }
        return handle;
    }
    void* image = nullptr;
    int size = 0;
    if (LoadWholeFile(path, &image, &size) != 0) {
        WriteLogFormat("右記の音声ファイルのロードに失敗しました_1：%s", path);
        return -1;
    }
    int handle = LoadSoundHandleFromImage(image, size, bufferCount, linkHandle);
    if (handle < 0) WriteLogFormat("右記の音声ファイルのロードに失敗しました_2：%s", path);
    KV_FREE(image);
    return handle;
}

int LoadSoundHandleFromFileForward(const char* path, int bufferCount, int linkHandle) {
    return LoadSoundHandleFromFileImpl(path, bufferCount, linkHandle);
}

// ---- Playing ----

int PlaySoundHandleImpl(int handle, int playType, int topFlag) {
    SoundData* sound = LiveSound(handle);
    if (sound == nullptr) return -1;
    if (sound->isStream) return StartSoundPlayback(handle, playType, topFlag);
    if (sound->bufferCount < 1) return -1;

    DWORD playPosition = 0, writePosition = 0;
    if (SoundBufferGetPosition(&sound->buffers[sound->currentBuffer], &playPosition, &writePosition) != 0)
        playPosition = 0;
    sound->currentBuffer = sound->currentBuffer + 1 >= sound->bufferCount ? 0 : sound->currentBuffer + 1;
    SoundBuffer* buffer = &sound->buffers[sound->currentBuffer];

    DWORD status = 0;
    if (SoundBufferGetStatus(buffer, &status) == 0 && (status & DSBSTATUS_PLAYING)) {
        if (topFlag == 0) return 0;
        SoundBufferStop(buffer);
    }
    SoundBufferSetPosition(buffer, topFlag == 1 ? 0 : playPosition);
    if (SoundBufferPlay(buffer, playType == kSoundPlayLoop) != 0) return -1;
    sound->startTime = timeGetTime();

    if (playType == kSoundPlayNormal) {
        // A normal play holds the caller until the sound has ended, keeping messages flowing.
        while (ProcessMessageImpl() == 0 && IsSoundHandlePlayingImpl(handle) == 1) Sleep(1);
    }
    return 0;
}

int StopSoundHandleImpl(int handle) {
    SoundData* sound = LiveSound(handle);
    if (sound == nullptr) return -1;
    if (sound->isStream) return HaltStreamPlayback(handle);
    for (int i = 0; i < sound->bufferCount; ++i) {
        DWORD status = 0;
        if (SoundBufferGetStatus(&sound->buffers[i], &status) != 0) return -1;
        if (status & DSBSTATUS_PLAYING) SoundBufferStop(&sound->buffers[i]);
    }
    return 0;
}

int IsSoundHandlePlayingImpl(int handle) {
    SoundData* sound = LiveSound(handle);
    if (sound == nullptr) return -1;
    if (sound->isStream) return QueryStreamPlaying(handle);
    for (int i = 0; i < sound->bufferCount; ++i) {
        DWORD status = 0;
        if (SoundBufferGetStatus(&sound->buffers[i], &status) == 0 && (status & DSBSTATUS_PLAYING)) return 1;
    }
    return 0;
}

int SetSoundHandleVolumeImpl(int volume, int handle) {
    SoundData* sound = LiveSound(handle);
    if (sound == nullptr) return -1;
    LONG attenuation = SoundVolumeToAttenuation(volume);
    if (sound->isStream) return SetStreamVolume(handle, attenuation);
    int result = 0;
    for (int i = 0; i < sound->bufferCount; ++i) {
        if (SoundBufferSetVolume(&sound->buffers[i], attenuation) != 0) result = -1;
    }
    return result;
}

// ---- Release ----

int ReleaseSoundHandleImpl(int handle) {
    SoundData* sound = LiveSound(handle);
    if (sound == nullptr) return -1;
    int streamLink = -1;
    if (sound->isStream) {
        streamLink = sound->stream.linkHandle;
        // A ring that other handles still share keeps its record until the last of them goes.
        if (ReleaseStreamPart(handle, sound) == 0) return 0;
    } else {
        StopSoundHandleImpl(handle);
    }
    for (int i = 0; i < kMaxSoundBuffers; ++i) {
        if (sound->buffers[i].valid) SoundBufferRelease(&sound->buffers[i]);
    }
    if (sound->pcm) KV_FREE(sound->pcm);
    HandleTableCoreRemove(&g_sounds, handle);
    KV_FREE(sound);
    if (streamLink != -1) ReleasePendingStreamLink(streamLink);
    return 0;
}

int ReleaseAllSoundsImpl(int /*logFlag*/) {
    if (g_sounds.records == nullptr) return 0;
    for (int slot = 0; slot < g_sounds.highWater; ++slot) {
        SoundData* sound = (SoundData*)g_sounds.records[slot];
        if (sound) ReleaseSoundHandleImpl(MakeHandle(kHandleTypeSound, sound->checkId, slot));
    }
    return 0;
}

// Stream-type sounds: each handle decodes its sources in play order into a 6-second ring buffer
// that plays looping; the message pump's refill keeps the decoded data 3 seconds ahead of the play
// position, fills silence after a non-looping end and stops the ring once the end has been heard.
#include "sound/stream_sound.h"

#include <string.h>

#include "runtime/file.h"
#include "runtime/log.h"
#include "runtime/memory.h"
#include "runtime/message_pump.h"
#include "sound/sound.h"
#include "sound/sound_handle.h"
#include "sound/sound_system.h"

namespace {

HandleChainNode g_listHead;
HandleChainNode g_listTail;
bool g_listReady = false;

void EnsureList() {
    if (g_listReady) return;
    HandleChainReset(&g_listHead, &g_listTail);
    g_listReady = true;
}

SoundData* LiveStream(int handle) {
    if (!IsSoundSystemStarted()) return nullptr;
    SoundData* sound = GetSoundData(handle);
    if (sound == nullptr || !sound->isStream || sound->stream.releasePending) return nullptr;
    return sound;
}

bool SameFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
    return a.wFormatTag == b.wFormatTag && a.nChannels == b.nChannels && a.nSamplesPerSec == b.nSamplesPerSec &&
           a.wBitsPerSample == b.wBitsPerSample && a.nBlockAlign == b.nBlockAlign;
}

// A format DirectSound takes for a ring of 6 seconds.
bool IsStreamablePcm(WAVEFORMATEX* format) {
    if (format->wFormatTag != WAVE_FORMAT_PCM) return false;
    if (format->nChannels < 1 || format->nChannels > 8) return false;
    WORD bits = format->wBitsPerSample;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (format->nBlockAlign != format->nChannels * bits / 8) return false;
    if (format->nSamplesPerSec < DSBFREQUENCY_MIN || format->nSamplesPerSec > DSBFREQUENCY_MAX) return false;
    format->nAvgBytesPerSec = format->nSamplesPerSec * format->nBlockAlign;
    format->cbSize = 0;
    return (LONGLONG)format->nAvgBytesPerSec * 6 <= DSBSIZE_MAX;
}

DWORD WholeBlocks(LONGLONG bytes, DWORD block) {
    if (bytes <= 0) return 0;
    return (DWORD)(bytes - bytes % block);
}

void CloseSource(StreamSource* source) {
    if (source->decoder.valid) AudioDecoderClose(&source->decoder);
    if (source->memoryStream) CloseMemoryStream(source->memoryStream);
    if (source->ownsFile && source->streamTable && source->stream) source->streamTable->close(source->stream);
    if (source->image) KV_FREE(source->image);
    memset(source, 0, sizeof(*source));
}

// Ring bookkeeping of a handle: back to "nothing decoded", first source at its start.
void ResetCounters(StreamState* stream) {
    stream->currentSource = 0;
    stream->playCount = 0;
    stream->endOfData = 0;
    stream->endReached = 0;
    stream->endPosition = 0;
    stream->endRemaining = 0;
    stream->lastPlayPosition = 0;
    stream->writePosition = kStreamRingNotStarted;
    stream->readPosition = -1;
    stream->bytesPlayed = 0;
    stream->bytesWritten = 0;
}

SoundBuffer* OwnRing(int handle, SoundData* sound, SoundData** owner) {
    *owner = sound;
    if (sound->stream.linkHandle != -1) {
        SoundData* link = GetSoundData(sound->stream.linkHandle);
        if (link == nullptr || !link->isStream) return nullptr;
        *owner = link;
    }
    (void)handle;
    return (*owner)->buffers[0].valid ? &(*owner)->buffers[0] : nullptr;
}

// Decodes `bytes` (whole blocks) into dst following the sources, loop counts and play type;
// silence once the data has ended. Sets the end position when the data runs out here.
void DecodeInto(SoundData* sound, BYTE* dst, DWORD bytes, DWORD ringOffset, DWORD ringSize) {
    StreamState* stream = &sound->stream;
    DWORD block = sound->format.nBlockAlign;
    int silence = sound->format.wBitsPerSample == 8 ? 127 : 0;
    DWORD done = 0;
    int idle = 0;
    while (done < bytes) {
        if (stream->endOfData) {
            memset(dst + done, silence, bytes - done);
            break;
        }
        StreamSource* source = &stream->sources[stream->currentSource];
        int got = AudioDecoderRead(&source->decoder, dst + done, (int)(bytes - done));
        if (got > 0) {
            done += (DWORD)got;
            idle = 0;
            continue;
        }
        // The source yielded nothing: play it again, go on to the next, loop back or end. A run
        // of sources that yield nothing at all ends the data rather than spinning for ever. A
        // partial block at a source's end is dropped, so what follows stays on whole samples.
        done -= done % block;
        if (++idle > 2 * kMaxStreamSources + 2) {
            stream->endOfData = 1;
        } else {
            stream->playCount += 1;
            if (source->loopCount == -1 || stream->playCount <= source->loopCount) {
                AudioDecoderSeek(&source->decoder, 0);
                continue;
            }
            stream->playCount = 0;
            if (stream->currentSource + 1 < stream->sourceCount) {
                stream->currentSource += 1;
            } else if (sound->playType == kSoundPlayLoop) {
                stream->currentSource = 0;
            } else {
                stream->endOfData = 1;
            }
            if (!stream->endOfData) {
                AudioDecoderSeek(&stream->sources[stream->currentSource].decoder, 0);
                continue;
            }
        }
        // A partial block left by a decoder is not played: the end falls on a whole block.
        done -= done % block;
        stream->endPosition = (ringOffset + done) % ringSize;
    }
}

// Writes `bytes` at the ring offset through a lock, across the wrap.
int WriteRing(SoundData* sound, SoundBuffer* ring, DWORD offset, DWORD bytes, DWORD ringSize) {
    if (bytes == 0) return 0;
    void* first = nullptr;
    void* second = nullptr;
    DWORD firstLength = 0, secondLength = 0;
    if (SoundBufferLock(ring, offset, bytes, &first, &firstLength, &second, &secondLength) != 0) return -1;
    // Decode into one run so that the end position is found once, then split it over the lock.
    BYTE* staging = (BYTE*)KV_ALLOC(bytes);
    int result = 0;
    if (staging == nullptr) {
        result = -1;
    } else {
        DecodeInto(sound, staging, bytes, offset, ringSize);
        DWORD head = firstLength < bytes ? firstLength : bytes;
        memcpy(first, staging, head);
        if (second && head < bytes) memcpy(second, staging + head, bytes - head < secondLength ? bytes - head : secondLength);
        KV_FREE(staging);
        sound->stream.bytesWritten += bytes;
    }
    SoundBufferUnlock(ring, first, firstLength, second, secondLength);
    return result;
}

void ListStream(int handle, SoundData* sound) {
    EnsureList();
    if (sound->stream.listed) return;
    HandleChainLink(&g_listHead, &sound->stream.listNode, handle, sound);
    sound->stream.listed = 1;
}

void UnlistStream(SoundData* sound) {
    if (!sound->stream.listed) return;
    HandleChainUnlink(&sound->stream.listNode);
    sound->stream.listed = 0;
}

int CreateStreamRing(SoundData* sound) {
    WAVEFORMATEX wave = sound->format;
    DSBUFFERDESC description;
    memset(&description, 0, sizeof(description));
    description.dwSize = sizeof(description);
    description.dwFlags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME |
                          DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;
    description.dwBufferBytes = sound->format.nAvgBytesPerSec * 6;
    description.lpwfxFormat = &wave;
    if (SoundBufferCreate(&sound->buffers[0], &description) != 0)
        FatalError("ストリーム風サウンドバッファの作成に失敗しました");
    sound->bufferCount = 1;
    sound->currentBuffer = 0;
    return 0;
}

}  // namespace

// ---- Adding sources ----

int AddSreamSound(const StreamFunctionTable* table, StreamHandle streamHandle, int loopCount, int handle, int kind,
                  int* keepsFile, int linkHandle) {
    if (keepsFile) *keepsFile = 0;
    if (!IsSoundSystemStarted() || table == nullptr) return -1;
    SoundData* sound = GetSoundData(handle);
    if (sound == nullptr || sound->stream.releasePending) return -1;
    StreamState* stream = &sound->stream;
    // A static handle (it has buffers of its own) never takes stream sources either.
    if ((stream->sourceCount > 0 || sound->bufferCount > 0) && !sound->isStream) {
        WriteLog("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound\n");
        return -1;
    }
    if (sound->isStream && QueryStreamPlaying(handle) == 1) {
        WriteLog("既に再生中のストリームサウンドデータにデータを追加しようとしました\n");
        return -1;
    }
    if (stream->sourceCount >= kMaxStreamSources) {
        WriteLog("ストリーム風サウンドの制御データ領域がいっぱいです\n");
        return -1;
    }
    if (kind != kStreamSourceDecoded && kind != kStreamSourceImage && kind != kStreamSourceDirect) return -1;

    StreamSource* source = &stream->sources[stream->sourceCount];
    memset(source, 0, sizeof(*source));
    source->loopCount = (signed char)(loopCount < -1 ? -1 : loopCount > 127 ? 127 : loopCount);
    source->kind = kind;

    if (kind == kStreamSourceDirect) {
        source->streamTable = table;
        source->stream = streamHandle;
    } else {
        void* image = nullptr;
        DWORD imageSize = 0;
        if (ReadWholeStream(table, streamHandle, &image, &imageSize) != 0) {
            WriteLogFormat("音声データの読み込みに失敗しました");
            return -1;
        }
        if (kind == kStreamSourceDecoded) {
            // Decoded once here; what plays is a PCM WAV image of the result.
            StreamHandle memory = OpenMemoryStream(image, (int)imageSize);
            AudioDecoder* decoder = (AudioDecoder*)KV_ALLOC_ZEROED(sizeof(AudioDecoder));
            WAVEFORMATEX format;
            void* pcm = nullptr;
            DWORD pcmSize = 0;
            int opened = memory && decoder && AudioDecoderOpen(GetMemoryStreamFunctions(), memory, decoder) == 0;
            int decoded = opened && AudioDecoderReadAll(decoder, &format, &pcm, &pcmSize) == 0;
            if (opened) AudioDecoderClose(decoder);
            if (decoder) KV_FREE(decoder);
            if (memory) CloseMemoryStream(memory);
            KV_FREE(image);
            image = nullptr;
            if (!opened) {
                WriteLogFormat("音声データのオープンに失敗しました");
                return -1;
            }
            if (decoded) image = BuildWaveImage(&format, sizeof(WAVEFORMATEX), pcm, pcmSize, &imageSize);
            if (pcm) KV_FREE(pcm);
            if (image == nullptr) {
                WriteLogFormat("音声データの変換に失敗しました");
                return -1;
            }
        }
        source->image = image;
        source->imageSize = imageSize;
        source->memoryStream = OpenMemoryStream(image, (int)imageSize);
        if (source->memoryStream == 0) {
            CloseSource(source);
            WriteLogFormat("音声データのオープンに失敗しました");
            return -1;
        }
        source->streamTable = GetMemoryStreamFunctions();
        source->stream = source->memoryStream;
    }
    if (AudioDecoderOpen(source->streamTable, source->stream, &source->decoder) != 0) {
        memset(&source->decoder, 0, sizeof(source->decoder));
        CloseSource(source);
        WriteLogFormat("音声データのオープンに失敗しました");
        return -1;
    }
    WAVEFORMATEX format;
    AudioDecoderGetFormat(&source->decoder, &format);
    if (!IsStreamablePcm(&format)) {
        CloseSource(source);
        WriteLogFormat("音声データのオープンに失敗しました");
        return -1;
    }
    if (stream->sourceCount > 0 && !SameFormat(format, sound->format)) {
        CloseSource(source);
        WriteLogFormat("フォーマットの違う音声データは同時に使うことは出来ません");
        return -1;
    }
    LONGLONG pcmSize = AudioDecoderGetPcmSize(&source->decoder);
    source->pcmSize = pcmSize > 0 ? (DWORD)pcmSize : 0;

    if (stream->sourceCount == 0) {
        sound->format = format;
        sound->isStream = 1;
        stream->linkHandle = -1;
        stream->holder = -1;
        SoundData* link = linkHandle == -1 ? nullptr : LiveStream(linkHandle);
        if (link && link != sound && link->stream.linkHandle == -1 && link->buffers[0].valid &&
            SameFormat(link->format, format)) {
            stream->linkHandle = linkHandle;
            sound->bufferCount = 1;
            link->stream.linkCount += 1;
        } else {
            CreateStreamRing(sound);
        }
        ListStream(handle, sound);
    }
    if (kind == kStreamSourceDirect) {
        source->ownsFile = 1;
        if (keepsFile) *keepsFile = 1;
    }
    ResetCounters(stream);
    stream->sourceCount += 1;
    stream->totalSamples = 0;
    for (int i = 0; i < stream->sourceCount; ++i) stream->totalSamples += stream->sources[i].pcmSize / format.nBlockAlign;
    return 0;
}

int AddStreamSoundWaveFile(const char* path, int loopCount, int handle, int kind, int linkHandle) {
    if (path == nullptr) return -1;
    FileHandle file = FileLayerOpen(path, 0, 0);
    if (file == 0) {
        WriteLogPrintf("右記のＷＡＶファイルのロードに失敗しました：%s \n", path);
        return -1;
    }
    int keepsFile = 0;
    if (AddSreamSound(GetFileStreamFunctions(), (StreamHandle)file, loopCount, handle, kind, &keepsFile, linkHandle) !=
        0) {
        FileLayerClose(file);
        WriteLogPrintf("右記のＷＡＶファイルのセットアップに失敗しました：%s \n", path);
        return -1;
    }
    if (!keepsFile) FileLayerClose(file);
    return 0;
}

int AddStreamSoundWaveImage(const void* image, int imageSize, int loopCount, int handle, int kind, int linkHandle) {
    if (kind == kStreamSourceDirect) kind = kStreamSourceImage;
    StreamHandle memory = image ? OpenMemoryStream(image, imageSize) : 0;
    if (memory == 0) {
        WriteLog("ＷＡＶファイルのストリームイメージハンドルの作成に失敗しました \n");
        return -1;
    }
    int result = AddSreamSound(GetMemoryStreamFunctions(), memory, loopCount, handle, kind, nullptr, linkHandle);
    CloseMemoryStream(memory);
    if (result != 0) {
        WriteLog("ＷＡＶファイルのストリームイメージのセットアップに失敗しました \n");
        return -1;
    }
    return 0;
}

// ---- Ring ----

int ClaimStreamBuffer(int handle, SoundBuffer** buffer, int mayTake) {
    SoundData* sound = LiveStream(handle);
    if (sound == nullptr) return -1;
    SoundData* owner = nullptr;
    SoundBuffer* ring = OwnRing(handle, sound, &owner);
    if (ring == nullptr) return -1;
    int holder = owner->stream.holder;
    if (holder != -1 && holder != handle && GetSoundData(holder) != nullptr) {
        if (!mayTake) return -1;
        DWORD status = 0;
        if (SoundBufferGetStatus(ring, &status) == 0 && (status & DSBSTATUS_PLAYING)) SoundBufferStop(ring);
        // What the ring holds is the other handle's: this one fills it again from its start.
        SoundData* previous = GetSoundData(holder);
        if (previous->isStream) previous->stream.writePosition = kStreamRingNotStarted;
        sound->stream.writePosition = kStreamRingNotStarted;
    }
    owner->stream.holder = handle;
    *buffer = ring;
    return 0;
}

int RestartStreamBuffer(int handle) {
    SoundData* sound = LiveStream(handle);
    SoundBuffer* ring = nullptr;
    if (sound == nullptr) return -1;
    // While another handle has the shared ring there is nothing to fill: that happens on taking it.
    if (ClaimStreamBuffer(handle, &ring, 0) != 0) return 0;
    StreamState* stream = &sound->stream;
    DWORD status = 0;
    if (SoundBufferGetStatus(ring, &status) == 0 && (status & DSBSTATUS_PLAYING)) return 0;
    if (stream->writePosition != kStreamRingNotStarted) return 0;
    SoundBufferSetPosition(ring, 0);
    stream->readPosition = -1;
    stream->lastPlayPosition = 0;
    stream->bytesWritten = 0;
    AudioDecoderSeek(&stream->sources[stream->currentSource].decoder, 0);
    return RefillStreamBuffer(handle);
}

int RefillStreamBuffer(int handle) {
    SoundData* sound = LiveStream(handle);
    if (sound == nullptr) return -1;
    SoundData* owner = nullptr;
    SoundBuffer* ring = OwnRing(handle, sound, &owner);
    // Only the handle holding a shared ring writes into it.
    if (ring == nullptr || (owner->stream.holder != -1 && owner->stream.holder != handle)) return -1;
    StreamState* stream = &sound->stream;
    DWORD B = sound->format.nAvgBytesPerSec;
    DWORD block = sound->format.nBlockAlign;
    DWORD ringSize = B * 6;

    if (stream->writePosition == kStreamRingNotStarted) {
        DWORD bytes = WholeBlocks((LONGLONG)B * 4, block);
        if (WriteRing(sound, ring, 0, bytes, ringSize) != 0) return -1;
        stream->writePosition = (int)bytes;
        stream->readPosition = 0;
        stream->lastPlayPosition = 0;
        if (stream->endOfData) stream->endRemaining = stream->endPosition;
        return 0;
    }

    DWORD status = 0;
    if (SoundBufferGetStatus(ring, &status) != 0 || !(status & DSBSTATUS_PLAYING)) return 0;
    DWORD play = 0, write = 0;
    if (SoundBufferGetPosition(ring, &play, &write) != 0) return -1;
    DWORD moved = (play + ringSize - stream->lastPlayPosition) % ringSize;
    stream->lastPlayPosition = play;
    stream->bytesPlayed += moved;

    if (stream->endOfData) {
        // Stop once everything up to the end position has been played.
        if (moved >= stream->endRemaining) {
            SoundBufferStop(ring);
            stream->endRemaining = 0;
            stream->endReached = 1;
            return 0;
        }
        stream->endRemaining -= moved;
    }

    DWORD w = (DWORD)stream->writePosition;
    LONGLONG lead = (LONGLONG)((w + ringSize - play) % ringSize) * 128 / B;
    if (lead < 384) {
        DWORD bytes = WholeBlocks((384 - lead) * (LONGLONG)B / 128, block);
        int hadEnded = stream->endOfData;
        if (WriteRing(sound, ring, w, bytes, ringSize) != 0) return -1;
        if (!hadEnded && stream->endOfData) stream->endRemaining = (stream->endPosition + ringSize - play) % ringSize;
        w = (w + bytes) % ringSize;
        stream->writePosition = (int)w;
    }
    stream->readPosition = (int)((w + ringSize - WholeBlocks((LONGLONG)B * 4, block)) % ringSize);
    return 0;
}

int RefillAllStreamBuffers() {
    if (!g_listReady || !IsSoundSystemStarted()) return 0;
    for (HandleChainNode* node = g_listHead.next; node && node != &g_listTail; node = node->next)
        RefillStreamBuffer(node->handle);
    return 0;
}

int StartSoundPlayback(int handle, int playType, int topFlag) {
    SoundData* sound = LiveStream(handle);
    SoundBuffer* ring = nullptr;
    if (sound == nullptr || ClaimStreamBuffer(handle, &ring, 1) != 0) return -1;
    StreamState* stream = &sound->stream;
    DWORD status = 0;
    bool playing = SoundBufferGetStatus(ring, &status) == 0 && (status & DSBSTATUS_PLAYING);
    if (topFlag == 0 && playing) return 0;
    SoundBufferStop(ring);
    // A change of the loop bit matters once the data has ended: the ring holds silence, or an end
    // that a looping play must not have, so it starts again from the top.
    bool loopChanged = ((playType ^ sound->playType) & 2) != 0;
    if ((loopChanged && (stream->endOfData || stream->endReached)) || topFlag == 1) ResetCounters(stream);
    sound->playType = playType;
    if (RestartStreamBuffer(handle) != 0) return -1;
    if (SoundBufferPlay(ring, 1) != 0) return -1;
    sound->startTime = timeGetTime();
    if (playType == kSoundPlayNormal) {
        while (ProcessMessageImpl() == 0 && QueryStreamPlaying(handle) == 1) Sleep(1);
    }
    return 0;
}

int QueryStreamPlaying(int handle) {
    SoundData* sound = LiveStream(handle);
    if (sound == nullptr) return -1;
    // Asking does not claim: a shared ring that another handle holds is not this one playing.
    SoundData* owner = nullptr;
    SoundBuffer* ring = OwnRing(handle, sound, &owner);
    if (ring == nullptr) return -1;
    if (owner->stream.holder != -1 && owner->stream.holder != handle && GetSoundData(owner->stream.holder)) return 0;
    DWORD status = 0;
    if (SoundBufferGetStatus(ring, &status) != 0) return -1;
    return (status & DSBSTATUS_PLAYING) ? 1 : 0;
}

int HaltStreamPlayback(int handle) {
    SoundData* sound = LiveStream(handle);
    if (sound == nullptr) return -1;
    SoundData* owner = nullptr;
    SoundBuffer* ring = OwnRing(handle, sound, &owner);
    if (ring == nullptr) return -1;
    // A handle that does not hold the shared ring has nothing playing to stop.
    if (owner->stream.holder != -1 && owner->stream.holder != handle) return 0;
    DWORD play = 0, write = 0;
    if (SoundBufferGetPosition(ring, &play, &write) == 0) {
        DWORD ringSize = sound->format.nAvgBytesPerSec * 6;
        sound->stream.bytesPlayed += (play + ringSize - sound->stream.lastPlayPosition) % ringSize;
        sound->stream.lastPlayPosition = play;
    }
    owner->stream.holder = -1;
    DWORD status = 0;
    if (SoundBufferGetStatus(ring, &status) != 0) return -1;
    if (status & DSBSTATUS_PLAYING) SoundBufferStop(ring);
    return 0;
}

int SetStreamVolume(int handle, LONG attenuation) {
    SoundData* sound = LiveStream(handle);
    if (sound == nullptr) return -1;
    SoundData* owner = nullptr;
    SoundBuffer* ring = OwnRing(handle, sound, &owner);
    return ring ? SoundBufferSetVolume(ring, attenuation) : -1;
}

// ---- Release ----

int ReleaseStreamPart(int handle, SoundData* sound) {
    StreamState* stream = &sound->stream;
    if (!stream->releasePending) HaltStreamPlayback(handle);
    for (int i = 0; i < stream->sourceCount; ++i) CloseSource(&stream->sources[i]);
    stream->sourceCount = 0;
    UnlistStream(sound);
    if (stream->linkHandle != -1) {
        SoundData* link = GetSoundData(stream->linkHandle);
        if (link && link->isStream) {
            if (link->stream.holder == handle) link->stream.holder = -1;
            link->stream.linkCount -= 1;
        }
        stream->linkHandle = -1;
        sound->bufferCount = 0;
    }
    if (stream->linkCount > 0) {
        // Others still play through this ring: the record stays until the last of them goes.
        stream->releasePending = 1;
        return 0;
    }
    return 1;
}

void ReleasePendingStreamLink(int linkHandle) {
    SoundData* link = GetSoundData(linkHandle);
    if (link && link->isStream && link->stream.releasePending && link->stream.linkCount <= 0) {
        link->stream.releasePending = 0;
        ReleaseSoundHandleImpl(linkHandle);
    }
}

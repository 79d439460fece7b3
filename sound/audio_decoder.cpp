// The audio decoder's common part: reader trial order, buffered reading for each decoder kind,
// seeking, sizes, whole-sound decoding, and the WAV image and whole-stream helpers.
#include <limits.h>
#include <string.h>

#include "runtime/log.h"
#include "runtime/memory.h"
#include "sound/decoder_internal.h"

// ---- Stream access ----

LONGLONG DecoderStreamTell(AudioDecoder* decoder) {
    return (LONGLONG)decoder->stream.tell(decoder->streamHandle);
}

int DecoderStreamSeek(AudioDecoder* decoder, LONGLONG offset, int origin) {
    if (offset < INT_MIN || offset > INT_MAX) return -1;
    return decoder->stream.seek(decoder->streamHandle, (int)offset, origin) == 0 ? 0 : -1;
}

DWORD DecoderStreamRead(AudioDecoder* decoder, void* buffer, DWORD bytes) {
    if (bytes == 0) return 0;
    size_t got = decoder->stream.read(buffer, 1, bytes, decoder->streamHandle);
    return got > bytes ? bytes : (DWORD)got;
}

int DecoderStreamReadExact(AudioDecoder* decoder, void* buffer, DWORD bytes) {
    BYTE* out = (BYTE*)buffer;
    DWORD done = 0;
    while (done < bytes) {
        DWORD got = DecoderStreamRead(decoder, out + done, bytes - done);
        if (got == 0) return -1;
        done += got;
    }
    return 0;
}

LONGLONG DecoderStreamLength(AudioDecoder* decoder) {
    LONGLONG here = DecoderStreamTell(decoder);
    if (DecoderStreamSeek(decoder, 0, SEEK_END) != 0) return -1;
    LONGLONG length = DecoderStreamTell(decoder);
    DecoderStreamSeek(decoder, here, SEEK_SET);
    return length;
}

// ---- Compression manager ----

namespace {

DWORD AcmSourceChunk(const AudioDecoder* decoder) {
    // Whole source blocks per step; a block larger than the usual step must still fit one step,
    // or a block-aligned conversion would never get going.
    DWORD align = decoder->sourceFormat->nBlockAlign ? decoder->sourceFormat->nBlockAlign : 1;
    DWORD chunk = kAcmSourceChunk < align ? align : kAcmSourceChunk;
    return chunk - chunk % align;
}

int OpenAcmStream(AudioDecoder* decoder, HACMSTREAM* stream) {
    *stream = nullptr;
    MMRESULT result = acmStreamOpen(stream, nullptr, decoder->sourceFormat, &decoder->outFormat, nullptr, 0, 0,
                                    ACM_STREAMOPENF_NONREALTIME);
    if (result != MMSYSERR_NOERROR) {
        *stream = nullptr;
        return -1;
    }
    return 0;
}

// The compression manager's PCM suggestions by source format. Asking it walks every installed codec, which costs
// many times the conversion's own set-up, once per file; its answer for a format stays the same while the program
// runs, and a game's files share a few formats. Guarded by the API lock, as every decoder open is.
struct SuggestionCacheEntry {
    DWORD size;  // bytes of the source format compared, 0 for an empty entry
    BYTE source[64];
    WAVEFORMATEX suggested;
};
SuggestionCacheEntry g_suggestions[8];
int g_nextSuggestion = 0;

int SuggestPcmFormat(const WAVEFORMATEX* source, WAVEFORMATEX* suggested) {
    const DWORD size = (DWORD)sizeof(WAVEFORMATEX) + source->cbSize;
    const bool cacheable = size <= sizeof(g_suggestions[0].source);
    if (cacheable) {
        for (const SuggestionCacheEntry& e : g_suggestions) {
            if (e.size == size && memcmp(e.source, source, size) == 0) {
                *suggested = e.suggested;
                return 0;
            }
        }
    }
    memset(suggested, 0, sizeof(*suggested));
    suggested->wFormatTag = WAVE_FORMAT_PCM;
    if (acmFormatSuggest(nullptr, const_cast<WAVEFORMATEX*>(source), suggested, sizeof(*suggested),
                         ACM_FORMATSUGGESTF_WFORMATTAG) != MMSYSERR_NOERROR)
        return -1;
    if (cacheable) {
        SuggestionCacheEntry& e = g_suggestions[g_nextSuggestion];
        g_nextSuggestion = (g_nextSuggestion + 1) % (int)(sizeof(g_suggestions) / sizeof(g_suggestions[0]));
        e.size = size;
        memcpy(e.source, source, size);
        e.suggested = *suggested;
    }
    return 0;
}

}  // namespace

int OpenAcmConversion(AudioDecoder* decoder) {
    WAVEFORMATEX suggested;
    if (SuggestPcmFormat(decoder->sourceFormat, &suggested) != 0) return -1;
    suggested.cbSize = 0;
    if (suggested.nChannels == 0 || suggested.nBlockAlign == 0 || suggested.nSamplesPerSec == 0) return -1;
    decoder->outFormat = suggested;
    // Only the main stream: the spare for seeks backwards is opened by the first restart that needs it, so a
    // whole-file load (which never seeks back) opens one conversion stream, not two.
    if (OpenAcmStream(decoder, &decoder->mainStream) != 0) return -1;
    decoder->spareStream = nullptr;
    decoder->sourcePos = 0;
    decoder->bufferSize = DecodeBufferSizeFor(decoder);
    return 0;
}

void ReleaseAcmState(AudioDecoder* decoder) {
    if (decoder->mainStream) acmStreamClose(decoder->mainStream, 0);
    if (decoder->spareStream) acmStreamClose(decoder->spareStream, 0);
    decoder->mainStream = nullptr;
    decoder->spareStream = nullptr;
    KV_FREE(decoder->sourceFormat);
    KV_FREE(decoder->sourceData);
    decoder->sourceFormat = nullptr;
    decoder->sourceData = nullptr;
    decoder->sourceSize = 0;
    decoder->sourcePos = 0;
}

DWORD DecodeBufferSizeFor(const AudioDecoder* decoder) {
    const WAVEFORMATEX* out = &decoder->outFormat;
    DWORD align = out->nBlockAlign ? out->nBlockAlign : 1;
    // One second of output, computed from the layout rather than the header's byte rate.
    ULONGLONG size = (ULONGLONG)out->nSamplesPerSec * align;
    if (decoder->mainStream) {
        DWORD needed = 0;
        if (acmStreamSize(decoder->mainStream, AcmSourceChunk(decoder), &needed, ACM_STREAMSIZEF_SOURCE) ==
                MMSYSERR_NOERROR &&
            needed > size)
            size = needed;
    }
    if (size > kMaxDecodeBuffer) size = kMaxDecodeBuffer;
    if (size < align) size = align;
    size -= size % align;
    return (DWORD)size;
}

// ---- Refilling the decode buffer ----

namespace {

// Decodes the next piece into `out`, which has room for a whole decode buffer; the bytes
// produced (0 at the end).
DWORD DecodePcm(AudioDecoder* decoder, BYTE* out) {
    DWORD remaining = decoder->dataSize - decoder->pcmSourceRead;
    DWORD want = remaining < decoder->bufferSize ? remaining : decoder->bufferSize;
    DWORD got = DecoderStreamRead(decoder, out, want);
    decoder->pcmSourceRead += got;
    return got;
}

DWORD DecodeAcm(AudioDecoder* decoder, BYTE* out) {
    if (decoder->sourcePos >= decoder->sourceSize) return 0;
    DWORD length = decoder->sourceSize - decoder->sourcePos;
    DWORD chunk = AcmSourceChunk(decoder);
    if (length > chunk) length = chunk;

    ACMSTREAMHEADER header;
    memset(&header, 0, sizeof(header));
    header.cbStruct = sizeof(header);
    header.pbSrc = decoder->sourceData + decoder->sourcePos;
    header.cbSrcLength = length;
    header.pbDst = out;
    header.cbDstLength = decoder->bufferSize;
    if (acmStreamPrepareHeader(decoder->mainStream, &header, 0) != MMSYSERR_NOERROR) return 0;
    MMRESULT result = acmStreamConvert(decoder->mainStream, &header, ACM_STREAMCONVERTF_BLOCKALIGN);
    acmStreamUnprepareHeader(decoder->mainStream, &header, 0);
    if (result != MMSYSERR_NOERROR) return 0;

    DWORD used = header.cbSrcLengthUsed > length ? length : header.cbSrcLengthUsed;
    DWORD produced = header.cbDstLengthUsed > decoder->bufferSize ? decoder->bufferSize : header.cbDstLengthUsed;
    // A codec that takes nothing would be handed the same bytes for ever: stop after this output.
    decoder->sourcePos = used ? decoder->sourcePos + used : decoder->sourceSize;
    return produced;
}

DWORD Decode(AudioDecoder* decoder, BYTE* out) {
    switch (decoder->kind) {
        case kAudioDecoderWavPcm: return DecodePcm(decoder, out);
        case kAudioDecoderAcm: return DecodeAcm(decoder, out);
        case kAudioDecoderOgg: return OggDecodeInto(decoder, out, decoder->bufferSize);
        default: return 0;
    }
}

// Refills an empty buffer. false at the end (the end flag is then set).
bool Refill(AudioDecoder* decoder) {
    DWORD held = Decode(decoder, decoder->buffer);
    decoder->bufferHeld = held;
    decoder->bufferOffset = 0;
    if (held == 0) {
        decoder->endFlag = 1;
        return false;
    }
    return true;
}

void DropBuffer(AudioDecoder* decoder) {
    decoder->bufferHeld = 0;
    decoder->bufferOffset = 0;
}

// Puts the compression-manager conversion back to the start of the data on a stream that has converted nothing
// yet: the spare when there is one, else a new one. Each restart thus opens one stream, as it did when a fresh
// spare was opened behind every restart.
int RestartAcm(AudioDecoder* decoder) {
    HACMSTREAM fresh = decoder->spareStream;
    if (fresh == nullptr && OpenAcmStream(decoder, &fresh) != 0) return -1;
    acmStreamClose(decoder->mainStream, 0);
    decoder->mainStream = fresh;
    decoder->spareStream = nullptr;
    decoder->sourcePos = 0;
    decoder->outPosition = 0;
    decoder->endFlag = 0;
    DropBuffer(decoder);
    return 0;
}

// The seek itself; `force` seeks even when the target is next to the current position.
int SeekTo(AudioDecoder* decoder, LONGLONG sample, bool force) {
    if (!decoder->valid) return -1;
    if (sample < 0) sample = 0;
    LONGLONG align = decoder->outFormat.nBlockAlign;
    LONGLONG target = sample * align;
    LONGLONG distance = target - decoder->outPosition;
    if (!force && distance > -16 && distance < 16) return 0;

    switch (decoder->kind) {
        case kAudioDecoderWavPcm: {
            LONGLONG last = (LONGLONG)decoder->dataSize - decoder->dataSize % align;
            if (target > last) target = last;
            if (DecoderStreamSeek(decoder, decoder->dataStart + target, SEEK_SET) != 0) return -1;
            DropBuffer(decoder);
            decoder->pcmSourceRead = (DWORD)target;
            decoder->outPosition = target;
            decoder->endFlag = 0;
            return 0;
        }
        case kAudioDecoderAcm: {
            if (force || target < decoder->outPosition) {
                if (RestartAcm(decoder) != 0) return -1;
            }
            LONGLONG bufferStart = decoder->outPosition - decoder->bufferOffset;
            if (target < bufferStart + decoder->bufferHeld) {
                decoder->bufferOffset = (DWORD)(target - bufferStart);
                decoder->outPosition = target;
                return 0;
            }
            // Convert forward until the target lies in the buffer.
            LONGLONG position = bufferStart + decoder->bufferHeld;
            DropBuffer(decoder);
            decoder->endFlag = 0;
            for (;;) {
                if (!Refill(decoder)) {
                    decoder->outPosition = position;
                    return 0;
                }
                if (target < position + decoder->bufferHeld) {
                    decoder->bufferOffset = (DWORD)(target - position);
                    decoder->outPosition = target;
                    return 0;
                }
                position += decoder->bufferHeld;
            }
        }
        case kAudioDecoderOgg:
            if (OggSeekSample(decoder, sample) != 0) return -1;
            DropBuffer(decoder);
            decoder->outPosition = target;
            decoder->endFlag = 0;
            return 0;
        default:
            return -1;
    }
}

}  // namespace

// ---- Interface ----

int AudioDecoderOpen(const StreamFunctionTable* table, StreamHandle handle, AudioDecoder* decoder) {
    memset(decoder, 0, sizeof(*decoder));
    decoder->stream = *table;
    decoder->streamHandle = handle;
    decoder->totalSamples = -1;

    int (*const readers[])(AudioDecoder*) = {OpenWavPcmReader, OpenAcmWavReader, OpenOggReader, OpenMp3Reader};
    bool opened = false;
    for (auto reader : readers) {
        if (DecoderStreamSeek(decoder, 0, SEEK_SET) != 0) break;
        if (reader(decoder) == 0) {
            opened = true;
            break;
        }
    }
    if (!opened) {
        memset(decoder, 0, sizeof(*decoder));
        return -1;
    }

    decoder->buffer = (BYTE*)KV_ALLOC(decoder->bufferSize ? decoder->bufferSize : 1);
    if (decoder->buffer == nullptr) {
        decoder->valid = 1;
        AudioDecoderClose(decoder);
        return -1;
    }
    DropBuffer(decoder);
    decoder->outPosition = 0;
    decoder->endFlag = 0;
    decoder->valid = 1;
    return 0;
}

int AudioDecoderRead(AudioDecoder* decoder, void* buffer, int bytes) {
    if (!decoder->valid) return -1;
    if (bytes <= 0) return 0;
    BYTE* out = (BYTE*)buffer;
    int delivered = 0;
    while (delivered < bytes) {
        if (decoder->bufferOffset >= decoder->bufferHeld) {
            if (decoder->endFlag) break;
            // With room for a whole piece the caller's memory takes it directly, saving a copy.
            if ((DWORD)(bytes - delivered) >= decoder->bufferSize) {
                DropBuffer(decoder);
                DWORD n = Decode(decoder, out + delivered);
                if (n == 0) {
                    decoder->endFlag = 1;
                    break;
                }
                decoder->outPosition += n;
                delivered += (int)n;
                continue;
            }
            if (!Refill(decoder)) break;
        }
        DWORD waiting = decoder->bufferHeld - decoder->bufferOffset;
        DWORD n = (DWORD)(bytes - delivered) < waiting ? (DWORD)(bytes - delivered) : waiting;
        memcpy(out + delivered, decoder->buffer + decoder->bufferOffset, n);
        decoder->bufferOffset += n;
        decoder->outPosition += n;
        delivered += (int)n;
    }
    return delivered;
}

int AudioDecoderSeek(AudioDecoder* decoder, LONGLONG sample) { return SeekTo(decoder, sample, false); }

int AudioDecoderGetFormat(const AudioDecoder* decoder, WAVEFORMATEX* format) {
    if (!decoder->valid) return -1;
    *format = decoder->outFormat;
    return 0;
}

LONGLONG AudioDecoderGetPcmSize(AudioDecoder* decoder) {
    if (!decoder->valid) return -1;
    switch (decoder->kind) {
        case kAudioDecoderWavPcm:
            return decoder->dataSize;
        case kAudioDecoderAcm:
            if (decoder->totalSamples >= 0) return decoder->totalSamples * decoder->outFormat.nBlockAlign;
            {
                // Only whole source blocks convert; less than one converts to nothing.
                DWORD align = decoder->sourceFormat->nBlockAlign;
                DWORD whole = decoder->sourceSize - decoder->sourceSize % align;
                DWORD size = 0;
                if (whole == 0) return 0;
                if (acmStreamSize(decoder->mainStream, whole, &size, ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR)
                    return -1;
                return size;
            }
        case kAudioDecoderOgg: {
            LONGLONG total = OggTotalSamples(decoder);
            if (total < 0) return -1;
            return ((LONGLONG)total + 44100) * decoder->outFormat.nChannels * decoder->oggSampleWidth;
        }
        default:
            return -1;
    }
}

int AudioDecoderReadAll(AudioDecoder* decoder, WAVEFORMATEX* format, void** pcm, DWORD* pcmSize) {
    *pcm = nullptr;
    *pcmSize = 0;
    if (!decoder->valid) return -1;
    LONGLONG size = AudioDecoderGetPcmSize(decoder);
    // Whole sounds are held in one block; a size beyond what one block can be is a broken header.
    if (size < 0 || size > 0x40000000) return -1;
    // A decoder that has handed nothing out yet stands at the start already (and a truncated
    // Ogg stream may refuse a seek it does not need).
    bool fresh = decoder->outPosition == 0 && decoder->bufferHeld == 0 && !decoder->endFlag;
    if (!fresh && SeekTo(decoder, 0, true) != 0) return -1;
    *format = decoder->outFormat;
    if (size == 0) return 0;

    BYTE* block = (BYTE*)KV_ALLOC((size_t)size);
    if (block == nullptr) return -1;
    DWORD got = 0;
    if (decoder->kind == kAudioDecoderWavPcm) {
        DecoderStreamSeek(decoder, decoder->dataStart, SEEK_SET);
        while (got < (DWORD)size) {
            DWORD n = DecoderStreamRead(decoder, block + got, (DWORD)size - got);
            if (n == 0) break;
            got += n;
        }
        decoder->pcmSourceRead = got;
        decoder->outPosition = got;
        DropBuffer(decoder);
    } else {
        while (got < (DWORD)size) {
            int n = AudioDecoderRead(decoder, block + got, (int)((DWORD)size - got));
            if (n <= 0) break;
            got += (DWORD)n;
        }
    }
    // Only whole sample frames that really came out of the stream are handed on.
    got -= got % decoder->outFormat.nBlockAlign;
    if (got == 0) {
        KV_FREE(block);
        return 0;
    }
    *pcm = block;
    *pcmSize = got;
    return 0;
}

int AudioDecoderClose(AudioDecoder* decoder) {
    if (!decoder->valid) return -1;
    KV_FREE(decoder->buffer);
    decoder->buffer = nullptr;
    if (decoder->kind == kAudioDecoderAcm) ReleaseAcmState(decoder);
    if (decoder->kind == kAudioDecoderOgg) CloseOggReader(decoder);
    decoder->valid = 0;
    return 0;
}

// ---- Helpers for stream sounds ----

void* BuildWaveImage(const WAVEFORMATEX* format, DWORD formatLength, const void* pcm, DWORD pcmSize,
                     DWORD* imageSize) {
    // An odd "fmt " chunk is followed by a pad byte, as RIFF readers expect.
    DWORD padded = formatLength + (formatLength & 1);
    ULONGLONG total = (ULONGLONG)padded + pcmSize + 28;
    if (total > 0xFFFFFFFFull) return nullptr;
    BYTE* image = (BYTE*)KV_ALLOC((size_t)total);
    if (image == nullptr) return nullptr;
    auto put32 = [](BYTE* p, DWORD v) {
        p[0] = (BYTE)v;
        p[1] = (BYTE)(v >> 8);
        p[2] = (BYTE)(v >> 16);
        p[3] = (BYTE)(v >> 24);
    };
    BYTE* p = image;
    memcpy(p, "RIFF", 4);
    put32(p + 4, (DWORD)total - 8);
    memcpy(p + 8, "WAVE", 4);
    memcpy(p + 12, "fmt ", 4);
    put32(p + 16, formatLength);
    p += 20;
    memcpy(p, format, formatLength);
    if (padded != formatLength) p[formatLength] = 0;
    p += padded;
    memcpy(p, "data", 4);
    put32(p + 4, pcmSize);
    if (pcmSize) memcpy(p + 8, pcm, pcmSize);
    if (imageSize) *imageSize = (DWORD)total;
    return image;
}

int ReadWholeStream(const StreamFunctionTable* table, StreamHandle handle, void** image, DWORD* size) {
    *image = nullptr;
    *size = 0;
    if (table->seek(handle, 0, SEEK_END) != 0) return -1;
    LONGLONG length = (LONGLONG)table->tell(handle);
    table->seek(handle, 0, SEEK_SET);
    if (length < 0 || length > 0x7FFFFFFF) return -1;
    BYTE* block = (BYTE*)KV_ALLOC(length ? (size_t)length : 1);
    if (block == nullptr) {
        WriteLogFormat("ストリームの読み込みに必要なメモリの確保に失敗しました");
        return -1;
    }
    DWORD got = 0;
    while (got < (DWORD)length) {
        size_t n = table->read(block + got, 1, (DWORD)length - got, handle);
        if (n == 0) break;
        got += (DWORD)n;
    }
    *image = block;
    *size = got;
    return 0;
}

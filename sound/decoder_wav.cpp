// The two RIFF WAVE readers: uncompressed PCM read straight from the stream, and any other
// format tag converted to PCM through the audio compression manager.
#include <string.h>

#include "sound/decoder_internal.h"

namespace {

struct WavLayout {
    BYTE* formatBody;    // tracked, at least sizeof(WAVEFORMATEX) bytes, zero beyond the body
    DWORD formatLength;  // length of the "fmt " chunk body
    LONGLONG dataStart;
    DWORD dataSize;      // cut to what the stream really holds
};

DWORD ReadLe32(const BYTE* p) { return (DWORD)p[0] | ((DWORD)p[1] << 8) | ((DWORD)p[2] << 16) | ((DWORD)p[3] << 24); }

// A "fmt " body large enough to be a wave format; larger ones are refused as nonsense.
constexpr DWORD kMinFormatLength = 16;
constexpr DWORD kMaxFormatLength = 0x10000;

// Walks "RIFF" "WAVE", the "fmt " chunk (which must come first) and the chunks after it up to
// "data". The stream stands at the data start afterwards. 0, or -1 with nothing held.
int WalkWav(AudioDecoder* decoder, WavLayout* layout) {
    memset(layout, 0, sizeof(*layout));
    LONGLONG length = DecoderStreamLength(decoder);
    if (length < 0) return -1;

    BYTE head[12];
    if (DecoderStreamReadExact(decoder, head, 12) != 0) return -1;
    if (memcmp(head, "RIFF", 4) != 0 || memcmp(head + 8, "WAVE", 4) != 0) return -1;

    BYTE chunk[8];
    if (DecoderStreamReadExact(decoder, chunk, 8) != 0 || memcmp(chunk, "fmt ", 4) != 0) return -1;
    DWORD formatLength = ReadLe32(chunk + 4);
    if (formatLength < kMinFormatLength || formatLength > kMaxFormatLength) return -1;

    decoder->formatChunkPos = DecoderStreamTell(decoder);
    decoder->formatChunkLength = formatLength;
    DWORD blockSize = formatLength < sizeof(WAVEFORMATEX) ? (DWORD)sizeof(WAVEFORMATEX) : formatLength;
    BYTE* body = (BYTE*)KV_ALLOC_ZEROED(blockSize);
    if (body == nullptr) return -1;
    if (DecoderStreamReadExact(decoder, body, formatLength) != 0) {
        KV_FREE(body);
        return -1;
    }
    if (formatLength & 1) DecoderStreamSeek(decoder, 1, SEEK_CUR);

    for (;;) {
        if (DecoderStreamReadExact(decoder, chunk, 8) != 0) {
            KV_FREE(body);
            return -1;
        }
        DWORD size = ReadLe32(chunk + 4);
        if (memcmp(chunk, "data", 4) == 0) {
            LONGLONG start = DecoderStreamTell(decoder);
            LONGLONG available = length - start;
            if (available < 0) available = 0;
            layout->formatBody = body;
            layout->formatLength = formatLength;
            layout->dataStart = start;
            // A header may promise more than the file holds; only what is there is data.
            layout->dataSize = (LONGLONG)size > available ? (DWORD)available : size;
            return 0;
        }
        LONGLONG skip = (LONGLONG)size + (size & 1);
        LONGLONG here = DecoderStreamTell(decoder);
        if (here < 0 || here + skip > length) {
            KV_FREE(body);
            return -1;
        }
        DecoderStreamSeek(decoder, here + skip, SEEK_SET);
    }
}

// Fields a stream must have before any size is derived from them.
bool FormatIsUsable(const WAVEFORMATEX* format) {
    return format->nChannels != 0 && format->nSamplesPerSec != 0 && format->nBlockAlign != 0;
}

}  // namespace

int OpenWavPcmReader(AudioDecoder* decoder) {
    WavLayout layout;
    if (WalkWav(decoder, &layout) != 0) return -1;

    WAVEFORMATEX* format = &decoder->outFormat;
    memset(format, 0, sizeof(*format));
    memcpy(format, layout.formatBody, layout.formatLength < sizeof(WAVEFORMATEX) ? layout.formatLength : sizeof(WAVEFORMATEX));
    KV_FREE(layout.formatBody);
    if (format->wFormatTag != WAVE_FORMAT_PCM || !FormatIsUsable(format)) return -1;
    if (layout.formatLength == 16) format->wBitsPerSample = (WORD)(format->nBlockAlign / format->nChannels * 8);
    // The output is plain PCM: no extra bytes follow it, whatever the file's chunk carried.
    format->cbSize = 0;
    if (format->wBitsPerSample == 0) return -1;

    decoder->dataStart = layout.dataStart;
    decoder->dataSize = layout.dataSize;
    decoder->kind = kAudioDecoderWavPcm;
    decoder->pcmSourceRead = 0;
    decoder->bufferSize = DecodeBufferSizeFor(decoder);
    return 0;
}

int OpenAcmWavReader(AudioDecoder* decoder) {
    WavLayout layout;
    if (WalkWav(decoder, &layout) != 0) return -1;

    WAVEFORMATEX* source = (WAVEFORMATEX*)layout.formatBody;
    if (layout.formatLength < sizeof(WAVEFORMATEX)) {
        source->cbSize = 0;
        if (source->wFormatTag == WAVE_FORMAT_PCM && source->nChannels != 0)
            source->wBitsPerSample = (WORD)(source->nBlockAlign / source->nChannels * 8);
    } else if (sizeof(WAVEFORMATEX) + source->cbSize > layout.formatLength) {
        // Never let a codec read extra bytes the chunk did not carry.
        source->cbSize = (WORD)(layout.formatLength - sizeof(WAVEFORMATEX));
    }
    if (!FormatIsUsable(source)) {
        KV_FREE(layout.formatBody);
        return -1;
    }

    BYTE* data = (BYTE*)KV_ALLOC(layout.dataSize ? layout.dataSize : 1);
    if (data == nullptr || DecoderStreamReadExact(decoder, data, layout.dataSize) != 0) {
        KV_FREE(data);
        KV_FREE(layout.formatBody);
        return -1;
    }
    DecoderStreamSeek(decoder, layout.dataStart, SEEK_SET);

    decoder->sourceFormat = source;
    decoder->sourceData = data;
    decoder->sourceSize = layout.dataSize;
    decoder->dataStart = layout.dataStart;
    decoder->dataSize = layout.dataSize;
    decoder->totalSamples = -1;
    if (OpenAcmConversion(decoder) != 0) {
        ReleaseAcmState(decoder);
        return -1;
    }
    decoder->kind = kAudioDecoderAcm;
    return 0;
}

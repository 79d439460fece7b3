// The MP3 reader: skips ID3 tags, scans the MPEG audio frames for the data range and the sample
// count, and hands the frames to the audio compression manager's layer-3 decoder.
#include <string.h>

#include "sound/decoder_internal.h"

namespace {

// kbit/s by bitrate index (0 = free format, 15 = reserved).
const int kBitrates[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // MPEG-1 layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // MPEG-1 layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // MPEG-1 layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},     // MPEG-2 layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},          // MPEG-2 layers II, III
};
const int kRates[2][3] = {{22050, 24000, 16000}, {44100, 48000, 32000}};

constexpr DWORD kId3v1Size = 128;

}  // namespace

int ParseMp3FrameHeader(const BYTE* b, Mp3FrameHeader* header) {
    if (b[0] != 0xFF || b[1] < 0xF0) return -2;
    int mpeg1 = (b[1] >> 3) & 1;
    int layerBits = (b[1] >> 1) & 3;
    if (layerBits == 0) return -1;
    int layer = 4 - layerBits;
    int bitrateIndex = b[2] >> 4;
    // Free format (index 0) has no bitrate to size a frame with; without a size the scan
    // could never move on, so such a frame is refused like a reserved one.
    if (bitrateIndex == 15 || bitrateIndex == 0) return -1;
    int rateIndex = (b[2] >> 2) & 3;
    if (rateIndex == 3) return -1;

    int row = mpeg1 ? layer - 1 : (layer == 1 ? 3 : 4);
    int bitrate = kBitrates[row][bitrateIndex];
    int rate = kRates[mpeg1][rateIndex];
    int padding = (b[2] >> 1) & 1;

    header->mpeg1 = mpeg1;
    header->layer = layer;
    header->bitrateKbps = bitrate;
    header->sampleRate = rate;
    header->padding = padding;
    header->channels = (b[3] >> 6) == 3 ? 1 : 2;
    if (layer == 1) {
        header->frameLength = 4 * (12000 * bitrate / rate + padding);
        header->samplesPerFrame = 384;
    } else if (layer == 3 && !mpeg1) {
        header->frameLength = 72000 * bitrate / rate + padding;
        header->samplesPerFrame = 576;
    } else {
        header->frameLength = 144000 * bitrate / rate + padding;
        header->samplesPerFrame = 1152;
    }
    return 0;
}

int OpenMp3Reader(AudioDecoder* decoder) {
    LONGLONG length = DecoderStreamLength(decoder);
    if (length <= 0 || length > 0x7FFFFFFF) return -1;

    // Leading ID3v2 tag.
    LONGLONG skip = 0;
    BYTE id3[10];
    if (length >= 10 && DecoderStreamReadExact(decoder, id3, 10) == 0 && memcmp(id3, "ID3", 3) == 0) {
        int version = id3[3];
        int flags = id3[5];
        LONGLONG size = ((LONGLONG)(id3[6] & 0x7F) << 21) | ((id3[7] & 0x7F) << 14) | ((id3[8] & 0x7F) << 7) |
                        (id3[9] & 0x7F);
        skip = size + 10;
        if (version == 4 && (flags & 0x10)) skip += 10;  // footer
    }

    // Trailing ID3v1 tag.
    LONGLONG limit = length;
    if (length > (LONGLONG)kId3v1Size) {
        BYTE tag[3];
        DecoderStreamSeek(decoder, length - kId3v1Size, SEEK_SET);
        if (DecoderStreamReadExact(decoder, tag, 3) == 0 && memcmp(tag, "TAG", 3) == 0) limit -= kId3v1Size;
    }
    if (skip >= limit) return -1;

    // The frames are scanned in memory: the range has to be held for the codec anyway.
    DWORD regionSize = (DWORD)(limit - skip);
    BYTE* region = (BYTE*)KV_ALLOC(regionSize);
    if (region == nullptr) return -1;
    DecoderStreamSeek(decoder, skip, SEEK_SET);
    if (DecoderStreamReadExact(decoder, region, regionSize) != 0) {
        KV_FREE(region);
        return -1;
    }

    DWORD pos = 0;
    LONGLONG start = -1, end = 0, totalSamples = 0;
    Mp3FrameHeader first{};
    while (pos < regionSize) {
        if (region[pos] != 0xFF) {
            ++pos;
            continue;
        }
        if (pos + 1 >= regionSize) break;
        if (region[pos + 1] < 0xF0) {
            pos += 2;
            continue;
        }
        if (pos + 3 >= regionSize) break;
        Mp3FrameHeader header;
        if (ParseMp3FrameHeader(region + pos, &header) != 0) {
            KV_FREE(region);
            return -1;
        }
        if (start < 0) {
            start = pos;
            first = header;
        }
        totalSamples += header.samplesPerFrame;
        DWORD frameEnd = pos + (DWORD)header.frameLength;
        if (frameEnd >= regionSize) {
            end = regionSize;
            break;
        }
        end = frameEnd;
        pos = frameEnd;
    }
    if (start < 0) {
        KV_FREE(region);
        return -1;
    }

    MPEGLAYER3WAVEFORMAT* format = (MPEGLAYER3WAVEFORMAT*)KV_ALLOC_ZEROED(sizeof(MPEGLAYER3WAVEFORMAT));
    if (format == nullptr) {
        KV_FREE(region);
        return -1;
    }
    format->wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    format->wfx.nChannels = (WORD)first.channels;
    format->wfx.nSamplesPerSec = (DWORD)first.sampleRate;
    format->wfx.nAvgBytesPerSec = (DWORD)first.bitrateKbps * 1000 / 8;
    format->wfx.nBlockAlign = 1;
    format->wfx.wBitsPerSample = 0;
    format->wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    format->wID = MPEGLAYER3_ID_MPEG;
    format->fdwFlags = (DWORD)first.padding;
    format->nBlockSize = (WORD)first.frameLength;
    format->nFramesPerBlock = 1;
    format->nCodecDelay = 700;

    DWORD dataSize = (DWORD)(end - start);
    memmove(region, region + start, dataSize);

    decoder->sourceFormat = &format->wfx;
    decoder->sourceData = region;
    decoder->sourceSize = dataSize;
    decoder->dataStart = skip + start;
    decoder->dataSize = dataSize;
    decoder->totalSamples = totalSamples;
    if (OpenAcmConversion(decoder) != 0) {
        ReleaseAcmState(decoder);
        return -1;
    }
    decoder->kind = kAudioDecoderAcm;
    return 0;
}

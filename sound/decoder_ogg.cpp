// The Ogg Vorbis reader: vorbisfile reads the decoder's stream through callbacks; the output is
// signed little-endian PCM of the configured sample width (unsigned for 8-bit).
#include <string.h>

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include "sound/decoder_internal.h"

namespace {

int g_oggSampleWidth = 2;

size_t OggRead(void* buffer, size_t size, size_t count, void* source) {
    if (size == 0) return 0;
    size_t bytes = size * count;
    if (bytes > 0x7FFFFFFF) bytes = 0x7FFFFFFF;
    return DecoderStreamRead((AudioDecoder*)source, buffer, (DWORD)bytes) / size;
}

// The stream layer seeks with 32-bit offsets; larger ones are refused.
int OggSeek(void* source, ogg_int64_t offset, int origin) {
    return DecoderStreamSeek((AudioDecoder*)source, (LONGLONG)offset, origin) == 0 ? 0 : -1;
}

int OggClose(void*) { return 0; }

long OggTell(void* source) { return (long)DecoderStreamTell((AudioDecoder*)source); }

}  // namespace

void SetOggOutputSampleWidth(int bytes) { g_oggSampleWidth = bytes == 1 ? 1 : 2; }
int GetOggOutputSampleWidth() { return g_oggSampleWidth; }

int OpenOggReader(AudioDecoder* decoder) {
    OggVorbis_File* file = (OggVorbis_File*)KV_ALLOC_ZEROED(sizeof(OggVorbis_File));
    if (file == nullptr) return -1;
    ov_callbacks callbacks = {OggRead, OggSeek, OggClose, OggTell};
    // vorbisfile clears its own state when the open fails.
    if (ov_open_callbacks(decoder, file, nullptr, 0, callbacks) != 0) {
        KV_FREE(file);
        return -1;
    }
    decoder->ogg = file;
    decoder->oggOpened = 1;

    vorbis_info* info = ov_info(file, -1);
    ogg_int64_t total = ov_pcm_total(file, -1);
    if (info == nullptr || info->channels <= 0 || info->channels > 255 || info->rate <= 0 || total < 0 ||
        total > ((ogg_int64_t)1 << 40)) {
        CloseOggReader(decoder);
        return -1;
    }

    int width = g_oggSampleWidth;
    decoder->oggSampleWidth = width;
    WAVEFORMATEX* format = &decoder->outFormat;
    memset(format, 0, sizeof(*format));
    format->wFormatTag = WAVE_FORMAT_PCM;
    format->nChannels = (WORD)info->channels;
    format->nSamplesPerSec = (DWORD)info->rate;
    format->wBitsPerSample = (WORD)(width * 8);
    format->nBlockAlign = (WORD)(info->channels * width);
    format->nAvgBytesPerSec = format->nSamplesPerSec * format->nBlockAlign;

    LONGLONG dataSize = (LONGLONG)total * format->nBlockAlign;
    decoder->dataSize = dataSize > 0xFFFFFFFFLL ? 0xFFFFFFFFu : (DWORD)dataSize;
    decoder->kind = kAudioDecoderOgg;
    decoder->bufferSize = 4096;
    return 0;
}

DWORD OggDecodeInto(AudioDecoder* decoder, BYTE* buffer, DWORD bytes) {
    // Holes in the data are stepped over; other errors and the end stop the sound.
    for (int tries = 0; tries < 64; ++tries) {
        int section = 0;
        long got = ov_read(decoder->ogg, (char*)buffer, (int)bytes, 0, decoder->oggSampleWidth,
                           decoder->oggSampleWidth != 1, &section);
        if (got == OV_HOLE) continue;
        return got > 0 ? (DWORD)got : 0;
    }
    return 0;
}

int OggSeekSample(AudioDecoder* decoder, LONGLONG sample) {
    return ov_pcm_seek(decoder->ogg, (ogg_int64_t)sample) == 0 ? 0 : -1;
}

LONGLONG OggTotalSamples(AudioDecoder* decoder) {
    ogg_int64_t total = ov_pcm_total(decoder->ogg, -1);
    return total < 0 ? -1 : (LONGLONG)total;
}

void CloseOggReader(AudioDecoder* decoder) {
    if (decoder->ogg) {
        if (decoder->oggOpened) ov_clear(decoder->ogg);
        KV_FREE(decoder->ogg);
    }
    decoder->ogg = nullptr;
    decoder->oggOpened = 0;
}

// sounddump: decodes one sound through the runtime's audio decoders (PCM WAV, compressed WAV through the audio
// compression manager, Ogg Vorbis, MP3) and writes the PCM as a plain WAV file. The file is read as a stream through
// the runtime's file layer, so a path whose folder is packed into an archive beside it is read from that archive.
//
//   sounddump [-e EXT] [-q] SOUND OUT.wav
//     -e EXT  extension of the archives that stand for folders (default QVA; the game uses Qzm)
//     -q      no summary line on standard output
#include <stdio.h>

#include "runtime/file.h"
#include "runtime/memory.h"
#include "runtime/stream.h"
#include "sound/audio_decoder.h"
#include "tools/common/dump_tool.h"

namespace {

int Usage() {
    fprintf(stderr, "usage: sounddump [-e EXT] [-q] SOUND OUT.wav\n");
    return 2;
}

void DescribeKind(const AudioDecoder& decoder, char* text, size_t size) {
    switch (decoder.kind) {
        case kAudioDecoderWavPcm: snprintf(text, size, "PCM WAV"); break;
        case kAudioDecoderAcm:
            snprintf(text, size, "%s (format tag 0x%04X)",
                     decoder.sourceFormat->wFormatTag == WAVE_FORMAT_MPEGLAYER3 && decoder.totalSamples >= 0
                         ? "MP3"
                         : "compressed WAV",
                     decoder.sourceFormat->wFormatTag);
            break;
        case kAudioDecoderOgg: snprintf(text, size, "Ogg Vorbis"); break;
        default: snprintf(text, size, "unknown"); break;
    }
}

bool WriteFile(const char* path, const void* data, DWORD size) {
    FILE* f = fopen(path, "wb");
    if (f == nullptr) return false;
    bool ok = fwrite(data, 1, size, f) == size;
    return fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    DumpToolArguments args;
    if (ParseDumpToolArguments(argc, argv, &args) != 0) return Usage();
    StartDumpToolFileLayer(args.extension);

    int result = 1;
    FileHandle file = FileLayerOpen(args.input, 0, 0);
    if (file == 0) {
        fprintf(stderr, "sounddump: %s: cannot be opened\n", args.input);
        EndDumpToolFileLayer();
        return 1;
    }
    AudioDecoder* decoder = (AudioDecoder*)KV_ALLOC_ZEROED(sizeof(AudioDecoder));
    if (decoder == nullptr || AudioDecoderOpen(GetFileStreamFunctions(), (StreamHandle)file, decoder) != 0) {
        fprintf(stderr, "sounddump: %s: no decoder accepts it\n", args.input);
    } else {
        WAVEFORMATEX format;
        void* pcm = nullptr;
        DWORD pcmSize = 0;
        if (AudioDecoderReadAll(decoder, &format, &pcm, &pcmSize) != 0) {
            fprintf(stderr, "sounddump: %s: decoding failed\n", args.input);
        } else {
            DWORD imageSize = 0;
            void* image = BuildWaveImage(&format, sizeof(WAVEFORMATEX), pcm, pcmSize, &imageSize);
            if (image == nullptr || !WriteFile(args.output, image, imageSize)) {
                fprintf(stderr, "sounddump: %s: cannot write\n", args.output);
            } else {
                if (!args.quiet) {
                    char kind[64];
                    DescribeKind(*decoder, kind, sizeof(kind));
                    printf("%s: %s, %lu Hz, %u channels, %u bits, %lu sample frames\n", args.input, kind,
                           (unsigned long)format.nSamplesPerSec, format.nChannels, format.wBitsPerSample,
                           (unsigned long)(pcmSize / format.nBlockAlign));
                }
                result = 0;
            }
            KV_FREE(image);
            KV_FREE(pcm);
        }
        AudioDecoderClose(decoder);
    }
    KV_FREE(decoder);
    FileLayerClose(file);
    EndDumpToolFileLayer();
    return result;
}

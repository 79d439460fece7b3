// sounddump: decodes one sound through the runtime's audio decoders (PCM WAV, compressed WAV through the audio
// compression manager, Ogg Vorbis, MP3) and writes the PCM as a plain WAV file. The file is read as a stream through
// the runtime's file layer, so a path whose folder is packed into an archive beside it is read from that archive.
//
//   sounddump [-e EXT] [-q] SOUND OUT.wav
//     -e EXT  extension of the archives that stand for folders (default QVA; the game uses Qzm)
//     -q      no summary line on standard output
#include <stdio.h>
#include <string.h>

#include "runtime/archive.h"
#include "runtime/file.h"
#include "runtime/memory.h"
#include "runtime/stream.h"
#include "sound/audio_decoder.h"

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
    const char* extension = nullptr;
    bool quiet = false;
    const char* files[2] = {nullptr, nullptr};
    int fileCount = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "-e") == 0 && i + 1 < argc) {
            extension = argv[++i];
        } else if (strcmp(argv[i], "-q") == 0) {
            quiet = true;
        } else if (argv[i][0] == '-' || fileCount == 2) {
            return Usage();
        } else {
            files[fileCount++] = argv[i];
        }
    }
    if (fileCount != 2) return Usage();

    // The part of the runtime's start-up that reading files needs.
    ArchiveTableClear();
    SelectFileBackEnd(nullptr);
    InitStreamFunctionTables();
    if (extension != nullptr) ArchiveSetExtensionImpl(extension);

    int result = 1;
    FileHandle file = FileLayerOpen(files[0], 0, 0);
    if (file == 0) {
        fprintf(stderr, "sounddump: %s: cannot be opened\n", files[0]);
        ArchiveReleaseAll();
        return 1;
    }
    AudioDecoder* decoder = (AudioDecoder*)KV_ALLOC_ZEROED(sizeof(AudioDecoder));
    if (decoder == nullptr || AudioDecoderOpen(GetFileStreamFunctions(), (StreamHandle)file, decoder) != 0) {
        fprintf(stderr, "sounddump: %s: no decoder accepts it\n", files[0]);
    } else {
        WAVEFORMATEX format;
        void* pcm = nullptr;
        DWORD pcmSize = 0;
        if (AudioDecoderReadAll(decoder, &format, &pcm, &pcmSize) != 0) {
            fprintf(stderr, "sounddump: %s: decoding failed\n", files[0]);
        } else {
            DWORD imageSize = 0;
            void* image = BuildWaveImage(&format, sizeof(WAVEFORMATEX), pcm, pcmSize, &imageSize);
            if (image == nullptr || !WriteFile(files[1], image, imageSize)) {
                fprintf(stderr, "sounddump: %s: cannot write\n", files[1]);
            } else {
                if (!quiet) {
                    char kind[64];
                    DescribeKind(*decoder, kind, sizeof(kind));
                    printf("%s: %s, %lu Hz, %u channels, %u bits, %lu sample frames\n", files[0], kind,
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
    ArchiveReleaseAll();
    return result;
}

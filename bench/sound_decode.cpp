// Decode speed of the sound loader's path (memory stream, audio decoder, read-all) for a three-minute stereo
// MP3 and Ogg Vorbis file, side by side with the bare libraries on the same bytes: vorbisfile reading straight
// from memory, and one compression-manager conversion in large steps. Prints milliseconds per decode, output
// megabytes per second and the overhead of our layer.
//
//   bench_sound_decode [FOLDER]   (default: %KAVORIN_FIXTURES%\sound; make the files with
//                                  tests/sound/make_fixtures.sh --bench)
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include <windows.h>
#include <mmreg.h>
#include <msacm.h>
#include <objbase.h>

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include "runtime/memory.h"
#include "runtime/stream.h"
#include "sound/audio_decoder.h"
#include "sound/sound_handle.h"
#include "sound/sound_system.h"

#include "bench/bench_timing.h"

namespace {

int kRounds = 7;  // 1 in short mode

double NowMs() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return (double)counter.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

std::vector<unsigned char> ReadAllBytes(const std::string& path) {
    std::vector<unsigned char> bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) return bytes;
    fseek(f, 0, SEEK_END);
    long size = ftell(f);
    fseek(f, 0, SEEK_SET);
    bytes.resize(size > 0 ? (size_t)size : 0);
    if (!bytes.empty() && fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) bytes.clear();
    fclose(f);
    return bytes;
}

// Our path: what LoadSoundHandleFromImage does before it makes buffers. Returns PCM bytes, 0 on failure.
size_t DecodeOurs(const std::vector<unsigned char>& file) {
    StreamHandle stream = OpenMemoryStream(file.data(), (int)file.size());
    AudioDecoder* decoder = (AudioDecoder*)KV_ALLOC_ZEROED(sizeof(AudioDecoder));
    size_t bytes = 0;
    if (AudioDecoderOpen(GetMemoryStreamFunctions(), stream, decoder) == 0) {
        WAVEFORMATEX format;
        void* pcm = nullptr;
        DWORD size = 0;
        if (AudioDecoderReadAll(decoder, &format, &pcm, &size) == 0) bytes = size;
        KV_FREE(pcm);
        AudioDecoderClose(decoder);
    }
    KV_FREE(decoder);
    CloseMemoryStream(stream);
    return bytes;
}

struct MemoryFile {
    const unsigned char* data;
    size_t size;
    size_t position;
};

size_t MemRead(void* buffer, size_t size, size_t count, void* source) {
    MemoryFile* m = (MemoryFile*)source;
    size_t want = size * count, left = m->size - m->position;
    if (want > left) want = left - left % (size ? size : 1);
    memcpy(buffer, m->data + m->position, want);
    m->position += want;
    return size ? want / size : 0;
}
int MemSeek(void* source, ogg_int64_t offset, int origin) {
    MemoryFile* m = (MemoryFile*)source;
    long long p = origin == SEEK_SET ? offset : origin == SEEK_CUR ? (long long)m->position + offset : (long long)m->size + offset;
    if (p < 0 || p > (long long)m->size) return -1;
    m->position = (size_t)p;
    return 0;
}
long MemTell(void* source) { return (long)((MemoryFile*)source)->position; }

// Bare vorbisfile: the same output width and bytes per call, into a new block of the same size ours takes.
size_t DecodeBareVorbis(const std::vector<unsigned char>& file) {
    MemoryFile memory = {file.data(), file.size(), 0};
    OggVorbis_File vf;
    ov_callbacks callbacks = {MemRead, MemSeek, nullptr, MemTell};
    if (ov_open_callbacks(&memory, &vf, nullptr, 0, callbacks) != 0) return 0;
    size_t size = ((size_t)ov_pcm_total(&vf, -1) + 44100) * (size_t)ov_info(&vf, -1)->channels * 2;
    char* out = (char*)malloc(size);
    size_t got = 0;
    int section = 0;
    long n;
    while (out && got < size && (n = ov_read(&vf, out + got, (int)std::min<size_t>(4096, size - got), 0, 2, 1, &section)) > 0)
        got += (size_t)n;
    free(out);
    ov_clear(&vf);
    return got;
}

// Bare compression manager: one stream, 64 KB of MP3 per conversion, into a new block.
size_t DecodeBareAcm(const std::vector<unsigned char>& file) {
    size_t start = 0;
    Mp3FrameHeader first;
    while (start + 4 <= file.size() && ParseMp3FrameHeader(&file[start], &first) != 0) ++start;
    if (start + 4 > file.size()) return 0;
    MPEGLAYER3WAVEFORMAT source = {};
    source.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    source.wfx.nChannels = (WORD)first.channels;
    source.wfx.nSamplesPerSec = (DWORD)first.sampleRate;
    source.wfx.nAvgBytesPerSec = (DWORD)first.bitrateKbps * 125;
    source.wfx.nBlockAlign = 1;
    source.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    source.wID = MPEGLAYER3_ID_MPEG;
    source.fdwFlags = (DWORD)first.padding;
    source.nBlockSize = (WORD)first.frameLength;
    source.nFramesPerBlock = 1;
    source.nCodecDelay = 700;
    WAVEFORMATEX pcm = {};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    if (acmFormatSuggest(nullptr, &source.wfx, &pcm, sizeof(pcm), ACM_FORMATSUGGESTF_WFORMATTAG) != 0) return 0;
    HACMSTREAM stream;
    if (acmStreamOpen(&stream, nullptr, &source.wfx, &pcm, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) != 0) return 0;
    const DWORD step = 65536;
    DWORD stepOut = 0;
    acmStreamSize(stream, step, &stepOut, ACM_STREAMSIZEF_SOURCE);
    size_t total = (file.size() - start) / first.frameLength * (size_t)first.samplesPerFrame * pcm.nBlockAlign;
    size_t size = total + 4 * (size_t)stepOut;
    unsigned char* out = (unsigned char*)malloc(size);
    size_t got = 0;
    for (size_t pos = start; out && pos < file.size() && got + stepOut <= size;) {
        ACMSTREAMHEADER header = {};
        header.cbStruct = sizeof(header);
        header.pbSrc = (LPBYTE)&file[pos];
        header.cbSrcLength = (DWORD)std::min<size_t>(step, file.size() - pos);
        header.pbDst = out + got;
        header.cbDstLength = stepOut;
        acmStreamPrepareHeader(stream, &header, 0);
        MMRESULT result = acmStreamConvert(stream, &header, ACM_STREAMCONVERTF_BLOCKALIGN);
        acmStreamUnprepareHeader(stream, &header, 0);
        if (result != 0 || header.cbSrcLengthUsed == 0) break;
        pos += header.cbSrcLengthUsed;
        got += header.cbDstLengthUsed;
    }
    acmStreamClose(stream, 0);
    free(out);
    return got;
}

template <typename Fn>
double TimeMs(Fn fn, size_t* bytes) {
    double t0 = NowMs();
    *bytes = fn();
    return NowMs() - t0;
}

template <typename Fn>
double BestMs(Fn fn, size_t* bytes) {
    double best = 1e30;
    for (int i = 0; i < kRounds; ++i) best = std::min(best, TimeMs(fn, bytes));
    return best;
}

// Both paths in alternation, so that a busy machine slows them alike; the best time of each.
template <typename A, typename B>
void BestOfPair(A a, B b, double* msA, size_t* bytesA, double* msB, size_t* bytesB) {
    *msA = *msB = 1e30;
    for (int i = 0; i < kRounds; ++i) {
        *msA = std::min(*msA, TimeMs(a, bytesA));
        *msB = std::min(*msB, TimeMs(b, bytesB));
    }
}

void Line(const char* name, double ms, size_t bytes) {
    printf("  %-34s %9.1f ms  %8.1f MB/s of PCM  (%zu bytes)\n", name, ms, bytes / 1048576.0 / (ms / 1000.0), bytes);
}

}  // namespace

int main(int argc, char** argv) {
    ReadBenchArguments(argc, argv);
    kRounds = Repeats(7, 1);
    std::string folder;
    if (argc > 1 && strcmp(argv[1], "--short") != 0) {
        folder = argv[1];
    } else if (const char* root = getenv("KAVORIN_FIXTURES")) {
        folder = std::string(root) + "\\sound";
    }
    // Short mode decodes the tests' two-second files, so it needs no benchmark fixtures.
    const std::string mp3Name = ShortRun() ? "tone440_mpeg1.mp3" : "bench_3min.mp3";
    const std::string oggName = ShortRun() ? "music.ogg" : "bench_3min.ogg";
    std::vector<unsigned char> mp3 = ReadAllBytes(folder + "\\" + mp3Name);
    std::vector<unsigned char> ogg = ReadAllBytes(folder + "\\" + oggName);
    if (mp3.empty() || ogg.empty()) {
        fprintf(stderr, "bench_sound_decode: %s or %s not found in '%s'; run tests/sound/make_fixtures.sh --bench\n",
                mp3Name.c_str(), oggName.c_str(), folder.c_str());
        return 1;
    }
    InitStreamFunctionTables();
    SetOggOutputSampleWidth(2);
    printf("Decoding %s of 44.1 kHz stereo, best of %d alternating runs\n",
           ShortRun() ? "two seconds" : "three minutes", kRounds);

    size_t ours = 0, bare = 0;
    printf("Ogg Vorbis (%zu bytes)\n", ogg.size());
    double oursOgg = 0, bareOgg = 0;
    BestOfPair([&] { return DecodeOurs(ogg); }, [&] { return DecodeBareVorbis(ogg); }, &oursOgg, &ours, &bareOgg, &bare);
    const size_t oggBytes = ours;
    Line("loader path (decoder, read-all)", oursOgg, ours);
    Line("bare vorbisfile", bareOgg, bare);
    printf("  overhead of our layer: %+.1f %% (ratio %.3f)\n", (oursOgg / bareOgg - 1.0) * 100.0, oursOgg / bareOgg);

    printf("MP3 (%zu bytes)\n", mp3.size());
    double oursMp3 = 0, bareMp3 = 0;
    BestOfPair([&] { return DecodeOurs(mp3); }, [&] { return DecodeBareAcm(mp3); }, &oursMp3, &ours, &bareMp3, &bare);
    const size_t mp3Bytes = ours;
    Line("loader path (scan, decoder, read-all)", oursMp3, ours);
    Line("bare compression-manager conversion", bareMp3, bare);
    printf("  overhead of our layer: %+.1f %% (ratio %.3f)\n", (oursMp3 / bareMp3 - 1.0) * 100.0, oursMp3 / bareMp3);

    // The whole load, with DirectSound buffers, for scale.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (InitSoundSystem() == 0) {
        printf("Whole LoadSoundHandleFromImage with 3 DirectSound buffers\n");
        int handle = -1;
        size_t dummy = 0;
        double loadMp3 = BestMs([&] {
            handle = LoadSoundHandleFromImage(mp3.data(), (int)mp3.size(), 3, -1);
            ReleaseSoundHandleImpl(handle);
            return (size_t)(handle >= 0);
        }, &dummy);
        Line("MP3 load", loadMp3, mp3Bytes);
        double loadOgg = BestMs([&] {
            handle = LoadSoundHandleFromImage(ogg.data(), (int)ogg.size(), 3, -1);
            ReleaseSoundHandleImpl(handle);
            return (size_t)(handle >= 0);
        }, &dummy);
        Line("Ogg load", loadOgg, oggBytes);
        TerminateSoundSystem();
    }
    CoUninitialize();
    return 0;
}

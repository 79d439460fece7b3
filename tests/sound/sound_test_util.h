// Helpers of the sound tests: fixture files made by make_fixtures.sh, an independent little WAV
// reader and writer for building odd layouts and reading reference decodes, and decoding through
// the audio decoder over a memory stream.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include <windows.h>
#include <mmreg.h>

typedef std::vector<uint8_t> Bytes;

// Full path of a fixture in $KAVORIN_FIXTURES\sound; empty when the variable is not set.
std::string FixturePath(const char* name);
// The file's bytes; an empty vector when it cannot be read.
Bytes ReadFileBytes(const std::string& path);
// Loads a fixture or fails the current test (as a fatal failure) with a hint to make_fixtures.sh.
Bytes LoadFixture(const char* name);

void PutLe16(Bytes& out, uint16_t value);
void PutLe32(Bytes& out, uint32_t value);
void PutTag(Bytes& out, const char* tag);

// A chunk for MakeRiff.
struct RiffChunk {
    std::string tag;
    Bytes body;
    uint32_t declaredSize;  // 0xFFFFFFFF: the body's size
};
// "RIFF" size "WAVE" and the chunks in order, odd bodies padded with a zero byte.
Bytes MakeRiff(const std::vector<RiffChunk>& chunks);
// The "fmt " body of a PCM format: 16 bytes, or longer with cbSize and extra zero bytes.
Bytes PcmFormatBody(int channels, int rate, int bits, int length = 16, uint16_t cbSize = 0);
// A plain 16-byte-fmt PCM WAV.
Bytes MakePcmWav(int channels, int rate, int bits, const Bytes& pcm);

// A PCM WAV as read by the test's own reader.
struct PcmWav {
    WAVEFORMATEX format;
    Bytes data;
};
bool ParsePcmWav(const Bytes& file, PcmWav* out);

// Result of decoding a whole image through AudioDecoderOpen / AudioDecoderReadAll.
struct Decoded {
    int openResult = -1;
    int readResult = -1;
    int kind = -1;
    WAVEFORMATEX format{};
    Bytes pcm;
    long long pcmSizeQuery = -1;  // AudioDecoderGetPcmSize right after opening
    long long dataStart = -1;
};
Decoded DecodeImage(const Bytes& image);

// Samples of 16-bit PCM bytes.
std::vector<int16_t> Samples16(const Bytes& pcm);
// Frequency of the dominant tone of one channel from its zero crossings, over the middle half.
double ToneFrequency(const std::vector<int16_t>& samples, int channels, int channel, int rate);
// Largest absolute difference over the common length of two sample sets.
int MaxSampleDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t* compared);
// Mean absolute difference over the common length.
double MeanSampleDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b);

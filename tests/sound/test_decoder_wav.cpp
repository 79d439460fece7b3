// The PCM WAV reader on hand-built files: chunk layouts, format lengths, truncated and empty data,
// and the files it must leave to other readers or refuse.
#include <string.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "runtime/memory.h"
#include "runtime/stream.h"
#include "sound/audio_decoder.h"
#include "sound/sound_test_util.h"

namespace {

// PCM bytes without any 0xFF, so that a refused WAV can never pass for MPEG frames either.
Bytes RampPcm(size_t bytes) {
    Bytes pcm(bytes);
    for (size_t i = 0; i < bytes; ++i) pcm[i] = (uint8_t)(0x10 + (i * 7) % 0xE0);
    return pcm;
}

struct LayoutCase {
    const char* name;
    int channels;
    int bits;
    int formatLength;               // 16, 18, 20 or an odd length
    std::vector<RiffChunk> between;  // chunks between "fmt " and "data"
};

class PcmWavLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(PcmWavLayout, DecodesTheDataChunkExactly) {
    const LayoutCase& c = GetParam();
    const int rate = 11025;
    Bytes pcm = RampPcm((size_t)(c.channels * c.bits / 8) * 501);
    std::vector<RiffChunk> chunks = {{"fmt ", PcmFormatBody(c.channels, rate, c.bits, c.formatLength, 0), 0xFFFFFFFFu}};
    chunks.insert(chunks.end(), c.between.begin(), c.between.end());
    chunks.push_back({"data", pcm, 0xFFFFFFFFu});

    Decoded d = DecodeImage(MakeRiff(chunks));
    ASSERT_EQ(0, d.openResult);
    EXPECT_EQ(kAudioDecoderWavPcm, d.kind);
    EXPECT_EQ(0, d.readResult);
    EXPECT_EQ(WAVE_FORMAT_PCM, d.format.wFormatTag);
    EXPECT_EQ(c.channels, d.format.nChannels);
    EXPECT_EQ((DWORD)rate, d.format.nSamplesPerSec);
    EXPECT_EQ(c.bits, d.format.wBitsPerSample);
    EXPECT_EQ(c.channels * c.bits / 8, d.format.nBlockAlign);
    EXPECT_EQ(0, d.format.cbSize);
    EXPECT_EQ((long long)pcm.size(), d.pcmSizeQuery);
    EXPECT_EQ(pcm, d.pcm);
}

Bytes OddBody(size_t n) { return Bytes(n, 0x41); }

INSTANTIATE_TEST_SUITE_P(
    Layouts, PcmWavLayout,
    ::testing::Values(LayoutCase{"mono8", 1, 8, 16, {}}, LayoutCase{"stereo8", 2, 8, 16, {}},
                      LayoutCase{"mono16", 1, 16, 16, {}}, LayoutCase{"stereo16", 2, 16, 16, {}},
                      LayoutCase{"fmt18", 2, 16, 18, {}}, LayoutCase{"fmt20", 1, 16, 20, {}},
                      LayoutCase{"fmt17padded", 1, 8, 17, {}},
                      LayoutCase{"oddChunks", 2, 16, 18, {{"LIST", OddBody(5), 0xFFFFFFFFu}, {"junk", OddBody(1), 0xFFFFFFFFu}}},
                      LayoutCase{"evenChunk", 1, 8, 16, {{"fact", OddBody(4), 0xFFFFFFFFu}}}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

TEST(PcmWavReader, SixteenByteFormatTakesBitsFromBlockAlign) {
    // bits field says 12, block align says 2 bytes a sample for mono: 16-bit it is.
    Bytes format = PcmFormatBody(1, 8000, 16);
    format[14] = 12;
    Bytes pcm = RampPcm(200);
    Decoded d = DecodeImage(MakeRiff({{"fmt ", format, 0xFFFFFFFFu}, {"data", pcm, 0xFFFFFFFFu}}));
    ASSERT_EQ(0, d.openResult);
    EXPECT_EQ(16, d.format.wBitsPerSample);
    EXPECT_EQ(pcm, d.pcm);
}

TEST(PcmWavReader, TruncatedDataGivesOnlyTheBytesPresentInWholeFrames) {
    // The data chunk promises 10000 bytes of 16-bit stereo; the file ends after 3003 of them.
    Bytes pcm = RampPcm(3003);
    Bytes file = MakeRiff({{"fmt ", PcmFormatBody(2, 22050, 16), 0xFFFFFFFFu}, {"data", pcm, 10000}});
    file.resize(file.size() - (pcm.size() & 1));  // no pad byte behind a cut-off chunk
    Decoded d = DecodeImage(file);
    ASSERT_EQ(0, d.openResult);
    EXPECT_EQ(0, d.readResult);
    ASSERT_EQ(3000u, d.pcm.size());
    EXPECT_TRUE(std::equal(d.pcm.begin(), d.pcm.end(), pcm.begin()));
}

TEST(PcmWavReader, EmptyDataDecodesToNothing) {
    Decoded d = DecodeImage(MakeRiff({{"fmt ", PcmFormatBody(1, 8000, 8), 0xFFFFFFFFu}, {"data", {}, 0xFFFFFFFFu}}));
    ASSERT_EQ(0, d.openResult);
    EXPECT_EQ(0, d.readResult);
    EXPECT_TRUE(d.pcm.empty());
}

TEST(PcmWavReader, RefusedLayouts) {
    Bytes pcm = RampPcm(400);
    Bytes zeroChannels = PcmFormatBody(1, 8000, 16);
    zeroChannels[2] = 0;
    Bytes zeroBlock = PcmFormatBody(1, 8000, 16);
    zeroBlock[12] = 0;
    Bytes zeroRate = PcmFormatBody(1, 8000, 16);
    memset(&zeroRate[4], 0, 4);
    Bytes shortFormat = PcmFormatBody(1, 8000, 8);
    shortFormat.resize(14);
    struct {
        const char* name;
        Bytes file;
    } cases[] = {
        {"chunk before fmt", MakeRiff({{"LIST", OddBody(6), 0xFFFFFFFFu}, {"fmt ", PcmFormatBody(1, 8000, 8), 0xFFFFFFFFu},
                                        {"data", pcm, 0xFFFFFFFFu}})},
        {"no data chunk", MakeRiff({{"fmt ", PcmFormatBody(1, 8000, 8), 0xFFFFFFFFu}, {"LIST", pcm, 0xFFFFFFFFu}})},
        {"chunk runs past the end", MakeRiff({{"fmt ", PcmFormatBody(1, 8000, 8), 0xFFFFFFFFu}, {"LIST", OddBody(4), 0x7FFFFFF0},
                                               {"data", pcm, 0xFFFFFFFFu}})},
        {"short fmt", MakeRiff({{"fmt ", shortFormat, 0xFFFFFFFFu}, {"data", pcm, 0xFFFFFFFFu}})},
        {"zero channels", MakeRiff({{"fmt ", zeroChannels, 0xFFFFFFFFu}, {"data", pcm, 0xFFFFFFFFu}})},
        {"zero block align", MakeRiff({{"fmt ", zeroBlock, 0xFFFFFFFFu}, {"data", pcm, 0xFFFFFFFFu}})},
        {"zero rate", MakeRiff({{"fmt ", zeroRate, 0xFFFFFFFFu}, {"data", pcm, 0xFFFFFFFFu}})},
        {"not WAVE", [&] { Bytes b = MakePcmWav(1, 8000, 8, pcm); memcpy(&b[8], "AVI ", 4); return b; }()},
        {"empty", Bytes()},
    };
    for (auto& c : cases) {
        Decoded d = DecodeImage(c.file);
        EXPECT_EQ(-1, d.openResult) << c.name;
    }
}

TEST(PcmWavReader, ReadInPiecesAndSeekMatchTheWholeDecode) {
    Bytes pcm = RampPcm(4 * 30000);
    Bytes file = MakePcmWav(2, 44100, 16, pcm);
    StreamHandle stream = OpenMemoryStream(file.data(), (int)file.size());
    AudioDecoder decoder;
    ASSERT_EQ(0, AudioDecoderOpen(GetMemoryStreamFunctions(), stream, &decoder));

    Bytes pieces;
    uint8_t chunk[777];
    int n;
    while ((n = AudioDecoderRead(&decoder, chunk, sizeof(chunk))) > 0) pieces.insert(pieces.end(), chunk, chunk + n);
    EXPECT_EQ(pcm, pieces);
    EXPECT_EQ(0, AudioDecoderRead(&decoder, chunk, sizeof(chunk)));
    EXPECT_EQ(1, decoder.endFlag);

    for (LONGLONG sample : {12345LL, 100LL, 29999LL, 0LL}) {
        ASSERT_EQ(0, AudioDecoderSeek(&decoder, sample));
        uint8_t got[64];
        int want = (int)std::min<size_t>(sizeof(got), pcm.size() - (size_t)sample * 4);
        ASSERT_EQ(want, AudioDecoderRead(&decoder, got, want)) << sample;
        EXPECT_EQ(0, memcmp(got, &pcm[(size_t)sample * 4], want)) << sample;
    }
    EXPECT_EQ(0, AudioDecoderClose(&decoder));
    EXPECT_EQ(-1, AudioDecoderClose(&decoder));
    EXPECT_EQ(-1, AudioDecoderRead(&decoder, chunk, 4));
    CloseMemoryStream(stream);
}

TEST(PcmWavReader, ReadAllAfterPartialReadStartsFromTheBeginning) {
    Bytes pcm = RampPcm(2 * 5000);
    Bytes file = MakePcmWav(1, 22050, 16, pcm);
    StreamHandle stream = OpenMemoryStream(file.data(), (int)file.size());
    AudioDecoder decoder;
    ASSERT_EQ(0, AudioDecoderOpen(GetMemoryStreamFunctions(), stream, &decoder));
    uint8_t few[6];
    ASSERT_EQ(6, AudioDecoderRead(&decoder, few, 6));
    WAVEFORMATEX format;
    void* all = nullptr;
    DWORD size = 0;
    ASSERT_EQ(0, AudioDecoderReadAll(&decoder, &format, &all, &size));
    ASSERT_EQ(pcm.size(), size);
    EXPECT_EQ(0, memcmp(all, pcm.data(), size));
    TrackedFree(all);
    AudioDecoderClose(&decoder);
    CloseMemoryStream(stream);
}

}  // namespace

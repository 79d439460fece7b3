// Compressed WAVs through the audio compression manager, against sox's own decode of the same
// files: G.711 must match exactly, ADPCM and GSM within a small tolerance.
#include <string.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "runtime/memory.h"
#include "runtime/stream.h"
#include "sound/audio_decoder.h"
#include "sound/sound_test_util.h"

namespace {

struct CodecCase {
    const char* name;
    const char* file;
    const char* reference;
    int tolerance;     // largest sample difference allowed
    double meanTolerance;  // mean absolute sample difference allowed
    int lengthSlack;   // sample frames our decode may differ from the reference's length
};

class AcmCodec : public ::testing::TestWithParam<CodecCase> {};

TEST_P(AcmCodec, MatchesTheReferenceDecode) {
    const CodecCase& c = GetParam();
    Bytes file = LoadFixture(c.file);
    Bytes referenceFile = LoadFixture(c.reference);
    ASSERT_FALSE(file.empty() || referenceFile.empty());
    PcmWav reference;
    ASSERT_TRUE(ParsePcmWav(referenceFile, &reference));

    Decoded d = DecodeImage(file);
    ASSERT_EQ(0, d.openResult) << "the compression manager has no decoder for " << c.name;
    EXPECT_EQ(kAudioDecoderAcm, d.kind);
    ASSERT_EQ(0, d.readResult);
    EXPECT_EQ(WAVE_FORMAT_PCM, d.format.wFormatTag);
    EXPECT_EQ(reference.format.nChannels, d.format.nChannels);
    EXPECT_EQ(reference.format.nSamplesPerSec, d.format.nSamplesPerSec);
    ASSERT_EQ(16, d.format.wBitsPerSample);
    // The whole-sound size was an estimate; what was handed out is what was decoded.
    EXPECT_LE((long long)d.pcm.size(), d.pcmSizeQuery);
    EXPECT_EQ(0u, d.pcm.size() % d.format.nBlockAlign);

    std::vector<int16_t> ours = Samples16(d.pcm), theirs = Samples16(reference.data);
    long long frames = (long long)ours.size() / d.format.nChannels;
    long long referenceFrames = (long long)theirs.size() / d.format.nChannels;
    EXPECT_NEAR((double)referenceFrames, (double)frames, c.lengthSlack);
    size_t compared = 0;
    EXPECT_LE(MaxSampleDifference(ours, theirs, &compared), c.tolerance);
    EXPECT_LE(MeanSampleDifference(ours, theirs), c.meanTolerance);
    EXPECT_GE(compared, theirs.size() - (size_t)c.lengthSlack * d.format.nChannels);
}

// G.711, IMA ADPCM and GSM decode to the same samples as sox's. The two MS ADPCM decoders round
// the predictor differently and the error feeds back within a block: a small drift is expected.
INSTANTIATE_TEST_SUITE_P(Codecs, AcmCodec,
                         ::testing::Values(CodecCase{"alaw", "alaw.wav", "alaw_ref.wav", 0, 0.0, 0},
                                           CodecCase{"mulaw", "mulaw.wav", "mulaw_ref.wav", 0, 0.0, 0},
                                           CodecCase{"ima_mono", "ima_adpcm_mono.wav", "ima_adpcm_mono_ref.wav", 0, 0.0, 0},
                                           CodecCase{"ima_stereo", "ima_adpcm_stereo.wav", "ima_adpcm_stereo_ref.wav", 0, 0.0, 0},
                                           CodecCase{"ms_mono", "ms_adpcm_mono.wav", "ms_adpcm_mono_ref.wav", 100, 3.0, 0},
                                           CodecCase{"ms_stereo", "ms_adpcm_stereo.wav", "ms_adpcm_stereo_ref.wav", 100, 3.0, 0},
                                           CodecCase{"gsm", "gsm.wav", "gsm_ref.wav", 0, 0.0, 0}),
                         [](const ::testing::TestParamInfo<CodecCase>& info) { return std::string(info.param.name); });

// Seeks forwards, backwards and within the buffered output give the same bytes as the whole decode.
TEST(AcmDecoder, SeeksMatchTheWholeDecode) {
    for (const char* name : {"ms_adpcm_stereo.wav", "alaw.wav"}) {
        Bytes file = LoadFixture(name);
        ASSERT_FALSE(file.empty());
        Decoded whole = DecodeImage(file);
        ASSERT_EQ(0, whole.openResult) << name;
        const int align = whole.format.nBlockAlign;
        const long long frames = (long long)whole.pcm.size() / align;

        StreamHandle stream = OpenMemoryStream(file.data(), (int)file.size());
        AudioDecoder decoder;
        ASSERT_EQ(0, AudioDecoderOpen(GetMemoryStreamFunctions(), stream, &decoder));
        for (long long sample : {frames / 2, frames / 2 + 3, frames / 5, frames - 40, 0LL, frames / 3}) {
            ASSERT_EQ(0, AudioDecoderSeek(&decoder, sample)) << name << " " << sample;
            uint8_t got[160];
            int want = (int)std::min<long long>(sizeof(got), (frames - sample) * align);
            ASSERT_EQ(want, AudioDecoderRead(&decoder, got, want)) << name << " " << sample;
            EXPECT_EQ(0, memcmp(got, &whole.pcm[(size_t)(sample * align)], want)) << name << " " << sample;
        }
        AudioDecoderClose(&decoder);
        CloseMemoryStream(stream);
    }
}

// An MS ADPCM WAV, mono 22050 Hz, with blocks of `blockAlign` bytes: a header per block and
// constant nibbles (a valid, boring signal).
Bytes MsAdpcmWav(int blockAlign, int blocks) {
    const int samplesPerBlock = (blockAlign - 7) * 2 + 2;
    Bytes format;
    PutLe16(format, 2);
    PutLe16(format, 1);
    PutLe32(format, 22050);
    PutLe32(format, (uint32_t)(22050LL * blockAlign / samplesPerBlock));
    PutLe16(format, (uint16_t)blockAlign);
    PutLe16(format, 4);
    PutLe16(format, 32);
    PutLe16(format, (uint16_t)samplesPerBlock);
    PutLe16(format, 7);
    const int coefficients[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
    for (const auto& c : coefficients) {
        PutLe16(format, (uint16_t)c[0]);
        PutLe16(format, (uint16_t)c[1]);
    }
    Bytes data;
    for (int b = 0; b < blocks; ++b) {
        data.push_back(0);      // predictor
        PutLe16(data, 16);      // delta
        PutLe16(data, 1000);    // sample 1
        PutLe16(data, 900);     // sample 2
        data.insert(data.end(), (size_t)blockAlign - 7, 0x11);
    }
    return MakeRiff({{"fmt ", format, 0xFFFFFFFFu}, {"data", data, 0xFFFFFFFFu}});
}

TEST(AcmDecoder, BlocksOfAnySizeDecodeWhole) {
    // Conversion goes in whole source blocks; blocks larger than one usual step must not stall it.
    for (int blockAlign : {256, 2048, 4096, 8192}) {
        Decoded d = DecodeImage(MsAdpcmWav(blockAlign, 3));
        ASSERT_EQ(0, d.openResult) << blockAlign;
        EXPECT_EQ(kAudioDecoderAcm, d.kind);
        EXPECT_EQ((size_t)3 * ((blockAlign - 7) * 2 + 2) * 2, d.pcm.size()) << blockAlign;
    }
}

TEST(AcmDecoder, SourceFormatLongerThanItsChunkIsCutToTheChunk) {
    // An A-law "fmt " chunk of 18 bytes whose extra-size field claims 4000 bytes: the codec must
    // only ever see what the chunk carried, and the file still decodes.
    Bytes file = LoadFixture("alaw.wav");
    ASSERT_FALSE(file.empty());
    PcmWav reference;
    ASSERT_TRUE(ParsePcmWav(LoadFixture("alaw_ref.wav"), &reference));
    ASSERT_EQ(0, memcmp(&file[12], "fmt ", 4));
    ASSERT_EQ(18, file[16]);
    file[20 + 16] = 0xA0;
    file[20 + 17] = 0x0F;
    Decoded d = DecodeImage(file);
    ASSERT_EQ(0, d.openResult);
    EXPECT_EQ(reference.data, d.pcm);
}

}  // namespace

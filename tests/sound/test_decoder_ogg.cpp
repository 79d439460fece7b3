// Ogg Vorbis through vorbisfile against oggdec's decode of the same file, the whole-sound size
// with its second of slack, seeks; and the WAV image and whole-stream helpers.
#include <string.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "runtime/memory.h"
#include "runtime/stream.h"
#include "sound/audio_decoder.h"
#include "sound/sound_test_util.h"

namespace {

TEST(OggDecoder, MatchesOggdecWithinOne) {
    Bytes file = LoadFixture("music.ogg");
    Bytes referenceFile = LoadFixture("music_ref.wav");
    ASSERT_FALSE(file.empty() || referenceFile.empty());
    PcmWav reference;
    ASSERT_TRUE(ParsePcmWav(referenceFile, &reference));

    Decoded d = DecodeImage(file);
    ASSERT_EQ(0, d.openResult);
    EXPECT_EQ(kAudioDecoderOgg, d.kind);
    ASSERT_EQ(0, d.readResult);
    EXPECT_EQ(WAVE_FORMAT_PCM, d.format.wFormatTag);
    EXPECT_EQ(2, d.format.nChannels);
    EXPECT_EQ(44100u, d.format.nSamplesPerSec);
    EXPECT_EQ(16, d.format.wBitsPerSample);
    EXPECT_EQ(4, d.format.nBlockAlign);
    EXPECT_EQ(176400u, d.format.nAvgBytesPerSec);

    // The size handed out is the decoded count, not the second of room allocated on top.
    EXPECT_EQ(reference.data.size(), d.pcm.size());
    EXPECT_EQ((long long)reference.data.size() + 44100 * 4, d.pcmSizeQuery);
    size_t compared = 0;
    EXPECT_LE(MaxSampleDifference(Samples16(d.pcm), Samples16(reference.data), &compared), 1);
    EXPECT_EQ(reference.data.size() / 2, compared);
}

TEST(OggDecoder, SeeksMatchTheWholeDecode) {
    Bytes file = LoadFixture("music.ogg");
    ASSERT_FALSE(file.empty());
    Decoded whole = DecodeImage(file);
    ASSERT_EQ(0, whole.openResult);
    const long long frames = (long long)whole.pcm.size() / 4;

    StreamHandle stream = OpenMemoryStream(file.data(), (int)file.size());
    AudioDecoder decoder;
    ASSERT_EQ(0, AudioDecoderOpen(GetMemoryStreamFunctions(), stream, &decoder));
    for (long long sample : {frames / 2, frames / 2 + 5000, frames / 7, frames - 300, 0LL}) {
        ASSERT_EQ(0, AudioDecoderSeek(&decoder, sample)) << sample;
        uint8_t got[4096];
        int want = (int)std::min<long long>(sizeof(got), (frames - sample) * 4);
        ASSERT_EQ(want, AudioDecoderRead(&decoder, got, want)) << sample;
        std::vector<int16_t> a(want / 2), b(want / 2);
        memcpy(a.data(), got, want);
        memcpy(b.data(), &whole.pcm[(size_t)sample * 4], want);
        EXPECT_LE(MaxSampleDifference(a, b, nullptr), 1) << sample;
    }
    AudioDecoderClose(&decoder);
    CloseMemoryStream(stream);
}

TEST(WaveImage, BuildsAWavTheDecoderReadsBack) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = 32000;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = 128000;
    Bytes pcm(4 * 1000);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = (uint8_t)(i * 13);

    DWORD size = 0;
    uint8_t* image = (uint8_t*)BuildWaveImage(&format, 18, pcm.data(), (DWORD)pcm.size(), &size);
    ASSERT_NE(nullptr, image);
    ASSERT_EQ(18u + 4000u + 28u, size);
    EXPECT_EQ(0, memcmp(image, "RIFF", 4));
    EXPECT_EQ(size - 8, *(uint32_t*)(image + 4));
    EXPECT_EQ(0, memcmp(image + 8, "WAVEfmt ", 8));
    EXPECT_EQ(18u, *(uint32_t*)(image + 16));
    EXPECT_EQ(0, memcmp(image + 20, &format, 18));
    EXPECT_EQ(0, memcmp(image + 38, "data", 4));
    EXPECT_EQ(4000u, *(uint32_t*)(image + 42));

    Decoded d = DecodeImage(Bytes(image, image + size));
    TrackedFree(image);
    ASSERT_EQ(0, d.openResult);
    EXPECT_EQ(0, memcmp(&format, &d.format, sizeof(format)));
    EXPECT_EQ(pcm, d.pcm);
}

TEST(WholeStream, ReadsFromTheStartWhereverTheStreamStood) {
    Bytes data(70001);
    for (size_t i = 0; i < data.size(); ++i) data[i] = (uint8_t)(i * 7 + 3);
    StreamHandle stream = OpenMemoryStream(data.data(), (int)data.size());
    GetMemoryStreamFunctions()->seek(stream, 500, SEEK_SET);
    void* image = nullptr;
    DWORD size = 0;
    ASSERT_EQ(0, ReadWholeStream(GetMemoryStreamFunctions(), stream, &image, &size));
    ASSERT_EQ(data.size(), size);
    EXPECT_EQ(0, memcmp(image, data.data(), size));
    TrackedFree(image);
    CloseMemoryStream(stream);
}

}  // namespace

// MPEG audio: the frame header parser, and MP3 files with ID3 tags in front and behind decoded
// through the audio compression manager (rate, channels, length, the tone they carry, seeks).
#include <string.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "runtime/stream.h"
#include "sound/audio_decoder.h"
#include "sound/sound_test_util.h"

namespace {

struct HeaderCase {
    uint8_t bytes[4];
    int result;
    int mpeg1, layer, bitrate, rate, padding, channels, frameLength, samples;
};

TEST(Mp3FrameHeader, ParsesEveryLayerAndVersionAndRefusesReservedFields) {
    const HeaderCase cases[] = {
        // MPEG-1 layer III 128 kbit/s 44100 Hz, stereo, without and with padding.
        {{0xFF, 0xFB, 0x90, 0x44}, 0, 1, 3, 128, 44100, 0, 2, 417, 1152},
        {{0xFF, 0xFB, 0x92, 0x44}, 0, 1, 3, 128, 44100, 1, 2, 418, 1152},
        // MPEG-1 layer III 320 kbit/s 32000 Hz, mono (mode 3).
        {{0xFF, 0xFB, 0xE8, 0xC0}, 0, 1, 3, 320, 32000, 0, 1, 1440, 1152},
        // MPEG-2 layer III 32 kbit/s 22050 Hz mono; 8 kbit/s 16000 Hz.
        {{0xFF, 0xF3, 0x40, 0xC0}, 0, 0, 3, 32, 22050, 0, 1, 104, 576},
        {{0xFF, 0xF3, 0x18, 0x00}, 0, 0, 3, 8, 16000, 0, 2, 36, 576},
        // MPEG-1 layer II 192 kbit/s 48000 Hz; MPEG-2 layer II 160 kbit/s 24000 Hz.
        {{0xFF, 0xFD, 0xA4, 0x00}, 0, 1, 2, 192, 48000, 0, 2, 576, 1152},
        {{0xFF, 0xF5, 0xE4, 0x00}, 0, 0, 2, 160, 24000, 0, 2, 960, 1152},
        // MPEG-1 layer I 448 kbit/s 32000 Hz padded; MPEG-2 layer I 256 kbit/s 16000 Hz.
        {{0xFF, 0xFF, 0xEA, 0x00}, 0, 1, 1, 448, 32000, 1, 2, 676, 384},
        {{0xFF, 0xF7, 0xE8, 0x00}, 0, 0, 1, 256, 16000, 0, 2, 768, 384},
        // No sync; MPEG 2.5 (second byte below 0xF0).
        {{0xFE, 0xFB, 0x90, 0x44}, -2, 0, 0, 0, 0, 0, 0, 0, 0},
        {{0xFF, 0xE3, 0x90, 0x44}, -2, 0, 0, 0, 0, 0, 0, 0, 0},
        // Reserved layer, bitrate 15, rate 3; free format (bitrate 0) cannot be sized.
        {{0xFF, 0xF9, 0x90, 0x44}, -1, 0, 0, 0, 0, 0, 0, 0, 0},
        {{0xFF, 0xFB, 0xF0, 0x44}, -1, 0, 0, 0, 0, 0, 0, 0, 0},
        {{0xFF, 0xFB, 0x9C, 0x44}, -1, 0, 0, 0, 0, 0, 0, 0, 0},
        {{0xFF, 0xFB, 0x00, 0x44}, -1, 0, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const HeaderCase& c : cases) {
        Mp3FrameHeader h{};
        char name[32];
        snprintf(name, sizeof(name), "%02X %02X %02X %02X", c.bytes[0], c.bytes[1], c.bytes[2], c.bytes[3]);
        ASSERT_EQ(c.result, ParseMp3FrameHeader(c.bytes, &h)) << name;
        if (c.result != 0) continue;
        EXPECT_EQ(c.mpeg1, h.mpeg1) << name;
        EXPECT_EQ(c.layer, h.layer) << name;
        EXPECT_EQ(c.bitrate, h.bitrateKbps) << name;
        EXPECT_EQ(c.rate, h.sampleRate) << name;
        EXPECT_EQ(c.padding, h.padding) << name;
        EXPECT_EQ(c.channels, h.channels) << name;
        EXPECT_EQ(c.frameLength, h.frameLength) << name;
        EXPECT_EQ(c.samples, h.samplesPerFrame) << name;
    }
}

// An ID3v2 tag of `bodySize` bytes whose body holds a valid-looking frame sync, so that a scan
// that does not skip the tag finds a "frame" inside it.
// With `footerFlag` the flag is set; only version 4 tags then really carry the 10-byte footer.
Bytes Id3v2Tag(int version, bool footerFlag, uint32_t bodySize) {
    const bool footer = footerFlag && version == 4;
    Bytes tag = {'I', 'D', '3', (uint8_t)version, 0, (uint8_t)(footerFlag ? 0x10 : 0)};
    for (int shift = 21; shift >= 0; shift -= 7) tag.push_back((uint8_t)((bodySize >> shift) & 0x7F));
    Bytes body(bodySize, 0x20);
    const uint8_t fakeSync[] = {0xFF, 0xFB, 0x90, 0x44};
    memcpy(&body[bodySize / 2], fakeSync, 4);
    tag.insert(tag.end(), body.begin(), body.end());
    if (footer) {
        Bytes foot = {'3', 'D', 'I', (uint8_t)version, 0, 0x10};
        for (int shift = 21; shift >= 0; shift -= 7) foot.push_back((uint8_t)((bodySize >> shift) & 0x7F));
        tag.insert(tag.end(), foot.begin(), foot.end());
    }
    return tag;
}

// An ID3v1 tag that carries a free-format frame header: scanning it would fail the open.
Bytes Id3v1Tag() {
    Bytes tag(128, 0);
    memcpy(tag.data(), "TAG", 3);
    const uint8_t freeFormat[] = {0xFF, 0xFB, 0x00, 0x44};
    memcpy(&tag[40], freeFormat, 4);
    return tag;
}

struct Mp3Case {
    const char* name;
    const char* file;
    int rate;
    int channels;
    int sourceFrames;    // sample frames the encoder was given
    int samplesPerFrame;
};

constexpr int kEncoderDelay = 576 + 529;

const Mp3Case kMp3Cases[] = {
    {"mpeg1", "tone440_mpeg1.mp3", 44100, 2, 88200, 1152},
    {"mpeg2", "tone440_mpeg2.mp3", 22050, 1, 44100, 576},
};

struct TagCase {
    const char* name;
    int v2Version;  // 0: no leading tag
    bool footerFlag;
    bool v1;
};

const TagCase kTagCases[] = {
    {"bare", 0, false, false},      {"v23", 3, false, false}, {"v24footer", 4, true, false},
    {"v24nofooter", 4, false, false}, {"v23flag", 3, true, false}, {"v1", 0, false, true},
    {"v24footerAndV1", 4, true, true},
};

TEST(Mp3Decoder, TaggedFilesDecodeToTheirTone) {
    for (const Mp3Case& c : kMp3Cases) {
        Bytes bare = LoadFixture(c.file);
        ASSERT_FALSE(bare.empty());
        for (const TagCase& t : kTagCases) {
            SCOPED_TRACE(std::string(c.name) + " " + t.name);
            Bytes file;
            size_t lead = 0;
            if (t.v2Version) {
                file = Id3v2Tag(t.v2Version, t.footerFlag, 300);
                lead = file.size();
            }
            file.insert(file.end(), bare.begin(), bare.end());
            if (t.v1) {
                Bytes v1 = Id3v1Tag();
                file.insert(file.end(), v1.begin(), v1.end());
            }

            Decoded d = DecodeImage(file);
            ASSERT_EQ(0, d.openResult);
            EXPECT_EQ(kAudioDecoderAcm, d.kind);
            EXPECT_EQ((long long)lead, d.dataStart);
            ASSERT_EQ(0, d.readResult);
            EXPECT_EQ((DWORD)c.rate, d.format.nSamplesPerSec);
            EXPECT_EQ(c.channels, d.format.nChannels);
            ASSERT_EQ(16, d.format.wBitsPerSample);

            long long frames = (long long)d.pcm.size() / d.format.nBlockAlign;
            // The encoder puts 1105 samples of delay in front and pads the last frame.
            EXPECT_GE(frames, c.sourceFrames);
            EXPECT_LE(frames, c.sourceFrames + kEncoderDelay + c.samplesPerFrame);
            EXPECT_LE((long long)d.pcm.size(), d.pcmSizeQuery);
            EXPECT_NEAR((double)d.pcmSizeQuery / d.format.nBlockAlign, (double)frames, 2.0 * c.samplesPerFrame);

            std::vector<int16_t> samples = Samples16(d.pcm);
            for (int channel = 0; channel < c.channels; ++channel)
                EXPECT_NEAR(440.0, ToneFrequency(samples, c.channels, channel, c.rate), 3.0) << "channel " << channel;
        }
    }
}

TEST(Mp3Decoder, StrayBytesBeforeTheFirstFrameAreSkipped) {
    // 0xFF followed by bytes below 0xF0 is no frame and must not end the scan.
    Bytes bare = LoadFixture("tone440_mpeg1.mp3");
    ASSERT_FALSE(bare.empty());
    Bytes file = {0x00, 0xFF, 0x00, 0xFF, 0x12, 0xFF, 0xEF, 0x7F};
    size_t lead = file.size();
    file.insert(file.end(), bare.begin(), bare.end());
    Decoded d = DecodeImage(file);
    ASSERT_EQ(0, d.openResult);
    EXPECT_EQ((long long)lead, d.dataStart);
    EXPECT_GT(d.pcm.size(), 80000u * 4);
}

TEST(Mp3Decoder, RefusedStreams) {
    Bytes bare = LoadFixture("tone440_mpeg1.mp3");
    ASSERT_FALSE(bare.empty());
    // A free-format frame has no length: it must fail the open rather than scan in place.
    Bytes freeFormat = {0xFF, 0xFB, 0x00, 0x44};
    freeFormat.insert(freeFormat.end(), 400, 0x55);
    Bytes freeFirst = freeFormat;
    freeFirst.insert(freeFirst.end(), bare.begin(), bare.end());
    // A tag that claims more than the file holds leaves nothing to scan.
    Bytes hugeTag = Id3v2Tag(3, false, 100);
    hugeTag[6] = 0x7F;
    hugeTag.insert(hugeTag.end(), bare.begin(), bare.end());
    // Text with no frame sync at all.
    Bytes text(5000, 'a');
    struct {
        const char* name;
        const Bytes& file;
    } cases[] = {{"free format", freeFormat}, {"free format first", freeFirst}, {"tag past the end", hugeTag},
                 {"no frames", text}};
    for (auto& c : cases) EXPECT_EQ(-1, DecodeImage(c.file).openResult) << c.name;
}

TEST(Mp3Decoder, SeeksMatchTheWholeDecode) {
    Bytes file = LoadFixture("tone440_mpeg1.mp3");
    ASSERT_FALSE(file.empty());
    Decoded whole = DecodeImage(file);
    ASSERT_EQ(0, whole.openResult);
    const int align = whole.format.nBlockAlign;
    const long long frames = (long long)whole.pcm.size() / align;

    StreamHandle stream = OpenMemoryStream(file.data(), (int)file.size());
    AudioDecoder decoder;
    ASSERT_EQ(0, AudioDecoderOpen(GetMemoryStreamFunctions(), stream, &decoder));
    // Forward far, a little further (within the buffer), backwards, and the very start.
    for (long long sample : {frames / 2, frames / 2 + 100, frames / 4, frames - 1000, 10LL, 0LL, frames * 3 / 4}) {
        ASSERT_EQ(0, AudioDecoderSeek(&decoder, sample)) << sample;
        uint8_t got[2048];
        int want = (int)std::min<long long>(sizeof(got), (frames - sample) * align);
        ASSERT_EQ(want, AudioDecoderRead(&decoder, got, want)) << sample;
        EXPECT_EQ(0, memcmp(got, &whole.pcm[(size_t)(sample * align)], want)) << sample;
    }
    AudioDecoderClose(&decoder);
    CloseMemoryStream(stream);
}

}  // namespace

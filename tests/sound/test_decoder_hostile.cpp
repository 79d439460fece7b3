// Hostile input for the audio decoder: truncations and deterministic byte mutations of real
// files of every kind, and hand-made bogus headers. Each must either fail to open or decode to
// whole sample frames within the announced size; none may crash or hang.
#include <string.h>

#include <gtest/gtest.h>

#include "sound/audio_decoder.h"
#include "sound/sound_test_util.h"

namespace {

// What a decoded result must satisfy whenever the open succeeded.
void ExpectSane(const Decoded& d, const std::string& what) {
    if (d.openResult != 0) return;
    ASSERT_EQ(0, d.readResult) << what;
    ASSERT_GT(d.format.nChannels, 0) << what;
    ASSERT_GT(d.format.nBlockAlign, 0) << what;
    EXPECT_EQ(0u, d.pcm.size() % d.format.nBlockAlign) << what;
    if (d.pcmSizeQuery >= 0) {
        EXPECT_LE((long long)d.pcm.size(), d.pcmSizeQuery) << what;
    }
}

// The leading frames of an MP3 (a whole file decodes too slowly for hundreds of variants).
Bytes Mp3Prefix(const Bytes& mp3, int frames) {
    size_t pos = 0;
    for (int i = 0; i < frames && pos + 4 <= mp3.size(); ++i) {
        Mp3FrameHeader h;
        if (ParseMp3FrameHeader(&mp3[pos], &h) != 0) break;
        pos += (size_t)h.frameLength;
    }
    return Bytes(mp3.begin(), mp3.begin() + (long)std::min(pos, mp3.size()));
}

struct Source {
    const char* name;
    Bytes bytes;
};

std::vector<Source> HostileSources() {
    std::vector<Source> sources;
    Bytes pcm(4000);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = (uint8_t)(i * 31);
    sources.push_back({"pcm", MakePcmWav(2, 22050, 16, pcm)});
    for (const char* name : {"ima_adpcm_stereo.wav", "ms_adpcm_stereo.wav", "gsm.wav", "alaw.wav", "music.ogg"})
        sources.push_back({name, LoadFixture(name)});
    sources.push_back({"mpeg1", Mp3Prefix(LoadFixture("tone440_mpeg1.mp3"), 12)});
    sources.push_back({"mpeg2", Mp3Prefix(LoadFixture("tone440_mpeg2.mp3"), 12)});
    return sources;
}

TEST(HostileAudio, TruncatedFilesFailOrDecodeCleanly) {
    for (const Source& s : HostileSources()) {
        ASSERT_GT(s.bytes.size(), 100u) << s.name;
        std::vector<size_t> cuts;
        for (size_t n = 0; n < 96; ++n) cuts.push_back(n);                       // every header byte
        for (int i = 1; i < 40; ++i) cuts.push_back(s.bytes.size() * i / 40);   // through the data
        for (size_t n : cuts) {
            Bytes cut(s.bytes.begin(), s.bytes.begin() + (long)n);
            ExpectSane(DecodeImage(cut), std::string(s.name) + " cut at " + std::to_string(n));
        }
    }
}

TEST(HostileAudio, MutatedFilesFailOrDecodeCleanly) {
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (const Source& s : HostileSources()) {
        ASSERT_GT(s.bytes.size(), 100u) << s.name;
        for (int variant = 0; variant < 150; ++variant) {
            Bytes file = s.bytes;
            int changes = 1 + (int)(next() % 6);
            for (int i = 0; i < changes; ++i) {
                // Half of the changes hit the headers, where a wrong byte does the most harm.
                size_t span = (next() & 1) ? std::min<size_t>(file.size(), 128) : file.size();
                size_t at = next() % span;
                switch (next() % 3) {
                    case 0: file[at] = (uint8_t)next(); break;
                    case 1: file[at] ^= (uint8_t)(1u << (next() % 8)); break;
                    default: file[at] = (next() & 1) ? 0xFF : 0x00; break;
                }
            }
            ExpectSane(DecodeImage(file), std::string(s.name) + " variant " + std::to_string(variant));
        }
    }
}

// A compressed-WAV header with chosen fields and a data chunk of noise.
Bytes CompressedWav(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t blockAlign, uint16_t bits,
                    const Bytes& extra, size_t dataBytes) {
    Bytes format;
    PutLe16(format, tag);
    PutLe16(format, channels);
    PutLe32(format, rate);
    PutLe32(format, rate);
    PutLe16(format, blockAlign);
    PutLe16(format, bits);
    PutLe16(format, (uint16_t)extra.size());
    format.insert(format.end(), extra.begin(), extra.end());
    Bytes data(dataBytes);
    for (size_t i = 0; i < data.size(); ++i) data[i] = (uint8_t)(i * 37 + 11);
    return MakeRiff({{"fmt ", format, 0xFFFFFFFFu}, {"data", data, 0xFFFFFFFFu}});
}

Bytes Le16s(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) PutLe16(out, (uint16_t)v);
    return out;
}

TEST(HostileAudio, BogusHeadersFailOrDecodeCleanly) {
    Bytes pcm(1000, 0x40);
    Bytes ogg = LoadFixture("music.ogg");
    Bytes oggHeadOnly(ogg.begin(), ogg.begin() + (long)std::min<size_t>(ogg.size(), 300));
    Bytes oggGarbage = {'O', 'g', 'g', 'S'};
    oggGarbage.insert(oggGarbage.end(), 2000, 0x5A);
    Bytes hugeFormat = MakePcmWav(1, 8000, 8, pcm);
    hugeFormat[16] = 0xF0;
    hugeFormat[17] = hugeFormat[18] = hugeFormat[19] = 0xFF;

    struct {
        const char* name;
        Bytes file;
    } cases[] = {
        {"fmt length near 4 GB", hugeFormat},
        {"data size 0xFFFFFFFF", MakeRiff({{"fmt ", PcmFormatBody(1, 8000, 8), 0xFFFFFFFFu}, {"data", pcm, 0xFFFFFFFFu - 1}})},
        {"ima block align 1", CompressedWav(0x11, 1, 8000, 1, 4, Le16s({505}), 2048)},
        {"ima zero samples per block", CompressedWav(0x11, 1, 8000, 256, 4, Le16s({0}), 2048)},
        {"ima 3 bits", CompressedWav(0x11, 1, 8000, 256, 3, Le16s({505}), 2048)},
        {"ima 9 channels", CompressedWav(0x11, 9, 8000, 256, 4, Le16s({505}), 2048)},
        {"ms adpcm no coefficients", CompressedWav(2, 1, 8000, 256, 4, Le16s({500, 0}), 2048)},
        {"ms adpcm 65535 coefficients", CompressedWav(2, 1, 8000, 256, 4, Le16s({500, 0xFFFF, 256, 0}), 2048)},
        {"ms adpcm huge samples per block", CompressedWav(2, 1, 8000, 256, 4, Le16s({0xFFFF, 7, 256, 0, 512, -256, 0, 0, 192, 64, 240, 0, 460, -208, 392, -232}), 2048)},
        {"gsm stereo", CompressedWav(0x31, 2, 8000, 65, 0, Le16s({320}), 650)},
        {"gsm block 1", CompressedWav(0x31, 1, 8000, 1, 0, Le16s({320}), 650)},
        {"mp3 in wav, no extra", CompressedWav(0x55, 2, 44100, 1, 0, Bytes(), 4000)},
        {"unknown tag", CompressedWav(0x7777, 1, 8000, 2, 16, Bytes(), 4000)},
        {"ogg headers only", oggHeadOnly},
        {"ogg garbage", oggGarbage},
        {"riff only", Bytes{'R', 'I', 'F', 'F'}},
        {"one byte", Bytes{0xFF}},
    };
    for (auto& c : cases) ExpectSane(DecodeImage(c.file), c.name);
}

}  // namespace

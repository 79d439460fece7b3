// Stream-type sounds on the real DirectSound: what the ring holds after the first fill and after
// refills across its wrap, sources with loop counts in play order, looping back to the first
// source, silence and the stop after a non-looping end, a ring shared between linked handles,
// refused sources, and the stream-load mode of the file loader.
#include <string.h>

#include <gtest/gtest.h>

#include "runtime/handle.h"
#include "sound/sound.h"
#include "sound/sound_handle.h"
#include "sound/sound_system.h"
#include "sound/sound_fixture.h"
#include "sound/sound_test_util.h"
#include "sound/stream_sound.h"

namespace {

// 16-bit mono at 1000 Hz: 2000 bytes a second, a 12000-byte ring, a 8000-byte first fill.
constexpr int kRate = 1000;
constexpr DWORD kBytesPerSecond = 2000;
constexpr DWORD kRing = 6 * kBytesPerSecond;
constexpr DWORD kFirstFill = 4 * kBytesPerSecond;

// Every sample names its source and its frame, so any misplaced byte shows.
Bytes Pattern(int id, int frames) {
    Bytes pcm;
    for (int i = 0; i < frames; ++i) PutLe16(pcm, (uint16_t)((id << 12) | (i & 0xFFF)));
    return pcm;
}

struct Source {
    Bytes pcm;
    int loopCount;
};

// The byte stream a handle's sources make: loop counts, then back to the first source when
// looping, else silence.
Bytes ExpectedStream(const std::vector<Source>& sources, bool loop, size_t length) {
    Bytes out;
    size_t index = 0;
    int plays = 0;
    while (out.size() < length) {
        const Source& s = sources[index];
        out.insert(out.end(), s.pcm.begin(), s.pcm.end());
        if (s.loopCount == -1 || ++plays <= s.loopCount) continue;
        plays = 0;
        if (++index == sources.size()) {
            if (!loop) break;
            index = 0;
        }
    }
    if (out.size() < length) out.resize(length, 0);
    out.resize(length);
    return out;
}

class StreamSoundTest : public DirectSoundTest {
   protected:
    StreamSoundTest() : DirectSoundTest("kvstream_") {}
    void TearDown() override {
        SetSoundLoadMode(0);
        DirectSoundTest::TearDown();
    }
    std::string WriteWav(const char* name, const Bytes& pcm, int rate = kRate, int bits = 16, int channels = 1) {
        return WriteTemp(name, MakePcmWav(channels, rate, bits, pcm));
    }
    // A stream handle with the sources added from files, each with the given kind.
    int MakeStream(const std::vector<Source>& sources, const std::vector<int>& kinds, int link = -1) {
        int handle = AddSoundData(-1);
        EXPECT_GE(handle, 0);
        for (size_t i = 0; i < sources.size(); ++i) {
            std::string path = WriteWav(("src" + std::to_string(written_.size()) + ".wav").c_str(), sources[i].pcm);
            EXPECT_EQ(0, AddStreamSoundWaveFile(path.c_str(), sources[i].loopCount, handle, kinds[i], link)) << i;
        }
        return handle;
    }
    // The whole ring the handle plays through, read under a lock.
    static Bytes ReadRing(int handle) {
        SoundData* sound = GetSoundData(handle);
        SoundData* owner = sound->stream.linkHandle != -1 ? GetSoundData(sound->stream.linkHandle) : sound;
        SoundBuffer* ring = &owner->buffers[0];
        void* first = nullptr;
        void* second = nullptr;
        DWORD firstLength = 0, secondLength = 0;
        Bytes out;
        if (SoundBufferLock(ring, 0, kRing, &first, &firstLength, &second, &secondLength) != 0) return out;
        out.assign((BYTE*)first, (BYTE*)first + firstLength);
        if (second) out.insert(out.end(), (BYTE*)second, (BYTE*)second + secondLength);
        SoundBufferUnlock(ring, first, firstLength, second, secondLength);
        return out;
    }
    // Refills the handle the way the message pump does until `done` holds or 20 s pass.
    template <typename Done>
    static bool RefillUntil(int handle, Done done) {
        DWORD start = GetTickCount();
        while (!done()) {
            if (GetTickCount() - start > 20000) return false;
            RefillStreamBuffer(handle);
            Sleep(5);
        }
        return true;
    }
};

TEST_F(StreamSoundTest, FirstFillHoldsSourcesOfEachKindInOrderWithLoopCountsThenSilence) {
    // A twice (loop count 1), B once, C once: 4800 + 1600 + 800 bytes, then silence to 8000.
    std::vector<Source> sources = {{Pattern(1, 1200), 1}, {Pattern(2, 800), 0}, {Pattern(3, 400), 0}};
    int handle = MakeStream(sources, {0, 2, 3});
    ASSERT_EQ(0, RestartStreamBuffer(handle));
    SoundData* sound = GetSoundData(handle);
    ASSERT_NE(nullptr, sound);
    EXPECT_EQ(1, sound->isStream);
    EXPECT_EQ(3, sound->stream.sourceCount);
    EXPECT_EQ(1200 + 800 + 400, sound->stream.totalSamples);
    EXPECT_EQ((int)kFirstFill, sound->stream.writePosition);
    EXPECT_EQ(1, sound->stream.endOfData);
    EXPECT_EQ(7200u, sound->stream.endPosition);

    Bytes ring = ReadRing(handle);
    ASSERT_EQ(kRing, ring.size());
    Bytes expected = ExpectedStream(sources, false, kFirstFill);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), ring.begin()));

    // Eight-bit sounds fill their silence with 127.
    int eight = AddSoundData(-1);
    Bytes tone(300, 0x40);
    ASSERT_EQ(0, AddStreamSoundWaveFile(WriteWav("eight.wav", tone, kRate, 8).c_str(), 0, eight, 2, -1));
    ASSERT_EQ(0, RestartStreamBuffer(eight));
    SoundBuffer* buffer = &GetSoundData(eight)->buffers[0];
    void* first = nullptr;
    void* second = nullptr;
    DWORD firstLength = 0, secondLength = 0;
    ASSERT_EQ(0, SoundBufferLock(buffer, 0, 4000, &first, &firstLength, &second, &secondLength));
    Bytes got((BYTE*)first, (BYTE*)first + 4000);
    SoundBufferUnlock(buffer, first, firstLength, second, secondLength);
    EXPECT_TRUE(std::equal(tone.begin(), tone.end(), got.begin()));
    EXPECT_EQ(Bytes(4000 - 300, 127), Bytes(got.begin() + 300, got.end()));

    // A source whose data ends inside a sample: the next source still starts on a whole sample.
    Bytes odd = Pattern(1, 100);
    odd.push_back(0x77);
    int ragged = AddSoundData(-1);
    Bytes oddImage = MakePcmWav(1, kRate, 16, odd);
    ASSERT_EQ(0, AddStreamSoundWaveImage(oddImage.data(), (int)oddImage.size(), 0, ragged, 2, -1));
    ASSERT_EQ(0, AddStreamSoundWaveFile(WriteWav("after.wav", Pattern(2, 100)).c_str(), 0, ragged, 2, -1));
    ASSERT_EQ(0, RestartStreamBuffer(ragged));
    Bytes joined = ExpectedStream({{Pattern(1, 100), 0}, {Pattern(2, 100), 0}}, false, 1000);
    Bytes start = ReadRing(ragged);
    ASSERT_EQ(kRing, start.size());
    EXPECT_TRUE(std::equal(joined.begin(), joined.end(), start.begin()));
}

TEST_F(StreamSoundTest, PlayTypeDecidesBetweenLoopingBackToTheFirstSourceAndSilence) {
    std::vector<Source> sources = {{Pattern(1, 1000), 0}, {Pattern(2, 500), 0}};
    struct Case {
        int playType;
        bool loop;
    } cases[] = {{kSoundPlayLoop, true}, {kSoundPlayBack, false}, {kSoundPlayLoop, true}};
    int handle = MakeStream(sources, {2, 0});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.playType);
        ASSERT_EQ(0, PlaySoundHandle(handle, c.playType, 1));
        ASSERT_EQ(0, StopSoundHandle(handle));
        Bytes ring = ReadRing(handle);
        Bytes expected = ExpectedStream(sources, c.loop, kFirstFill);
        ASSERT_EQ(kRing, ring.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), ring.begin()));
        EXPECT_EQ(c.loop ? 0 : 1, GetSoundData(handle)->stream.endOfData);
    }
}

TEST_F(StreamSoundTest, RefillsKeepWritingTheSourcesInOrderAcrossTheWrap) {
    // Loop counts 2 and 0 under a looping play: the stream runs A A A B A A A B ... for ever.
    std::vector<Source> sources = {{Pattern(1, 700), 2}, {Pattern(2, 900), 0}};
    int handle = MakeStream(sources, {3, 2});
    ASSERT_EQ(0, PlaySoundHandle(handle, kSoundPlayLoop, 1));
    SoundData* sound = GetSoundData(handle);
    // After each refill the data stands 3 seconds ahead of the play position the device had reached before it
    // (a refill aims past wherever the device stands by then; what the device plays after it, which a busy
    // machine can make a lot, does not count).
    DWORD leastLead = kRing;
    bool wrapped = false;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 20000;) {
        wrapped = sound->stream.bytesWritten > 2 * (LONGLONG)kRing + 3000;
        if (wrapped) break;
        DWORD play = 0, write = 0;
        const bool known = SoundBufferGetPosition(&sound->buffers[0], &play, &write) == 0;
        RefillStreamBuffer(handle);
        if (known && sound->stream.bytesWritten > kFirstFill) {
            DWORD lead = ((DWORD)sound->stream.writePosition + kRing - play) % kRing;
            if (lead < leastLead) leastLead = lead;
        }
        Sleep(5);
    }
    ASSERT_TRUE(wrapped) << "the ring was never refilled past its second wrap";
    ASSERT_EQ(0, StopSoundHandle(handle));
    EXPECT_GE(leastLead, 3 * kBytesPerSecond - 1000);

    LONGLONG total = sound->stream.bytesWritten;
    DWORD w = (DWORD)sound->stream.writePosition;
    EXPECT_EQ((DWORD)(total % kRing), w);
    EXPECT_EQ(0, sound->stream.endOfData);
    Bytes stream = ExpectedStream(sources, true, (size_t)total);
    Bytes ring = ReadRing(handle);
    ASSERT_EQ(kRing, ring.size());
    // The byte before the write position is the last one written; going back around the ring
    // each earlier byte is the stream's byte that far back.
    int wrong = 0;
    for (DWORD back = 1; back <= kRing; ++back) {
        DWORD offset = (w + kRing - back) % kRing;
        if (ring[offset] != stream[(size_t)(total - back)] && ++wrong < 5)
            ADD_FAILURE() << "ring offset " << offset << " is not stream byte " << (total - back);
    }
    EXPECT_EQ(0, wrong);
}

TEST_F(StreamSoundTest, NonLoopingStreamPlaysItsEndThenStops) {
    std::vector<Source> sources = {{Pattern(4, 4500), 0}};  // 9000 bytes: the end comes in a refill
    int handle = MakeStream(sources, {2});
    ASSERT_EQ(0, PlaySoundHandle(handle, kSoundPlayBack, 1));
    SoundData* sound = GetSoundData(handle);
    EXPECT_EQ(0, sound->stream.endOfData);
    ASSERT_TRUE(RefillUntil(handle, [&] { return IsSoundHandlePlaying(handle) == 0; })) << "never stopped";
    EXPECT_EQ(1, sound->stream.endOfData);
    EXPECT_EQ(1, sound->stream.endReached);
    EXPECT_EQ(9000u, sound->stream.endPosition);
    // It stopped only once the play position had come past the end of the data.
    EXPECT_GE(sound->stream.bytesPlayed, 9000);
    // The last ring's worth written: the sound's tail, then silence up to where the last refill wrote.
    Bytes ring = ReadRing(handle);
    ASSERT_EQ(kRing, ring.size());
    LONGLONG written = sound->stream.bytesWritten;
    ASSERT_GT(written, 9000);
    Bytes expected = ExpectedStream(sources, false, (size_t)written);
    int wrong = 0;
    for (LONGLONG i = written > (LONGLONG)kRing ? written - kRing : 0; i < written; ++i) {
        if (ring[(size_t)(i % kRing)] != expected[(size_t)i] && ++wrong < 5)
            ADD_FAILURE() << "stream byte " << i << (i < 9000 ? " of the sound" : " of the silence") << " is wrong";
    }
    EXPECT_EQ(0, wrong);
}

TEST_F(StreamSoundTest, LinkedHandleSharesTheRingAndTakesItOnlyWhenAllowed) {
    std::vector<Source> first = {{Pattern(5, 2000), -1}};
    std::vector<Source> second = {{Pattern(6, 1500), 0}};
    int owner = MakeStream(first, {2});
    int linked = MakeStream(second, {2}, owner);
    SoundData* ownerData = GetSoundData(owner);
    SoundData* linkedData = GetSoundData(linked);
    EXPECT_EQ(owner, linkedData->stream.linkHandle);
    EXPECT_EQ(1, ownerData->stream.linkCount);
    EXPECT_EQ(0, linkedData->buffers[0].valid);

    ASSERT_EQ(0, PlaySoundHandle(owner, kSoundPlayLoop, 1));
    SoundBuffer* ring = nullptr;
    EXPECT_EQ(-1, ClaimStreamBuffer(linked, &ring, 0));
    EXPECT_EQ(1, IsSoundHandlePlaying(owner));
    EXPECT_EQ(0, IsSoundHandlePlaying(linked));
    EXPECT_EQ(0, StopSoundHandle(linked));  // holds nothing: the owner plays on
    EXPECT_EQ(1, IsSoundHandlePlaying(owner));

    ASSERT_EQ(0, ClaimStreamBuffer(linked, &ring, 1));
    EXPECT_EQ(&ownerData->buffers[0], ring);
    EXPECT_EQ(0, IsSoundHandlePlaying(owner));

    ASSERT_EQ(0, PlaySoundHandle(linked, kSoundPlayBack, 1));
    EXPECT_EQ(1, IsSoundHandlePlaying(linked));
    ASSERT_EQ(0, StopSoundHandle(linked));
    Bytes expected = ExpectedStream(second, false, kFirstFill);
    Bytes got = ReadRing(linked);
    ASSERT_EQ(kRing, got.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), got.begin()));

    // The owner's release waits for the handle sharing its ring; that one's release ends both.
    EXPECT_EQ(0, ReleaseSoundHandle(owner));
    EXPECT_EQ(-1, PlaySoundHandle(owner, kSoundPlayBack, 1));
    EXPECT_EQ(0, ReleaseSoundHandle(linked));
    EXPECT_EQ(nullptr, GetSoundData(owner));
    EXPECT_EQ(nullptr, GetSoundData(linked));
    EXPECT_EQ(handlesBefore_, GetSoundHandleCount());

    // A link of another format cannot be shared: the handle makes its own ring.
    int other = MakeStream(first, {2});
    int own = AddSoundData(-1);
    ASSERT_EQ(0, AddStreamSoundWaveFile(WriteWav("fast.wav", Pattern(7, 500), 2000).c_str(), 0, own, 2, other));
    EXPECT_EQ(-1, GetSoundData(own)->stream.linkHandle);
    EXPECT_EQ(1, GetSoundData(own)->buffers[0].valid);
    EXPECT_EQ(0, GetSoundData(other)->stream.linkCount);
}

TEST_F(StreamSoundTest, RefusedSourcesLeaveTheHandleAsItWas) {
    int handle = MakeStream({{Pattern(1, 100), 0}, {Pattern(2, 100), 0}, {Pattern(3, 100), 0}}, {2, 2, 2});
    struct Case {
        const char* name;
        Bytes pcm;
        int rate;
        const char* log;
    } cases[] = {
        {"fourth.wav", Pattern(4, 100), kRate, "ストリーム風サウンドの制御データ領域がいっぱいです"},
        {"rate.wav", Pattern(4, 100), 2000, "フォーマットの違う音声データは同時に使うことは出来ません"},
    };
    // Against the full handle and against one with a single source.
    int single = MakeStream({{Pattern(1, 100), 0}}, {0});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetLog();
        int target = strcmp(c.name, "fourth.wav") == 0 ? handle : single;
        int before = GetSoundData(target)->stream.sourceCount;
        EXPECT_EQ(-1, AddStreamSoundWaveFile(WriteWav(c.name, c.pcm, c.rate).c_str(), 0, target, 2, -1));
        std::string log = ReadLog();
        EXPECT_NE(std::string::npos, log.find(c.log));
        EXPECT_NE(std::string::npos, log.find("右記のＷＡＶファイルのセットアップに失敗しました"));
        EXPECT_EQ(before, GetSoundData(target)->stream.sourceCount);
    }

    // A playing stream takes no source; a static handle takes none at all; a missing file is logged.
    ASSERT_EQ(0, PlaySoundHandle(single, kSoundPlayLoop, 1));
    ResetLog();
    EXPECT_EQ(-1, AddStreamSoundWaveFile(WriteWav("late.wav", Pattern(1, 100)).c_str(), 0, single, 2, -1));
    EXPECT_NE(std::string::npos, ReadLog().find("既に再生中のストリームサウンドデータにデータを追加しようとしました"));
    StopSoundHandle(single);

    int fixed = LoadSoundHandleFromFile(WriteWav("static.wav", Pattern(1, 500)).c_str(), 1, -1);
    ASSERT_GE(fixed, 0);
    ResetLog();
    EXPECT_EQ(-1, AddStreamSoundWaveFile(WriteWav("more.wav", Pattern(1, 100)).c_str(), 0, fixed, 2, -1));
    EXPECT_NE(std::string::npos, ReadLog().find("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound"));
    EXPECT_EQ(0, GetSoundData(fixed)->isStream);

    ResetLog();
    std::string missing = folder_ + "\\missing.wav";
    EXPECT_EQ(-1, AddStreamSoundWaveFile(missing.c_str(), 0, single, 2, -1));
    EXPECT_NE(std::string::npos, ReadLog().find("右記のＷＡＶファイルのロードに失敗しました：" + missing));
    Bytes junk(64, 0x5A);
    ResetLog();
    EXPECT_EQ(-1, AddStreamSoundWaveImage(junk.data(), (int)junk.size(), 0, single, 3, -1));
    EXPECT_NE(std::string::npos, ReadLog().find("ＷＡＶファイルのストリームイメージのセットアップに失敗しました"));
}

TEST_F(StreamSoundTest, StreamLoadModeMakesStreamHandlesFromFilesAndImages) {
    Bytes pcm = Pattern(8, 3000);
    std::string path = WriteWav("music.wav", pcm);
    for (int mode : {2, 3}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(0, SetSoundLoadMode(mode));
        int handle = LoadSoundHandleFromFile(path.c_str(), 3, -1);
        ASSERT_GE(handle, 0);
        SoundData* sound = GetSoundData(handle);
        EXPECT_EQ(1, sound->isStream);
        EXPECT_EQ(mode, sound->stream.sources[0].kind);
        EXPECT_EQ(mode == 3 ? 1 : 0, sound->stream.sources[0].ownsFile);
        Bytes ring = ReadRing(handle);
        ASSERT_EQ(kRing, ring.size());
        Bytes expected = ExpectedStream({{pcm, 0}}, false, kFirstFill);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), ring.begin()));
        // A later load links to it and shares its ring.
        int linked = LoadSoundHandleFromFile(path.c_str(), 1, handle);
        ASSERT_GE(linked, 0);
        EXPECT_EQ(handle, GetSoundData(linked)->stream.linkHandle);
        EXPECT_EQ(0, ReleaseSoundHandle(linked));
        EXPECT_EQ(0, ReleaseSoundHandle(handle));
    }
    Bytes image = MakePcmWav(1, kRate, 16, pcm);
    int fromImage = LoadSoundHandleFromImage(image.data(), (int)image.size(), 1, -1);
    ASSERT_GE(fromImage, 0);
    EXPECT_EQ(kStreamSourceImage, GetSoundData(fromImage)->stream.sources[0].kind);  // kind 3 taken as 2

    // Files that are no sound leave no handle behind.
    int count = GetSoundHandleCount();
    Bytes junk(100, 0x33);
    std::string bad = WriteWav("bad.wav", junk);
    FILE* file = fopen(bad.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    fwrite(junk.data(), 1, junk.size(), file);
    fclose(file);
    EXPECT_EQ(-1, LoadSoundHandleFromFile(bad.c_str(), 1, -1));
    EXPECT_EQ(-1, LoadSoundHandleFromFile((folder_ + "\\none.wav").c_str(), 1, -1));
    EXPECT_EQ(-1, LoadSoundHandleFromImage(junk.data(), (int)junk.size(), 1, -1));
    EXPECT_EQ(count, GetSoundHandleCount());
}

}  // namespace

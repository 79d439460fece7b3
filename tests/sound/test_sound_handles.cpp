// Sound handles on the real DirectSound: the handle scheme, loading into identical duplicate
// buffers, round-robin playing in the three play types, stop, volume read back from every
// buffer, and loads that fail without leaking or stopping the program.
#include <math.h>
#include <string.h>

#include <gtest/gtest.h>

#include "runtime/handle.h"
#include "runtime/memory.h"
#include "sound/sound.h"
#include "sound/sound_handle.h"
#include "sound/sound_system.h"
#include "sound/sound_fixture.h"
#include "sound/sound_test_util.h"

namespace {

// A 16-bit mono sine of `ms` milliseconds at 22050 Hz.
Bytes SinePcm(int ms) {
    Bytes pcm;
    int frames = 22050 * ms / 1000;
    for (int i = 0; i < frames; ++i) PutLe16(pcm, (uint16_t)(int16_t)(8000 * sin(i * 2 * 3.14159265 * 440 / 22050)));
    return pcm;
}

class SoundHandleTest : public DirectSoundTest {
   protected:
    SoundHandleTest() : DirectSoundTest("kvsound_") {}
    int LoadSine(int ms, int buffers) {
        return LoadSoundHandleFromFile(WriteTemp("sine.wav", MakePcmWav(1, 22050, 16, SinePcm(ms))).c_str(), buffers, -1);
    }
    static DWORD Status(SoundBuffer* buffer) {
        DWORD status = 0;
        EXPECT_EQ(0, SoundBufferGetStatus(buffer, &status));
        return status;
    }
    static DWORD PlayPosition(SoundBuffer* buffer) {
        DWORD play = 0, write = 0;
        EXPECT_EQ(0, SoundBufferGetPosition(buffer, &play, &write));
        return play;
    }
    // Waits, a few seconds at most, until the condition holds; the mixer runs at its own pace on a busy machine.
    template <typename Condition>
    static bool WaitFor(Condition condition) {
        const DWORD start = GetTickCount();
        while (!condition()) {
            if (GetTickCount() - start > 10000) return false;
            Sleep(5);
        }
        return true;
    }
};

TEST_F(SoundHandleTest, StartingTwiceIsRefused) { EXPECT_EQ(-1, InitSoundSystem()); }

TEST_F(SoundHandleTest, HandlesAreTypedAndStaleOnesAreRefusedAfterReuse) {
    int first = AddSoundData(-1);
    ASSERT_GE(first, 0);
    EXPECT_EQ(kHandleTypeSound, HandleTypeOf(first));
    EXPECT_EQ(0, HandleSlotOf(first));
    EXPECT_EQ(1, GetSoundHandleAreaEnd());
    ASSERT_EQ(0, ReleaseSoundHandle(first));
    EXPECT_EQ(0, GetSoundHandleAreaEnd());

    int second = AddSoundData(-1);
    ASSERT_GE(second, 0);
    EXPECT_EQ(HandleSlotOf(first), HandleSlotOf(second));
    EXPECT_NE(first, second);
    // The old word names the reused slot but not its record.
    EXPECT_EQ(-1, ReleaseSoundHandle(first));
    EXPECT_EQ(-1, IsSoundHandlePlaying(first));
    EXPECT_EQ(-1, SetSoundHandleVolume(100, first));
    EXPECT_EQ(0, IsSoundHandlePlaying(second));
    // A graph handle with the same check id and slot is not a sound.
    EXPECT_EQ(-1, IsSoundHandlePlaying(MakeHandle(kHandleTypeGraph, HandleCheckIdOf(second), HandleSlotOf(second))));
    for (int bad : {-1, 0, second | (int)0x80000000, MakeHandle(kHandleTypeSound, 0, kSoundHandleSlots)}) {
        EXPECT_EQ(-1, PlaySoundHandle(bad, 1, 1)) << bad;
        EXPECT_EQ(-1, StopSoundHandle(bad)) << bad;
        EXPECT_EQ(-1, ReleaseSoundHandle(bad)) << bad;
    }
    EXPECT_EQ(0, ReleaseSoundHandle(second));
}

TEST_F(SoundHandleTest, CheckIdWrapsAfter2048Handles) {
    int first = AddSoundData(-1);
    ASSERT_GE(first, 0);
    ReleaseSoundHandle(first);
    int last = -1;
    for (int i = 1; i < kHandleCheckIdCount; ++i) {
        last = AddSoundData(-1);
        ASSERT_GE(last, 0);
        ASSERT_NE(first, last) << i;
        ReleaseSoundHandle(last);
    }
    EXPECT_EQ((HandleCheckIdOf(first) + kHandleCheckIdCount - 1) % kHandleCheckIdCount, HandleCheckIdOf(last));
    // The 2049th handle in the same slot carries the first one's word again.
    int again = AddSoundData(-1);
    EXPECT_EQ(first, again);
    ReleaseSoundHandle(again);
}

TEST_F(SoundHandleTest, FullTableRefusesLoadsAndReusesTheFirstFreeSlot) {
    std::vector<int> handles;
    while (GetSoundHandleCount() < kSoundHandleSlots) {
        int h = AddSoundData(-1);
        ASSERT_GE(h, 0) << handles.size();
        handles.push_back(h);
    }
    EXPECT_EQ(kSoundHandleSlots, GetSoundHandleCount());
    EXPECT_EQ(kSoundHandleSlots, GetSoundHandleAreaEnd());
    ResetLog();
    EXPECT_EQ(-1, LoadSine(100, 3));
    EXPECT_NE(std::string::npos, ReadLog().find("サウンドの数が許容量を越えました"));
    EXPECT_EQ(kSoundHandleSlots, GetSoundHandleCount());

    // With the mark at the end, a new handle takes the lowest free slot.
    ASSERT_EQ(0, ReleaseSoundHandle(handles[100]));
    ASSERT_EQ(0, ReleaseSoundHandle(handles[7]));
    int reused = LoadSine(100, 1);
    ASSERT_GE(reused, 0);
    EXPECT_EQ(7, HandleSlotOf(reused));

    EXPECT_EQ(0, ReleaseAllSounds(0));
    EXPECT_EQ(0, GetSoundHandleCount());
    EXPECT_EQ(0, GetSoundHandleAreaEnd());
}

TEST_F(SoundHandleTest, ThreeBuffersHoldTheSamePcm) {
    Bytes pcm = SinePcm(250);
    int h = LoadSoundHandleFromFile(WriteTemp("three.wav", MakePcmWav(1, 22050, 16, pcm)).c_str(), 3, -1);
    ASSERT_GE(h, 0);
    SoundData* sound = GetSoundData(h);
    ASSERT_NE(nullptr, sound);
    ASSERT_EQ(3, sound->bufferCount);
    EXPECT_EQ(22050u, sound->format.nSamplesPerSec);
    EXPECT_EQ(pcm.size(), sound->pcmSize);
    for (int i = 0; i < 3; ++i) {
        void* first = nullptr;
        void* second = nullptr;
        DWORD firstLength = 0, secondLength = 0;
        ASSERT_EQ(0, SoundBufferLock(&sound->buffers[i], 0, (DWORD)pcm.size(), &first, &firstLength, &second, &secondLength));
        EXPECT_EQ(pcm.size(), (size_t)firstLength + secondLength) << i;
        EXPECT_EQ(0, memcmp(first, pcm.data(), firstLength)) << i;
        SoundBufferUnlock(&sound->buffers[i], first, firstLength, second, secondLength);
    }
    // Counts above ten are cut to ten.
    int many = LoadSoundHandleFromFile(written_.back().c_str(), 25, -1);
    ASSERT_GE(many, 0);
    EXPECT_EQ(kMaxSoundBuffers, GetSoundData(many)->bufferCount);
}

TEST_F(SoundHandleTest, VolumeReachesEveryBufferAsAttenuation) {
    int h = LoadSine(200, 3);
    ASSERT_GE(h, 0);
    SoundData* sound = GetSoundData(h);
    const struct {
        int volume;
        LONG attenuation;
    } table[] = {{256, 0}, {1000, 0}, {255, 0}, {128, -299}, {64, -600}, {1, -2406}, {0, -10000}, {-7, -10000}};
    for (const auto& row : table) {
        ASSERT_EQ(0, SetSoundHandleVolume(row.volume, h)) << row.volume;
        EXPECT_EQ(row.attenuation, SoundVolumeToAttenuation(row.volume)) << row.volume;
        for (int i = 0; i < sound->bufferCount; ++i) {
            LONG read = 1;
            ASSERT_EQ(0, SoundBufferGetVolume(&sound->buffers[i], &read));
            EXPECT_EQ(row.attenuation, read) << "volume " << row.volume << " buffer " << i;
        }
    }
}

TEST_F(SoundHandleTest, BackPlaysOverlapAndTheFourthRestartsTheFirst) {
    int h = LoadSine(3000, 3);
    ASSERT_GE(h, 0);
    SoundData* sound = GetSoundData(h);
    // Plays take buffers 1, 2, 0 in turn.
    const int order[] = {1, 2, 0};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(0, PlaySoundHandle(h, kSoundPlayBack, 1));
        EXPECT_EQ(order[i], sound->currentBuffer);
        Sleep(100);
    }
    // A fifth of a second into the first voice's sound, so that a restart shows as a clear step back.
    EXPECT_TRUE(WaitFor([&] { return PlayPosition(&sound->buffers[1]) >= 22050 * 2 / 5; })) << "the mixer stands";
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(Status(&sound->buffers[i]) & DSBSTATUS_PLAYING) << i;
    DWORD before = PlayPosition(&sound->buffers[1]);
    ASSERT_EQ(0, PlaySoundHandle(h, kSoundPlayBack, 1));
    EXPECT_EQ(1, sound->currentBuffer);
    EXPECT_LT(PlayPosition(&sound->buffers[1]), before / 2);
    EXPECT_EQ(1, IsSoundHandlePlaying(h));

    // Stop stops every voice.
    EXPECT_EQ(0, StopSoundHandle(h));
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(Status(&sound->buffers[i]) & DSBSTATUS_PLAYING) << i;
    EXPECT_EQ(0, IsSoundHandlePlaying(h));
}

TEST_F(SoundHandleTest, TopFlagZeroLeavesAPlayingBufferAlone) {
    int h = LoadSine(3000, 1);
    ASSERT_GE(h, 0);
    SoundData* sound = GetSoundData(h);
    ASSERT_EQ(0, PlaySoundHandle(h, kSoundPlayBack, 1));
    EXPECT_TRUE(WaitFor([&] { return PlayPosition(&sound->buffers[0]) > 0; })) << "the mixer stands";
    DWORD before = PlayPosition(&sound->buffers[0]);
    EXPECT_EQ(0, PlaySoundHandle(h, kSoundPlayBack, 0));
    EXPECT_GE(PlayPosition(&sound->buffers[0]), before);
    EXPECT_EQ(1, IsSoundHandlePlaying(h));
}

TEST_F(SoundHandleTest, LoopPlayKeepsGoingAndBackPlayEnds) {
    int looped = LoadSine(120, 1);
    int once = LoadSine(120, 1);
    ASSERT_GE(looped, 0);
    ASSERT_GE(once, 0);
    ASSERT_EQ(0, PlaySoundHandle(looped, kSoundPlayLoop, 1));
    ASSERT_EQ(0, PlaySoundHandle(once, kSoundPlayBack, 1));
    EXPECT_TRUE(WaitFor([&] { return IsSoundHandlePlaying(once) == 0; })) << "the back play never ended";
    // The looped sound is as long as the one that ended, and started first.
    EXPECT_EQ(1, IsSoundHandlePlaying(looped));
    EXPECT_EQ(0, StopSoundHandle(looped));
    EXPECT_EQ(0, IsSoundHandlePlaying(looped));
}

TEST_F(SoundHandleTest, NormalPlayReturnsWhenTheSoundHasEnded) {
    // The test device runs faster than real time, so only the order of events is checked: a back
    // play returns while its sound plays, a normal play of the same sound only once it has ended.
    int h = LoadSine(2000, 1);
    ASSERT_GE(h, 0);
    ASSERT_EQ(0, PlaySoundHandle(h, kSoundPlayBack, 1));
    EXPECT_EQ(1, IsSoundHandlePlaying(h));
    ASSERT_EQ(0, StopSoundHandle(h));
    DWORD start = GetTickCount();
    ASSERT_EQ(0, PlaySoundHandle(h, kSoundPlayNormal, 1));
    EXPECT_GE(GetTickCount() - start, 100u);
    EXPECT_EQ(0, IsSoundHandlePlaying(h));
}

TEST_F(SoundHandleTest, FailedLoadsLeakNothingAndDoNotStopTheProgram) {
    Bytes emptyData = MakePcmWav(1, 22050, 16, Bytes());
    Bytes oneSample = MakePcmWav(1, 22050, 16, Bytes{1, 2});
    Bytes oddFormat = MakeRiff({{"fmt ", PcmFormatBody(3, 22050, 12), 0xFFFFFFFFu}, {"data", Bytes(900, 0x10), 0xFFFFFFFFu}});
    Bytes slowRate = MakePcmWav(1, 20, 16, Bytes(400, 0x10));
    Bytes garbage(3000, 0x37);
    struct {
        const char* name;
        std::string path;
        const char* logged;
    } cases[] = {
        {"missing file", folder_ + "\\nothing_here.wav", "右記のファイルのオープンに失敗しました"},
        {"decodes to nothing", WriteTemp("empty.wav", emptyData), "音声ファイルのＰＣＭへの変換に失敗しました"},
        {"below the smallest buffer", WriteTemp("tiny.wav", oneSample), "音声ファイルのＰＣＭへの変換に失敗しました"},
        {"format no buffer takes", WriteTemp("odd.wav", oddFormat), "音声ファイルのＰＣＭへの変換に失敗しました"},
        {"rate no buffer takes", WriteTemp("slow.wav", slowRate), "音声ファイルのＰＣＭへの変換に失敗しました"},
        {"not a sound", WriteTemp("garbage.bin", garbage), "音声ファイルのＰＣＭへの変換に失敗しました"},
    };
    for (auto& c : cases) {
        int allocations = GetTrackedAllocCount();
        ResetLog();
        EXPECT_EQ(-1, LoadSoundHandleFromFile(c.path.c_str(), 3, -1)) << c.name;
        EXPECT_EQ(handlesBefore_, GetSoundHandleCount()) << c.name;
        EXPECT_EQ(allocations, GetTrackedAllocCount()) << c.name;
        std::string log = ReadLog();
        EXPECT_NE(std::string::npos, log.find(c.logged)) << c.name;
        EXPECT_NE(std::string::npos, log.find(c.path)) << c.name;
    }
    // The service still works afterwards.
    int h = LoadSine(100, 2);
    EXPECT_GE(h, 0);
}

TEST_F(SoundHandleTest, MutatedHeadersNeverTakeTheFatalPath) {
    // Whatever a damaged header decodes to, the load ends in a handle or -1, never in the fatal
    // error that a refused buffer of good data raises.
    Bytes sources[] = {MakePcmWav(2, 22050, 16, SinePcm(60)), LoadFixture("alaw.wav")};
    uint32_t seed = 777;
    int loaded = 0;
    for (const Bytes& source : sources) {
        ASSERT_GT(source.size(), 64u);
        for (int variant = 0; variant < 120; ++variant) {
            Bytes file = source;
            seed = seed * 1664525u + 1013904223u;
            size_t at = 20 + (seed >> 8) % 20;  // inside the "fmt " body
            file[at] = (uint8_t)(seed >> 24);
            int h = LoadSoundHandleFromImage(file.data(), (int)file.size(), 2, -1);
            if (h >= 0) {
                ++loaded;
                EXPECT_EQ(0, ReleaseSoundHandle(h));
            }
        }
    }
    EXPECT_GT(loaded, 0);
    EXPECT_EQ(handlesBefore_, GetSoundHandleCount());
}

TEST_F(SoundHandleTest, StoppedServiceRefusesEverything) {
    int h = LoadSine(200, 2);
    ASSERT_GE(h, 0);
    ASSERT_EQ(0, TerminateSoundSystem());
    EXPECT_EQ(-1, TerminateSoundSystem());
    EXPECT_EQ(0, GetSoundHandleCount());
    EXPECT_EQ(-1, ReleaseSoundHandle(h));
    EXPECT_EQ(-1, PlaySoundHandle(h, 1, 1));
    EXPECT_EQ(-1, LoadSine(100, 1));
    ASSERT_EQ(0, InitSoundSystem());
    EXPECT_GE(LoadSine(100, 1), 0);
}

}  // namespace

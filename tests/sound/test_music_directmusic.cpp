// The DirectMusic mode: the sound service takes its device from a DirectMusic performance (and
// still plays sound handles through it), logs the ports, and music handles play as segments
// whose end the per-frame service notices.
#include <math.h>

#include <gtest/gtest.h>

#include "runtime/test_log_fixture.h"
#include "sound/music_directmusic.h"
#include "sound/music_handle.h"
#include "sound/sound.h"
#include "sound/sound_system.h"
#include "sound/sound_test_util.h"
#include "sound/stream_sound.h"

namespace {

// A standard MIDI file of one track: a note of `ticks` at 96 ticks a quarter (120 bpm: 1 s is
// 192 ticks), then the end of the track.
Bytes MidiNote(int ticks) {
    Bytes track = {0x00, 0x90, 60, 100};
    // Delta time as a variable-length number.
    Bytes delta;
    delta.push_back((uint8_t)(ticks & 0x7F));
    for (ticks >>= 7; ticks > 0; ticks >>= 7) delta.insert(delta.begin(), (uint8_t)(0x80 | (ticks & 0x7F)));
    track.insert(track.end(), delta.begin(), delta.end());
    const uint8_t tail[] = {0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00};
    track.insert(track.end(), tail, tail + sizeof(tail));
    Bytes file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k'};
    file.push_back(0);
    file.push_back(0);
    file.push_back((uint8_t)(track.size() >> 8));
    file.push_back((uint8_t)track.size());
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

class DirectMusicModeTest : public LogFileTest {
   protected:
    void SetUp() override {
        LogFileTest::SetUp();
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        SetDirectMusicMode(1);
        started_ = InitSoundSystem();
    }
    void TearDown() override {
        ReleaseAllMusicHandles();
        TerminateSoundSystem();
        SetDirectMusicMode(0);
        CoUninitialize();
        LogFileTest::TearDown();
    }
    int started_ = -1;
};

TEST_F(DirectMusicModeTest, StartsThroughThePerformanceAndPlaysSoundsAndSegments) {
    ASSERT_EQ(0, started_);
    EXPECT_EQ(1, IsDirectMusicStarted());
    std::string log = ReadLog();
    EXPECT_NE(std::string::npos, log.find("DirectSound8 の初期化を行います"));
    EXPECT_NE(std::string::npos, log.find("出力ポート  Device0:"));
    EXPECT_EQ(std::string::npos, log.find("DirectSound インターフェースの取得を行います"));
    ASSERT_NE(nullptr, GetDirectSoundObject());

    // Sound handles play through the device the performance handed out.
    Bytes pcm;
    for (int i = 0; i < 22050; ++i) PutLe16(pcm, (uint16_t)(int16_t)(6000 * sin(i * 0.1)));
    Bytes wav = MakePcmWav(1, 22050, 16, pcm);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string path = std::string(temp) + "kvdm_" + std::to_string(GetCurrentProcessId()) + ".wav";
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    fwrite(wav.data(), 1, wav.size(), file);
    fclose(file);
    int sound = LoadSoundHandleFromFile(path.c_str(), 1, -1);
    DeleteFileA(path.c_str());
    ASSERT_GE(sound, 0);
    ASSERT_EQ(0, PlaySoundHandle(sound, kSoundPlayLoop, 1));
    EXPECT_EQ(1, IsSoundHandlePlaying(sound));
    EXPECT_EQ(0, ReleaseSoundHandle(sound));

    // A segment plays until stopped, or ends on its own and the per-frame service sees it. (The
    // performance under Wine does not repeat segments, so looping is not held here.)
    Bytes midi = MidiNote(24);
    int looping = AddMusicHandle(midi.data(), (int)midi.size());
    ASSERT_EQ(0, PlayMusicHandle(looping, kSoundPlayLoop));
    EXPECT_EQ(1, IsMusicHandlePlaying(looping));
    EXPECT_EQ(0, StopMusicHandle(looping));
    EXPECT_EQ(0, IsMusicHandlePlaying(looping));

    int once = AddMusicHandle(midi.data(), (int)midi.size());
    ASSERT_EQ(0, PlayMusicHandle(once, kSoundPlayBack));
    EXPECT_EQ(1, IsMusicHandlePlaying(once));
    DWORD start = GetTickCount();
    while (IsMusicHandlePlaying(once) == 1 && GetTickCount() - start < 10000) {
        Sleep(20);
        ServiceMusicPlayback();
    }
    EXPECT_EQ(0, IsMusicHandlePlaying(once)) << "the end of the segment was never noticed";
    EXPECT_EQ(0, ReleaseAllMusicHandles());
    EXPECT_EQ(0, GetMusicHandleCount());
}

}  // namespace

// Music handles (their table: handle kind, stale handles, release of all) and the output
// capture's WAV header written over the reserved start of the file when it finishes.
#include <string.h>

#include <gtest/gtest.h>

#include "runtime/handle.h"
#include "sound/capture.h"
#include "sound/music_handle.h"
#include "sound/sound_test_util.h"
#include "sound/stream_sound.h"

namespace {

// A minimal standard MIDI file: header and one empty track.
Bytes TinyMidi() {
    const uint8_t bytes[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
                             'M', 'T', 'r', 'k', 0, 0, 0, 4, 0, 0xFF, 0x2F, 0};
    return Bytes(bytes, bytes + sizeof(bytes));
}

TEST(MusicHandleTable, HandlesAreMusicKindAndRefusedOnceReleased) {
    Bytes midi = TinyMidi();
    int before = GetMusicHandleCount();
    int first = AddMusicHandle(midi.data(), (int)midi.size());
    int second = AddMusicHandle(midi.data(), (int)midi.size());
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    EXPECT_EQ(kHandleTypeMusic, HandleTypeOf(first));
    EXPECT_NE(first, second);
    EXPECT_EQ(before + 2, GetMusicHandleCount());
    EXPECT_EQ(0, IsMusicHandlePlaying(first));

    EXPECT_EQ(0, ReleaseMusicHandle(first));
    // The stale handle is refused everywhere, also after another handle was made.
    int third = AddMusicHandle(midi.data(), (int)midi.size());
    ASSERT_GE(third, 0);
    EXPECT_NE(first, third);
    EXPECT_EQ(-1, ReleaseMusicHandle(first));
    EXPECT_EQ(-1, IsMusicHandlePlaying(first));
    EXPECT_EQ(-1, StopMusicHandle(first));
    EXPECT_EQ(-1, PlayMusicHandle(first, 3));

    // Wrong kinds and empty data make nothing.
    EXPECT_EQ(-1, IsMusicHandlePlaying(MakeHandle(kHandleTypeSound, HandleCheckIdOf(second), HandleSlotOf(second))));
    EXPECT_EQ(-1, AddMusicHandle(nullptr, 10));
    EXPECT_EQ(-1, AddMusicHandle(midi.data(), 0));

    EXPECT_EQ(0, ReleaseAllMusicHandles());
    EXPECT_EQ(0, GetMusicHandleCount());
    EXPECT_EQ(-1, IsMusicHandlePlaying(second));
    EXPECT_EQ(-1, IsMusicHandlePlaying(third));
    // Nothing started: the shutdown step and a stray notification do nothing.
    EXPECT_EQ(0, StopCurrentMusic());
    EXPECT_EQ(0, OnMciNotify(MCI_NOTIFY_SUCCESSFUL, 1));
}

TEST(MusicHandleTable, TableHolds256) {
    Bytes midi = TinyMidi();
    ReleaseAllMusicHandles();
    for (int i = 0; i < kMusicHandleSlots; ++i) ASSERT_GE(AddMusicHandle(midi.data(), (int)midi.size()), 0) << i;
    EXPECT_EQ(-1, AddMusicHandle(midi.data(), (int)midi.size()));
    EXPECT_EQ(0, ReleaseAllMusicHandles());
    EXPECT_EQ(0, GetMusicHandleCount());
}

// Plays through the MCI sequencer; notifications come here by hand (no window takes them).
TEST(MusicHandlePlay, NotifyPlaysALoopAgainAndClosesTheDeviceOtherwise) {
    Bytes midi = TinyMidi();
    int handle = AddMusicHandle(midi.data(), (int)midi.size());
    ASSERT_GE(handle, 0);

    ASSERT_EQ(0, PlayMusicHandle(handle, 3));
    unsigned device = GetMusicDevice();
    ASSERT_NE(0u, device);
    EXPECT_EQ(1, IsMusicHandlePlaying(handle));
    EXPECT_EQ(0, OnMciNotify(MCI_NOTIFY_SUCCESSFUL, device + 1));  // not ours: ignored
    EXPECT_EQ(0, OnMciNotify(MCI_NOTIFY_SUCCESSFUL, device));      // looping: plays again
    EXPECT_EQ(device, GetMusicDevice());
    EXPECT_EQ(1, IsMusicHandlePlaying(handle));
    EXPECT_EQ(0, StopMusicHandle(handle));
    EXPECT_EQ(0, IsMusicHandlePlaying(handle));
    EXPECT_EQ(0u, GetMusicDevice());

    ASSERT_EQ(0, PlayMusicHandle(handle, 1));
    device = GetMusicDevice();
    EXPECT_EQ(1, IsMusicHandlePlaying(handle));
    EXPECT_EQ(0, OnMciNotify(MCI_NOTIFY_SUCCESSFUL, device));  // played out: the device closes
    EXPECT_EQ(0, IsMusicHandlePlaying(handle));
    EXPECT_EQ(0u, GetMusicDevice());

    // Releasing a playing handle, and the shutdown step, stop what plays.
    ASSERT_EQ(0, PlayMusicHandle(handle, 3));
    EXPECT_EQ(0, ReleaseMusicHandle(handle));
    EXPECT_EQ(0u, GetMusicDevice());
    int next = AddMusicHandle(midi.data(), (int)midi.size());
    ASSERT_EQ(0, PlayMusicHandle(next, 3));
    EXPECT_EQ(0, StopCurrentMusic());
    EXPECT_EQ(0u, GetMusicDevice());
    EXPECT_EQ(-1, IsMusicHandlePlaying(next));
    EXPECT_EQ(0, GetMusicHandleCount());
}

TEST(WaveCapture, FinishWritesThe46ByteHeaderOverTheStart) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string path = std::string(temp) + "kvcapture_" + std::to_string(GetCurrentProcessId()) + ".wav";

    EXPECT_EQ(-1, FinishWaveCapture());
    const int16_t none[2] = {0, 0};
    EXPECT_EQ(-1, WriteWaveCaptureSamples(none, 1));

    ASSERT_EQ(0, StartWaveCapture(path.c_str()));
    EXPECT_EQ(-1, StartWaveCapture(path.c_str()));
    const int16_t frames[] = {1, -1, 0x1234, -0x1234, 32767, -32768};
    ASSERT_EQ(0, WriteWaveCaptureSamples(frames, 2));
    ASSERT_EQ(0, WriteWaveCaptureSamples(frames + 4, 1));
    ASSERT_EQ(0, FinishWaveCapture());
    EXPECT_EQ(0, IsWaveCapturing());
    EXPECT_EQ(-1, FinishWaveCapture());

    Bytes file = ReadFileBytes(path);
    DeleteFileA(path.c_str());
    Bytes expected;
    PutTag(expected, "RIFF");
    PutLe32(expected, 38 + 12);
    PutTag(expected, "WAVE");
    PutTag(expected, "fmt ");
    PutLe32(expected, 18);
    PutLe16(expected, 1);
    PutLe16(expected, 2);
    PutLe32(expected, 44100);
    PutLe32(expected, 176400);
    PutLe16(expected, 4);
    PutLe16(expected, 16);
    PutLe16(expected, 0);
    PutTag(expected, "data");
    PutLe32(expected, 12);
    ASSERT_EQ(46u, expected.size());
    const uint8_t* data = (const uint8_t*)frames;
    expected.insert(expected.end(), data, data + 12);
    EXPECT_EQ(expected, file);
}

}  // namespace

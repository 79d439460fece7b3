// The input poll: which source each side reads for a pad count (through a seam for the pads), the
// previous/current shift across a source change, the computer side's zeroing, and real keys without pads.
#include <windows.h>

#include <gtest/gtest.h>

#include "game/shell/input_poll.h"
#include "input/input.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "tests/game_support/game_stepper.h"

namespace {

struct FakePads {
    static int count;
    static int words[4];  // [0] the keyboard (with no pad), [1..3] pads 1-3
    static int Count() { return count; }
    static int State(int source) {
        if (source == kJoypadWithKeyboard) return words[0];
        return source >= 1 && source <= 3 && source <= count ? words[source] : 0;
    }
};
int FakePads::count = 0;
int FakePads::words[4] = {};
const InputDevices kFake = {&FakePads::Count, &FakePads::State};

class InputPollTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetInput();
        FakePads::count = 0;
        for (int& w : FakePads::words) w = 0;
        setInputDevicesForTest(&kFake);
    }
    void TearDown() override {
        setInputDevicesForTest(nullptr);
        resetInput();
    }
};

TEST_F(InputPollTest, SourceTableByPadCount) {
    struct Row {
        int pads, side0, side1;
    };
    const Row rows[] = {
        {0, kJoypadWithKeyboard, 3},
        {1, 1, kJoypadWithKeyboard},
        {2, 1, 2},
        {3, 1, 2},  // not the keyboard on both sides, leaving every pad unread
        {8, 1, 2},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.side0, inputSourceFor(0, r.pads)) << r.pads << " pads";
        EXPECT_EQ(r.side1, inputSourceFor(1, r.pads)) << r.pads << " pads";
    }
}

TEST_F(InputPollTest, EachSideReadsItsOwnSource) {
    FakePads::words[0] = 0x10;  // keyboard
    FakePads::words[1] = 0x01;
    FakePads::words[2] = 0x02;
    FakePads::words[3] = 0x04;
    const struct {
        int pads, want0, want1;
    } rows[] = {{0, 0x10, 0}, {1, 0x01, 0x10}, {2, 0x01, 0x02}, {3, 0x01, 0x02}};
    for (const auto& r : rows) {
        FakePads::count = r.pads;
        pollInput();
        EXPECT_EQ(r.want0, inputCurrent[0]) << r.pads << " pads";
        EXPECT_EQ(r.want1, inputCurrent[1]) << r.pads << " pads";
    }
}

TEST_F(InputPollTest, SourceChangeBetweenFramesCountsAsNewPress) {
    // Side 1 holds the first button on the keyboard with one pad; pad 2 comes in holding nothing, then the
    // button is pressed there: the poll that moves to the new source compares against the old word.
    FakePads::count = 1;
    FakePads::words[0] = 0x10;
    pollInput();
    pollInput();
    EXPECT_FALSE(inputPressed(1, 0x10));  // held, not new
    FakePads::count = 2;
    FakePads::words[2] = 0;
    pollInput();
    EXPECT_EQ(0, inputCurrent[1]);
    EXPECT_EQ(0x10, inputPrevious[1]);
    FakePads::words[2] = 0x10;
    pollInput();
    EXPECT_TRUE(inputPressed(1, 0x10));

    // Side 0 moves from the keyboard (no pads) to pad 1 which already holds a button it did not hold before.
    resetInput();
    FakePads::count = 0;
    FakePads::words[0] = 0;
    pollInput();
    FakePads::count = 1;
    FakePads::words[1] = 0x20;
    pollInput();
    EXPECT_TRUE(inputPressed(0, 0x20));
    EXPECT_TRUE(inputHeld(0, 0x20));
}

TEST_F(InputPollTest, ComputerSideIsZeroedAfterEveryPoll) {
    FakePads::count = 2;
    FakePads::words[1] = 0x08;
    FakePads::words[2] = 0x7F;
    cpuInputIgnored = true;
    pollInput();
    pollInput();
    EXPECT_EQ(0, inputCurrent[1]);
    EXPECT_EQ(0, inputPrevious[1]);
    EXPECT_EQ(0x08, inputCurrent[0]);
    // The computer's own bits ORed in during a frame are gone after the next poll too.
    inputCurrent[1] |= kButtonUp;
    pollInput();
    EXPECT_EQ(0, inputCurrent[1]);
    cpuInputIgnored = false;
    pollInput();
    EXPECT_EQ(0x7F, inputCurrent[1]);
}

}  // namespace

namespace {

void SendKey(WORD virtualKey, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC));
    if (!down) input.ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(1, &input, sizeof(input));
}

// With no pad connected (as under Wine here), a key sent to the game's window reaches side 0 only.
TEST(InputPollKeyboardTest, KeysReachSideZeroOnlyWithoutPads) {
    GameStepper game;
    ASSERT_TRUE(game.started());
    setInputDevicesForTest(nullptr);  // the runtime's own pads and keyboard
    ASSERT_EQ(0, GetJoypadCount()) << "this check needs a machine without pads";
    const DWORD start = GetTickCount();
    while (GetForegroundWindow() != GetMainHwnd() && GetTickCount() - start < 20000) {
        SetForegroundWindow(GetMainHwnd());
        ProcessMessage();
        Sleep(5);
    }
    SendKey('Z', true);
    bool seen = false;
    for (const DWORD pressed = GetTickCount(); !seen && GetTickCount() - pressed < 20000;) {
        ProcessMessage();
        pollInput();
        seen = (inputCurrent[0] & kButtonFirst) != 0;
        if (!seen) Sleep(10);
    }
    const int side1 = inputCurrent[1];
    SendKey('Z', false);
    for (const DWORD released = GetTickCount(); inputCurrent[0] != 0 && GetTickCount() - released < 20000;) {
        ProcessMessage();
        pollInput();
        Sleep(5);
    }
    EXPECT_TRUE(seen) << "Z never reached side 0";
    EXPECT_EQ(0, side1);
}

}  // namespace

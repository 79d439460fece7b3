// The input module's fixed mappings, checked without devices: WinMM axis scaling, the pad and keyboard bits
// of the joypad word, the virtual-key table, and the pad vibration clock.
#include <gtest/gtest.h>

#include <string.h>

#include <initializer_list>
#include <utility>
#include <vector>

#include "input/device_state.h"
#include "input/key_tables.h"

namespace {

TEST(WinmmAxis, ScalesOutsideTheDeadBandAndTruncatesTowardZero) {
    struct Case {
        uint32_t position;
        int expected;
    };
    const Case cases[] = {
        {0x0000, -1000}, {0x0001, -999},  {0x3000, -500}, {0x5FFF, 0},   {0x6000, 0},    {0x7FFF, 0},
        {0x8000, 0},     {0xA000, 0},     {0xA001, 0},    {0xA060, 3},   {0xD000, 500},  {0xFFFE, 999},
        {0xFFFF, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "position 0x" << std::hex << c.position);
        EXPECT_EQ(MapWinmmAxis(c.position), c.expected);
    }
}

TEST(WinmmAxis, PositionRecordBecomesJoystickState) {
    JOYINFOEX info{};
    info.dwXpos = 0x0000;
    info.dwYpos = 0xFFFF;
    info.dwZpos = 0x3000;
    info.dwRpos = 0xD000;
    info.dwButtons = (1u << 0) | (1u << 5) | (1u << 23) | (1u << 24);

    DIJOYSTATE withZR;
    memset(&withZR, 0x55, sizeof(withZR));  // every field must be written
    WinmmPositionToJoyState(info, 1, &withZR);
    EXPECT_EQ(withZR.lX, -1000);
    EXPECT_EQ(withZR.lY, 1000);
    EXPECT_EQ(withZR.lZ, -500);
    EXPECT_EQ(withZR.lRz, 500);
    EXPECT_EQ(withZR.lRx, 0);
    EXPECT_EQ(withZR.rgdwPOV[0], 0u);
    for (int i = 0; i < 32; ++i) {
        const int pressed = (i == 0 || i == 5 || i == 23) ? 128 : 0;  // button 24 lies beyond the 24 read
        EXPECT_EQ(withZR.rgbButtons[i], pressed) << "button " << i;
    }

    DIJOYSTATE withoutZR;
    WinmmPositionToJoyState(info, 0, &withoutZR);
    EXPECT_EQ(withoutZR.lX, -1000);
    EXPECT_EQ(withoutZR.lZ, 0);
    EXPECT_EQ(withoutZR.lRz, 0);
}

DIJOYSTATE PadState(LONG x, LONG y, std::initializer_list<std::pair<int, BYTE>> buttons) {
    DIJOYSTATE state{};
    state.lX = x;
    state.lY = y;
    for (const auto& b : buttons) state.rgbButtons[b.first] = b.second;
    return state;
}

TEST(JoypadWord, AxesSignsAndButtonsMapToBits) {
    struct Case {
        const char* name;
        DIJOYSTATE state;
        int expected;
    };
    const Case cases[] = {
        {"neutral", PadState(0, 0, {}), 0},
        {"down", PadState(0, 1, {}), 0x1},
        {"left", PadState(-1000, 0, {}), 0x2},
        {"right", PadState(1, 0, {}), 0x4},
        {"up", PadState(0, -1, {}), 0x8},
        {"up-left", PadState(-5, -5, {}), 0xA},
        {"down-right", PadState(1000, 1000, {}), 0x5},
        {"first button", PadState(0, 0, {{0, 0x80}}), 0x10},
        {"third button", PadState(0, 0, {{2, 0xFF}}), 0x40},
        {"button 23 is the last", PadState(0, 0, {{23, 0x80}, {24, 0x80}, {31, 0x80}}), 0x8000000},
        {"only bit 7 counts", PadState(0, 0, {{0, 0x7F}, {1, 0x80}}), 0x20},
        {"left with two buttons", PadState(-1, 0, {{0, 0x80}, {1, 0x80}}), 0x32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(JoypadStateToBits(c.state), c.expected);
    }
}

TEST(JoypadWord, KeyboardKeysMapToBits) {
    struct Case {
        const char* name;
        std::vector<int> keys;
        int expected;
    };
    const Case cases[] = {
        {"nothing", {}, 0},
        {"Z and left arrow", {DIK_Z, DIK_LEFT}, 0x12},
        {"keypad directions", {DIK_NUMPAD2, DIK_NUMPAD4, DIK_NUMPAD6, DIK_NUMPAD8}, 0xF},
        {"arrow directions", {DIK_DOWN, DIK_LEFT, DIK_RIGHT, DIK_UP}, 0xF},
        {"letter buttons", {DIK_Z, DIK_X, DIK_C, DIK_A, DIK_S, DIK_D, DIK_Q, DIK_W}, 0xFF0},
        {"escape and space", {DIK_ESCAPE, DIK_SPACE}, 0x3000},
        {"keys without a bit", {DIK_RETURN, DIK_F1, DIK_LSHIFT, DIK_V}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unsigned char table[256] = {};
        for (int key : c.keys) table[key] = 0x80;
        EXPECT_EQ(KeyboardStateToJoypadBits(table), c.expected);
    }
    unsigned char toggledOnly[256] = {};
    toggledOnly[DIK_Z] = 0x01;  // a toggle state without the key held
    EXPECT_EQ(KeyboardStateToJoypadBits(toggledOnly), 0);
}

TEST(VirtualKeyTable, FillsDirectInputCodesFromVirtualKeyState) {
    struct Case {
        int virtualKey;
        int keyCode;
        bool inFirstPart;
    };
    const Case cases[] = {
        {'Z', DIK_Z, true},
        {'7', DIK_7, true},
        {VK_LEFT, DIK_LEFT, true},
        {VK_ESCAPE, DIK_ESCAPE, true},
        {VK_DIVIDE, DIK_DIVIDE, true},
        {220, 0x7D, true},  // yen key
        {186, 0x92, true},  // colon key
        {VK_F5, DIK_F5, false},
        {VK_LSHIFT, DIK_LSHIFT, false},
        {VK_PAUSE, DIK_PAUSE, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "virtual key " << c.virtualKey);
        unsigned char virtualKeys[256] = {};
        virtualKeys[c.virtualKey] = 0x81;
        for (int firstPartOnly = 0; firstPartOnly <= 1; ++firstPartOnly) {
            unsigned char keyState[256];
            memset(keyState, 0x80, sizeof(keyState));
            FillKeyStateFromVirtualKeys(keyState, virtualKeys, firstPartOnly);
            const bool filled = !firstPartOnly || c.inFirstPart;
            // A filled entry takes the virtual key's byte; one the call does not reach keeps what it had.
            EXPECT_EQ(keyState[c.keyCode], filled ? 0x81 : 0x80) << "first part only " << firstPartOnly;
        }
    }
    // Enter stands for both Enter keys, but only the full table reaches the keypad one.
    unsigned char virtualKeys[256] = {};
    virtualKeys[VK_RETURN] = 0x80;
    unsigned char firstOnly[256] = {};
    FillKeyStateFromVirtualKeys(firstOnly, virtualKeys, 1);
    EXPECT_EQ(firstOnly[DIK_RETURN], 0x80);
    EXPECT_EQ(firstOnly[DIK_NUMPADENTER], 0);
    unsigned char full[256] = {};
    FillKeyStateFromVirtualKeys(full, virtualKeys, 0);
    EXPECT_EQ(full[DIK_RETURN], 0x80);
    EXPECT_EQ(full[DIK_NUMPADENTER], 0x80);
    // Keys the table does not name stay untouched.
    unsigned char untouched[256] = {};
    untouched[DIK_APPS] = 0x80;
    unsigned char none[256] = {};
    FillKeyStateFromVirtualKeys(untouched, none, 0);
    EXPECT_EQ(untouched[DIK_APPS], 0x80);
    EXPECT_EQ(untouched[DIK_Z], 0);
}

TEST(JoypadVibrationClock, RunsOutAfterItsTimeAndSurvivesClockJumps) {
    JoypadEffectState effect{};
    effect.requested = 1;
    effect.timeMs = 100;
    effect.lastTick = 1000;
    EXPECT_EQ(AdvanceJoypadEffectClock(&effect, 1040), 0);
    EXPECT_EQ(AdvanceJoypadEffectClock(&effect, 1099), 0);
    EXPECT_EQ(effect.elapsedMs, 99);
    // A clock that ran backwards only restarts the step.
    EXPECT_EQ(AdvanceJoypadEffectClock(&effect, 500), 0);
    EXPECT_EQ(effect.elapsedMs, 99);
    EXPECT_EQ(effect.lastTick, 500u);
    EXPECT_EQ(AdvanceJoypadEffectClock(&effect, 501), 1);

    // The millisecond counter wrapping past zero is an ordinary step forward.
    JoypadEffectState wrapping{};
    wrapping.timeMs = 0x30;
    wrapping.lastTick = 0xFFFFFFF0u;
    EXPECT_EQ(AdvanceJoypadEffectClock(&wrapping, 0x10), 0);
    EXPECT_EQ(wrapping.elapsedMs, 0x20);
    EXPECT_EQ(AdvanceJoypadEffectClock(&wrapping, 0x20), 1);
}

}  // namespace

// The input module's fixed tables: virtual keys to DirectInput key codes (the punctuation rows follow a
// Japanese keyboard), the keyboard layout of the joypad word, and the WinMM axis scaling.
#include "input/key_tables.h"

namespace {

const VirtualKeyPair kVirtualKeyTable[] = {
    // First part: refreshed from GetKeyboardState on every poll, even when DirectInput reads the keyboard.
    {'A', DIK_A}, {'B', DIK_B}, {'C', DIK_C}, {'D', DIK_D}, {'E', DIK_E}, {'F', DIK_F}, {'G', DIK_G},
    {'H', DIK_H}, {'I', DIK_I}, {'J', DIK_J}, {'K', DIK_K}, {'L', DIK_L}, {'M', DIK_M}, {'N', DIK_N},
    {'O', DIK_O}, {'P', DIK_P}, {'Q', DIK_Q}, {'R', DIK_R}, {'S', DIK_S}, {'T', DIK_T}, {'U', DIK_U},
    {'V', DIK_V}, {'W', DIK_W}, {'X', DIK_X}, {'Y', DIK_Y}, {'Z', DIK_Z},
    {'0', DIK_0}, {'1', DIK_1}, {'2', DIK_2}, {'3', DIK_3}, {'4', DIK_4},
    {'5', DIK_5}, {'6', DIK_6}, {'7', DIK_7}, {'8', DIK_8}, {'9', DIK_9},
    {VK_LEFT, DIK_LEFT}, {VK_RIGHT, DIK_RIGHT}, {VK_UP, DIK_UP}, {VK_DOWN, DIK_DOWN},
    {VK_DELETE, DIK_DELETE}, {VK_ESCAPE, DIK_ESCAPE}, {VK_SPACE, DIK_SPACE}, {VK_BACK, DIK_BACK},
    {VK_TAB, DIK_TAB}, {VK_RETURN, DIK_RETURN},
    {VK_NUMPAD0, DIK_NUMPAD0}, {VK_NUMPAD1, DIK_NUMPAD1}, {VK_NUMPAD2, DIK_NUMPAD2},
    {VK_NUMPAD3, DIK_NUMPAD3}, {VK_NUMPAD4, DIK_NUMPAD4}, {VK_NUMPAD5, DIK_NUMPAD5},
    {VK_NUMPAD6, DIK_NUMPAD6}, {VK_NUMPAD7, DIK_NUMPAD7}, {VK_NUMPAD8, DIK_NUMPAD8},
    {VK_NUMPAD9, DIK_NUMPAD9}, {VK_MULTIPLY, DIK_MULTIPLY}, {VK_ADD, DIK_ADD},
    {VK_SUBTRACT, DIK_SUBTRACT}, {VK_DECIMAL, DIK_DECIMAL}, {VK_DIVIDE, DIK_DIVIDE},
    // Punctuation as laid out on a Japanese keyboard.
    {187, 0x27}, {186, 0x92}, {219, 0x1A}, {221, 0x1B}, {192, 0x91}, {226, 0x2B},
    {188, 0x33}, {189, 0x0C}, {220, 0x7D}, {190, 0x34}, {191, 0x35},
    {kVirtualKeyFirstPartEnd, 0},
    // Second part: only the no-DirectInput path reads these from GetKeyboardState.
    {VK_RETURN, DIK_NUMPADENTER},
    {VK_LSHIFT, DIK_LSHIFT}, {VK_RSHIFT, DIK_RSHIFT}, {VK_LCONTROL, DIK_LCONTROL},
    {VK_RCONTROL, DIK_RCONTROL}, {VK_LMENU, DIK_LMENU}, {VK_RMENU, DIK_RMENU},
    {VK_PRIOR, DIK_PRIOR}, {VK_NEXT, DIK_NEXT}, {VK_END, DIK_END}, {VK_HOME, DIK_HOME},
    {VK_INSERT, DIK_INSERT}, {VK_SCROLL, DIK_SCROLL}, {VK_CAPITAL, DIK_CAPITAL}, {VK_PAUSE, DIK_PAUSE},
    {VK_F1, DIK_F1}, {VK_F2, DIK_F2}, {VK_F3, DIK_F3}, {VK_F4, DIK_F4}, {VK_F5, DIK_F5},
    {VK_F6, DIK_F6}, {VK_F7, DIK_F7}, {VK_F8, DIK_F8}, {VK_F9, DIK_F9}, {VK_F10, DIK_F10},
    {VK_F11, DIK_F11}, {VK_F12, DIK_F12},
    {kVirtualKeyTableEnd, 0},
};

struct KeyBit {
    unsigned char keyCode;
    int bit;
};

// Keys that set a bit of the joypad word when the keyboard is merged in.
const KeyBit kKeyboardJoypadBits[] = {
    {DIK_DOWN, 0x1},     {DIK_NUMPAD2, 0x1}, {DIK_LEFT, 0x2},  {DIK_NUMPAD4, 0x2},
    {DIK_RIGHT, 0x4},    {DIK_NUMPAD6, 0x4}, {DIK_UP, 0x8},    {DIK_NUMPAD8, 0x8},
    {DIK_Z, 0x10},       {DIK_X, 0x20},      {DIK_C, 0x40},    {DIK_A, 0x80},
    {DIK_S, 0x100},      {DIK_D, 0x200},     {DIK_Q, 0x400},   {DIK_W, 0x800},
    {DIK_ESCAPE, 0x1000}, {DIK_SPACE, 0x2000},
};

constexpr int kJoypadButtonBits = 24;

}  // namespace

const VirtualKeyPair* GetVirtualKeyTable() { return kVirtualKeyTable; }

void FillKeyStateFromVirtualKeys(unsigned char keyState[256], const unsigned char virtualKeyState[256],
                                 int firstPartOnly) {
    for (const VirtualKeyPair* pair = kVirtualKeyTable; pair->virtualKey != kVirtualKeyTableEnd; ++pair) {
        if (pair->virtualKey == kVirtualKeyFirstPartEnd) {
            if (firstPartOnly) return;
            continue;
        }
        keyState[(unsigned char)pair->keyCode] = virtualKeyState[(unsigned char)pair->virtualKey];
    }
}

int KeyboardStateToJoypadBits(const unsigned char keyState[256]) {
    int bits = 0;
    for (const KeyBit& k : kKeyboardJoypadBits) {
        if (keyState[k.keyCode] & 0x80) bits |= k.bit;
    }
    return bits;
}

int JoypadStateToBits(const DIJOYSTATE& state) {
    int bits = 0;
    if (state.lY > 0) bits |= 0x1;
    if (state.lX < 0) bits |= 0x2;
    if (state.lX > 0) bits |= 0x4;
    if (state.lY < 0) bits |= 0x8;
    for (int i = 0; i < kJoypadButtonBits; ++i) {
        if (state.rgbButtons[i] & 0x80) bits |= 1 << (i + 4);
    }
    return bits;
}

int MapWinmmAxis(uint32_t position) {
    const int p = (int)(position & 0xFFFF);
    if (p == 0) return -1000;
    if (p == 0x7FFF) return 0;
    if (p == 0xFFFF) return 1000;
    if (p < 0x6000) return (p - 0x6000) * 1000 / 0x6000;  // C++ division truncates toward zero
    if (p <= 0xA000) return 0;
    return (p - 0xA000) * 1000 / 0x6000;
}

void WinmmPositionToJoyState(const JOYINFOEX& info, int hasZAndR, DIJOYSTATE* out) {
    *out = DIJOYSTATE{};
    out->lX = MapWinmmAxis(info.dwXpos);
    out->lY = MapWinmmAxis(info.dwYpos);
    if (hasZAndR) {
        out->lZ = MapWinmmAxis(info.dwZpos);
        out->lRz = MapWinmmAxis(info.dwRpos);
    }
    for (int i = 0; i < kJoypadButtonBits; ++i) {
        out->rgbButtons[i] = (info.dwButtons & (1u << i)) ? 128 : 0;
    }
}

// Fixed tables of the input module and the pure mappings built on them: the virtual-key table that fills the
// key-state table from GetKeyboardState, the keyboard and pad bits of the joypad state word, and the WinMM
// axis scaling. Kept free of device state so that they can be checked on their own.
#pragma once

#include <stdint.h>

#include "input/dinput_include.h"

// One pair of the virtual-key table.
struct VirtualKeyPair {
    int16_t virtualKey;
    int16_t keyCode;  // DirectInput key code (DIK_*) of the same key
};

constexpr int16_t kVirtualKeyFirstPartEnd = -2;
constexpr int16_t kVirtualKeyTableEnd = -1;

// The whole table: the first part, the -2 marker, the second part, the -1 end.
const VirtualKeyPair* GetVirtualKeyTable();

// Fills the entries named by the table from a GetKeyboardState buffer (bit 7 = down). firstPartOnly stops
// at the -2 marker. Entries the table does not name are left as they are.
void FillKeyStateFromVirtualKeys(unsigned char keyState[256], const unsigned char virtualKeyState[256],
                                 int firstPartOnly);

// Keyboard bits of the joypad state word read from a key-state table (arrows or keypad 2/4/6/8, Z X C A S D
// Q W, Escape and Space).
int KeyboardStateToJoypadBits(const unsigned char keyState[256]);

// Direction bits from X and Y (0 is neutral) and buttons 0-23 as bits 4-27.
int JoypadStateToBits(const DIJOYSTATE& state);

// A WinMM axis position (0..0xFFFF) on the DirectInput scale -1000..1000 with a dead band in the middle.
int MapWinmmAxis(uint32_t position);

// A WinMM position record as a DIJOYSTATE: X and Y always, Z and R (into Rz) only when hasZAndR, buttons
// 0-23 as 128 or 0.
void WinmmPositionToJoyState(const JOYINFOEX& info, int hasZAndR, DIJOYSTATE* out);

// The input entries the game calls: keyboard keys and joypads. Each takes the runtime's API lock around its
// Impl twin (input/public_api.cpp).
#pragma once

// Key codes are DirectInput key codes; the one the game's frame loop asks for:
constexpr int kKeyEscape = 0x01;
// Added to a pad number, merges the keyboard's bits into GetJoypadState's word.
constexpr int kJoypadWithKeyboard = 0x1000;

// 1 while the key (DirectInput key code, 1 = Escape) is held, else 0.
int IsKeyDown(int keyCode);
// Number of joypads.
int GetJoypadCount();
// State word of pad n (1-based); with 0x1000 added the keyboard's bits are merged in. Bits: 0x1 down,
// 0x2 left, 0x4 right, 0x8 up, then buttons 0-23 from 0x10; the keyboard gives arrows or keypad 2/4/6/8,
// Z 0x10, X 0x20, C 0x40, A 0x80, S 0x100, D 0x200, Q 0x400, W 0x800, Escape 0x1000, Space 0x2000.
int GetJoypadState(int pad);

// The input entries the game calls: keyboard keys and joypads. Each takes the runtime's API lock around its
// Impl twin (input/public_api.cpp).
#pragma once

// 1 while the key (DirectInput key code, 1 = Escape) is held, else 0.
int IsKeyDown(int keyCode);
// Number of joypads.
int GetJoypadCount();
// State word of pad n (1-based); with 0x1000 added the keyboard's bits are merged in.
int GetJoypadState(int pad);

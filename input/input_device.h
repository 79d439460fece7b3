// Keyboard, mouse and joypads as the other runtime modules reach them: start-up and shutdown call
// StartInput/EndInput, the public entries call the Impl queries, the message pump times the pad effects and
// the window procedure re-acquires the devices on activation. Callers hold the API lock.
#pragma once

#include "input/input.h"  // kJoypadWithKeyboard

// Number of joypads the module keeps.
constexpr int kMaxJoypads = 8;

// 0 on success (or when already started); 1 when the keyboard's event notification could not be set up
// (input runs with the keyboard unfinished). Mouse and keyboard set-up failures take the fatal path.
int StartInput();
// Releases every device; input returns to "not started". Returns 0.
int EndInput();

// 1 while the key (DirectInput key code, 1 = Escape) is down, else 0. Starts input on the first query.
int IsKeyDownImpl(int keyCode);
// Number of pads (0..8). Starts input on the first query.
int GetJoypadCountImpl();
// State word of the 1-based pad; with kJoypadWithKeyboard the keyboard bits are merged in. 0 = no pad.
int GetJoypadStateImpl(int pad);

// Reads the keyboard into the key-state table. 1 when read, 0 when skipped or the read failed.
int PollKeyboard();
// Reads pad index 0..7. 0, or -1 for an index above 7 or when the pump reports quitting while recovering.
int PollJoypad(int index);

// Window activation changed: re-acquire the devices at the cooperative level for the new state. Nothing
// without DirectInput. Returns 0.
int ReacquireInputDevices();
// Force feedback: stop the 1-based pad's vibration (0 for pads outside 1..count); start or stop pad effects
// to match their requests (stopped while the application is inactive); and, once per message-pump pass,
// time out the vibrations and then ApplyJoypadEffects.
int StopJoypadEffect(int pad);
int ApplyJoypadEffects();
int UpdateJoypadEffects();

// The two input flags that window messages set and clear (mask 1 and 2); nothing reads them.
int SetInputWindowFlags(int mask, int set);
int GetInputWindowFlags();
// Mouse wheel notches from WM_MOUSEWHEEL (+1 or -1 each).
int AddMouseWheelCount(int notches);
int GetMouseWheelCount();

// State views.
int IsInputStarted();           // started, with or without DirectInput
int IsInputUsingDirectInput();  // started through DirectInput 7 or 8
int IsDirectInput8();           // the version 8 object is in use

// Settings, 0 at load and never changed by the game; StartInput keeps them.
void SetInputNoDirectInput(int flag);  // go straight to WinMM and GetKeyboardState
int GetInputNoDirectInput();
void SetInputNoKeyboardDevice(int flag);  // make no DirectInput keyboard device
int GetInputNoKeyboardDevice();

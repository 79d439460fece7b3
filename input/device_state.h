// The input module's own state block: the DirectInput objects, the key-state table and the joypad records.
// Only the input sources include this; everyone else goes through input_device.h.
#pragma once

#include "input/dinput_include.h"
#include "input/input_device.h"

// Force-feedback bookkeeping of one pad. The timing is kept apart from the effect objects so that it can be
// stepped without a device.
struct JoypadEffectState {
    int requested;        // a vibration is wanted
    int sineApplied;      // the sine effect is running
    int constantApplied;  // the constant-force effect is running
    int power;            // 0..10000; the constant force joins in above 5000
    int timeMs;           // how long the vibration lasts; -1 = without end
    int elapsedMs;        // time run so far
    DWORD lastTick;       // timeGetTime of the last step
};

struct JoypadRecord {
    IDirectInputDevice7A* device;  // DirectInput path; null on the WinMM path
    UINT winmmId;                  // WinMM path: the joystick id
    HANDLE event;                  // DirectInput notification (manual reset)
    DWORD lastPollTime;
    int polled;                    // lastPollTime is meaningful
    DIJOYSTATE state;              // axes -1000..1000
    int hasZAndR;                  // WinMM: the pad reports Z and R
    IDirectInputEffect* sineEffect;
    IDirectInputEffect* constantEffect;
    JoypadEffectState effect;
    char instanceName[260];
    char productName[260];
};

// Key states by DirectInput key code (DIK_*); bit 7 set while the key is down.
typedef unsigned char KeyStateTable[256];

struct InputState {
    IDirectInput7A* directInput7;
    IDirectInput8A* directInput8;
    int startedWithoutDirectInput;  // WinMM and GetKeyboardState serve the queries

    IDirectInputDevice7A* keyboard;
    HANDLE keyboardEvent;
    DWORD keyboardPollTime;
    int keyboardPolled;

    IDirectInputDevice7A* mouse;

    KeyStateTable keyState;

    int padCount;
    JoypadRecord pads[kMaxJoypads];

    int windowFlags;  // bits 1 and 2
    int wheelCount;
};

InputState& InputDeviceState();
// Clears the block (the settings live elsewhere and stay).
void ResetInputState();

// One step of a pad's vibration clock at time now. Returns 1 when the requested time has run out (the
// caller stops the vibration). A clock that ran backwards restarts the step without counting.
int AdvanceJoypadEffectClock(JoypadEffectState* effect, DWORD now);

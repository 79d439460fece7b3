// Reading the keyboard and the joypads, and the three queries the public entries answer. A query that finds
// input stopped starts it and then answers the question it was asked; after the library has posted its close
// input stays stopped and the queries read as "nothing held".
#include <string.h>

#include "input/device_state.h"
#include "input/key_tables.h"
#include "runtime/message_pump.h"
#include "runtime/window.h"

namespace {

bool IsSignalled(HANDLE event) { return event != nullptr && WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

// GetKeyboardState reports the calling thread's view of the keyboard, which is only the player's on the
// thread that owns the window.
bool OnMainThread() {
    DWORD mainThread = GetMainThreadId();
    return mainThread == 0 || mainThread == GetCurrentThreadId();
}

// Starts input for a query that found it stopped. True when input runs afterwards.
bool EnsureInputForQuery() {
    if (IsInputStarted()) return true;
    if (IsCloseRequested()) return false;
    StartInput();
    return IsInputStarted() != 0;
}

int PollKeyboardDirectInput(InputState& input) {
    const DWORD now = timeGetTime();
    const bool due = !input.keyboardPolled || now != input.keyboardPollTime || IsSignalled(input.keyboardEvent);
    if (!due) return 0;
    if (ProcessMessageImpl() == -1) return 0;
    // The pump may have run anything, including the end of input.
    if (!IsInputUsingDirectInput()) return 0;
    if (input.keyboard != nullptr) {
        if (FAILED(input.keyboard->GetDeviceState(sizeof(input.keyState), input.keyState))) {
            input.keyboard->Acquire();
            if (FAILED(input.keyboard->GetDeviceState(sizeof(input.keyState), input.keyState))) return 0;
        }
    }
    input.keyboardPollTime = timeGetTime();
    input.keyboardPolled = 1;
    if (input.keyboardEvent != nullptr) ResetEvent(input.keyboardEvent);
    if (OnMainThread()) {
        unsigned char virtualKeys[256];
        if (GetKeyboardState(virtualKeys)) FillKeyStateFromVirtualKeys(input.keyState, virtualKeys, 1);
    }
    return 1;
}

int PollKeyboardSystem(InputState& input) {
    const DWORD now = timeGetTime();
    if (input.keyboardPolled && now == input.keyboardPollTime) return 0;
    if (ProcessMessageImpl() == -1) return 0;
    if (!IsInputStarted() || IsInputUsingDirectInput()) return 0;
    if (!OnMainThread()) return 0;
    unsigned char virtualKeys[256];
    if (!GetKeyboardState(virtualKeys)) return 0;
    memset(input.keyState, 0, sizeof(input.keyState));
    FillKeyStateFromVirtualKeys(input.keyState, virtualKeys, 0);
    input.keyboardPollTime = timeGetTime();
    input.keyboardPolled = 1;
    return 1;
}

// The pad's device is still the one this read started with (a pump may end input).
bool SamePad(int index, IDirectInputDevice7A* device) {
    const InputState& input = InputDeviceState();
    return IsInputUsingDirectInput() && index < input.padCount && input.pads[index].device == device;
}

int PollJoypadDirectInput(int index) {
    JoypadRecord& pad = InputDeviceState().pads[index];
    IDirectInputDevice7A* device = pad.device;
    if (device == nullptr) return -1;
    const DWORD now = timeGetTime();
    if (pad.polled && now == pad.lastPollTime && !IsSignalled(pad.event)) return 0;
    device->Poll();
    DIJOYSTATE state{};
    HRESULT hr = device->GetDeviceState(sizeof(state), &state);
    if (FAILED(hr)) {
        if (ProcessMessageImpl() == -1 || !SamePad(index, device)) return -1;
        device->Acquire();
        if (ProcessMessageImpl() == -1 || !SamePad(index, device)) return -1;
        hr = device->GetDeviceState(sizeof(state), &state);
    }
    if (SUCCEEDED(hr)) pad.state = state;
    pad.lastPollTime = now;
    pad.polled = 1;
    if (pad.event != nullptr) ResetEvent(pad.event);
    return 0;
}

int PollJoypadWinmm(int index) {
    JoypadRecord& pad = InputDeviceState().pads[index];
    const DWORD now = timeGetTime();
    if (pad.polled && now == pad.lastPollTime) return 0;
    JOYINFOEX info{};
    info.dwSize = sizeof(info);
    info.dwFlags = JOY_RETURNALL;
    if (joyGetPosEx(pad.winmmId, &info) == JOYERR_NOERROR) {
        WinmmPositionToJoyState(info, pad.hasZAndR, &pad.state);
    } else {
        pad.state = DIJOYSTATE{};
    }
    pad.lastPollTime = now;
    pad.polled = 1;
    return 0;
}

}  // namespace

int PollKeyboard() {
    InputState& input = InputDeviceState();
    if (IsInputUsingDirectInput()) return PollKeyboardDirectInput(input);
    if (IsInputStarted()) return PollKeyboardSystem(input);
    return 0;
}

int PollJoypad(int index) {
    if (index < 0 || index >= kMaxJoypads) return -1;
    if (!IsInputStarted() || index >= InputDeviceState().padCount) return -1;
    return IsInputUsingDirectInput() ? PollJoypadDirectInput(index) : PollJoypadWinmm(index);
}

int IsKeyDownImpl(int keyCode) {
    WaitWhileInactive();
    if (!EnsureInputForQuery()) return 0;
    if (keyCode < 0 || keyCode > 255) return 0;
    PollKeyboard();
    return (InputDeviceState().keyState[keyCode] & 0x80) ? 1 : 0;
}

int GetJoypadCountImpl() {
    WaitWhileInactive();
    EnsureInputForQuery();
    return InputDeviceState().padCount;
}

int GetJoypadStateImpl(int pad) {
    WaitWhileInactive();
    if (!EnsureInputForQuery()) return 0;
    if (pad < 0) return 0;
    const int n = pad & ~kJoypadWithKeyboard;
    const bool withKeyboard = (pad & kJoypadWithKeyboard) != 0;
    int bits = 0;
    if (n >= 1 && n <= InputDeviceState().padCount) {
        PollJoypad(n - 1);
        // The poll may have ended input through the pump; the record is then cleared and reads neutral.
        bits |= JoypadStateToBits(InputDeviceState().pads[n - 1].state);
    }
    if (withKeyboard) {
        PollKeyboard();
        bits |= KeyboardStateToJoypadBits(InputDeviceState().keyState);
    }
    return bits;
}

// The game-facing input entries: each takes the runtime's API lock, calls its Impl twin and returns the
// result unchanged.
#include "input/input.h"

#include "input/input_device.h"
#include "runtime/api_lock.h"

int IsKeyDown(int keyCode) {
    ApiLockScope lock;
    return IsKeyDownImpl(keyCode);
}

int GetJoypadCount() {
    ApiLockScope lock;
    return GetJoypadCountImpl();
}

int GetJoypadState(int pad) {
    ApiLockScope lock;
    return GetJoypadStateImpl(pad);
}

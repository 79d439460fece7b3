// The input poll: the source table from the pad count, and the previous/current shift of each side's word.
#include "game/shell/input_poll.h"

#include "runtime/runtime.h"

int inputCurrent[2] = {0, 0};
int inputPrevious[2] = {0, 0};
bool cpuInputIgnored = false;

namespace {

const InputDevices kRuntimeDevices = {&GetJoypadCount, &GetJoypadState};
const InputDevices* devices = &kRuntimeDevices;

}  // namespace

int inputSourceFor(int side, int padCount) {
    if (padCount <= 0) return side == 0 ? kJoypadWithKeyboard : 3;  // side 1 has no source: pad 3 gives no bits
    if (padCount == 1) return side == 0 ? 1 : kJoypadWithKeyboard;
    // Two pads, and also three or more: each side its own pad. (Reading the keyboard on both sides there would
    // leave every pad unread and tie the two sides together.)
    return side == 0 ? 1 : 2;
}

void pollInput() {
    for (int side = 0; side < 2; ++side) {
        const int source = inputSourceFor(side, devices->padCount());
        inputPrevious[side] = inputCurrent[side];
        inputCurrent[side] = devices->padState(source);
    }
    if (cpuInputIgnored) {
        inputCurrent[1] = 0;
        inputPrevious[1] = 0;
    }
}

void setInputDevicesForTest(const InputDevices* replacement) {
    devices = replacement != nullptr ? replacement : &kRuntimeDevices;
}

void resetInput() {
    inputCurrent[0] = inputCurrent[1] = 0;
    inputPrevious[0] = inputPrevious[1] = 0;
    cpuInputIgnored = false;
}

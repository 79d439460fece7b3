// The game-side clock: the runtime's millisecond count, or a stepped count for deterministic tests.
#include "game/shell/game_clock.h"

#include "runtime/runtime.h"

namespace {
bool stepped = false;
int steppedNow = 0;
}  // namespace

int gameMillisecondCount() { return stepped ? steppedNow : GetMillisecondCount(); }

void useSteppedGameClockForTest(int startMs) {
    stepped = true;
    steppedNow = startMs;
}

void advanceGameClockForTest(int milliseconds) {
    // The count wraps like the runtime's; unsigned arithmetic keeps the wrap defined.
    steppedNow = static_cast<int>(static_cast<unsigned int>(steppedNow) + static_cast<unsigned int>(milliseconds));
}

void useRuntimeGameClock() { stepped = false; }

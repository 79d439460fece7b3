// The one millisecond clock the game reads (frame pacing, blink phases, the random seed). It is the runtime's
// clock, except while a test has switched it to a stepped clock that only moves when told, so that a stepped
// game sees exactly 12 ms per frame whatever the machine does.
#pragma once

int gameMillisecondCount();

// Test seam: from now on gameMillisecondCount returns startMs plus whatever advanceGameClockForTest added.
void useSteppedGameClockForTest(int startMs);
void advanceGameClockForTest(int milliseconds);
// Back to the runtime's clock.
void useRuntimeGameClock();

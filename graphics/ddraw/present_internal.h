// Pieces of presenting that its tests reach directly: the pacing step with a scriptable display and clock, and the
// present counter's preset.
#pragma once

#include <stdint.h>

struct PacingSource {
    void* context;
    unsigned int (*milliseconds)(void* context);
    void (*sleep)(void* context, unsigned int ms);
    int (*inVerticalBlank)(void* context, int* inBlank);  // 0, or -1 when the display cannot tell
    void (*waitForBlank)(void* context);
};

// Before a window copy: within frameInterval ms of the last copy, sleeps in 1 ms steps until the interval has
// passed and then waits for the vertical blank; later (or with no interval, -1) it only yields and waits for the
// vertical blank when the display is not already in one. Returns the time of this copy.
unsigned int PaceBeforeCopy(const PacingSource& source, unsigned int lastPresentTime, int frameInterval);

// Sets the present counter (the movie code and the tests of the 64-bit carry start it at a value).
void SetFlipCount(uint64_t value);

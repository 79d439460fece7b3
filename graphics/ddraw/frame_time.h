// Arithmetic of the display's frame-time measurement: which measured frame length to believe, the refresh rate
// derived from the average frame, and the pacing interval that presenting waits for.
#pragma once

#include <stdint.h>

// The first value of one measuring pass that occurs again later in the same pass, or -1 when none repeats.
int FindRepeatedFrameTime(const int* frameTimes, int count);
// Refresh rate in Hz from the total microseconds over the total frames measured: x = 10,000,000 / average frame
// in microseconds, then x / 10 rounded (a remainder above 5 rounds up). -1 when nothing usable was measured.
int RefreshRateFromMeasurement(uint64_t totalMicroseconds, uint64_t totalFrames);
// The interval presenting waits between frames: (2 * frameTime - 4) / 3 truncated toward zero; -1 for an unknown
// frame time (-1).
int FrameIntervalFromFrameTime(int frameTime);

// Frame-time arithmetic used by the display device's measurement and by presenting.
#include "graphics/ddraw/frame_time.h"

int FindRepeatedFrameTime(const int* frameTimes, int count) {
    for (int i = 0; i < count; ++i) {
        for (int j = i + 1; j < count; ++j) {
            if (frameTimes[j] == frameTimes[i]) return frameTimes[i];
        }
    }
    return -1;
}

int RefreshRateFromMeasurement(uint64_t totalMicroseconds, uint64_t totalFrames) {
    if (totalFrames == 0) return -1;
    const uint64_t average = totalMicroseconds / totalFrames;
    if (average == 0) return -1;
    const uint64_t x = 10000000u / average;
    const uint64_t rate = x / 10 + (x % 10 > 5 ? 1 : 0);
    return static_cast<int>(rate);
}

int FrameIntervalFromFrameTime(int frameTime) {
    if (frameTime == -1) return -1;
    return (2 * frameTime - 4) / 3;
}

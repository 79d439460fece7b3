// Helpers shared by the display device's own source files (display_*.cpp) and their tests; not for other modules.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <stdint.h>

#include "runtime/log.h"

// Indents the log for a scope and undoes it on every way out; leave() undoes it early (once).
class LogIndentScope {
public:
    LogIndentScope() { LogIndentIn(); }
    ~LogIndentScope() { leave(); }
    void leave() {
        if (active_) {
            LogIndentOut();
            active_ = false;
        }
    }
    LogIndentScope(const LogIndentScope&) = delete;
    LogIndentScope& operator=(const LogIndentScope&) = delete;

private:
    bool active_ = true;
};

struct ColorFormat;
// The window's background colour (black unless a host set it) as a pixel value of the layout.
uint32_t BackgroundPixelValue(const ColorFormat* format);

// Copies the display's screen layout and image depth to the colour-format module's drawing format.
void PublishDrawingFormat();

// Milliseconds a mode change sleeps so that the display can settle: until 2060 ms after a change that lies less
// than 2000 ms back, else 60 ms. lastChange 0 means no earlier change.
unsigned int ModeChangeSettleDelay(unsigned int now, unsigned int lastChange);

// screenFormatCode of a display layout: 0 R5G6B5, 1 X1R5G5B5, 2 32-bit 8:8:8, 3 any other.
int ScreenFormatCodeOf(int bits, uint32_t redMask, uint32_t greenMask, uint32_t blueMask);

// Step 10 of a mode change: times BltFast against GDI BitBlt on the device and keeps the faster one.
int MeasureCopyMethods();
// Steps 11 and 12 of a mode change: the desktop refresh rate, the frame time and the present pacing interval.
int MeasureRefreshAndFrameTime();

// ---- Frame-time measurement ----
// What the measurement reads from the display; tests give it a scripted display and clocks.
struct RasterSource {
    void* context;
    // 0 with *inBlank set, or -1 when the driver cannot tell.
    int (*verticalBlankStatus)(void* context, int* inBlank);
    // 0 with *line set, 1 while the vertical blank runs (no line), -1 when the driver cannot tell.
    int (*scanLine)(void* context, int* line);
    unsigned int (*milliseconds)(void* context);
    uint64_t (*microseconds)(void* context);
};

// Longest a single wait on the display may take before the measurement gives up (no display refreshes slower).
constexpr unsigned int kRasterWaitLimitMs = 250;
constexpr int kFrameTimeMaxPasses = 5;
constexpr int kFrameTimeMaxFrames = 20;

struct FrameTimeResult {
    int frameTime;        // ms, -1 unknown
    int refreshRate;      // Hz; the known rate passed in, else measured (-1 when nothing was measured)
    int frames[kFrameTimeMaxFrames];  // the last pass's frame lengths in ms
    int frameCount;
    int aborted;          // a wait ran into its limit or the driver reported an error
};

// Measures the display's frame length. knownRefreshRate -1 means unknown: 20 frames a pass and the rate is
// measured; otherwise 4 frames a pass. Every wait is bounded by kRasterWaitLimitMs.
FrameTimeResult MeasureFrameTime(const RasterSource& source, int knownRefreshRate);
// The same, on a DirectDraw object.
RasterSource MakeDisplayRasterSource(IDirectDraw7* object);

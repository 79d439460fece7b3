// Measurements a mode change makes on the real device: which surface copy is faster (BltFast or GDI BitBlt), the
// desktop refresh rate, and the display's frame time, from which the present pacing interval follows. Every wait on
// the display is bounded, so a driver that never reports a vertical blank leaves the frame time unknown instead of
// hanging the start.
#include <cstring>

#include "graphics/ddraw/display.h"
#include "graphics/ddraw/display_internal.h"
#include "graphics/ddraw/frame_time.h"
#include "graphics/ddraw/present.h"
#include "runtime/log.h"
#include "runtime/system_info.h"
#include "runtime/text.h"

namespace {

int DisplayVerticalBlankStatus(void* context, int* inBlank) {
    BOOL blank = FALSE;
    if (FAILED(static_cast<IDirectDraw7*>(context)->GetVerticalBlankStatus(&blank))) return -1;
    *inBlank = blank ? 1 : 0;
    return 0;
}

int DisplayScanLine(void* context, int* line) {
    DWORD value = 0;
    HRESULT hr = static_cast<IDirectDraw7*>(context)->GetScanLine(&value);
    if (hr == DDERR_VERTICALBLANKINPROGRESS) return 1;
    if (FAILED(hr)) return -1;
    *line = (int)value;
    return 0;
}

unsigned int SystemMilliseconds(void*) { return GetMillisecondCounter(); }
uint64_t SystemMicroseconds(void*) { return GetHighResolutionCount(0); }

// One measurement run over a raster source; each wait gives up after kRasterWaitLimitMs or on a driver error.
class FrameMeter {
public:
    explicit FrameMeter(const RasterSource& source) : src_(source) {}

    // Waits while the vertical blank runs.
    bool waitWhileInBlank() {
        const unsigned int start = src_.milliseconds(src_.context);
        for (;;) {
            int inBlank = 0;
            if (src_.verticalBlankStatus(src_.context, &inBlank) != 0) return false;
            if (!inBlank) return true;
            if (src_.milliseconds(src_.context) - start > kRasterWaitLimitMs) return false;
        }
    }

    // Waits until the scan line falls below its first reading (the beam went back to the top) or the vertical
    // blank begins. A driver without scan lines is followed by its vertical-blank status alone.
    bool waitForFrameEnd() {
        const unsigned int start = src_.milliseconds(src_.context);
        int first = -1;
        for (;;) {
            int inBlank = 0;
            if (src_.verticalBlankStatus(src_.context, &inBlank) != 0) return false;
            if (inBlank) return true;
            int line = 0;
            int r = src_.scanLine(src_.context, &line);
            if (r == 1) return true;
            if (r == 0) {
                if (first < 0) {
                    first = line;
                } else if (line < first) {
                    return true;
                }
            }
            if (src_.milliseconds(src_.context) - start > kRasterWaitLimitMs) return false;
        }
    }

private:
    const RasterSource& src_;
};

}  // namespace

RasterSource MakeDisplayRasterSource(IDirectDraw7* object) {
    RasterSource source;
    source.context = object;
    source.verticalBlankStatus = DisplayVerticalBlankStatus;
    source.scanLine = DisplayScanLine;
    source.milliseconds = SystemMilliseconds;
    source.microseconds = SystemMicroseconds;
    return source;
}

FrameTimeResult MeasureFrameTime(const RasterSource& source, int knownRefreshRate) {
    FrameTimeResult result;
    std::memset(&result, 0, sizeof(result));
    result.frameTime = -1;
    result.refreshRate = knownRefreshRate > 0 ? knownRefreshRate : -1;
    const int framesPerPass = knownRefreshRate > 0 ? 4 : kFrameTimeMaxFrames;
    FrameMeter meter(source);

    for (int i = 0; i < 4; ++i) {
        if (!meter.waitForFrameEnd() || !meter.waitWhileInBlank()) {
            result.aborted = 1;
            return result;
        }
    }

    uint64_t totalMicroseconds = 0;
    uint64_t totalFrames = 0;
    for (int pass = 0; pass < kFrameTimeMaxPasses; ++pass) {
        result.frameCount = 0;
        for (int i = 0; i < framesPerPass; ++i) {
            const unsigned int ms0 = source.milliseconds(source.context);
            const uint64_t us0 = source.microseconds(source.context);
            if (!meter.waitWhileInBlank() || !meter.waitForFrameEnd()) {
                result.aborted = 1;
                return result;
            }
            result.frames[i] = (int)(source.milliseconds(source.context) - ms0);
            result.frameCount = i + 1;
            totalMicroseconds += source.microseconds(source.context) - us0;
        }
        totalFrames += (uint64_t)framesPerPass;

        const int repeated = FindRepeatedFrameTime(result.frames, result.frameCount);
        if (repeated >= 0) result.frameTime = repeated;
        if (knownRefreshRate <= 0) result.refreshRate = RefreshRateFromMeasurement(totalMicroseconds, totalFrames);
        if (result.frameTime >= 0) break;
    }
    return result;
}

int MeasureCopyMethods() {
    DisplayState& s = GetDisplayState();
    IDirectDrawSurface7* source = GetOutputPrimarySurface();
    if (source == nullptr || s.workSurface1 == nullptr) return -1;
    int width = 0, height = 0;
    GetScreenSize(&width, &height);
    RECT rect = {0, 0, width, height};

    uint64_t t0 = GetHighResolutionCount(0);
    for (int i = 0; i < 8; ++i) s.workSurface1->BltFast(0, 0, source, &rect, DDBLTFAST_WAIT);
    uint64_t t1 = GetHighResolutionCount(0);
    for (int i = 0; i < 8; ++i) {
        HDC dst = nullptr, src = nullptr;
        if (SUCCEEDED(s.workSurface1->GetDC(&dst))) {
            if (SUCCEEDED(source->GetDC(&src))) {
                BitBlt(dst, 0, 0, width, height, src, 0, 0, SRCCOPY);
                source->ReleaseDC(src);
            }
            s.workSurface1->ReleaseDC(dst);
        }
    }
    uint64_t t2 = GetHighResolutionCount(0);
    const double bltFastTime = (double)(t1 - t0);
    const double bitBltTime = (double)(t2 - t1);
    s.copyByBitBlt = bitBltTime <= bltFastTime ? 1 : 0;
    WriteLogFormat("サーフェス間転送には %s を使用します", s.copyByBitBlt ? "BitBlt" : "BltFast");
    WriteLogFormat("BitBlt:%.0lfμs   BltFast:%.0lfμs", bitBltTime, bltFastTime);
    return 0;
}

int MeasureRefreshAndFrameTime() {
    DisplayState& s = GetDisplayState();
    s.measuredRefreshRate = -1;
    if (GetSystemInfoRecord()->osCode >= kOsWindowsNT351) {
        HDC dc = GetDC(nullptr);
        int rate = GetDeviceCaps(dc, VREFRESH);
        ReleaseDC(nullptr, dc);
        if (rate >= 60) s.measuredRefreshRate = rate;
    }
    if (s.softwareMode) {
        s.measuredRefreshRate = 60;
        s.frameInterval = -1;
        return 0;
    }
    if (s.displayObject == nullptr) return -1;

    s.scanLineCount = GetSystemMetrics(SM_CYSCREEN);
    WriteLogPrintf("スキャンラインの数:%d\n", s.scanLineCount);
    FrameTimeResult measured = MeasureFrameTime(MakeDisplayRasterSource(s.displayObject), s.measuredRefreshRate);
    s.frameTime = measured.frameTime;
    if (s.measuredRefreshRate <= 0) s.measuredRefreshRate = measured.refreshRate;
    if (s.frameTime >= 0) {
        WriteLogFormat("１フレーム当たりの時間は %d msecです", s.frameTime);
        for (int i = 0; i < measured.frameCount; ++i) WriteLogFormat("\tTri%02d:%d msec", i, measured.frames[i]);
    } else {
        WriteLog("１フレームの時間を正常に取得できませんでした\n");
    }
    s.frameInterval = FrameIntervalFromFrameTime(s.frameTime);
    return 0;
}

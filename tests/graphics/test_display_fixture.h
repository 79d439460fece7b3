// Shared pieces of the display tests that start the whole runtime in a real window: a watchdog that ends a hung
// run, the start-up with the settings the game uses, pixel reads from surfaces and from the window, and pictures
// drawn from a colour function.
#pragma once

#include <windows.h>
#include <ddraw.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "graphics/ddraw/display.h"
#include "graphics/image/image.h"
#include "runtime/runtime.h"
#include "tests/hang_report.h"

// Ends the process with code 3 when a test runs longer than `seconds` (a hung display wait must not stall CI),
// saying which test it was and where every thread stood.
class DisplayWatchdog {
public:
    explicit DisplayWatchdog(DWORD seconds) {
        stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        seconds_ = seconds;
        thread_ = CreateThread(nullptr, 0, &DisplayWatchdog::Run, this, 0, nullptr);
    }
    ~DisplayWatchdog() {
        SetEvent(stop_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        CloseHandle(stop_);
    }

private:
    static DWORD WINAPI Run(void* self) {
        auto* w = static_cast<DisplayWatchdog*>(self);
        if (WaitForSingleObject(w->stop_, w->seconds_ * 1000) == WAIT_TIMEOUT) {
            hang_report::ReportAndExit("display test", w->seconds_, 3);
        }
        return 0;
    }
    HANDLE stop_;
    HANDLE thread_;
    DWORD seconds_;
};

// Runs `check` in a child process of its own (software mode and full screen, once entered, last for the process)
// under a watchdog. The child reports the first thing that was wrong, an empty text meaning none, and the test
// fails with that text.
inline void ExpectCheckPassesInChild(const std::function<std::string()>& check) {
    EXPECT_EXIT(
        {
            DisplayWatchdog watchdog(120);
            const std::string problem = check();
            fprintf(stderr, "%s\n", problem.c_str());
            fflush(stderr);
            ExitProcess(problem.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// The game's own settings before start-up: window mode, no log file (logFile 1: a log file in the current
// directory, for tests that read what the start-up logged).
inline int StartRuntimeInWindow(int logFile = 0) {
    ChangeWindowMode(1);
    SetLogFileEnabled(logFile);
    return StartUpLibrary();
}

// Reads one pixel of a locked surface as a 32-bit value (16-bit surfaces give their 16-bit value).
inline bool ReadSurfacePixel(IDirectDrawSurface7* surface, int x, int y, uint32_t* value, DDPIXELFORMAT* format) {
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    if (FAILED(surface->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) return false;
    const uint8_t* row = static_cast<const uint8_t*>(desc.lpSurface) + (size_t)y * desc.lPitch;
    const DWORD bytes = desc.ddpfPixelFormat.dwRGBBitCount / 8;
    uint32_t v = 0;
    std::memcpy(&v, row + (size_t)x * bytes, bytes);
    surface->Unlock(nullptr);
    *value = v;
    if (format) *format = desc.ddpfPixelFormat;
    return true;
}

// The colour the window shows at a client point, as 0x00RRGGBB.
inline uint32_t ReadWindowPixel(HWND window, int x, int y) {
    HDC dc = GetDC(window);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return ((uint32_t)GetRValue(c) << 16) | ((uint32_t)GetGValue(c) << 8) | GetBValue(c);
}

// Channel-wise comparison with a tolerance (16-bit layouts drop the low bits).
inline bool ColorsClose(uint32_t a, uint32_t b, int tolerance) {
    for (int shift = 0; shift <= 16; shift += 8) {
        int ca = (int)((a >> shift) & 0xFF), cb = (int)((b >> shift) & 0xFF);
        if (ca - cb > tolerance || cb - ca > tolerance) return false;
    }
    return true;
}

// Compares pixels read over `rect` (row by row) with expected(x, y) within the tolerance; a text naming the first
// few differences and how many there were, or "" when all match.
template <typename Fn>
std::string DescribePixelDifferences(const RECT& rect, const std::vector<uint32_t>& got, Fn expected, int tolerance) {
    std::string report;
    int differences = 0;
    size_t i = 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x, ++i) {
            const uint32_t want = expected(x, y) & 0xFFFFFF;
            if (ColorsClose(got[i], want, tolerance)) continue;
            if (++differences <= 4) {
                char text[96];
                snprintf(text, sizeof(text), "(%d,%d) is %06x, expected %06x; ", x, y, static_cast<unsigned>(got[i]),
                         static_cast<unsigned>(want));
                report += text;
            }
        }
    }
    if (differences > 4) report += std::to_string(differences) + " pixels differ";
    return report;
}

// A 24-bit picture whose pixel (x, y) has the colour colourAt(x, y) (0x00RRGGBB).
template <typename Fn>
GraphImage MakeTestPicture(int width, int height, Fn colourAt) {
    GraphImage image;
    if (CreateGraphImage(width, height, &image) != 0) return image;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = static_cast<uint8_t*>(image.pixels) + static_cast<size_t>(y) * image.pitch;
        for (int x = 0; x < width; ++x) {
            const uint32_t c = colourAt(x, y);
            row[3 * x] = c & 0xFF;
            row[3 * x + 1] = (c >> 8) & 0xFF;
            row[3 * x + 2] = (c >> 16) & 0xFF;
        }
    }
    return image;
}

// The on-screen log: an 80-line text buffer and its font. Start-up makes it, the present
// functions draw it while it holds lines, shutdown ends it. A font lost to a display restart
// is noticed through the deleted flag the font module sets, and made again before drawing.
#include "runtime/screen_log.h"

#include "font/font.h"
#include "graphics/color/color_format.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw.h"
#include "runtime/text.h"
#include "runtime/window.h"

namespace {

struct ScreenLogState {
    int active;
    int fontSize;
    int fontHandle;
    int fontLost;  // set to 1 by the font module when it deletes our font
    int lineCount;
    char lines[kScreenLogLines][kScreenLogLineBytes];
};

ScreenLogState g_screenLog = {0, 0, -1, 0, 0, {}};

void MakeScreenLogFont() {
    g_screenLog.fontHandle = CreateFontToHandle(nullptr, g_screenLog.fontSize, 4, 1, -1, -1, 0, -1, -1);
    // Without a font the next draw tries again.
    g_screenLog.fontLost = 1;
    if (g_screenLog.fontHandle != -1) SetFontDeletedFlagPtr(g_screenLog.fontHandle, &g_screenLog.fontLost);
}

}  // namespace

int ScreenLogInit() {
    if (g_screenLog.active) return 0;
    if (GetDisplayState().displayObject == nullptr || GetMainHwnd() == nullptr) return -1;
    g_screenLog.active = 1;
    g_screenLog.fontSize = kScreenLogFontSize;
    MakeScreenLogFont();
    FillBytes(g_screenLog.lines, 0, sizeof(g_screenLog.lines));
    g_screenLog.lineCount = 0;
    return 0;
}

int ScreenLogDraw() {
    if (!g_screenLog.active) return 0;
    if (g_screenLog.fontLost || g_screenLog.fontHandle == -1) MakeScreenLogFont();
    int screenHeight = GetDisplayState().screenHeight;
    if (screenHeight <= 0) screenHeight = 480;
    int fit = screenHeight / g_screenLog.fontSize;
    int count = g_screenLog.lineCount < fit ? g_screenLog.lineCount : fit;
    if (count > kScreenLogLines) count = kScreenLogLines;
    const int white = (int)RgbToScreenPixelImpl(255, 255, 255);
    const int black = (int)RgbToScreenPixelImpl(0, 0, 0);
    for (int i = 0; i < count; ++i) {
        // Lines are kept NUL-terminated within their 255 bytes.
        g_screenLog.lines[i][kScreenLogLineBytes - 1] = '\0';
        DrawStringWithFont(0, i * g_screenLog.fontSize, g_screenLog.lines[i], white, g_screenLog.fontHandle, black, 0);
    }
    return 0;
}

int ScreenLogEnd() {
    if (g_screenLog.active && !g_screenLog.fontLost && g_screenLog.fontHandle != -1) {
        DeleteFontHandle(g_screenLog.fontHandle);
    }
    g_screenLog.fontHandle = -1;
    g_screenLog.active = 0;
    return 0;
}

int IsScreenLogActive() { return g_screenLog.lineCount; }

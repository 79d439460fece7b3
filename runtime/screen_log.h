// The on-screen log: up to 80 lines of text that the present functions draw over the picture
// while it holds any. Nothing in this program adds lines, so it keeps its font but never draws.
#pragma once

constexpr int kScreenLogLines = 80;
constexpr int kScreenLogLineBytes = 255;
constexpr int kScreenLogFontSize = 16;

// 0 (also when already active), or -1 without a display object or main window. Makes the
// font, registers its deleted flag and empties the buffer.
int ScreenLogInit();
// Draws line i at (0, i * 16) in white with a black edge, as many lines as fit on the screen
// (at most 80); makes the font again first when it was lost. Returns 0.
int ScreenLogDraw();
// Deletes the font unless it was lost; marks the log inactive. Returns 0.
int ScreenLogEnd();
// The number of lines held (0 at start); the present functions draw only when it is non-zero.
int IsScreenLogActive();

// Test seam: nothing in the program adds lines, so tests put them in here to see the log drawn. Appends one line
// (cut to 254 bytes); -1 when the log is inactive or full.
int ScreenLogPutLineForTest(const char* text);
int ScreenLogClearLinesForTest();
// The log's current font handle (-1 when none).
int GetScreenLogFontForTest();

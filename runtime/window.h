// The runtime's main window: creation and destruction during start-up and shutdown, the window procedure,
// window/full-screen styles, caption, icon and cursor, and the getters other runtime modules read.
// The message pump that feeds the window lives in message_pump.h.
#pragma once

#include <windows.h>

#include <atomic>

// ---- Life cycle (start-up and shutdown) ----
// Makes the main window (unless the no-window setting) and starts the message thread. 0, or -1 with the
// quit flag set (double start, class registration or window creation failed).
int CreateMainWindow();
// Takes the window down, waits for the message thread and restores the timer period. Returns 0.
int DestroyMainWindow();
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// ---- Inner functions of public entries ----
int ChangeWindowModeImpl(int windowed);  // 0, or the display change's result
int SetWindowCaptionImpl(const char* text);
int SetWindowIconImpl(int iconId);  // 0 = the system's default icon
int SetCursorVisibleImpl(int flag);

// ---- Window services ----
int SetWindowModeFlag(int windowed);
int ApplyWindowStyle();
int SetWindowStylePreset(int preset);  // 0..6; -1 outside
void SetWindowScale(double scale);     // 0 or less reads as 1.0
void SetWindowResizable(int flag);
int ForceForegroundWindow(HWND window, int topmost);
int ApplyClientSize();
int TrackWindowMove(LPARAM lparam);

// ---- State other modules read ----
int IsQuitRequested();
void SetQuitRequested(int flag);
// The quit flag itself, for the message thread's polling wait on the API lock.
const std::atomic<int>& QuitFlagForThreads();
int GetMainClientRectOnScreen(RECT* out);
HWND GetMainHwnd();
DWORD GetMainThreadId();
int IsWindowMode();
int GetSavedDisplayValues(int* width, int* height, int* bits);
int IsAppActive();
int GetCursorVisibleSetting();
int IsCloseRequested();  // the library has posted WM_CLOSE once
int IsWindowDestroyed();
int HasWindowRegion();
double GetWindowScale();
int GetCharSetKind();  // 2 when the OEM code page is 949, else 1
int GetMousePosition(int* x, int* y);
const char* GetWindowCaption();
const char* GetWindowClassName();
int IsWindowSwitchingMode();
int IsDisplayChangeSeen();

// Settings the game never changes (all 0 at load); hosts and tests may.
void SetAllowDoubleStart(int flag);
void SetRunWhenInactive(int flag);
void SetWindowHiddenFlag(int flag);
void SetAllowAltEnter(int flag);
void SetWindowClassName(const char* name);  // null or "" = derive it from the caption
void SetWindowUserPosition(int enabled, int x, int y);
int GetRunWhenInactive();
int GetAllowAltEnter();

// Internal hand-offs between the window procedure and the message pump.
int TakeAltEnterPending();           // returns and clears the Alt+Enter request
void SetAppActive(int flag);
int IsPainting();

// The runtime's main window: made during start-up (with the timer calibration, the double-start check and the
// message thread), taken down during shutdown, and its window procedure, which forwards activation, display
// changes, typed characters and socket/music notifications to the modules that own them.
#include "runtime/window.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include <mmsystem.h>

#include "graphics/ddraw/display.h"
#include "graphics/draw.h"
#include "graphics/movie.h"
#include "graphics/ddraw/present.h"
#include "graphics/restore.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/d3d/surface3d.h"
#include "input/char_input.h"
#include "input/input_device.h"
#include "network/network.h"
#include "runtime/log.h"
#include "runtime/message_pump.h"
#include "runtime/random.h"
#include "runtime/startup.h"
#include "runtime/text.h"
#include "sound/stream_sound.h"

namespace {

constexpr int kTextSize = 256;
constexpr int kDefaultIconId = 32512;  // IDI_APPLICATION
constexpr const char* kDefaultClassName = "D123987X";
constexpr const char* kDefaultCaption = "QvLib";

struct StylePreset {
    DWORD style;
    DWORD exStyle;
    DWORD fullScreenStyle;
    DWORD fullScreenExStyle;
};

constexpr StylePreset kStylePresets[7] = {
    {0x80CA0000, 0x300, 0x80000000, 0x8}, {0x80080000, 0x300, 0x80000000, 0x8},
    {0x80080000, 0x000, 0x80000000, 0x8}, {0x80CA0000, 0x080, 0x80000000, 0x8},
    {0x80080000, 0x080, 0x80000000, 0x8}, {0x80C80000, 0x100, 0x00000000, 0x0},
    {0x80CA0000, 0x000, 0x00000000, 0x0},
};

// Settings: kept when the window state is reset at creation.
struct WindowSettings {
    int windowMode;  // 1 window, 0 full screen
    char caption[kTextSize];
    int captionSet;
    char className[kTextSize];
    int iconId;
    int stylePreset;
    double windowScale;
    int cursorVisibleSetting;
    int allowDoubleStart;
    int runWhenInactive;
    int windowHidden;
    int allowAltEnter;
    int allowResize;
    int userPositionSet;
    int userX;
    int userY;
};

// Everything else: zeroed when the window is made.
struct WindowRuntime {
    HWND hwnd;
    HINSTANCE instance;
    DWORD mainThreadId;
    char activeClassName[kTextSize];
    int classRegistered;
    int shownOnce;
    int painting;
    int cursorShown;
    int charSetKind;
    RECT clientOnScreen;
    int desktopWidth;
    int desktopHeight;
    int desktopBits;
    UINT timerPeriod;
    int timerPeriodSet;
    int screenSaverSaved;
    BOOL screenSaverWasActive;
    int styleApplied;
    int mustRestore;
    int sizing;
};

WindowSettings g_settings = {};
WindowRuntime g_win = {};

// Flags that both threads read without the API lock.
std::atomic<int> g_quitRequested{0};
std::atomic<int> g_active{0};
std::atomic<int> g_closePosted{0};
std::atomic<int> g_windowDestroyed{0};
std::atomic<int> g_altEnterPending{0};
std::atomic<int> g_switchingMode{0};
std::atomic<int> g_displayChanged{0};

void CopyBounded(char* destination, const char* source) {
    std::snprintf(destination, kTextSize, "%s", source ? source : "");
}

double EffectiveScale() {
    if (!g_settings.windowMode) return 1.0;
    return g_settings.windowScale > 0.0 ? g_settings.windowScale : 1.0;
}

DWORD WindowStyle() {
    DWORD style = kStylePresets[g_settings.stylePreset].style;
    if (g_settings.allowAltEnter) style |= WS_MAXIMIZEBOX;
    if (g_win.shownOnce) style |= WS_VISIBLE;
    if (g_settings.allowResize) style |= WS_THICKFRAME;
    return style;
}

DWORD WindowExStyle() {
    DWORD exStyle = kStylePresets[g_settings.stylePreset].exStyle;
    if (g_settings.windowHidden) exStyle |= WS_EX_TRANSPARENT;
    return exStyle;
}

void ClientSize(int* width, int* height) {
    int screenWidth = 640, screenHeight = 480;
    GetScreenSize(&screenWidth, &screenHeight);
    const double scale = EffectiveScale();
    *width = static_cast<int>(screenWidth * scale);
    *height = static_cast<int>(screenHeight * scale);
}

HICON LoadWindowIcon(int iconId) {
    HICON icon = nullptr;
    if (iconId != 0) icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(iconId));
    if (icon == nullptr) icon = LoadIconA(nullptr, MAKEINTRESOURCEA(kDefaultIconId));
    return icon;
}

void ShowCursorUntilShown() {
    for (int i = 0; i < 64 && ShowCursor(TRUE) < 0; ++i) {
    }
}

void HideCursorUntilHidden() {
    for (int i = 0; i < 64 && ShowCursor(FALSE) >= 0; ++i) {
    }
}

void PostCursorUpdate() {
    if (g_win.hwnd) PostMessageA(g_win.hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(g_win.hwnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}

void PostCloseOnce() {
    if (g_win.hwnd && !g_closePosted.exchange(1)) PostMessageA(g_win.hwnd, WM_CLOSE, 0, 0);
}

void RecordClientRectOnScreen() {
    RECT client;
    GetClientRect(g_win.hwnd, &client);
    POINT origin = {0, 0};
    ClientToScreen(g_win.hwnd, &origin);
    g_win.clientOnScreen = RECT{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
}

// Window position for a window of the given outer size: centred on the desktop saved at creation (offset by
// the frame's left and top, as the adjusted rectangle gives them) unless a user position is set.
POINT WindowPosition(const RECT& adjusted) {
    if (g_settings.userPositionSet) return POINT{g_settings.userX, g_settings.userY};
    const int width = adjusted.right - adjusted.left;
    const int height = adjusted.bottom - adjusted.top;
    return POINT{(g_win.desktopWidth - width) / 2 + adjusted.left, (g_win.desktopHeight - height) / 2 + adjusted.top};
}

// Counts how often the multimedia timer and the performance counter change value within the same stretch
// of time, and keeps the performance counter only when it is the finer of the two.
void CalibrateTimers(const LARGE_INTEGER& frequency) {
    WriteLog("タイマーの精度を検査します\n");
    int timerChanges = 0, counterChanges = 0;
    const DWORD start = timeGetTime();
    DWORD lastTime = start;
    LARGE_INTEGER lastCount;
    QueryPerformanceCounter(&lastCount);
    while (timerChanges < 60 && counterChanges < 60 && timeGetTime() - start < 1000) {
        if (ProcessMessageImpl() < 0) break;
        const DWORD now = timeGetTime();
        if (now != lastTime) {
            ++timerChanges;
            lastTime = now;
        }
        LARGE_INTEGER count;
        QueryPerformanceCounter(&count);
        if (count.QuadPart != lastCount.QuadPart) {
            ++counterChanges;
            lastCount = count;
        }
    }
    WriteLogFormat("精度結果 更新回数 マルチメディアタイマー：%d  パフォーマンスカウンター：%d", timerChanges, counterChanges);
    WriteLogFormat(" ");
    if (timerChanges > counterChanges) {
        SetPerformanceCounterFrequency(0);
        WriteLogFormat("マルチメディアタイマーを使用します タイマー分解能 : %d.00 ms ", static_cast<int>(g_win.timerPeriod));
    } else {
        WriteLogFormat("パフォーマンスカウンターを使用します タイマー分解能 : %lf KHz ",
                       static_cast<double>(frequency.QuadPart) / 1000.0);
    }
    WriteLogFormat(" ");
}

void ResetWindowState() {
    g_win = WindowRuntime{};
    g_quitRequested = 0;
    g_active = 0;
    g_closePosted = 0;
    g_windowDestroyed = 0;
    g_altEnterPending = 0;
    g_switchingMode = 0;
    g_displayChanged = 0;
}

// ---- window procedure handlers ----

void HandleActivation(HWND window, WPARAM wparam) {
    const int activeNow = LOWORD(wparam) != 0;
    g_active = activeNow;
    if (g_switchingMode) return;  // only the flag while a display change is under way
    if (activeNow) {
        RequestImeReopen();
        RestoreAllLostSurfaces2D();
        RestoreAllLostSurfaces3D();
        if (!g_settings.windowMode && IsLibraryRunning()) {
            if (HIWORD(wparam) == 0) RestoreScreenSystem();
            g_win.mustRestore = 0;
        } else {
            PlayAllMovies();
        }
        ReacquireInputDevices();
    } else {
        if (!g_settings.windowMode && IsDisplayModeChanged() && !IsDirectDrawActive()) {
            ReleaseDisplayObject();
            ShowWindow(window, SW_MINIMIZE);
        } else if (!g_settings.windowMode && IsDisplayModeChanged() && GetDisplayObject() != nullptr) {
            if (HasGraphRestoreCallback()) {
                g_win.mustRestore = 1;
            } else {
                WriteLog("復元関数が登録されていないため終了します\n");
                PostCloseOnce();
                return;
            }
        } else {
            PauseAllMovies();
            ReacquireInputDevices();
        }
        if (IsLibraryRunning() && g_settings.windowMode && GetTargetScreen() == -2) CopyBackScreenToWindow();
    }
    ApplyJoypadEffects();
}

void HandleDisplayChange(WPARAM wparam, LPARAM lparam) {
    if (g_settings.windowMode && !g_switchingMode) {
        const int newBits = static_cast<int>(wparam);
        const int newWidth = LOWORD(lparam);
        const int newHeight = HIWORD(lparam);
        if (newWidth != g_win.desktopWidth || newHeight != g_win.desktopHeight || newBits != g_win.desktopBits) {
            int screenWidth = 640, screenHeight = 480;
            GetScreenSize(&screenWidth, &screenHeight);
            const int screenBits = GetScreenColorBits();
            if (!HasGraphRestoreCallback() || newBits == 24 || (newBits == 8 && screenBits != 8) ||
                newWidth < screenWidth || newHeight < screenHeight) {
                WriteLog("復元関数が登録されていないためか画面が２４ビットカラーに変更されたため終了します\n");
                WriteLog("またはスクリーンが小さすぎるためか色ビット数の違いが大きいためか終了します\n");
                PostCloseOnce();
            } else {
                g_win.desktopWidth = newWidth;
                g_win.desktopHeight = newHeight;
                g_win.desktopBits = newBits;
                ReleaseAllMovieSurfaces();
                ReadScreenColorFormat();
                RestoreScreenSystem();
                PlayAllMovies();
            }
        }
    }
    g_displayChanged = 1;
}

// Keeps the client area's aspect ratio at the screen's while the user drags a resizable window's frame.
void HandleSizing(HWND window, WPARAM edge, RECT* rect) {
    RECT frame = {0, 0, 0, 0};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE)));
    const int frameWidth = frame.right - frame.left;
    const int frameHeight = frame.bottom - frame.top;
    int screenWidth = 640, screenHeight = 480;
    GetScreenSize(&screenWidth, &screenHeight);
    int clientWidth = rect->right - rect->left - frameWidth;
    int clientHeight = rect->bottom - rect->top - frameHeight;
    if (edge == WMSZ_TOP || edge == WMSZ_BOTTOM) {
        clientWidth = clientHeight * screenWidth / screenHeight;
    } else {
        clientHeight = clientWidth * screenHeight / screenWidth;
    }
    if (clientWidth < 1) clientWidth = 1;
    if (clientHeight < 1) clientHeight = 1;
    if (edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT) {
        rect->left = rect->right - clientWidth - frameWidth;
    } else {
        rect->right = rect->left + clientWidth + frameWidth;
    }
    if (edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT) {
        rect->top = rect->bottom - clientHeight - frameHeight;
    } else {
        rect->bottom = rect->top + clientHeight + frameHeight;
    }
    g_settings.windowScale = static_cast<double>(clientWidth) / screenWidth;
}

void HandlePaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    g_win.painting = 1;
    if (IsLibraryRunning()) {
        if (GetTargetScreen() == -2) {
            const int vsync = GetFlipVSyncWait();
            SetFlipVSyncWait(0);
            CopyBackScreenToWindow();
            SetFlipVSyncWait(vsync);
        }
    } else {
        FillRect(dc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
    g_win.painting = 0;
    EndPaint(window, &paint);
}

}  // namespace

// ---- life cycle ----

int CreateMainWindow() {
    ResetWindowState();
    if (g_settings.className[0] != '\0') {
        CopyBounded(g_win.activeClassName, g_settings.className);
    } else if (g_settings.captionSet) {
        CopyBounded(g_win.activeClassName, g_settings.caption);
    } else {
        CopyBounded(g_win.activeClassName, kDefaultClassName);
    }
    g_win.instance = GetModuleHandleA(nullptr);
    g_win.mainThreadId = GetCurrentThreadId();

    MEMORYSTATUSEX memory;
    memory.dwLength = sizeof(memory);
    GlobalMemoryStatusEx(&memory);
    WriteLogFormat("メモリ総量:%.2fMB  空きメモリ領域:%.2fMB ", static_cast<double>(memory.ullTotalPhys) / 1048576.0,
                   static_cast<double>(memory.ullAvailPhys) / 1048576.0);

    g_win.desktopWidth = GetSystemMetrics(SM_CXSCREEN);
    g_win.desktopHeight = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    g_win.desktopBits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);

    LARGE_INTEGER frequency;
    if (!QueryPerformanceFrequency(&frequency)) frequency.QuadPart = 0;
    SetPerformanceCounterFrequency(static_cast<uint64_t>(frequency.QuadPart));
    TIMECAPS caps;
    if (timeGetDevCaps(&caps, sizeof(caps)) == TIMERR_NOERROR) {
        g_win.timerPeriod = caps.wPeriodMin;
        g_win.timerPeriodSet = timeBeginPeriod(g_win.timerPeriod) == TIMERR_NOERROR;
    }
    if (frequency.QuadPart != 0) CalibrateTimers(frequency);

    RandomSetSeedImpl(static_cast<int>(timeGetTime()));
    // The user's screen-saver setting is put back as it was at shutdown.
    g_win.screenSaverSaved = SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &g_win.screenSaverWasActive, 0) != 0;
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_SENDCHANGE);

    if (!GetLibraryNoWindow()) {
        WriteLog("ソフトの二重起動検査... ");
        if (FindWindowA(g_win.activeClassName, nullptr) != nullptr) {
            if (!g_settings.allowDoubleStart) {
                WriteLog("二重起動されています、ソフトを終了します\n");
                g_quitRequested = 1;
                return -1;
            }
            WriteLog("二重起動されていますが続行します\n");
        } else {
            WriteLog("二重起動はされていませんでした\n");
        }

        WNDCLASSEXA windowClass = {};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.style = CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = MainWindowProc;
        windowClass.hInstance = g_win.instance;
        windowClass.hIcon = LoadWindowIcon(g_settings.iconId);
        windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
        windowClass.lpszClassName = g_win.activeClassName;
        WriteLog("ウインドウクラスを登録します... ");
        if (RegisterClassExA(&windowClass) == 0) {
            WriteLog("ウインドウクラスの登録に失敗しました\n");
            g_quitRequested = 1;
            return -1;
        }
        g_win.classRegistered = 1;
        WriteLog("登録に成功しました\n");

        const char* caption = g_settings.captionSet ? g_settings.caption : kDefaultCaption;
        int screenWidth = 640, screenHeight = 480;
        GetScreenSize(&screenWidth, &screenHeight);
        if (g_settings.windowMode) {
            WriteLog("ウインドウモード起動用のウインドウを作成します\n");
            int clientWidth, clientHeight;
            ClientSize(&clientWidth, &clientHeight);
            const DWORD style = WindowStyle();
            const DWORD exStyle = WindowExStyle();
            RECT adjusted = {0, 0, clientWidth, clientHeight};
            AdjustWindowRectEx(&adjusted, style, FALSE, exStyle);
            const POINT position = WindowPosition(adjusted);
            g_win.hwnd = CreateWindowExA(exStyle, g_win.activeClassName, caption, style, position.x, position.y,
                                         adjusted.right - adjusted.left, adjusted.bottom - adjusted.top, nullptr,
                                         nullptr, g_win.instance, nullptr);
        } else {
            WriteLog("フルスクリーンモード用のウインドウを作成します\n");
            const StylePreset& preset = kStylePresets[g_settings.stylePreset];
            g_win.hwnd = CreateWindowExA(preset.fullScreenExStyle, g_win.activeClassName, caption,
                                         preset.fullScreenStyle, 0, 0, screenWidth, screenHeight, nullptr, nullptr,
                                         g_win.instance, nullptr);
        }
        if (g_win.hwnd == nullptr) {
            WriteLog("ウインドウの作成に失敗しました\n");
            g_quitRequested = 1;
            return -1;
        }
        if (g_settings.windowHidden) {
            ShowWindow(g_win.hwnd, SW_HIDE);
        } else {
            ShowWindow(g_win.hwnd, SW_SHOW);
            UpdateWindow(g_win.hwnd);
            g_win.shownOnce = 1;
        }

        if (!g_settings.windowMode) {
            WriteLog("カーソルを不可視にしました\n");
            SetCursor(nullptr);
        }
        WriteLog("ＩＭＥを無効にしました\n");
        EnableImeForWindow(g_win.hwnd, FALSE);
        if (g_settings.windowMode) RecordClientRectOnScreen();

        g_win.charSetKind = GetOEMCP() == 949 ? 2 : 1;
        SetCursorVisibleImpl(g_settings.windowMode);

        if (!g_settings.windowHidden) {
            SetWindowPos(g_win.hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            SetForegroundWindow(g_win.hwnd);
        }
        const DWORD start = timeGetTime();
        while (timeGetTime() - start < 200) {
            if (ProcessMessageImpl() < 0) break;
            Sleep(1);
        }
        if (!g_settings.windowHidden) ApplyClientSize();
    }

    if (StartMessageThread() < 0) {
        WriteLog("ProcessMessage をひたすら呼びつづけるスレッドの立ち上げに失敗しました\n");
    }
    return 0;
}

int DestroyMainWindow() {
    const bool onMessageThread = IsMessageThread() != 0;
    if (g_win.screenSaverSaved) {
        SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, g_win.screenSaverWasActive, nullptr, SPIF_SENDCHANGE);
        g_win.screenSaverSaved = 0;
    }
    if (!GetLibraryNoWindow() && g_win.hwnd != nullptr) {
        EnableImeForWindow(g_win.hwnd, TRUE);
        ShowCursorUntilShown();
        if (!onMessageThread) {
            if (!g_windowDestroyed) {
                PostCloseOnce();
                // The posted close destroys the window inside the pump. A window that holds on to its close
                // (nothing here does) is destroyed directly after a while rather than hanging the shutdown.
                const DWORD start = timeGetTime();
                while (ProcessMessageImpl() == 0) {
                    if (timeGetTime() - start > 2000 && IsWindow(g_win.hwnd)) DestroyWindow(g_win.hwnd);
                    Sleep(0);
                }
            }
            if (g_win.classRegistered) {
                UnregisterClassA(g_win.activeClassName, g_win.instance);
                g_win.classRegistered = 0;
            }
        }
        // On the message thread (the fatal-error path) the window belongs to the main thread and goes with
        // the process.
    } else if (g_win.classRegistered && !onMessageThread) {
        UnregisterClassA(g_win.activeClassName, g_win.instance);
        g_win.classRegistered = 0;
    }
    ReleaseAllKeyInputs();
    // The window is gone (or never came): the message thread and every later pump see the quit flag.
    g_quitRequested = 1;
    WaitMessageThreadEnd();
    if (g_win.timerPeriodSet) {
        timeEndPeriod(g_win.timerPeriod);
        g_win.timerPeriodSet = 0;
    }
    g_win.hwnd = nullptr;
    return 0;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        break;
    case WM_DESTROY:
        WriteLog("ウインドウが破棄されようとしています\n");
        g_windowDestroyed = 1;
        WriteLog("ソフトを終了する準備が整いました\n");
        PostQuitMessage(0);
        g_quitRequested = 1;
        return 0;
    case WM_MOVE:
        if (g_settings.windowMode && !g_switchingMode) TrackWindowMove(lparam);
        break;
    case WM_SIZE:
        if (wparam != SIZE_MINIMIZED) {
            if (!g_win.sizing) ApplyClientSize();
            if (wparam == SIZE_MAXIMIZED && g_settings.windowMode && g_settings.allowAltEnter) g_altEnterPending = 1;
        }
        break;
    case WM_PAINT:
        if (g_settings.windowMode) {
            HandlePaint(window);
            return 0;
        }
        break;
    case WM_CLOSE:
        WriteLog("ウインドウを閉じようとしています\n");
        DestroyWindow(window);
        return 0;
    case WM_ACTIVATEAPP:
        if (!wparam) HandleActivation(window, 0);
        break;
    case WM_ACTIVATE:
        HandleActivation(window, wparam);
        break;
    case WM_SETCURSOR:
        if (!g_win.cursorShown && LOWORD(lparam) == HTCLIENT) {
            SetCursor(nullptr);
            HideCursorUntilHidden();
            return TRUE;
        }
        break;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
        if (!g_win.cursorShown) {
            SetCursor(nullptr);
            HideCursorUntilHidden();
        }
        break;
    case WM_DISPLAYCHANGE:
        HandleDisplayChange(wparam, lparam);
        break;
    case WM_KEYDOWN: {
        const int code = ControlCodeForKey(static_cast<int>(wparam));
        if (code != 0) PushInputChar(code);
        break;
    }
    case WM_CHAR:
        PushInputChar(static_cast<int>(wparam & 0xFF));
        return 0;
    case WM_SYSCHAR:
        if (wparam == 13 && g_settings.allowAltEnter) {
            g_altEnterPending = 1;
            return 0;
        }
        break;
    case WM_IME_STARTCOMPOSITION:
    case WM_IME_ENDCOMPOSITION:
    case WM_IME_COMPOSITION:
    case WM_IME_SETCONTEXT:
    case WM_IME_NOTIFY:
        return ImeCandidateList(window, message, wparam, lparam);
    case WM_SYSCOMMAND:
        if ((wparam & 0xFFF0) == SC_SCREENSAVE) return 1;
        if ((wparam & 0xFFF0) == SC_CLOSE) SetInputWindowFlags(1, 0);
        break;
    case 0x46F:
        SetInputWindowFlags(1, wparam == 1);
        break;
    case 0x470:
        SetInputWindowFlags(2, wparam == 1);
        break;
    case WM_MOUSEWHEEL:
        AddMouseWheelCount(GET_WHEEL_DELTA_WPARAM(wparam) > 0 ? 1 : -1);
        break;
    case WM_SIZING:
        if (g_settings.windowMode) {
            HandleSizing(window, wparam, reinterpret_cast<RECT*>(lparam));
            return TRUE;
        }
        break;
    case WM_MOVING:
        if (!g_settings.windowMode) {
            GetWindowRect(window, reinterpret_cast<RECT*>(lparam));
            return TRUE;
        }
        break;
    case MM_MCINOTIFY:
        OnMciNotify(wparam, lparam);
        break;
    case kSocketMessage:
        return OnSocketMessage(window, message, wparam, lparam);
    default:
        break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

// ---- inner functions of public entries ----

int ChangeWindowModeImpl(int windowed) {
    WriteLog("ChangeWindowMode実行 \n");
    windowed = windowed ? 1 : 0;
    if (windowed == g_settings.windowMode) return 0;
    g_win.shownOnce = 1;
    SetWindowModeFlag(windowed);
    if (g_win.hwnd == nullptr) return 0;

    g_switchingMode = 1;
    g_displayChanged = 0;
    ApplyWindowStyle();
    const int result = ChangeDisplayMode(-1, -1, -1, 1, -1);
    // The notification of the display change normally arrives at once; a display that sends none does not
    // hold the program for more than a few seconds.
    const DWORD start = timeGetTime();
    while (!g_displayChanged && timeGetTime() - start < 3000) {
        if (ProcessMessageImpl() < 0) break;
        Sleep(1);
    }
    g_switchingMode = 0;
    return result;
}

int SetWindowCaptionImpl(const char* text) {
    CopyBounded(g_settings.caption, text);
    g_settings.captionSet = text != nullptr;
    if (g_win.hwnd) SetWindowTextA(g_win.hwnd, g_settings.caption);
    return 0;
}

int SetWindowIconImpl(int iconId) {
    g_settings.iconId = iconId;
    if (g_win.hwnd) {
        SetClassLongPtrA(g_win.hwnd, GCLP_HICON, reinterpret_cast<LONG_PTR>(LoadWindowIcon(iconId)));
    }
    return 0;
}

int SetCursorVisibleImpl(int flag) {
    g_settings.cursorVisibleSetting = flag;
    const int show = flag == 1 ? 1 : 0;
    if (show != g_win.cursorShown) {
        if (show) {
            ShowCursorUntilShown();
        } else {
            HideCursorUntilHidden();
        }
        g_win.cursorShown = show;
        PostCursorUpdate();
    }
    return 0;
}

// ---- window services ----

int SetWindowModeFlag(int windowed) {
    g_settings.windowMode = windowed ? 1 : 0;
    WriteLog(g_settings.windowMode ? "ウインドウモードフラグが立てられました\n" : "ウインドウモードフラグが倒されました\n");
    return 0;
}

int ApplyWindowStyle() {
    if (g_win.hwnd == nullptr) return -1;
    int screenWidth = 640, screenHeight = 480;
    GetScreenSize(&screenWidth, &screenHeight);
    if (g_settings.windowMode) {
        WriteLog("ウインドウスタイルをウインドウモード用に変更します... ");
        const DWORD style = WindowStyle();
        const DWORD exStyle = WindowExStyle();
        SetWindowLongPtrA(g_win.hwnd, GWL_STYLE, static_cast<LONG_PTR>(style));
        SetWindowLongPtrA(g_win.hwnd, GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle));
        int clientWidth, clientHeight;
        ClientSize(&clientWidth, &clientHeight);
        RECT adjusted = {0, 0, clientWidth, clientHeight};
        AdjustWindowRectEx(&adjusted, style, FALSE, exStyle);
        const POINT position = WindowPosition(adjusted);
        SetWindowPos(g_win.hwnd, HWND_NOTOPMOST, position.x, position.y, adjusted.right - adjusted.left,
                     adjusted.bottom - adjusted.top, SWP_FRAMECHANGED);
        RecordClientRectOnScreen();
        if (g_win.clientOnScreen.left < 0 || g_win.clientOnScreen.top < 0) {
            RECT outer;
            GetWindowRect(g_win.hwnd, &outer);
            const int dx = g_win.clientOnScreen.left < 0 ? -g_win.clientOnScreen.left : 0;
            const int dy = g_win.clientOnScreen.top < 0 ? -g_win.clientOnScreen.top : 0;
            SetWindowPos(g_win.hwnd, nullptr, outer.left + dx, outer.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            RecordClientRectOnScreen();
        }
        ShowCursorUntilShown();
    } else {
        WriteLog("ウインドウスタイルをフルスクリーンモード用に変更します... ");
        const StylePreset& preset = kStylePresets[g_settings.stylePreset];
        SetWindowLongPtrA(g_win.hwnd, GWL_STYLE, static_cast<LONG_PTR>(preset.fullScreenStyle));
        SetWindowLongPtrA(g_win.hwnd, GWL_EXSTYLE, static_cast<LONG_PTR>(preset.fullScreenExStyle));
        g_win.clientOnScreen = RECT{0, 0, screenWidth, screenHeight};
        ShowWindow(g_win.hwnd, SW_SHOW);
        UpdateWindow(g_win.hwnd);
        SetWindowPos(g_win.hwnd, HWND_TOPMOST, 0, 0, screenWidth, screenHeight, SWP_NOREDRAW);
        HideCursorUntilHidden();
    }
    WriteLog("完了\n");
    SetActiveWindow(g_win.hwnd);
    PostCursorUpdate();
    return 0;
}

int SetWindowStylePreset(int preset) {
    if (preset < 0 || preset > 6) return -1;
    g_settings.stylePreset = preset;
    return 0;
}

void SetWindowScale(double scale) { g_settings.windowScale = scale; }
void SetWindowResizable(int flag) { g_settings.allowResize = flag; }

int ForceForegroundWindow(HWND window, int topmost) {
    HWND foreground = GetForegroundWindow();
    const DWORD ownThread = GetWindowThreadProcessId(window, nullptr);
    const DWORD foregroundThread = foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0;
    const bool attach = foregroundThread != 0 && foregroundThread != ownThread;
    if (attach) AttachThreadInput(ownThread, foregroundThread, TRUE);
    DWORD timeout = 0;
    SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    SetForegroundWindow(window);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(static_cast<UINT_PTR>(timeout)), 0);
    if (attach) AttachThreadInput(ownThread, foregroundThread, FALSE);
    if (topmost == 1) SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOREDRAW);
    return 0;
}

int ApplyClientSize() {
    if (g_win.hwnd == nullptr) return -1;
    g_win.sizing = 1;
    if (g_settings.windowMode && !g_win.styleApplied) {
        g_win.styleApplied = 1;
        ApplyWindowStyle();
    }
    int clientWidth, clientHeight;
    ClientSize(&clientWidth, &clientHeight);
    RECT adjusted = {0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&adjusted, static_cast<DWORD>(GetWindowLongPtrA(g_win.hwnd, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(g_win.hwnd, GWL_EXSTYLE)));
    SetWindowPos(g_win.hwnd, nullptr, 0, 0, adjusted.right - adjusted.left, adjusted.bottom - adjusted.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // Where the system's frame differs from what AdjustWindowRectEx predicts, correct by the difference.
    RECT client, outer;
    GetClientRect(g_win.hwnd, &client);
    if (client.right != clientWidth || client.bottom != clientHeight) {
        GetWindowRect(g_win.hwnd, &outer);
        SetWindowPos(g_win.hwnd, nullptr, 0, 0, outer.right - outer.left + clientWidth - client.right,
                     outer.bottom - outer.top + clientHeight - client.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (g_settings.windowMode) RecordClientRectOnScreen();
    g_win.sizing = 0;
    return 0;
}

int TrackWindowMove(LPARAM lparam) {
    if (g_win.hwnd == nullptr) return -1;
    RECT client;
    GetClientRect(g_win.hwnd, &client);
    const int x = static_cast<short>(LOWORD(lparam));
    const int y = static_cast<short>(HIWORD(lparam));
    g_win.clientOnScreen = RECT{x, y, x + client.right, y + client.bottom};
    return 0;
}

// ---- state ----

int IsQuitRequested() { return g_quitRequested.load(); }
void SetQuitRequested(int flag) { g_quitRequested = flag ? 1 : 0; }
const std::atomic<int>& QuitFlagForThreads() { return g_quitRequested; }

int GetMainClientRectOnScreen(RECT* out) {
    if (out) *out = g_win.clientOnScreen;
    return 0;
}

HWND GetMainHwnd() { return g_win.hwnd; }
DWORD GetMainThreadId() { return g_win.mainThreadId; }
int IsWindowMode() { return g_settings.windowMode; }

int GetSavedDisplayValues(int* width, int* height, int* bits) {
    if (width) *width = g_win.desktopWidth;
    if (height) *height = g_win.desktopHeight;
    if (bits) *bits = g_win.desktopBits;
    return 0;
}

int IsAppActive() { return g_active.load(); }
int GetCursorVisibleSetting() { return g_settings.cursorVisibleSetting; }
int IsCloseRequested() { return g_closePosted.load(); }
int IsWindowDestroyed() { return g_windowDestroyed.load(); }
int HasWindowRegion() { return 0; }  // no window region is ever set in this program
double GetWindowScale() { return EffectiveScale(); }
int GetCharSetKind() { return g_win.charSetKind != 0 ? g_win.charSetKind : 1; }

int GetMousePosition(int* x, int* y) {
    POINT point = {0, 0};
    GetCursorPos(&point);
    if (g_settings.windowMode && g_win.hwnd) ScreenToClient(g_win.hwnd, &point);
    const double scale = EffectiveScale();
    if (x) *x = static_cast<int>(point.x / scale);
    if (y) *y = static_cast<int>(point.y / scale);
    return 0;
}

const char* GetWindowCaption() { return g_settings.captionSet ? g_settings.caption : kDefaultCaption; }
const char* GetWindowClassName() { return g_win.activeClassName; }
int IsWindowSwitchingMode() { return g_switchingMode.load(); }
int IsDisplayChangeSeen() { return g_displayChanged.load(); }

void SetAllowDoubleStart(int flag) { g_settings.allowDoubleStart = flag; }
void SetRunWhenInactive(int flag) { g_settings.runWhenInactive = flag; }
void SetWindowHiddenFlag(int flag) { g_settings.windowHidden = flag; }
void SetAllowAltEnter(int flag) { g_settings.allowAltEnter = flag; }
void SetWindowClassName(const char* name) { CopyBounded(g_settings.className, name); }
void SetWindowUserPosition(int enabled, int x, int y) {
    g_settings.userPositionSet = enabled;
    g_settings.userX = x;
    g_settings.userY = y;
}
int GetRunWhenInactive() { return g_settings.runWhenInactive; }
int GetAllowAltEnter() { return g_settings.allowAltEnter; }

int TakeAltEnterPending() { return g_altEnterPending.exchange(0); }
void SetAppActive(int flag) { g_active = flag ? 1 : 0; }
int IsPainting() { return g_win.painting; }

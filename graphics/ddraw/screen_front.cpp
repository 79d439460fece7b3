// The front-screen window timer and the two copies between the primary and the temporary primary it relies on.
#include "graphics/ddraw/screen_front.h"

#include "graphics/ddraw/display.h"
#include "runtime/window.h"

namespace {

// The window's client area on the primary (screen coordinates) at the screen size.
RECT WindowAreaOnPrimary() {
    int width = 0, height = 0;
    GetScreenSize(&width, &height);
    POINT origin = {0, 0};
    ClientToScreen(GetMainHwnd(), &origin);
    RECT rect = {origin.x, origin.y, origin.x + width, origin.y + height};
    return rect;
}

}  // namespace

int SaveFrontScreenArea() {
    DisplayState& s = GetDisplayState();
    if (s.primarySurface == nullptr || s.tempPrimarySurface == nullptr) return -1;
    RECT area = WindowAreaOnPrimary();
    return FAILED(s.tempPrimarySurface->Blt(nullptr, s.primarySurface, &area, DDBLT_WAIT, nullptr)) ? -1 : 0;
}

int PushFrontScreenArea() {
    DisplayState& s = GetDisplayState();
    if (s.primarySurface == nullptr || s.tempPrimarySurface == nullptr) return -1;
    RECT area = WindowAreaOnPrimary();
    return FAILED(s.primarySurface->Blt(&area, s.tempPrimarySurface, nullptr, DDBLT_WAIT, nullptr)) ? -1 : 0;
}

void CALLBACK FrontScreenTimerProc(HWND window, UINT, UINT_PTR, DWORD) {
    KillTimer(window, kFrontScreenTimerId);
    if (GetDisplayState().primarySurface == nullptr) return;  // the screens are gone: the timer stops here
    PushFrontScreenArea();
    SetTimer(window, kFrontScreenTimerId, 17, FrontScreenTimerProc);
}

int ArmFrontScreenTimer() {
    HWND window = GetMainHwnd();
    if (window == nullptr) return -1;
    SetTimer(window, kFrontScreenTimerId, 17, FrontScreenTimerProc);
    return 0;
}

int KillFrontScreenTimer() {
    HWND window = GetMainHwnd();
    if (window != nullptr) KillTimer(window, kFrontScreenTimerId);
    return 0;
}

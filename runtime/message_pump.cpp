// The message pump: ProcessMessageImpl dispatches the main window's messages (holding the main thread while
// the application is inactive) and runs the per-pass services of sound, pads, network and text input; the
// message thread runs those services every 17 ms under the API lock while the game thread is elsewhere.
#include "runtime/message_pump.h"

#include <atomic>

#include <mmsystem.h>

#include "graphics/ddraw/display.h"
#include "graphics/graph.h"
#include "graphics/restore.h"
#include "input/char_input.h"
#include "input/input_device.h"
#include "network/network.h"
#include "runtime/api_lock.h"
#include "runtime/startup.h"
#include "runtime/window.h"
#include "sound/stream_sound.h"

namespace {

constexpr int kMessagesPerDrain = 5;

HANDLE g_thread = nullptr;
std::atomic<DWORD> g_threadId{0};
std::atomic<int> g_threadEnded{1};
std::atomic<unsigned long> g_threadPasses{0};
std::atomic<MessageThreadPassHook> g_passHook{nullptr};
int g_inKeyInputUpdate = 0;  // under the API lock
int g_restoring = 0;

// Takes up to five messages of the calling thread (thread messages and the main window's) and dispatches
// them; returns how many were dispatched.
int DrainMessages(HWND window) {
    int dispatched = 0;
    MSG message;
    if (PeekMessageA(&message, window, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_NOREMOVE) &&
        (message.wParam & 0xFFF0) == SC_SCREENSAVE) {
        PeekMessageA(&message, window, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE);
        DispatchMessageA(&message);  // the window procedure refuses the screen saver
        ++dispatched;
    }
    while (dispatched < kMessagesPerDrain) {
        if (!PeekMessageA(&message, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE) &&
            !PeekMessageA(&message, window, 0, 0, PM_REMOVE)) {
            break;
        }
        if (message.message == WM_ACTIVATEAPP && IsWindowMode()) SetAppActive(1);
        if (message.message == WM_QUIT) SetQuitRequested(1);
        TranslateMessage(&message);
        DispatchMessageA(&message);
        ++dispatched;
    }
    return dispatched;
}

void RunInactiveServices() {
    PumpNetworkMessages(1);
    ServiceHttpRequests();
    RefillAllStreamBuffers();
    Sleep(1);
}

void RunPassServices() {
    RefillAllStreamBuffers();
    ServiceMusicPlayback();
    UpdateJoypadEffects();
    PumpNetworkMessages(1);
    ServiceHttpRequests();
    g_inKeyInputUpdate = 1;
    UpdateKeyInput();
    g_inKeyInputUpdate = 0;
}

}  // namespace

int ProcessMessageImpl() {
    if (g_inKeyInputUpdate) return 0;
    if (!GetLibraryNoWindow()) {
        HWND window = GetMainHwnd();
        if (window == nullptr) return IsQuitRequested() ? -1 : 0;
        const bool mainThread = GetCurrentThreadId() == GetMainThreadId();
        if (mainThread && GetAllowAltEnter() && TakeAltEnterPending()) ChangeWindowModeImpl(IsWindowMode() != 1);

        bool dispatchedLastPass = true;
        for (;;) {
            const bool active = IsAppActive() != 0;
            if ((IsCloseRequested() || active || GetRunWhenInactive()) && (!dispatchedLastPass || IsQuitRequested())) {
                break;
            }
            if (!active) Sleep(1);
            dispatchedLastPass = DrainMessages(window) > 0;
            if (!active) RunInactiveServices();
            if (IsQuitRequested() || !mainThread) break;
        }
    }
    RunPassServices();
    return IsQuitRequested() ? -1 : 0;
}

DWORD WINAPI MessageThreadMain(LPVOID) {
    while (!IsQuitRequested()) {
        if (LockApiPolling(QuitFlagForThreads()) != 0) break;
        const int result = ProcessMessageImpl();
        ++g_threadPasses;
        if (MessageThreadPassHook hook = g_passHook.load()) hook();
        UnlockApiNoYield();
        if (result < 0) break;
        Sleep(17);
    }
    ApiLockLeaveQueue();
    g_threadEnded = 1;
    return 0;
}

int StartMessageThread() {
    if (g_thread != nullptr) return 0;
    g_threadEnded = 0;
    DWORD id = 0;
    g_thread = CreateThread(nullptr, 0, MessageThreadMain, nullptr, 0, &id);
    if (g_thread == nullptr) {
        g_threadEnded = 1;
        return -1;
    }
    g_threadId = id;
    return 0;
}

int WaitMessageThreadEnd() {
    if (g_thread == nullptr || IsMessageThread()) return 0;
    while (!g_threadEnded) Sleep(1);
    WaitForSingleObject(g_thread, INFINITE);
    CloseHandle(g_thread);
    g_thread = nullptr;
    g_threadId = 0;
    return 0;
}

int IsMessageThreadRunning() { return g_thread != nullptr && !g_threadEnded ? 1 : 0; }
unsigned long GetMessageThreadPassCount() { return g_threadPasses.load(); }
void SetMessageThreadPassHook(MessageThreadPassHook hook) { g_passHook = hook; }

int IsMessageThread() {
    const DWORD id = g_threadId.load();
    return id != 0 && id == GetCurrentThreadId() ? 1 : 0;
}

int WaitWhileInactive() {
    if (IsPainting() || IsAppActive()) return 0;
    if (GetRunWhenInactive() && (IsGdiShowMode() || IsWindowMode())) return 0;
    // Without a window nothing can ever make the application active again: waiting would never end.
    if (GetMainHwnd() == nullptr) return 0;
    while (ProcessMessageImpl() == 0 && !IsAppActive()) {
    }
    if (IsGraphicsDeviceUp() && !g_restoring) {
        g_restoring = 1;
        RestoreOutputSurfaces();
        RestoreAllGraphSurfaces();
        g_restoring = 0;
    }
    return 0;
}

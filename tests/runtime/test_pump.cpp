// The message pump and the message thread on a real window: a posted close ends the pump (also while the
// application is inactive, when the pump holds the main thread), the message thread runs only while the
// main thread is outside the runtime, and a fatal error on the message thread ends the process instead of
// waiting for itself.
#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

#include "runtime/api_lock.h"
#include "runtime/log.h"
#include "runtime/message_pump.h"
#include "runtime/runtime.h"
#include "runtime/startup.h"
#include "runtime/window.h"
#include "tests/runtime/test_window_support.h"

using PumpTest = LibraryTest;

namespace {

// Pumps until ProcessMessage reports quitting; the number of calls it took, or -1 when it did not within the
// given seconds.
int PumpUntilQuit(DWORD seconds) {
    const DWORD start = GetTickCount();
    for (int call = 1;; ++call) {
        if (ProcessMessage() == -1) return call;
        if (GetTickCount() - start > seconds * 1000) return -1;
        Sleep(1);
    }
}

// Waits until the message thread has made at least `passes` passes since `from`; false after the given seconds.
bool WaitForMessageThreadPasses(unsigned long from, unsigned long passes, DWORD seconds) {
    const DWORD start = GetTickCount();
    while (GetMessageThreadPassCount() - from < passes) {
        if (GetTickCount() - start > seconds * 1000) return false;
        Sleep(10);
    }
    return true;
}

}  // namespace

TEST_F(PumpTest, PostedCloseEndsThePump) {
    ASSERT_EQ(StartUpLibrary(), 0);
    HWND window = GetMainHwnd();
    ASSERT_EQ(ProcessMessage(), 0);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_NE(PumpUntilQuit(10), -1);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(IsQuitRequested(), 1);
    EXPECT_EQ(ProcessMessage(), -1) << "quitting is final";
    EXPECT_EQ(ShutDownLibrary(), 0);
    EXPECT_EQ(IsMessageThreadRunning(), 0);
    ExpectInOrder({"ウインドウを閉じようとしています", "ウインドウが破棄されようとしています", "Alloc memory dump"});
}

// While inactive the pump holds the main thread until something changes; a close arriving then ends it.
TEST_F(PumpTest, InactivePumpWaitsAndStillEndsOnClose) {
    ASSERT_EQ(StartUpLibrary(), 0);
    HWND window = GetMainHwnd();
    SendMessageA(window, WM_ACTIVATEAPP, FALSE, 0);
    ASSERT_EQ(IsAppActive(), 0);

    // Timed from before the closer starts: the close cannot arrive sooner than its sleep after this.
    const DWORD start = GetTickCount();
    std::thread closer([window] {
        Sleep(400);
        PostMessageA(window, WM_CLOSE, 0, 0);
    });
    const int result = ProcessMessage();
    const DWORD elapsed = GetTickCount() - start;
    closer.join();
    EXPECT_EQ(result, -1);
    EXPECT_GE(elapsed, 300u) << "the pump returned while the application was inactive";
    EXPECT_FALSE(IsWindow(window));
}

// Reactivation releases both the waiting pump and a drawing call's inactive wait.
TEST_F(PumpTest, InactiveWaitsReturnOnReactivation) {
    ASSERT_EQ(StartUpLibrary(), 0);
    HWND window = GetMainHwnd();
    const struct {
        const char* name;
        int (*wait)();
        int expected;
    } waits[] = {
        {"ProcessMessage", ProcessMessage, 0},
        {"WaitWhileInactive", [] {
             ApiLockScope lock;
             return WaitWhileInactive();
         }, 0},
    };
    for (const auto& wait : waits) {
        SCOPED_TRACE(wait.name);
        SendMessageA(window, WM_ACTIVATEAPP, FALSE, 0);
        ASSERT_EQ(IsAppActive(), 0);
        const DWORD start = GetTickCount();
        std::thread activator([window] {
            Sleep(300);
            PostMessageA(window, WM_ACTIVATE, WA_ACTIVE, 0);
        });
        EXPECT_EQ(wait.wait(), wait.expected);
        const DWORD elapsed = GetTickCount() - start;
        activator.join();
        EXPECT_GE(elapsed, 200u) << "returned while still inactive";
        EXPECT_EQ(IsAppActive(), 1);
        EXPECT_TRUE(IsWindow(window));
    }
    // While active the wait returns without waiting for anything: nothing would come to end it.
    const DWORD start = GetTickCount();
    {
        ApiLockScope lock;
        EXPECT_EQ(WaitWhileInactive(), 0);
    }
    EXPECT_LT(GetTickCount() - start, 10000u) << "the wait held an active application";
}

// With no window (before start-up or after shutdown) nothing can reactivate the application, so a drawing
// call's inactive wait must not hold the caller.
TEST_F(PumpTest, InactiveWaitWithoutAWindowReturns) {
    ASSERT_EQ(GetMainHwnd(), nullptr);
    const int wasActive = IsAppActive();
    SetAppActive(0);
    Watchdog dog("inactive wait without a window", 10);
    {
        ApiLockScope lock;
        EXPECT_EQ(WaitWhileInactive(), 0);
    }
    SetAppActive(wasActive);
}

TEST_F(PumpTest, MessageThreadRunsOnlyWhileTheMainThreadIsOutside) {
    ASSERT_EQ(StartUpLibrary(), 0);
    EXPECT_TRUE(WaitForMessageThreadPasses(GetMessageThreadPassCount(), 5, 20))
        << "the message thread does not run while the main thread is outside";

    LockApi();
    const unsigned long held = GetMessageThreadPassCount();
    Sleep(300);
    EXPECT_EQ(GetMessageThreadPassCount(), held) << "the message thread ran while the main thread held the lock";
    UnlockApi();

    EXPECT_TRUE(WaitForMessageThreadPasses(held, 5, 20)) << "the message thread did not run again after the lock";
}

TEST_F(PumpTest, ChangingToTheCurrentModeChangesNothing) {
    ASSERT_EQ(StartUpLibrary(), 0);
    HWND window = GetMainHwnd();
    const LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
    RECT before;
    GetWindowRect(window, &before);
    const size_t logBefore = Log().size();
    EXPECT_EQ(ChangeWindowMode(1), 0);
    // A real change sets the flag (a log line) and then waits for the display's notification: neither happened.
    const std::string written = Log().substr(logBefore);
    EXPECT_EQ(written.find("ウインドウモードフラグ"), std::string::npos) << written;
    EXPECT_EQ(GetWindowLongPtrA(window, GWL_STYLE), style);
    RECT after;
    GetWindowRect(window, &after);
    EXPECT_TRUE(EqualRect(&before, &after));
    EXPECT_EQ(IsWindowMode(), 1);
    EXPECT_FALSE(LogHas("ウインドウスタイルをフルスクリーンモード用に変更します"));
}

TEST_F(PumpTest, CursorFollowsTheSetting) {
    ASSERT_EQ(StartUpLibrary(), 0);
    // Window mode starts with the cursor shown; the game hides it.
    EXPECT_EQ(GetCursorVisibleSetting(), 1);
    EXPECT_EQ(SetCursorVisible(0), 0);
    EXPECT_EQ(GetCursorVisibleSetting(), 0);
    // Probe the display count by one step and put it back.
    const int hiddenCount = ShowCursor(TRUE) - 1;
    ShowCursor(FALSE);
    EXPECT_LT(hiddenCount, 0);
    EXPECT_EQ(SetCursorVisible(1), 0);
    const int shownCount = ShowCursor(FALSE) + 1;
    ShowCursor(TRUE);
    EXPECT_GE(shownCount, 0);
}

namespace {

void FatalFromMessageThread() { FatalError("fatal error raised on the message thread"); }

// Runs in a child process: the message thread raises a fatal error while the main thread keeps calling in.
void RunFatalErrorOnTheMessageThread() {
    Watchdog dog("fatal error on the message thread", 20);
    ScratchDirectory scratch;
    ChangeWindowMode(1);
    SetWindowCaption("KavorinFatal");
    if (StartUpLibrary() != 0) ExitProcess(5);
    SetMessageThreadPassHook(FatalFromMessageThread);
    for (;;) {
        ProcessMessage();
        Sleep(5);
    }
}

}  // namespace

TEST(PumpFatal, FatalErrorOnTheMessageThreadEndsTheProcess) {
    EXPECT_EXIT(RunFatalErrorOnTheMessageThread(), ::testing::ExitedWithCode(-1), "");
}

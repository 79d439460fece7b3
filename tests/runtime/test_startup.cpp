// Start-up and shutdown of the whole library under Wine: the order of the steps as the log shows them, the
// window they make, the failure paths (double start, refused colour depth) and what shutdown leaves behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "graphics/ddraw/display.h"
#include "runtime/api_lock.h"
#include "runtime/memory.h"
#include "runtime/message_pump.h"
#include "runtime/runtime.h"
#include "runtime/startup.h"
#include "runtime/window.h"
#include "tests/runtime/test_window_support.h"

namespace {

std::string AllocTotalsLine(int liveBlocks) {
    char text[64];
    std::snprintf(text, sizeof(text), "Alloc num:%d", liveBlocks);
    return text;
}

}  // namespace

using StartUpTest = LibraryTest;

TEST_F(StartUpTest, StartsAndShutsDownInOrderLeavingNothingBehind) {
    ASSERT_EQ(StartUpLibrary(), 0);
    HWND window = GetMainHwnd();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(IsLibraryRunning(), 1);
    EXPECT_EQ(IsLibraryInitialising(), 0);
    EXPECT_EQ(IsComStarted(), 1);
    EXPECT_EQ(IsMessageThreadRunning(), 1);

    EXPECT_EQ(ShutDownLibrary(), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(IsLibraryRunning(), 0);
    EXPECT_EQ(IsComStarted(), 0);
    EXPECT_EQ(IsMessageThreadRunning(), 0);
    EXPECT_EQ(ApiLockIsInitialised(), 0);
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    EXPECT_FALSE(GetClassInfoExA(GetModuleHandleA(nullptr), "Kavorin", &windowClass)) << "class still registered";
    EXPECT_EQ(GetTrackedAllocCount(), baselineBlocks_);

    ExpectInOrder({
        "システムの情報を出力します",
        "ＣＯＭの初期化... 成功しました",
        "ソフトの二重起動検査... 二重起動はされていませんでした",
        "ウインドウクラスを登録します... 登録に成功しました",
        "ウインドウモード起動用のウインドウを作成します",
        "ＩＭＥを無効にしました",
        // shutdown
        "ウインドウを閉じようとしています",
        "ウインドウが破棄されようとしています",
        "ソフトを終了する準備が整いました",
        "ＣＯＭを終了... 完了",
        "Alloc memory dump",
        AllocTotalsLine(baselineBlocks_),
    });
}

TEST_F(StartUpTest, SecondStartUpWhileRunningIsRefusedAndHarmless) {
    ASSERT_EQ(StartUpLibrary(), 0);
    HWND window = GetMainHwnd();
    EXPECT_EQ(StartUpLibrary(), -1);
    EXPECT_EQ(GetMainHwnd(), window);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(IsLibraryRunning(), 1);
    EXPECT_EQ(IsComStarted(), 1);
    EXPECT_EQ(IsMessageThreadRunning(), 1);
    EXPECT_EQ(ProcessMessage(), 0);
    EXPECT_EQ(ShutDownLibrary(), 0);
    EXPECT_EQ(GetTrackedAllocCount(), baselineBlocks_);
}

TEST_F(StartUpTest, WindowHasTheCaptionAsClassAndAFullClientAreaCentred) {
    SetWindowIcon(101);  // this program has no such resource: the system's default icon stands in
    ASSERT_EQ(StartUpLibrary(), 0);
    HWND window = GetMainHwnd();
    ASSERT_NE(window, nullptr);

    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right - client.left, 640);
    EXPECT_EQ(client.bottom - client.top, 480);
    char text[64] = "";
    GetClassNameA(window, text, sizeof(text));
    EXPECT_STREQ(text, "Kavorin");
    GetWindowTextA(window, text, sizeof(text));
    EXPECT_STREQ(text, "Kavorin");
    EXPECT_TRUE(IsWindowVisible(window));

    RECT outer;
    GetWindowRect(window, &outer);
    const int frame = (outer.right - outer.left) - 640;
    EXPECT_NEAR((outer.left + outer.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, frame + 2);
    EXPECT_NEAR((outer.top + outer.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, (outer.bottom - outer.top) - 480 + 2);

    RECT onScreen;
    GetMainClientRectOnScreen(&onScreen);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    EXPECT_EQ(onScreen.left, origin.x);
    EXPECT_EQ(onScreen.top, origin.y);
    EXPECT_EQ(onScreen.right - onScreen.left, 640);

    const HICON icon = reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICON));
    EXPECT_EQ(icon, LoadIconA(nullptr, MAKEINTRESOURCEA(32512)));
}

TEST_F(StartUpTest, WithEveryModuleSwitchedOffTheWindowAndLogStillCome) {
    SetLibraryNoInput(1);
    SetLibraryNoSound(1);
    SetLibraryNoGraphics(1);
    ASSERT_EQ(StartUpLibrary(), 0);
    EXPECT_NE(GetMainHwnd(), nullptr);
    EXPECT_TRUE(LogHas("ウインドウモード起動用のウインドウを作成します"));
    EXPECT_FALSE(LogHas("DirectDraw 関連の初期化を行います"));
    EXPECT_FALSE(LogHas("DirectInput"));
    EXPECT_EQ(ShutDownLibrary(), 0);
    EXPECT_EQ(GetTrackedAllocCount(), baselineBlocks_);
}

// A window of the same class already exists: start-up refuses, and the shutdown sequence it runs leaves no
// window, COM or thread behind.
TEST_F(StartUpTest, SecondCopyIsRefusedAndUnwindsCleanly) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "Kavorin";
    ASSERT_NE(RegisterClassExA(&windowClass), 0);
    HWND first = CreateWindowExA(0, "Kavorin", "first copy", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(first, nullptr);

    EXPECT_EQ(StartUpLibrary(), -1);
    EXPECT_EQ(GetMainHwnd(), nullptr);
    EXPECT_EQ(IsLibraryRunning(), 0);
    EXPECT_EQ(IsLibraryInitialising(), 0);
    EXPECT_EQ(IsComStarted(), 0);
    EXPECT_EQ(IsMessageThreadRunning(), 0);
    EXPECT_EQ(IsQuitRequested(), 1);
    EXPECT_EQ(GetTrackedAllocCount(), baselineBlocks_);
    ExpectInOrder({
        "ソフトの二重起動検査... 二重起動されています、ソフトを終了します",
        "ＣＯＭを終了... 完了",
        "Alloc memory dump",
    });
    EXPECT_FALSE(LogHas("ウインドウクラスを登録します"));

    DestroyWindow(first);
    UnregisterClassA("Kavorin", GetModuleHandleA(nullptr));
}

TEST_F(StartUpTest, RequestedDepthOf24IsRefusedBeforeAnythingStarts) {
    ChangeDisplayMode(-1, -1, 24, 0, -1);
    ASSERT_EQ(GetRequestedScreenBits(), 24);
    EXPECT_EQ(StartUpLibrary(), -1);
    ChangeDisplayMode(-1, -1, 0, 0, -1);
    EXPECT_EQ(GetRequestedScreenBits(), 0);

    EXPECT_TRUE(LogHas("ＱＶライブラリは２４ビットカラーモードに対応していません"));
    // Nothing was started, so no shutdown step ran either.
    EXPECT_FALSE(LogHas("ＣＯＭ"));
    EXPECT_FALSE(LogHas("Alloc memory dump"));
    EXPECT_EQ(IsLibraryEnding(), 0);
    EXPECT_EQ(GetMainHwnd(), nullptr);
    EXPECT_EQ(IsMessageThreadRunning(), 0);
}

// The screen saver is off while the library runs and comes back as the user had it.
TEST_F(StartUpTest, ScreenSaverIsOffWhileRunningAndRestoredAfter) {
    for (BOOL before : {TRUE, FALSE}) {
        SCOPED_TRACE(before ? "screen saver on before" : "screen saver off before");
        SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, before, nullptr, 0);
        ASSERT_EQ(StartUpLibrary(), 0);
        BOOL during = TRUE;
        SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &during, 0);
        EXPECT_FALSE(during);
        EXPECT_EQ(SendMessageA(GetMainHwnd(), WM_SYSCOMMAND, SC_SCREENSAVE, 0), 1);
        ASSERT_EQ(ShutDownLibrary(), 0);
        BOOL after = !before;
        SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &after, 0);
        EXPECT_EQ(after, before);
    }
}

// With no window of its own the library still runs the message thread; shutdown must wait for it before
// the lock is taken apart.
TEST_F(StartUpTest, WithoutAWindowShutdownStillWaitsForTheMessageThread) {
    SetLibraryNoWindow(1);
    SetLibraryNoInput(1);
    SetLibraryNoSound(1);
    SetLibraryNoGraphics(1);
    ASSERT_EQ(StartUpLibrary(), 0);
    EXPECT_EQ(GetMainHwnd(), nullptr);
    ASSERT_EQ(IsMessageThreadRunning(), 1);
    const unsigned long passes = GetMessageThreadPassCount();
    const DWORD start = GetTickCount();
    while (GetMessageThreadPassCount() == passes && GetTickCount() - start < 20000) Sleep(5);
    EXPECT_GT(GetMessageThreadPassCount(), passes) << "the message thread does not run";

    EXPECT_EQ(ShutDownLibrary(), 0);
    EXPECT_EQ(IsMessageThreadRunning(), 0);
    EXPECT_EQ(ApiLockIsInitialised(), 0);
    const unsigned long after = GetMessageThreadPassCount();
    Sleep(100);
    EXPECT_EQ(GetMessageThreadPassCount(), after);
}

// Shutdown returns to the directory start-up found. One too long for the file layer's buffer cannot be
// remembered; shutdown must then leave the current directory alone rather than return to the directory an
// earlier start-up recorded.
TEST_F(StartUpTest, ShutdownReturnsOnlyToTheDirectoryThisStartUpFound) {
    SetLibraryNoInput(1);
    SetLibraryNoSound(1);
    SetLibraryNoGraphics(1);
    char scratch[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, scratch), 0u);
    ASSERT_EQ(StartUpLibrary(), 0);
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
    ASSERT_EQ(ShutDownLibrary(), 0);
    char current[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, current);
    EXPECT_STREQ(current, scratch);

    std::vector<std::string> made;
    std::string deep = scratch;
    while (deep.size() < 257) {
        deep += "\\" + std::string(std::min<size_t>(60, 257 - deep.size()), 'd');
        ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr)) << deep;
        made.push_back(deep);
    }
    ASSERT_TRUE(SetCurrentDirectoryA(deep.c_str()));
    ASSERT_EQ(StartUpLibrary(), 0);
    ASSERT_EQ(ShutDownLibrary(), 0);
    GetCurrentDirectoryA(MAX_PATH, current);
    EXPECT_STREQ(current, deep.c_str());

    SetCurrentDirectoryA(scratch);
    for (auto it = made.rbegin(); it != made.rend(); ++it) RemoveDirectoryA(it->c_str());
}

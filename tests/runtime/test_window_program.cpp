// Kavorin.exe as a whole: it opens its "Kavorin" window with the icon of resource 101 and a 640 x 480 client
// area, writes no log file, and ends with exit code 0 when its window is closed or Escape is held.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/runtime/test_window_support.h"
#include "tests/start_process.h"

namespace {

// Kavorin.exe lives at the top of the build directory, one level above the test programs.
std::string ProgramPath() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text(path);
    for (int level = 0; level < 2; ++level) {
        const size_t slash = text.find_last_of("\\/");
        if (slash == std::string::npos) return "";
        text.resize(slash);
    }
    return text + "\\Kavorin.exe";
}

struct FoundWindow {
    DWORD processId;
    HWND window;
};

BOOL CALLBACK FindProgramWindow(HWND window, LPARAM parameter) {
    FoundWindow* found = reinterpret_cast<FoundWindow*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[64] = "";
    GetClassNameA(window, className, sizeof(className));
    if (owner == found->processId && std::string(className) == "Kavorin" && IsWindowVisible(window)) {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForProgramWindow(DWORD processId, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        FoundWindow found = {processId, nullptr};
        EnumWindows(FindProgramWindow, reinterpret_cast<LPARAM>(&found));
        if (found.window != nullptr) return found.window;
        Sleep(50);
    }
    return nullptr;
}

// Escape goes down and stays down until the program has ended (or the wait runs out): the frame loop ends
// on a held key whenever it next looks.
DWORD HoldEscapeUntilExit(HWND window, HANDLE process, DWORD milliseconds) {
    SetForegroundWindow(window);
    INPUT key = {};
    key.type = INPUT_KEYBOARD;
    key.ki.wVk = VK_ESCAPE;
    key.ki.wScan = 1;
    SendInput(1, &key, sizeof(key));
    const DWORD waited = WaitForSingleObject(process, milliseconds);
    key.ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(1, &key, sizeof(key));
    return waited;
}

}  // namespace

TEST(ProgramEntry, ProgramCarriesIconResource101) {
    const std::string program = ProgramPath();
    HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << "cannot open " << program;
    EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(14)), nullptr);  // RT_GROUP_ICON
    FreeLibrary(module);
}

TEST(ProgramEntry, RunsItsWindowUntilClosedOrEscape) {
    enum Ending { kCloseWindow, kHoldEscape };
    for (Ending ending : {kCloseWindow, kHoldEscape}) {
        SCOPED_TRACE(ending == kCloseWindow ? "closing the window" : "holding Escape");
        Watchdog dog("Kavorin.exe run", 90);
        ScratchDirectory scratch;
        const std::string program = ProgramPath();
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(test_process::StartProcess(program.c_str(), std::string(), scratch.path(), &process))
            << "cannot start " << program;

        HWND window = WaitForProgramWindow(process.dwProcessId, 40000);
        EXPECT_NE(window, nullptr) << "no Kavorin window appeared";
        if (window != nullptr) {
            char caption[64] = "";
            GetWindowTextA(window, caption, sizeof(caption));
            EXPECT_STREQ(caption, "Kavorin");
            RECT client;
            GetClientRect(window, &client);
            EXPECT_EQ(client.right, 640);
            EXPECT_EQ(client.bottom, 480);
            Sleep(500);
            EXPECT_EQ(WaitForSingleObject(process.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "ended by itself";
        }
        DWORD waited = WAIT_TIMEOUT;
        if (window != nullptr && ending == kCloseWindow) {
            PostMessageA(window, WM_CLOSE, 0, 0);
            waited = WaitForSingleObject(process.hProcess, 30000);
        } else if (window != nullptr) {
            waited = HoldEscapeUntilExit(window, process.hProcess, 30000);
        }
        DWORD exitCode = 12345;
        if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 7);
        WaitForSingleObject(process.hProcess, 10000);
        GetExitCodeProcess(process.hProcess, &exitCode);
        EXPECT_EQ(waited, static_cast<DWORD>(WAIT_OBJECT_0)) << "the program did not end";
        EXPECT_EQ(exitCode, 0u);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        EXPECT_EQ(scratch.ReadFile("Log.txt"), "") << "the program wrote a log file";
        DWORD attributes = GetFileAttributesA((std::string(scratch.path()) + "\\Log.txt").c_str());
        EXPECT_EQ(attributes, INVALID_FILE_ATTRIBUTES) << "the program made a log file";
    }
}

// The test watchdogs' report: a hung test program ends naming the running test, with stacks that reach the test's
// own code even through a function built without a frame pointer (the code under test is built so on i686).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/hang_report.h"
#include "tests/start_process.h"

namespace {

volatile uintptr_t g_returnIntoCaller = 0;
HANDLE g_entered = nullptr;
HANDLE g_release = nullptr;

// Built without a frame pointer, so a walk that follows frame pointers loses its way here. Notes the address its
// caller resumes at: the frame the report must show.
__attribute__((noinline, optimize("omit-frame-pointer"))) void WaitInsideCallee() {
    g_returnIntoCaller = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
    SetEvent(g_entered);
    WaitForSingleObject(g_release, INFINITE);
}

__attribute__((noinline)) void CallTheWaitingCallee() {
    WaitInsideCallee();
    __asm__ volatile("" ::: "memory");  // not a tail call: the caller's frame stays on the stack
}

DWORD WINAPI WaitingThread(void*) {
    CallTheWaitingCallee();
    return 0;
}

std::string ModuleOffsetOf(uintptr_t address) {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<const char*>(address), &module);
    char path[MAX_PATH] = "?";
    GetModuleFileNameA(module, path, MAX_PATH);
    const char* slash = std::strrchr(path, '\\');
    char text[MAX_PATH + 32];
    std::snprintf(text, sizeof(text), "%s+0x%llx", slash != nullptr ? slash + 1 : path,
                  static_cast<unsigned long long>(address - reinterpret_cast<uintptr_t>(module)));
    return text;
}

std::string ReadWholeFile(HANDLE file) {
    std::string text;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) text.append(buffer, got);
    return text;
}

}  // namespace

TEST(HangReportTest, StackScanFindsTheCallerOfAFunctionWithoutFramePointer) {
    g_entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, &WaitingThread, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(g_entered, 30000), WAIT_OBJECT_0);

    CONTEXT context = {};
    context.ContextFlags = CONTEXT_FULL;
    ASSERT_NE(SuspendThread(thread), static_cast<DWORD>(-1));
    const bool read = GetThreadContext(thread, &context) != 0;
    ResumeThread(thread);
    ASSERT_TRUE(read);
#if defined(__x86_64__)
    const uintptr_t stackPointer = context.Rsp;
#else
    const uintptr_t stackPointer = context.Esp;
#endif
    const uintptr_t stackTop = hang_report::StackTopOf(thread);
    EXPECT_GT(stackTop, stackPointer);
    const std::vector<uintptr_t> found = hang_report::ScanForReturnAddresses(stackPointer, stackTop, 64);
    EXPECT_NE(std::find(found.begin(), found.end(), g_returnIntoCaller), found.end())
        << "no " << ModuleOffsetOf(g_returnIntoCaller) << " among " << found.size() << " return addresses";
    // Data is not taken for code: the events' handles and the context's own stack pointer are no return addresses.
    EXPECT_FALSE(hang_report::FollowsCall(stackPointer));
    EXPECT_FALSE(hang_report::FollowsCall(reinterpret_cast<uintptr_t>(g_release)));

    SetEvent(g_release);
    EXPECT_EQ(WaitForSingleObject(thread, 30000), WAIT_OBJECT_0);
    CloseHandle(thread);
    CloseHandle(g_entered);
    CloseHandle(g_release);
}

// Run only as the child of the test below, with its watchdog set to a few seconds: hangs for good.
TEST(HangReportChild, DISABLED_HangsBelowAFunctionWithoutFramePointer) {
    g_entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, &WaitingThread, nullptr, 0, nullptr);
    WaitForSingleObject(g_entered, INFINITE);
    std::printf("hang child: the caller resumes at %s\n", ModuleOffsetOf(g_returnIntoCaller).c_str());
    std::fflush(stdout);
    WaitForSingleObject(thread, INFINITE);
}

TEST(HangReportTest, ProgramWatchdogNamesTheHungTestAndReachesItsCode) {
    char program[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, program, MAX_PATH), 0u);
    char folder[MAX_PATH], outputPath[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    ASSERT_NE(GetTempFileNameA(folder, "khr", 0, outputPath), 0u);
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE output = CreateFileA(outputPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                nullptr);
    ASSERT_NE(output, INVALID_HANDLE_VALUE);

    char previous[32] = "";
    const bool hadPrevious = GetEnvironmentVariableA("KAVORIN_WATCHDOG_SECONDS", previous, sizeof(previous)) > 0;
    SetEnvironmentVariableA("KAVORIN_WATCHDOG_SECONDS", "3");
    const std::string line = std::string("\"") + program +
                             "\" --gtest_color=no --gtest_also_run_disabled_tests"
                             " --gtest_filter=HangReportChild.DISABLED_HangsBelowAFunctionWithoutFramePointer";
    PROCESS_INFORMATION process = {};
    const bool started = test_process::StartProcess(program, line, nullptr, &process, output);
    SetEnvironmentVariableA("KAVORIN_WATCHDOG_SECONDS", hadPrevious ? previous : nullptr);
    ASSERT_TRUE(started) << "error " << GetLastError();

    // Bounded only to catch a watchdog that never fires; the child's own limit is 3 seconds.
    const bool ended = WaitForSingleObject(process.hProcess, 300000) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(process.hProcess, 99);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const std::string text = ReadWholeFile(output);
    CloseHandle(output);

    ASSERT_TRUE(ended) << text;
    EXPECT_EQ(exitCode, 3u) << text;
    const size_t report = text.find(
        "watchdog: test program still running after 3 s in test "
        "HangReportChild.DISABLED_HangsBelowAFunctionWithoutFramePointer");
    ASSERT_NE(report, std::string::npos) << text;
    const std::string marker = "hang child: the caller resumes at ";
    const size_t noted = text.find(marker);
    ASSERT_NE(noted, std::string::npos) << text;
    std::string frame = text.substr(noted + marker.size(), text.find('\n', noted) - noted - marker.size());
    if (!frame.empty() && frame.back() == '\r') frame.pop_back();
    EXPECT_NE(text.find(" " + frame, report), std::string::npos) << "no frame " << frame << " in the report:\n"
                                                                 << text;
}

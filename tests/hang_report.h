// What a test watchdog prints before it ends a hung test program, so that CI's log shows where the program stood:
// the test that was running and a stack of every thread: address, module and offset, and the function with file and
// line where this Wine's debug helper reads them (it does for its own modules). Frames in the test program resolve
// with `<arch>-w64-mingw32-addr2line -f -C -e <program> <address>`.
// Each thread is stopped only while its registers are read; its stack is walked after it runs on, so that a thread
// holding the heap's or the loader's lock cannot stop the report itself. The report has a time limit of its own.
#pragma once

#include <windows.h>

#include <dbghelp.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace hang_report {

inline std::string RunningTestName() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (info == nullptr) return "(no test running)";
    return std::string(info->test_suite_name()) + "." + info->name();
}

inline void PrintFrame(HANDLE process, DWORD64 address) {
    char symbolSpace[sizeof(SYMBOL_INFO) + 256] = {};
    SYMBOL_INFO* symbol = reinterpret_cast<SYMBOL_INFO*>(symbolSpace);
    symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
    symbol->MaxNameLen = 255;
    DWORD64 symbolOffset = 0;
    char module[MAX_PATH] = "?";
    const DWORD64 base = SymGetModuleBase64(process, address);
    if (base != 0) {
        char path[MAX_PATH];
        if (GetModuleFileNameA(reinterpret_cast<HMODULE>(static_cast<uintptr_t>(base)), path, MAX_PATH) > 0) {
            const char* slash = std::strrchr(path, '\\');
            std::snprintf(module, sizeof(module), "%s", slash != nullptr ? slash + 1 : path);
        }
    }
    std::fprintf(stderr, "    %016llx %s+0x%llx", static_cast<unsigned long long>(address), module,
                 static_cast<unsigned long long>(address - base));
    if (SymFromAddr(process, address, &symbolOffset, symbol)) {
        std::fprintf(stderr, " %s+0x%llx", symbol->Name, static_cast<unsigned long long>(symbolOffset));
        IMAGEHLP_LINE64 line = {};
        line.SizeOfStruct = sizeof(line);
        DWORD lineOffset = 0;
        if (SymGetLineFromAddr64(process, address, &lineOffset, &line)) {
            std::fprintf(stderr, " (%s:%lu)", line.FileName, static_cast<unsigned long>(line.LineNumber));
        }
    }
    std::fputc('\n', stderr);
}

inline void PrintStack(HANDLE process, HANDLE thread, CONTEXT context) {
    STACKFRAME64 frame = {};
#if defined(_M_X64) || defined(__x86_64__)
    const DWORD machine = IMAGE_FILE_MACHINE_AMD64;
    frame.AddrPC.Offset = context.Rip;
    frame.AddrFrame.Offset = context.Rbp;
    frame.AddrStack.Offset = context.Rsp;
#else
    const DWORD machine = IMAGE_FILE_MACHINE_I386;
    frame.AddrPC.Offset = context.Eip;
    frame.AddrFrame.Offset = context.Ebp;
    frame.AddrStack.Offset = context.Esp;
#endif
    frame.AddrPC.Mode = AddrModeFlat;
    frame.AddrFrame.Mode = AddrModeFlat;
    frame.AddrStack.Mode = AddrModeFlat;
    for (int depth = 0; depth < 40; ++depth) {
        if (!StackWalk64(machine, process, thread, &frame, &context, nullptr, SymFunctionTableAccess64,
                         SymGetModuleBase64, nullptr) ||
            frame.AddrPC.Offset == 0) {
            break;
        }
        PrintFrame(process, frame.AddrPC.Offset);
    }
}

inline DWORD WINAPI PrintThreads(void*) {
    const HANDLE process = GetCurrentProcess();
    SymSetOptions(SYMOPT_UNDNAME | SYMOPT_LOAD_LINES | SYMOPT_DEFERRED_LOADS);
    SymInitialize(process, nullptr, TRUE);
    const DWORD self = GetCurrentThreadId();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId() || entry.th32ThreadID == self) continue;
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE,
                                   entry.th32ThreadID);
        if (thread == nullptr) continue;
        CONTEXT context = {};
        context.ContextFlags = CONTEXT_FULL;
        bool read = false;
        if (SuspendThread(thread) != static_cast<DWORD>(-1)) {
            read = GetThreadContext(thread, &context) != 0;
            ResumeThread(thread);
        }
        std::fprintf(stderr, "  thread %lu:\n", static_cast<unsigned long>(entry.th32ThreadID));
        if (read) PrintStack(process, thread, context);
        std::fflush(stderr);
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
    SymCleanup(process);
    return 0;
}

// Prints what the watchdog saw and ends the program with `exitCode`. Called on the watchdog's own thread.
[[noreturn]] inline void ReportAndExit(const char* what, unsigned long seconds, UINT exitCode) {
    char program[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::fprintf(stderr, "watchdog: %s still running after %lu s in test %s of %s; stacks of its threads:\n", what,
                 seconds, RunningTestName().c_str(), program);
    std::fflush(stderr);
    HANDLE printer = CreateThread(nullptr, 0, &PrintThreads, nullptr, 0, nullptr);
    if (printer != nullptr && WaitForSingleObject(printer, 60000) == WAIT_TIMEOUT) {
        std::fprintf(stderr, "watchdog: the stacks took too long; ending without the rest\n");
    }
    std::fprintf(stderr, "watchdog: ending the test program\n");
    std::fflush(stderr);
    ExitProcess(exitCode);
}

}  // namespace hang_report

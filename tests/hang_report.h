// What a test watchdog prints before it ends a hung test program, so that CI's log shows where the program stood:
// the test that was running and a stack of every thread: address, module and offset, and the function with file and
// line where this Wine's debug helper reads them (it does for its own modules). Frames in the test program resolve
// with `<arch>-w64-mingw32-addr2line -f -C -e <program> <address>`.
// Each thread is stopped only while its registers are read; its stack is walked after it runs on, so that a thread
// holding the heap's or the loader's lock cannot stop the report itself. The report has a time limit of its own.
// The system's walker follows the frame-pointer chain on i686, which ends at the first function built without one
// (the code under test is); there, and wherever a walk gives little, the thread's stack is also scanned for return
// addresses: words that point just past a call instruction in a loaded module's code.
#pragma once

#include <windows.h>

#include <dbghelp.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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

// Whether `address` lies in executable memory of a loaded module and just past a call instruction there: the
// forms compilers emit for direct, register and memory calls.
inline bool FollowsCall(uintptr_t address) {
    MEMORY_BASIC_INFORMATION info;
    if (address < 8 || VirtualQuery(reinterpret_cast<void*>(address - 7), &info, sizeof(info)) == 0) return false;
    const DWORD executable = PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    if (info.State != MEM_COMMIT || info.Type != MEM_IMAGE || (info.Protect & executable) == 0) return false;
    const uintptr_t regionEnd = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    if (address > regionEnd) return false;  // the 7 bytes before it must lie in the same code region
    const unsigned char* code = reinterpret_cast<const unsigned char*>(address);
    if (code[-5] == 0xE8) return true;                                       // call rel32
    if (code[-2] == 0xFF && (code[-1] & 0xF8) == 0xD0) return true;          // call reg
    if (code[-3] == 0xFF && (code[-2] & 0xF8) == 0x50) return true;          // call [reg+disp8]
    if (code[-6] == 0xFF && (code[-5] == 0x15 || (code[-5] & 0xF8) == 0x90)) return true;  // call [mem], [reg+disp32]
    if (code[-3] == 0xFF && code[-2] == 0x14) return true;                   // call [base+index*scale]
    if (code[-4] == 0xFF && code[-3] == 0x54) return true;                   // call [base+index*scale+disp8]
    if (code[-2] == 0xFF && (code[-1] & 0xF8) == 0x10) return true;          // call [reg]
    return false;
}

// The return addresses on a thread's stack between `stackPointer` and the stack's top end, innermost first, at most
// `limit`. Stale ones from calls already returned may be among them.
// The stack is copied first (at most its innermost megabyte): the thread runs on meanwhile, and a copy that fails
// leaves the report without a scan instead of ending it.
inline std::vector<uintptr_t> ScanForReturnAddresses(uintptr_t stackPointer, uintptr_t stackTop, size_t limit) {
    std::vector<uintptr_t> found;
    const uintptr_t start = stackPointer & ~static_cast<uintptr_t>(sizeof(void*) - 1);
    if (stackTop <= start) return found;
    std::vector<uintptr_t> words(std::min<uintptr_t>(stackTop - start, 1 << 20) / sizeof(void*));
    SIZE_T copied = 0;
    if (words.empty() || !ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<void*>(start), words.data(),
                                            words.size() * sizeof(void*), &copied)) {
        return found;
    }
    for (size_t i = 0; i < copied / sizeof(void*) && found.size() < limit; ++i) {
        if (FollowsCall(words[i])) found.push_back(words[i]);
    }
    return found;
}

// The top end (highest address) of a thread's stack, from its thread information block; 0 when unknown.
inline uintptr_t StackTopOf(HANDLE thread) {
    using QueryThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    struct BasicInformation {
        LONG exitStatus;
        void* tebBaseAddress;
        void* clientIdProcess;
        void* clientIdThread;
        ULONG_PTR affinityMask;
        LONG priority;
        LONG basePriority;
    };
    static const QueryThread query = reinterpret_cast<QueryThread>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
    BasicInformation basic = {};
    if (query == nullptr || query(thread, 0 /* ThreadBasicInformation */, &basic, sizeof(basic), nullptr) != 0 ||
        basic.tebBaseAddress == nullptr) {
        return 0;
    }
    return reinterpret_cast<uintptr_t>(static_cast<NT_TIB*>(basic.tebBaseAddress)->StackBase);
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
    const uintptr_t stackPointer = static_cast<uintptr_t>(frame.AddrStack.Offset);
    int walked = 0;
    for (; walked < 40; ++walked) {
        if (!StackWalk64(machine, process, thread, &frame, &context, nullptr, SymFunctionTableAccess64,
                         SymGetModuleBase64, nullptr) ||
            frame.AddrPC.Offset == 0) {
            break;
        }
        PrintFrame(process, frame.AddrPC.Offset);
    }
#if defined(_M_X64) || defined(__x86_64__)
    const bool scan = walked < 4;  // the 64-bit walk follows the modules' unwind tables
#else
    const bool scan = true;
#endif
    const uintptr_t stackTop = StackTopOf(thread);
    if (!scan || stackTop <= stackPointer) return;
    std::fprintf(stderr, "    return addresses found on its stack (a scan; stale ones may be among them):\n");
    for (uintptr_t address : ScanForReturnAddresses(stackPointer, stackTop, 40)) PrintFrame(process, address);
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

// Linked into every test program: a watchdog that ends the program, saying which test was running and where every
// thread stood, before ctest's time limit would kill it without a word. ctest sets KAVORIN_WATCHDOG_SECONDS a few
// minutes under its limit (the time before the program starts: the display, the Wine prefix, Wine itself); without
// it the watchdog stays off. Tests with a watchdog of their own keep it: those end a hung case much sooner.
#include <windows.h>

#include <cstdlib>

#include "tests/hang_report.h"

namespace {

DWORD WINAPI EndHungProgram(void* parameter) {
    const DWORD seconds = static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameter));
    Sleep(seconds * 1000);
    hang_report::ReportAndExit("test program", seconds, 3);
}

// Started before main, so that a program hung in its start-up is reported too.
const bool started = [] {
    const char* text = std::getenv("KAVORIN_WATCHDOG_SECONDS");
    const long seconds = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    if (seconds <= 0) return false;
    HANDLE thread = CreateThread(nullptr, 0, &EndHungProgram, reinterpret_cast<void*>(static_cast<uintptr_t>(seconds)),
                                 0, nullptr);
    if (thread == nullptr) return false;
    CloseHandle(thread);
    return true;
}();

}  // namespace

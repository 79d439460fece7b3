// Shared pieces of the lock, start-up, window and pump tests: a watchdog that ends a hung test process with
// a message instead of letting it hang CI, a scratch directory that becomes the current (log) directory,
// and a reader for the runtime's log file.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/hang_report.h"

class Watchdog {
public:
    Watchdog(const char* what, DWORD seconds) : what_(what), seconds_(seconds) {
        done_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, &Watchdog::Run, this, 0, nullptr);
    }
    ~Watchdog() {
        SetEvent(done_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        CloseHandle(done_);
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    static DWORD WINAPI Run(LPVOID self) {
        Watchdog* dog = static_cast<Watchdog*>(self);
        if (WaitForSingleObject(dog->done_, dog->seconds_ * 1000) == WAIT_TIMEOUT) {
            hang_report::ReportAndExit(dog->what_, dog->seconds_, 3);
        }
        return 0;
    }
    const char* what_;
    DWORD seconds_;
    HANDLE done_;
    HANDLE thread_;
};

// A fresh directory under the system's temporary folder, made the current directory for the object's life.
class ScratchDirectory {
public:
    ScratchDirectory() {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        GetCurrentDirectoryA(MAX_PATH, previous_);
        for (unsigned attempt = 0; attempt < 1000; ++attempt) {
            std::snprintf(path_, sizeof(path_), "%skv_window_%lu_%u", base, GetCurrentProcessId(),
                          static_cast<unsigned>(GetTickCount() + attempt));
            if (CreateDirectoryA(path_, nullptr)) break;
        }
        SetCurrentDirectoryA(path_);
    }
    ~ScratchDirectory() {
        SetCurrentDirectoryA(previous_);
        char pattern[MAX_PATH + 4];
        std::snprintf(pattern, sizeof(pattern), "%s\\*", path_);
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA(pattern, &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                char file[2 * MAX_PATH];
                std::snprintf(file, sizeof(file), "%s\\%s", path_, found.cFileName);
                DeleteFileA(file);
            } while (FindNextFileA(find, &found));
            FindClose(find);
        }
        RemoveDirectoryA(path_);
    }
    const char* path() const { return path_; }
    // The whole content of a file in this directory ("" when it cannot be read).
    std::string ReadFile(const char* name) const {
        char file[2 * MAX_PATH];
        std::snprintf(file, sizeof(file), "%s\\%s", path_, name);
        std::string text;
        FILE* stream = std::fopen(file, "rb");
        if (!stream) return text;
        char buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof(buffer), stream)) > 0) text.append(buffer, got);
        std::fclose(stream);
        return text;
    }

private:
    char previous_[MAX_PATH];
    char path_[MAX_PATH];
};

#include <gtest/gtest.h>

#include "runtime/log.h"
#include "runtime/memory.h"
#include "runtime/runtime.h"
#include "runtime/startup.h"
#include "runtime/window.h"

// A library test starts from the settings the game uses (window mode, caption "Kavorin", log on) in a
// scratch directory that receives the log file, and always ends with the library shut down.
class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLibraryNoWindow(0);
        SetLibraryNoInput(0);
        SetLibraryNoSound(0);
        SetLibraryNoGraphics(0);
        SetAllowDoubleStart(0);
        ChangeWindowMode(1);
        SetWindowCaption("Kavorin");
        SetWindowIcon(0);
        SetLogFileEnabled(1);
        baselineBlocks_ = GetTrackedAllocCount();
    }
    void TearDown() override {
        if (IsLibraryRunning() || GetMainHwnd() != nullptr) ShutDownLibrary();
        SetLibraryNoWindow(0);
        SetLibraryNoInput(0);
        SetLibraryNoSound(0);
        SetLibraryNoGraphics(0);
    }
    std::string Log() const { return scratch_.ReadFile("Log.txt"); }
    // Position of each text in the log, one after the other; fails the test at the first text missing.
    void ExpectInOrder(const std::vector<std::string>& texts) const {
        const std::string log = Log();
        size_t from = 0;
        for (const std::string& text : texts) {
            const size_t at = log.find(text, from);
            ASSERT_NE(at, std::string::npos) << "not found in order in the log: " << text;
            from = at + text.size();
        }
    }
    bool LogHas(const std::string& text) const { return Log().find(text) != std::string::npos; }

    Watchdog dog_{"library test", 120};
    ScratchDirectory scratch_;
    int baselineBlocks_ = 0;
};

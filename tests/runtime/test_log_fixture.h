// Shared fixture for tests that look at what the log wrote: a private temp folder as the log
// directory, the file opened fresh, and every log setting put back afterwards.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "runtime/log.h"

class LogFileTest : public ::testing::Test {
   protected:
    static constexpr const char* kChildLogDirVariable = "KAVORIN_TEST_LOG_DIR";
    // Makes child processes started from here log into this test's folder.
    void ShareDirectoryWithChildren(bool share) {
        SetEnvironmentVariableA(kChildLogDirVariable, share ? directory_.c_str() : nullptr);
    }
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
        static int counter = 0;
        directory_ = std::string(temp) + "kvlog_" + std::to_string(GetCurrentProcessId()) + "_" +
                     std::to_string(++counter);
        // A death-test child writes into its parent's folder, named through the environment.
        char inherited[MAX_PATH];
        DWORD n = GetEnvironmentVariableA(kChildLogDirVariable, inherited, MAX_PATH);
        if (n > 0 && n < MAX_PATH) directory_ = inherited;
        CreateDirectoryA(directory_.c_str(), nullptr);
        SetLogDirectory(directory_.c_str());
        SetLogFileEnabledImpl(1);
        SetLogNoTimeStamp(1);
        OpenLogFile();
    }
    void TearDown() override {
        DeleteFileA(LogPath().c_str());
        RemoveDirectoryA(directory_.c_str());
        SetLogDirectory("");
        SetLogNoTimeStamp(0);
        SetLogDateStampedName(0);
        SetLogToDebuggerOnly(0);
        while (GetLogIndent() > 0) LogIndentOut();
    }
    std::string LogPath() const { return directory_ + "\\" + GetLogFileName(); }
    std::string ReadLog() const { return ReadFile(LogPath()); }
    static std::string ReadFile(const std::string& path) {
        std::string content;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return "<missing>";
        char buffer[4096];
        DWORD got = 0;
        while (::ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) content.append(buffer, got);
        CloseHandle(file);
        return content;
    }
    // Starts the file again, so a test looks only at what follows.
    void ResetLog() { OpenLogFile(); }

    std::string directory_;
};

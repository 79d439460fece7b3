// Base fixture of the tests that play through the real DirectSound: the sound system started once
// per suite, a private temporary folder for the files a test writes, and the handle count before
// the test so leaks show.
#pragma once

#include <stdio.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "runtime/test_log_fixture.h"
#include "sound/sound.h"
#include "sound/sound_handle.h"
#include "sound/sound_system.h"
#include "sound/sound_test_util.h"

class DirectSoundTest : public LogFileTest {
   protected:
    // `folderPrefix` keeps the suites' temporary folders apart.
    explicit DirectSoundTest(const char* folderPrefix) : folderPrefix_(folderPrefix) {}

    static void SetUpTestSuite() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        started_ = InitSoundSystem();
    }
    static void TearDownTestSuite() {
        TerminateSoundSystem();
        CoUninitialize();
    }
    void SetUp() override {
        LogFileTest::SetUp();
        ASSERT_EQ(0, started_) << "DirectSound did not start";
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + folderPrefix_ + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder_.c_str(), nullptr);
        handlesBefore_ = GetSoundHandleCount();
    }
    void TearDown() override {
        ReleaseAllSounds(0);
        for (const std::string& path : written_) DeleteFileA(path.c_str());
        RemoveDirectoryA(folder_.c_str());
        LogFileTest::TearDown();
    }
    // Writes `bytes` to `name` in the test's folder; the file goes at tear-down.
    std::string WriteTemp(const char* name, const Bytes& bytes) {
        std::string path = folder_ + "\\" + name;
        FILE* file = fopen(path.c_str(), "wb");
        if (file) {
            fwrite(bytes.data(), 1, bytes.size(), file);
            fclose(file);
        }
        written_.push_back(path);
        return path;
    }

    static inline int started_ = -1;
    const char* folderPrefix_;
    std::string folder_;
    std::vector<std::string> written_;
    int handlesBefore_ = 0;
};

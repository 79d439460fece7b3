// What the game tests share: live graph and sound counts, a child process run under a watchdog, and the
// generated pictures' table.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "graphics/graph.h"
#include "sound/sound_handle.h"
#include "tests/game_support/game_stepper.h"
#include "tests/hang_report.h"
#include "tools/resgen/picture_table.h"

inline int LiveGraphCount() {
    int live = 0, endMark = 0, nextCheckId = 0;
    GetGraphTableState(&live, &endMark, &nextCheckId);
    return live;
}

inline int LiveSoundCount() { return GetSoundHandleCount(); }

// Ends the process with code 3 once the seconds in `parameter` have passed, saying where it stood.
inline DWORD WINAPI GameTestWatchdog(void* parameter) {
    const DWORD seconds = static_cast<DWORD>(reinterpret_cast<intptr_t>(parameter));
    Sleep(seconds * 1000);
    hang_report::ReportAndExit("game test child", seconds, 3);
}

// Runs `check` in a child process (the runtime starts and shuts down once per process in these tests' eyes)
// under a watchdog; the child's first problem, or "" for none, decides the result.
inline void ExpectChildPasses(int seconds, const std::function<std::string()>& check) {
    EXPECT_EXIT(
        {
            HANDLE timer = CreateThread(nullptr, 0, &GameTestWatchdog,
                                        reinterpret_cast<void*>(static_cast<intptr_t>(seconds)), 0, nullptr);
            (void)timer;
            const std::string problem = check();
            fprintf(stderr, "%s\n", problem.c_str());
            fflush(stderr);
            ExitProcess(problem.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// One stepped game on the folder tree for a whole suite, since starting the runtime costs more than most tests;
// when the suite ends it parks the game for the next suite that takes one.
class SteppedGameTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { game = TakeGameStepper(ResourceTree::kFolders); }
    static void TearDownTestSuite() {
        ParkGameStepper(game);
        game = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(game->started()); }

    static inline GameStepper* game = nullptr;
};

// Colour closeness per channel (a 16-bit screen and JPEG both shift flat colours a little).
inline bool NearColour(uint32_t a, uint32_t b, int tolerance) {
    for (int shift = 0; shift <= 16; shift += 8) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (d > tolerance || d < -tolerance) return false;
    }
    return true;
}

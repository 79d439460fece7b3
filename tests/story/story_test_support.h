// Shared checks of the story tests: every test ends with no release refused and with the live graph and sound
// counts back where they started.
#pragma once

#include <gtest/gtest.h>

#include "graphics/graph.h"
#include "sound/sound_handle.h"
#include "sound/sound_system.h"
#include "story/story_release.h"

struct StoryHandleCounts {
    int graphs = 0;
    int sounds = 0;
};

inline StoryHandleCounts CountStoryHandles() {
    StoryHandleCounts counts;
    GetGraphTableState(&counts.graphs, nullptr, nullptr);
    counts.sounds = GetSoundHandleCount();
    return counts;
}

// Also clears the refused-release count, so the test that follows starts clean.
inline void ExpectStoryHandlesBack(const StoryHandleCounts& before) {
    const StoryHandleCounts now = CountStoryHandles();
    EXPECT_EQ(before.graphs, now.graphs) << "live graphs";
    EXPECT_EQ(before.sounds, now.sounds) << "live sounds";
    EXPECT_EQ(0, storyRefusedReleases()) << "releases refused";
    resetStoryRefusedReleases();
}

#include <memory>

#include "game/scene.h"
#include "tests/game_support/game_stepper.h"

// One running game for a whole test suite: starting the runtime and loading the common group once keeps the
// suite fast. Each test starts its scene through the ordinary switch.
class StoryGameTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { game_ = new GameStepper(ResourceTree::kFolders); }
    static void TearDownTestSuite() {
        delete game_;
        game_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(game_ != nullptr && game_->started());
        resetStoryRefusedReleases();
    }

    static GameStepper& game() { return *game_; }

    template <class SceneType>
    static SceneType* current() {
        return dynamic_cast<SceneType*>(game_->controller().currentScene().get());
    }

    // Steps with no input until the predicate holds; false after `limit` frames.
    template <class Predicate>
    static bool idleUntil(Predicate done, int limit) {
        for (int i = 0; i < limit; ++i) {
            if (done()) return true;
            game_->step();
        }
        return done();
    }

    static inline GameStepper* game_ = nullptr;
};

// The DirectSound volume (hundredths of a decibel) of a sound handle's first buffer; 1 when it cannot be read.
inline long DirectSoundVolume(int handle) {
    SoundData* data = GetSoundData(handle);
    if (data == nullptr) return 1;
    LONG volume = 1;
    if (SoundBufferGetVolume(&data->buffers[0], &volume) != 0) return 1;
    return volume;
}

// The options screen's display switch. The real switch runs only on a 640 x 480 screen (its own Xvfb, started by
// the test script for these cases alone): a larger X screen refuses 640 x 480 and the runtime's re-set path would
// end the process. The failed switch is forced through the options screen's seam for the mode-change call.
#include <gtest/gtest.h>

#include <windows.h>

#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "game/shell/options.h"
#include "runtime/window.h"
#include "story/scene_option.h"
#include "story/story_sound.h"
#include "story_test_support.h"
#include "tests/game_support/runtime_font_graphs.h"

namespace {

class DisplaySwitchTest : public StoryGameTest {
protected:
    // A switch deletes every graph, the fonts' glyph caches among them: a game left so would hand the next suite
    // counts that grow as the fonts draw again. These cases end their game instead of parking it.
    static void TearDownTestSuite() {
        delete game_;
        game_ = nullptr;
    }
    void TearDown() override {
        SceneOption::setChangeModeForTest(nullptr);
        resetOptionValues();
    }

    SceneOption* displayRow() {
        game().startScene(std::make_shared<SceneOption>(game().loaderPointer()));
        game().step(kButtonDown);
        game().step();
        SceneOption* scene = current<SceneOption>();
        EXPECT_NE(nullptr, scene);
        if (scene != nullptr) {
            EXPECT_EQ(SceneOption::kDisplay, scene->row());
        }
        return scene;
    }
    void press(int bits) {
        game().step(bits);
        game().step();
    }
    bool titleMusicPlaying() { return soundIsPlaying(game().loader().sound(0)); }
};

int g_fullScreenRequests = 0;
// Refuses every switch to full screen, as a runtime whose display change failed; window requests change nothing.
int RefuseFullScreenForTest(int windowed) {
    if (windowed) return 0;
    ++g_fullScreenRequests;
    return -1;
}

TEST_F(DisplaySwitchTest, RealSwitchToFullScreenAndBack) {
    if (GetSystemMetrics(SM_CXSCREEN) != 640 || GetSystemMetrics(SM_CYSCREEN) != 480) {
        GTEST_SKIP() << "needs a 640x480 X screen (run by the test script on its own Xvfb)";
    }
    ASSERT_NE(nullptr, displayRow());
    int graphsBefore = 0;
    GetGraphTableState(&graphsBefore, nullptr, nullptr);
    const int fontGraphsBefore = RuntimeFontGraphCount();
    const int titleBefore = game().loader().image(408);

    press(kButtonLeft);
    EXPECT_TRUE(fullScreenMode);
    EXPECT_EQ(0, IsWindowMode());
    EXPECT_NE(titleBefore, game().loader().image(408)) << "the common group is loaded anew";
    EXPECT_TRUE(titleMusicPlaying());
    // The mode change deleted every font with every graph; the base font is made again at once, the log's only
    // for its next line.
    EXPECT_EQ(1, LiveRuntimeFontCount());
    ExpectGraphsBackAfterSwitch(game().loader(), graphsBefore, fontGraphsBefore, "in full screen");
    EXPECT_EQ(2, LiveRuntimeFontCount());

    // Left again while in full screen: no switch, no reload.
    const int titleFull = game().loader().image(408);
    press(kButtonLeft);
    EXPECT_TRUE(fullScreenMode);
    EXPECT_EQ(titleFull, game().loader().image(408));

    press(kButtonRight);
    EXPECT_FALSE(fullScreenMode);
    EXPECT_EQ(1, IsWindowMode());
    EXPECT_NE(titleFull, game().loader().image(408));
    EXPECT_TRUE(titleMusicPlaying());
    ExpectGraphsBackAfterSwitch(game().loader(), graphsBefore, fontGraphsBefore, "back in the window");
    EXPECT_EQ(0, storyRefusedReleases());
}

TEST_F(DisplaySwitchTest, FailedSwitchKeepsTheWindowAndReloadsTheCommonGroup) {
    ASSERT_NE(nullptr, displayRow());
    SceneOption::setChangeModeForTest(&RefuseFullScreenForTest);
    g_fullScreenRequests = 0;
    int graphsBefore = 0;
    GetGraphTableState(&graphsBefore, nullptr, nullptr);
    const int titleBefore = game().loader().image(408);
    press(kButtonLeft);
    EXPECT_EQ(1, g_fullScreenRequests);
    EXPECT_FALSE(fullScreenMode);
    EXPECT_NE(titleBefore, game().loader().image(408));
    EXPECT_TRUE(titleMusicPlaying());
    int graphs = 0;
    GetGraphTableState(&graphs, nullptr, nullptr);
    EXPECT_EQ(graphsBefore, graphs);
    // Still in window mode, so left tries again.
    press(kButtonLeft);
    EXPECT_EQ(2, g_fullScreenRequests);
}

}  // namespace

// The scene switch through the real controller: the order of update, release, load and drop; the new scene's
// first update in the next frame; a successor and the end flag in one frame; the title replaced by a new title.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "game/shell/loader.h"
#include "game/shell/scene.h"
#include "story/scene_title.h"
#include "tests/game/game_test_util.h"

namespace {

std::vector<std::string> events;

// Writes every call into `events`; offers `next` (and optionally ends the game) on its update when told to.
class RecordingScene : public Scene {
public:
    RecordingScene(std::string name, std::shared_ptr<Loader> loader) : Scene(std::move(loader)), name_(name) {}
    ~RecordingScene() override { events.push_back(name_ + ".destroyed"); }

    void update() override {
        events.push_back(name_ + ".update");
        if (offer_) setNextScene(std::move(offer_));
        if (endGame_) gameEndFlag = -1;
        draw();
    }
    void loadResources(bool release) override { events.push_back(name_ + (release ? ".release" : ".load")); }
    void draw() override { events.push_back(name_ + ".draw"); }

    void offerOnNextUpdate(std::shared_ptr<Scene> next, bool endGame = false) {
        offer_ = std::move(next);
        endGame_ = endGame;
    }

private:
    std::string name_;
    std::shared_ptr<Scene> offer_;
    bool endGame_ = false;
};

using Events = std::vector<std::string>;

// One started game for all: each test first makes a fresh title current through the ordinary switch.
class SceneControllerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { game_ = TakeGameStepper(); }
    static void TearDownTestSuite() {
        ParkGameStepper(game_);
        game_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(game_->started());
        game_->startScene(std::make_shared<SceneTitle>(game_->loaderPointer()));
        events.clear();
    }
    void TearDown() override { gameEndFlag = 0; }
    static GameStepper* game_;
};
GameStepper* SceneControllerTest::game_ = nullptr;

TEST_F(SceneControllerTest, SwitchOrderAndFirstFrameOfTheNewScene) {
    GameStepper& game = *game_;
    auto a = std::make_shared<RecordingScene>("A", game.loaderPointer());
    auto b = std::make_shared<RecordingScene>("B", game.loaderPointer());
    std::weak_ptr<RecordingScene> watchA = a;
    RecordingScene* rawB = b.get();

    EXPECT_EQ(0, game.startScene(a));
    EXPECT_EQ(Events({"A.load"}), events);  // the title's update ran, then A's group was loaded; no update of A
    EXPECT_EQ(a, game.controller().currentScene());

    a->offerOnNextUpdate(std::move(b));
    a.reset();
    events.clear();
    EXPECT_EQ(0, game.step());
    // The old scene finished its frame, released its group before the new one loaded, and went last.
    EXPECT_EQ(Events({"A.update", "A.draw", "A.release", "B.load", "A.destroyed"}), events);
    EXPECT_TRUE(watchA.expired());
    EXPECT_EQ(rawB, game.controller().currentScene().get());

    events.clear();
    EXPECT_EQ(0, game.step());
    EXPECT_EQ(Events({"B.update", "B.draw"}), events);  // the new scene's first frame is the next update
}

TEST_F(SceneControllerTest, SuccessorAndEndFlagInOneFrameSwitchThenEnd) {
    GameStepper& game = *game_;
    auto a = std::make_shared<RecordingScene>("A", game.loaderPointer());
    RecordingScene* rawA = a.get();
    game.startScene(std::move(a));
    auto c = std::make_shared<RecordingScene>("C", game.loaderPointer());
    RecordingScene* rawC = c.get();
    rawA->offerOnNextUpdate(std::move(c), true);
    events.clear();
    EXPECT_EQ(-1, game.step());
    EXPECT_EQ(Events({"A.update", "A.draw", "A.release", "C.load", "A.destroyed"}), events);
    EXPECT_EQ(rawC, game.controller().currentScene().get());
    EXPECT_EQ(-1, game.controller().update()) << "the flag stays until someone clears it";
}

TEST_F(SceneControllerTest, TitleReplacedByANewTitle) {
    GameStepper& game = *game_;
    std::weak_ptr<Scene> first = game.controller().currentScene();
    ASSERT_NE(nullptr, dynamic_cast<SceneTitle*>(first.lock().get())) << "the title is current";
    EXPECT_EQ(0, game.startScene(std::make_shared<SceneTitle>(game.loaderPointer())));
    EXPECT_TRUE(first.expired()) << "the old title is dropped by the switch";
    ASSERT_NE(nullptr, dynamic_cast<SceneTitle*>(game.controller().currentScene().get()));

    // The new title fades in over the title picture at (0, 0).
    for (int i = 0; i < 60; ++i) ASSERT_EQ(0, game.step());
    const PictureRow* title = FindPictureRowForEntry(408);
    ASSERT_NE(nullptr, title);
    int x = 0, y = 0;
    PictureSamplePoint(*title, &x, &y);
    EXPECT_TRUE(NearColour(PictureCellColour(*title, 0), game.pixel(x, y), 24));
}

}  // namespace

// Deterministic stepping of the real game for tests (test_game, test_story and later ones link this library).
//
// A GameStepper starts the runtime in a window on one of the two generated resource trees (folders, or archives
// only), switches the game to a stepped clock (12 ms a step) and scripted input, builds the real SceneController
// through the program's own set-up, seeds random numbers with kStepperSeed and steps the program's own frame
// body: no 12 ms wait, and no presenting unless asked. After a step the back screen holds what the scene drew and
// can be read as 640x480 RGB; when the test has failed by the time the stepper goes, that screen is written to
// <build>/test-screens/<suite>.<test>.png.
//
//     GameStepper game(ResourceTree::kFolders);
//     ASSERT_TRUE(game.started());
//     game.startScene(std::make_shared<MyScene>(game.loaderPointer()));  // through the ordinary switch
//     game.step(kButtonFirst, 0);  // this step's update sees side 0 pressing the first button
//     EXPECT_EQ(0xFF0000u, game.pixel(10, 10));
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "game/shell/frame.h"

class Loader;
class Scene;
class SceneController;

enum class ResourceTree { kFolders, kArchives };

// The folder holding res/ and add/ (kFolders) or only res.Qzm and add.Qzm (kArchives), as a Windows path; empty
// when the test environment does not say where the build is.
std::string ResourceTreePath(ResourceTree tree);

constexpr int kStepperSeed = 20261210;
constexpr int kStepperClockStart = 100000;
constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;

struct StepInput {
    int side0 = 0;
    int side1 = 0;
};

class GameStepper {
public:
    explicit GameStepper(ResourceTree tree = ResourceTree::kFolders);
    ~GameStepper();

    GameStepper(const GameStepper&) = delete;
    GameStepper& operator=(const GameStepper&) = delete;

    // False when the tree is missing or the runtime did not start (the reason is added as a test failure).
    bool started() const { return started_; }

    SceneController& controller();
    Loader& loader();
    std::shared_ptr<Loader> loaderPointer();
    GameSession& session() { return session_; }

    // Present each step's frame to the window (off by default).
    void setPresenting(bool present) { options_.present = present; }

    // One frame: the clock moves 12 ms, the screen is cleared, both sides' words are polled (these are the words
    // this step's update sees), then the scene updates (and may switch), messages are pumped and Escape looked
    // at. The frame body's result: 0, or -1 when the game would end.
    int step(int side0 = 0, int side1 = 0);
    // Steps through the script; stops at the first -1 and returns it, else 0.
    int run(const std::vector<StepInput>& script);
    // Steps `frames` frames with no button held.
    int idle(int frames);
    // Hands `scene` to the controller as the current scene's successor and steps once, so the switch (release,
    // load with the loading screen) happens; the scene's first update is the next step.
    int startScene(std::shared_ptr<Scene> scene);

    int frames() const { return frames_; }

    // The back screen as 640x480 RGB (row by row, 3 bytes a pixel); empty when it cannot be read.
    std::vector<uint8_t> screenRgb();
    // One back-screen pixel as 0x00RRGGBB (0xFFFFFFFF when it cannot be read).
    uint32_t pixel(int x, int y);
    // Writes the back screen to a PNG file. False on failure.
    bool saveScreen(const std::string& path);

private:
    friend GameStepper* TakeGameStepper(ResourceTree tree);

    ResourceTree tree_;
    bool started_ = false;
    std::string previousDirectory_;
    GameSession session_;
    FrameOptions options_;
    int frames_ = 0;
    std::vector<uint8_t> lastScreen_;
};

// Starting the runtime costs seconds, so a suite's game may outlive the suite: a suite that is done with its
// game parks it, and the next suite that takes a game on the same tree goes on with that one (as a suite's later
// tests go on with its earlier tests' game). Before any test of a suite that took none, and at the end of the run,
// the parked game is ended: such tests start with no runtime running, as before.
//
//     static void SetUpTestSuite() { game = TakeGameStepper(ResourceTree::kFolders); }
//     static void TearDownTestSuite() { ParkGameStepper(game); game = nullptr; }
//
// TakeGameStepper never returns null (check started()); ParkGameStepper takes ownership and ends a game that did
// not start.
GameStepper* TakeGameStepper(ResourceTree tree = ResourceTree::kFolders);
void ParkGameStepper(GameStepper* game);

// Writes an RGB picture (3 bytes a pixel, rows top down) as an uncompressed PNG. False on failure.
bool WriteRgbPng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);

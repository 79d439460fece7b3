// The game's set-up, frame body and end, shared by Kavorin.exe (runGame) and the test stepper, so tests step the
// very code the program runs. A frame is frameUpdate (scene update, present, messages, Escape) followed by
// frameAdvance (12 ms pacing, frame start, clear, input poll); the program alternates the two until frameUpdate
// says -1. The stepper runs frameAdvance before frameUpdate instead, so that after a step the back screen still
// holds what the scene drew.
#pragma once

#include <functional>
#include <memory>

class SceneController;

struct FrameOptions {
    bool present = true;           // PresentBackScreen2D after the scene's update
    bool waitForFrameTime = true;  // busy-wait until 12 ms have passed since the frame start
};

struct GameSession {
    std::shared_ptr<SceneController> controller;
    int frameStart = 0;  // gameMillisecondCount at the start of the current frame
};

constexpr int kFrameMilliseconds = 12;

// The game clock's reading at the start of the frame now running (the last session's, for a test that looks).
int currentFrameStart();

// Set-up after a successful StartUpLibrary: cursor hidden, "Qzm" archives, the back screen as target, the
// SceneController (common group, title), the random seed from the game clock, the frame start, a cleared screen
// and the first input poll.
void beginGame(GameSession& session);

// The frame's first half: the scene steps (and may switch), the frame is presented, messages are pumped and
// Escape is looked at. 0 to go on; -1 when the scene ended the game (then nothing was presented), the window was
// closed or Escape is held.
int frameUpdate(GameSession& session, const FrameOptions& options);

// The frame's second half: the 12 ms pacing, the new frame start, the cleared target and the input poll.
void frameAdvance(GameSession& session, const FrameOptions& options);

// After the loop: every graph and sound released, the runtime shut down, then the controller dropped (its
// scenes' destructors may still call the runtime, which then finds nothing to do).
void endGame(GameSession& session);

// The whole program: window settings, start-up (-1 when it fails), set-up, the frame loop and the end; 0 when the
// loop ended. `afterSetUp`, when given, runs once between set-up and the first frame (tests hand the controller
// a scene there).
int runGame(const std::function<void(SceneController&)>& afterSetUp = {});

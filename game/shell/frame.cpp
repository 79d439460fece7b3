// Program set-up, the two halves of a frame and the end, in the order the game depends on.
#include "game/shell/frame.h"

#include "game/shell/game_clock.h"
#include "game/shell/input_poll.h"
#include "game/shell/scene.h"
#include "runtime/runtime.h"

namespace {
int frameStartNow = 0;
}  // namespace

int currentFrameStart() { return frameStartNow; }

void beginGame(GameSession& session) {
    // Already so in a fresh process; a test that runs the game twice starts the second from the same point.
    gameEndFlag = 0;
    resetInput();
    SetCursorVisible(0);
    ArchiveSetExtension("Qzm");
    SetTargetScreen(-2);
    session.controller = std::make_shared<SceneController>();
    RandomSetSeed(gameMillisecondCount());
    session.frameStart = frameStartNow = gameMillisecondCount();
    ClearTargetScreen();
    pollInput();
}

int frameUpdate(GameSession& session, const FrameOptions& options) {
    if (session.controller->update() == -1) return -1;
    if (options.present) PresentBackScreen2D();
    if (ProcessMessage() == -1) return -1;
    if (IsKeyDown(kKeyEscape)) return -1;
    return 0;
}

void frameAdvance(GameSession& session, const FrameOptions& options) {
    if (options.waitForFrameTime) {
        // A busy wait: a late frame is not made up for, the pace simply drops. Unsigned differences stay right
        // across the clock's wrap.
        while (static_cast<unsigned int>(gameMillisecondCount()) - static_cast<unsigned int>(session.frameStart) <
               static_cast<unsigned int>(kFrameMilliseconds)) {
        }
    }
    session.frameStart = frameStartNow = gameMillisecondCount();
    ClearTargetScreen();
    pollInput();
}

void endGame(GameSession& session) {
    ReleaseAllGraphs(0);
    ReleaseAllSounds(0);
    ShutDownLibrary();
    session.controller.reset();
}

int runGame(const std::function<void(SceneController&)>& afterSetUp) {
    ChangeWindowMode(1);
    SetWindowIcon(101);
    SetWindowCaption("Kavorin");
    SetLogFileEnabled(0);
    if (StartUpLibrary() == -1) return -1;

    GameSession session;
    beginGame(session);
    if (afterSetUp) afterSetUp(*session.controller);
    const FrameOptions options;
    while (frameUpdate(session, options) == 0) frameAdvance(session, options);
    endGame(session);
    return 0;
}

// Cost of the game's shared frame body with an empty scene and no 12 ms wait, against the bare runtime calls a
// frame cannot do without (present, message pump, clear) in the same run; with and without presenting.
// Prints microseconds per frame and the ratio.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "bench/bench_timing.h"
#include "game/shell/frame.h"
#include "game/shell/loader.h"
#include "game/shell/scene.h"
#include "runtime/runtime.h"

namespace {

int kFrames = 400;  // fewer in short mode

double NowUs() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1e6 / static_cast<double>(f.QuadPart);
}

class EmptyScene : public Scene {
public:
    using Scene::Scene;
    void update() override { draw(); }
    void loadResources(bool) override {}
    void draw() override {}
};

double FrameBody(GameSession& session, bool present) {
    FrameOptions options;
    options.present = present;
    options.waitForFrameTime = false;
    const double start = NowUs();
    for (int i = 0; i < kFrames; ++i) {
        frameUpdate(session, options);
        frameAdvance(session, options);
    }
    return (NowUs() - start) / kFrames;
}

double Bare(bool present) {
    const double start = NowUs();
    for (int i = 0; i < kFrames; ++i) {
        if (present) PresentBackScreen2D();
        ProcessMessage();
        ClearTargetScreen();
    }
    return (NowUs() - start) / kFrames;
}

}  // namespace

int main(int argc, char** argv) {
    ReadBenchArguments(argc, argv);
    kFrames = Repeats(400, 20);
    const char* build = getenv("KAVORIN_BUILD_DIR_WIN");
    if (build == nullptr) {
        fprintf(stderr, "game_frame: KAVORIN_BUILD_DIR_WIN is not set (run through scripts/wine-run.sh)\n");
        return 1;
    }
    const std::string tree = std::string(build) + "\\..\\resources\\folders";
    if (!SetCurrentDirectoryA(tree.c_str())) {
        fprintf(stderr, "game_frame: no resource tree at %s\n", tree.c_str());
        return 1;
    }
    ChangeWindowMode(1);
    SetLogFileEnabled(0);
    if (StartUpLibrary() == -1) return 1;
    GameSession session;
    beginGame(session);
    session.controller->offerSuccessorForTest(std::make_shared<EmptyScene>(session.controller->loader()));
    FrameOptions once;
    once.waitForFrameTime = false;
    frameUpdate(session, once);
    frameAdvance(session, once);

    for (bool present : {false, true}) {
        Bare(present);  // warm-up
        const double bare = Bare(present);
        const double body = FrameBody(session, present);
        printf("%-18s frame body %8.1f us/frame, bare calls %8.1f us/frame, ratio %.2f\n",
               present ? "with presenting:" : "without presenting:", body, bare, body / bare);
    }
    endGame(session);
    return 0;
}

// Drawing a busy match frame: CPU time and DrawPrimitive calls per frame for the intro, play and result
// frames of the match scene (fields three quarters full with chips, pieces falling, garbage pending), against
// the same number of quads from one texture in one batch, measured in the same run. Needs the generated
// resource tree (scripts/make-resources.sh). Prints figures only.
#include <windows.h>

#include <stdint.h>
#include <stdio.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "game/match/next_piece_queue.h"
#include "game/match/player.h"
#include "game/match/scene_game_main.h"
#include "game/shell/loader.h"
#include "graphics/d3d/device3d.h"
#include "runtime/runtime.h"
#include "tests/graphics/d3d/test_d3d_counting_device.h"

#include "bench/bench_timing.h"

namespace {

double CpuMilliseconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

struct Figures {
    double cpuMs;
    double drawCalls;
    int quads;
};

template <class Frame>
Figures Measure(int frames, Frame frame) {
    frame();  // settles every state once
    Figures f{0.0, 0.0, 0};
    CountingDeviceScope seam;
    const double start = CpuMilliseconds();
    for (int i = 0; i < frames; ++i) {
        ClearTargetScreen();
        frame();
        FlushVertexBatch3D();
        EndCurrentScene3D();
    }
    f.cpuMs = (CpuMilliseconds() - start) / frames;
    f.drawCalls = static_cast<double>(seam->count(DeviceCall::kDraw) + seam->count(DeviceCall::kDrawIndexed)) / frames;
    int vertices = 0;
    for (const DeviceCall& c : seam->calls)
        if (c.kind == DeviceCall::kDraw || c.kind == DeviceCall::kDrawIndexed) vertices += static_cast<int>(c.c);
    f.quads = vertices / frames / 6;
    return f;
}

// Fields three quarters full with chips here and there, pieces part-way down, garbage pending, levels lit.
void MakeBusy(SceneGameMain& scene) {
    for (int side = 0; side < 2; ++side) {
        Player& p = *scene.player(side);
        for (int r = 0; r < kFieldRows; ++r)
            for (int c = 0; c < kFieldColumns; ++c) {
                const bool filled = r >= 6 && (r * 7 + c * 3 + side) % 11 != 0;
                p.cells[r][c] = !filled ? kCellEmpty : (r * 5 + c) % 13 == 0 ? kCellChip : kCellBlock;
            }
        p.piece->kind = 9 + side;
        p.piece->row = 1;
        p.fallSub = 90;
        p.pendingGarbage = 4 + side;
        p.skillLevel = 2;
        p.roundsWon = 1;
    }
}

std::shared_ptr<SceneGameMain> SceneInState(const std::shared_ptr<Loader>& loader, int state) {
    auto scene = std::make_shared<SceneGameMain>(2, 5, 1, 0, true, false, 0, loader);
    scene->setDrawingEnabledForTesting(false);
    for (int i = 0; i < 400 && scene->state() != state; ++i) scene->update();
    if (state == SceneGameMain::kResult) {
        scene->player(1)->state = kStateToppedOut;
        for (int i = 0; i < 400 && scene->state() != state; ++i) scene->update();
        for (int i = 0; i < 60; ++i) scene->update();  // past the first 50 result frames: figures shown
    }
    return scene;
}

}  // namespace

int main(int argc, char** argv) {
    ReadBenchArguments(argc, argv);
    const char* build = std::getenv("KAVORIN_BUILD_DIR_WIN");
    const std::string tree = build ? std::string(build) + "\\..\\resources\\folders" : std::string();
    if (tree.empty() || !SetCurrentDirectoryA(tree.c_str())) {
        printf("match_draw: no resource tree (run scripts/make-resources.sh)\n");
        return 1;
    }
    ChangeWindowMode(1);
    SetLogFileEnabled(0);
    if (StartUpLibrary() != 0) {
        printf("match_draw: the runtime did not start\n");
        return 1;
    }
    SetTargetScreen(-2);
    {
        auto loader = std::make_shared<Loader>();
        loader->loadBattle(false, 2, 5);
        const int frames = Repeats(200, 5);

        auto intro = SceneInState(loader, SceneGameMain::kIntro);
        MakeBusy(*intro);
        auto play = SceneInState(loader, SceneGameMain::kPlay);
        MakeBusy(*play);
        auto result = SceneInState(loader, SceneGameMain::kResult);
        const Figures introF = Measure(frames, [&] { intro->draw(); });
        const Figures playF = Measure(frames, [&] { play->draw(); });
        const Figures resultF = Measure(frames, [&] { result->draw(); });

        // Baseline: as many quads as the play frame, one chip picture, one state, one batch.
        const int chip = loader->image(132);
        const int quads = playF.quads;
        const Figures base = Measure(frames, [&] {
            for (int i = 0; i < quads; ++i) DrawGraphAt((i * 18) % 630, ((i * 18) / 630 * 18) % 470, chip, 1);
        });
        printf("play frame: %.3f ms CPU, %.1f DrawPrimitive calls, %d quads per frame\n", playF.cpuMs,
               playF.drawCalls, playF.quads);
        printf("baseline, %d quads of one texture: %.3f ms CPU, %.1f DrawPrimitive calls per frame\n", quads,
               base.cpuMs, base.drawCalls);
        printf("ratio play / baseline: %.2f x CPU, %.1f x draw calls\n", base.cpuMs > 0 ? playF.cpuMs / base.cpuMs : 0.0,
               base.drawCalls > 0 ? playF.drawCalls / base.drawCalls : 0.0);
        printf("intro frame: %.3f ms CPU, %.1f draw calls; result frame: %.3f ms CPU, %.1f draw calls\n",
               introF.cpuMs, introF.drawCalls, resultF.cpuMs, resultF.drawCalls);
        intro.reset();
        play.reset();
        result.reset();
        loader->loadBattle(true, 2, 5);
    }
    ReleaseAllGraphs(0);
    ReleaseAllSounds(0);
    ShutDownLibrary();
    return 0;
}

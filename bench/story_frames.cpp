// CPU time per frame of the menus and the story (the title menu, a conversation page, the versus flash and the
// staff roll), as ratios against the frame body of an empty scene measured in the same run. Runs the program's own
// frame halves without the 12 ms wait or presenting, on the generated resources. Prints figures only.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <functional>
#include <memory>
#include <string>

#include "game/shell/frame.h"
#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "game/shell/scene.h"
#include "runtime/runtime.h"
#include "story/scene_talk.h"
#include "story/scene_title.h"
#include "story/story_links.h"
#include "story/talk.h"

namespace {

class EmptyScene : public Scene {
public:
    explicit EmptyScene(std::shared_ptr<Loader> loader) : Scene(std::move(loader)) {}
    void update() override { draw(); }
    void loadResources(bool) override {}
    void draw() override {}
};

int g_word = 0;
int PadCount() { return 2; }
int PadState(int source) { return source == 1 ? g_word : 0; }
const InputDevices kDevices = {&PadCount, &PadState};

double ThreadSeconds() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    ULARGE_INTEGER k, u;
    k.LowPart = kernel.dwLowDateTime;
    k.HighPart = kernel.dwHighDateTime;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return (double)(k.QuadPart + u.QuadPart) / 1e7;
}

struct Bench {
    GameSession session;
    FrameOptions options;

    Bench() {
        options.present = false;
        options.waitForFrameTime = false;
    }
    void frame(int word = 0) {
        g_word = word;
        frameAdvance(session, options);
        frameUpdate(session, options);
    }
    void start(std::shared_ptr<Scene> scene) {
        session.controller->offerSuccessorForTest(std::move(scene));
        frame();
    }
    Scene* current() { return session.controller->currentScene().get(); }
    // Frames while `keep` holds (at most `limit`); returns thread CPU seconds and counts the frames.
    double measure(const std::function<bool()>& keep, int limit, int* frames) {
        const double t0 = ThreadSeconds();
        int n = 0;
        while (n < limit && keep()) {
            frame();
            ++n;
        }
        *frames += n;
        return ThreadSeconds() - t0;
    }
};

}  // namespace

int main() {
    const char* build = getenv("KAVORIN_BUILD_DIR_WIN");
    if (build == nullptr) {
        printf("story_frames: KAVORIN_BUILD_DIR_WIN is not set (run through scripts/wine-run.sh)\n");
        return 1;
    }
    const std::string root = std::string(build) + "\\..\\resources\\folders";
    if (!SetCurrentDirectoryA(root.c_str())) {
        printf("story_frames: no generated resources at %s\n", root.c_str());
        return 1;
    }
    setInputDevicesForTest(&kDevices);
    ChangeWindowMode(1);
    SetLogFileEnabled(0);
    if (StartUpLibrary() == -1) {
        printf("story_frames: the runtime did not start\n");
        return 1;
    }
    Bench bench;
    beginGame(bench.session);
    std::shared_ptr<Loader> loader = bench.session.controller->loader();
    const int kFrames = 3000;
    int frames = 0;

    bench.start(std::make_shared<EmptyScene>(loader));
    frames = 0;
    const double empty = bench.measure([] { return true; }, kFrames, &frames) / frames;

    bench.start(std::make_shared<SceneTitle>(loader));
    auto* title = static_cast<SceneTitle*>(bench.current());
    while (title->phase() != SceneTitle::kMenu) bench.frame();
    frames = 0;
    const double menu = bench.measure([] { return true; }, kFrames, &frames) / frames;

    // A page of Kessa's stage-2 talk, read for as long as the run lasts.
    bench.start(std::make_shared<SceneTalk>(0, storyOpponent(2, 0), 2, false, loader));
    auto* talk = static_cast<SceneTalk*>(bench.current());
    while (talk->state() != SceneTalk::kTalk) bench.frame();
    bench.frame();
    frames = 0;
    const double page = bench.measure([] { return true; }, kFrames, &frames) / frames;

    // The versus flash lasts 120 frames a conversation: several conversations, only their flash frames timed.
    double flashSeconds = 0;
    int flashFrames = 0;
    for (int run = 0; run < 20; ++run) {
        bench.start(std::make_shared<SceneTalk>(0, storyOpponent(2, 0), 2, false, loader));
        auto* scene = static_cast<SceneTalk*>(bench.current());
        for (int i = 0; i < 4000 && scene->state() != SceneTalk::kFlash; ++i) bench.frame(i % 2 ? kButtonFirst : 0);
        flashSeconds += bench.measure([scene] { return scene->state() == SceneTalk::kFlash; }, 200, &flashFrames);
    }
    const double flash = flashFrames ? flashSeconds / flashFrames : 0;

    bench.start(std::make_shared<SceneTalk>(0, storyOpponent(4, 0), 4, true, loader));
    auto* ending = static_cast<SceneTalk*>(bench.current());
    for (int i = 0; i < 4000 && (!ending->talk() || ending->talk()->endingState != 3); ++i) {
        bench.frame(i % 2 ? kButtonFirst : 0);
    }
    frames = 0;
    const double roll = bench.measure([] { return true; }, 2000, &frames) / frames;

    printf("story_frames: empty scene frame body %.3f ms CPU\n", empty * 1000);
    printf("story_frames: title menu        %.3f ms  ratio %.2f\n", menu * 1000, menu / empty);
    printf("story_frames: conversation page %.3f ms  ratio %.2f\n", page * 1000, page / empty);
    printf("story_frames: versus flash      %.3f ms  ratio %.2f (%d frames)\n", flash * 1000, flash / empty,
           flashFrames);
    printf("story_frames: staff roll        %.3f ms  ratio %.2f\n", roll * 1000, roll / empty);

    endGame(bench.session);
    setInputDevicesForTest(nullptr);
    return 0;
}

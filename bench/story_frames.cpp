// CPU time per frame of the menus and the story (the title menu, a conversation page, the versus flash and the
// staff roll), as ratios against the frame body of an empty scene measured in the same run. Runs the program's own
// frame halves without the 12 ms wait or presenting, on the generated resources. The empty scene is measured again
// right before each scene in every round, so the baseline and the scene share the machine's state; figures are
// medians over the rounds, each ratio taken within its round.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
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

int main(int argc, char** argv) {
    ReadBenchArguments(argc, argv);
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
    const int rounds = Repeats(5, 1);
    const int kFrames = Repeats(600, 20);  // per scene and round
    const int flashRuns = Repeats(4, 1);

    // Seconds per frame of the empty scene, measured now.
    auto baseline = [&] {
        bench.start(std::make_shared<EmptyScene>(loader));
        int frames = 0;
        return bench.measure([] { return true; }, kFrames, &frames) / frames;
    };
    enum { kMenu, kPage, kFlash, kRoll, kScenes };
    const char* names[kScenes] = {"title menu       ", "conversation page", "versus flash     ", "staff roll       "};
    std::vector<double> empty, perFrame[kScenes], ratio[kScenes];
    int flashFrames = 0;
    // Short mode leaves out the flash and the staff roll, which take thousands of frames to reach.
    const int scenes = ShortRun() ? kFlash : kScenes;
    for (int round = 0; round < rounds; ++round) {
        for (int scene = 0; scene < scenes; ++scene) {
            const double e = baseline();
            empty.push_back(e);
            double seconds = 0;
            int frames = 0;
            if (scene == kMenu) {
                bench.start(std::make_shared<SceneTitle>(loader));
                auto* title = static_cast<SceneTitle*>(bench.current());
                while (title->phase() != SceneTitle::kMenu) bench.frame();
                seconds = bench.measure([] { return true; }, kFrames, &frames);
            } else if (scene == kPage) {
                // A page of Kessa's stage-2 talk, read for as long as the run lasts.
                bench.start(std::make_shared<SceneTalk>(0, storyOpponent(2, 0), 2, false, loader));
                auto* talk = static_cast<SceneTalk*>(bench.current());
                while (talk->state() != SceneTalk::kTalk) bench.frame();
                bench.frame();
                seconds = bench.measure([] { return true; }, kFrames, &frames);
            } else if (scene == kFlash) {
                // The versus flash lasts 120 frames a conversation: several conversations, only their flash
                // frames timed.
                for (int run = 0; run < flashRuns; ++run) {
                    bench.start(std::make_shared<SceneTalk>(0, storyOpponent(2, 0), 2, false, loader));
                    auto* talk = static_cast<SceneTalk*>(bench.current());
                    for (int i = 0; i < 4000 && talk->state() != SceneTalk::kFlash; ++i) {
                        bench.frame(i % 2 ? kButtonFirst : 0);
                    }
                    seconds += bench.measure([talk] { return talk->state() == SceneTalk::kFlash; }, 200, &frames);
                }
                flashFrames += frames;
            } else {
                bench.start(std::make_shared<SceneTalk>(0, storyOpponent(4, 0), 4, true, loader));
                auto* ending = static_cast<SceneTalk*>(bench.current());
                for (int i = 0; i < 4000 && (!ending->talk() || ending->talk()->endingState != 3); ++i) {
                    bench.frame(i % 2 ? kButtonFirst : 0);
                }
                seconds = bench.measure([] { return true; }, kFrames, &frames);
            }
            const double f = frames ? seconds / frames : 0;
            perFrame[scene].push_back(f);
            ratio[scene].push_back(e > 0 ? f / e : 0);
        }
    }

    printf("story_frames: empty scene frame body %.3f ms CPU (median of %zu, from %.3f to %.3f)\n",
           Median(empty) * 1000, empty.size(), *std::min_element(empty.begin(), empty.end()) * 1000,
           *std::max_element(empty.begin(), empty.end()) * 1000);
    for (int scene = 0; scene < scenes; ++scene) {
        printf("story_frames: %s %.3f ms  ratio %.2f (ratios from %.2f to %.2f over %d rounds)", names[scene],
               Median(perFrame[scene]) * 1000, Median(ratio[scene]),
               *std::min_element(ratio[scene].begin(), ratio[scene].end()),
               *std::max_element(ratio[scene].begin(), ratio[scene].end()), rounds);
        if (scene == kFlash) printf(" (%d frames)", flashFrames);
        printf("\n");
    }

    endGame(bench.session);
    setInputDevicesForTest(nullptr);
    return 0;
}

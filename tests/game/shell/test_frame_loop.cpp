// The program's set-up, frame loop and end, run whole (runGame, each in a child process of its own) with a
// recording scene handed to the controller, and Kavorin.exe itself started on both resource trees.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "game/shell/frame.h"
#include "game/shell/game_clock.h"
#include "game/shell/loader.h"
#include "game/shell/scene.h"
#include "graphics/ddraw/present.h"
#include "graphics/draw_state.h"
#include "runtime/archive/archive.h"
#include "runtime/runtime.h"
#include "runtime/startup.h"
#include "runtime/window.h"
#include "tests/game/game_test_util.h"
#include "tests/start_process.h"

namespace {

// A scene whose update calls `onUpdate` with its frame number (1 for its first update) and records when each of
// its frames started.
class ScriptedScene : public Scene {
public:
    ScriptedScene(std::shared_ptr<Loader> loader, std::function<void(int)> onUpdate)
        : Scene(std::move(loader)), onUpdate_(std::move(onUpdate)) {}
    ~ScriptedScene() override {
        if (onDestroy) onDestroy();
    }
    void update() override {
        ++frame;
        frameStarts.push_back(currentFrameStart());
        onUpdate_(frame);
        draw();
    }
    void loadResources(bool) override {}
    void draw() override {}

    int frame = 0;
    std::vector<int> frameStarts;
    std::function<void()> onDestroy;

private:
    std::function<void(int)> onUpdate_;
};

bool EnterFolderTree() {
    const std::string tree = ResourceTreePath(ResourceTree::kFolders);
    return !tree.empty() && SetCurrentDirectoryA(tree.c_str());
}

// Runs the whole program with a ScriptedScene made current after set-up; `observe` sees the scene (still alive,
// the child keeps a pointer) once runGame has returned with `exitCode`.
std::string RunProgram(const std::function<void(ScriptedScene&, int)>& onUpdate,
                       const std::function<std::string(ScriptedScene&, int)>& observe) {
    if (!EnterFolderTree()) return "no resource tree";
    std::shared_ptr<ScriptedScene> scene;
    const int exitCode = runGame([&](SceneController& controller) {
        scene = std::make_shared<ScriptedScene>(controller.loader(), [&](int frame) { onUpdate(*scene, frame); });
        controller.offerSuccessorForTest(scene);
    });
    if (!scene) return "the scene never started";
    return observe(*scene, exitCode);
}

TEST(FrameLoopTest, SceneSeesTheSetUpAndFramesAreAtLeast12msApart) {
    ExpectChildPasses(300, [] {
        std::string seen;
        return RunProgram(
            [&](ScriptedScene&, int frame) {
                if (frame == 1) {
                    if (GetDrawState().target != -2) seen += "target is not the back screen; ";
                    if (GetCursorVisibleSetting() != 0) seen += "cursor not hidden; ";
                    if (std::strcmp(ArchiveGetExtension(), "Qzm") != 0) seen += "archive extension not Qzm; ";
                }
                if (frame == 40) gameEndFlag = -1;
            },
            [&](ScriptedScene& scene, int exitCode) {
                if (!seen.empty()) return seen;
                if (exitCode != 0) return std::string("exit code ") + std::to_string(exitCode);
                if (scene.frame != 40) return "ran " + std::to_string(scene.frame) + " frames";
                for (size_t i = 1; i < scene.frameStarts.size(); ++i) {
                    const int gap = scene.frameStarts[i] - scene.frameStarts[i - 1];
                    if (gap < 12) return "frames " + std::to_string(i) + " apart by " + std::to_string(gap) + " ms";
                }
                return std::string();
            });
    });
}

TEST(FrameLoopTest, EndFlagEndsTheLoopBeforeThatFrameIsPresented) {
    ExpectChildPasses(300, [] {
        uint64_t presentsAtLastUpdate = 0;
        return RunProgram(
            [&](ScriptedScene&, int frame) {
                if (frame == 5) {
                    presentsAtLastUpdate = GetFlipCount();
                    gameEndFlag = -1;
                }
            },
            [&](ScriptedScene& scene, int exitCode) {
                if (exitCode != 0) return std::string("exit code ") + std::to_string(exitCode);
                if (scene.frame != 5) return "ran " + std::to_string(scene.frame) + " frames";
                if (GetFlipCount() != presentsAtLastUpdate) return std::string("the last frame was presented");
                return std::string();
            });
    });
}

TEST(FrameLoopTest, WindowCloseEndsTheLoop) {
    ExpectChildPasses(300, [] {
        return RunProgram([](ScriptedScene&, int frame) {
            if (frame == 5) PostMessageA(GetMainHwnd(), WM_CLOSE, 0, 0);
        },
                          [](ScriptedScene& scene, int exitCode) {
                              if (exitCode != 0) return std::string("exit code ") + std::to_string(exitCode);
                              // The close is seen by the pump of the frame that posted it.
                              if (scene.frame != 5) return "ran " + std::to_string(scene.frame) + " frames";
                              return std::string();
                          });
    });
}

void SendEscape(bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = VK_ESCAPE;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(VK_ESCAPE, MAPVK_VK_TO_VSC));
    if (!down) input.ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(1, &input, sizeof(input));
}

TEST(FrameLoopTest, EscapeEndsTheLoop) {
    ExpectChildPasses(300, [] {
        int pressedAt = 0;
        std::string result = RunProgram(
            [&](ScriptedScene&, int frame) {
                // Keys reach the window once it is in front; press from frame 5 on until the loop sees it.
                if (frame >= 5 && pressedAt == 0 && GetForegroundWindow() == GetMainHwnd()) {
                    SendEscape(true);
                    pressedAt = frame;
                } else if (frame >= 5 && pressedAt == 0) {
                    SetForegroundWindow(GetMainHwnd());
                }
                if (frame > 2000) gameEndFlag = -1;  // Escape never arrived
            },
            [&](ScriptedScene& scene, int exitCode) {
                if (exitCode != 0) return std::string("exit code ") + std::to_string(exitCode);
                if (pressedAt == 0) return std::string("the window never came to the front");
                if (scene.frame > 2000) return std::string("Escape did not end the loop");
                return std::string();
            });
        SendEscape(false);
        return result;
    });
}

TEST(FrameLoopTest, SceneReleasingGraphsAfterShutdownIsHarmless) {
    ExpectChildPasses(300, [] {
        std::string late;
        std::string result = RunProgram(
            [&](ScriptedScene& scene, int frame) {
                if (frame != 1) {
                    gameEndFlag = -1;
                    return;
                }
                const int graph = LoadGraphFromFile(kImagePaths[409], 0);
                const int sound = LoadSoundHandleFromFile(kSoundPaths[13], 3, -1);
                if (graph == -1 || sound == -1) late = "nothing loaded; ";
                // Runs inside endGame, after ShutDownLibrary: the runtime must find nothing and stay down.
                scene.onDestroy = [graph, sound, &late] {
                    ReleaseGraph(graph, 0);
                    ReleaseSoundHandle(sound);
                    DrawGraphAt(0, 0, graph, 0);
                    if (IsLibraryRunning()) late += "the runtime started again; ";
                    if (GetMainHwnd() != nullptr) late += "a window exists again; ";
                    late += "destroyed";
                };
            },
            [&](ScriptedScene&, int exitCode) {
                if (exitCode != 0) return std::string("exit code ") + std::to_string(exitCode);
                return std::string();
            });
        // The observer ran while the child still held the scene; the controller's pointer went in endGame, ours
        // goes with RunProgram's return.
        if (!result.empty()) return result;
        if (late != "destroyed") return late.empty() ? std::string("the scene was never destroyed") : late;
        if (IsLibraryRunning()) return std::string("the runtime is running after the end");
        return std::string();
    });
}

// Kavorin.exe itself on a tree: its window shows the title picture; closing the window ends it with 0.
void ExpectProgramShowsTitleAndClosesCleanly(ResourceTree tree) {
    const char* build = std::getenv("KAVORIN_BUILD_DIR_WIN");
    ASSERT_NE(nullptr, build);
    const std::string exe = std::string(build) + "\\Kavorin.exe";
    const std::string folder = ResourceTreePath(tree);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(test_process::StartProcess(exe.c_str(), "\"" + exe + "\"", folder.c_str(), &process)) << exe;
    const PictureRow* title = FindPictureRowForEntry(408);
    ASSERT_NE(nullptr, title);
    int sx = 0, sy = 0;
    PictureSamplePoint(*title, &sx, &sy);
    HWND window = nullptr;
    bool titleShown = false;
    uint32_t last = 0;
    for (int i = 0; i < 600 && !titleShown; ++i) {  // up to 30 s
        Sleep(50);
        if (window == nullptr) window = FindWindowA("Kavorin", "Kavorin");
        if (window == nullptr) continue;
        HDC dc = GetDC(window);
        const COLORREF c = GetPixel(dc, sx, sy);
        ReleaseDC(window, dc);
        last = static_cast<uint32_t>(GetRValue(c)) << 16 | static_cast<uint32_t>(GetGValue(c)) << 8 | GetBValue(c);
        titleShown = NearColour(last, PictureCellColour(*title, 0), 24);
    }
    EXPECT_NE(nullptr, window) << "no window";
    EXPECT_TRUE(titleShown) << "the window shows " << std::hex << last;
    if (window != nullptr) PostMessageA(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "Kavorin.exe did not end after its window was closed";
        TerminateProcess(process.hProcess, 9);
    }
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(0u, code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

TEST(ProgramTest, ShowsTheTitleFromFoldersAndExitsOnClose) { ExpectProgramShowsTitleAndClosesCleanly(ResourceTree::kFolders); }

TEST(ProgramTest, ShowsTheTitleFromArchivesAndExitsOnClose) {
    ExpectProgramShowsTitleAndClosesCleanly(ResourceTree::kArchives);
}

}  // namespace

// The stepping harness: the runtime started on a resource tree, the program's set-up and frame halves run with
// a stepped clock and scripted input, and the back screen read back.
#include "tests/game_support/game_stepper.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "game/shell/game_clock.h"
#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "game/shell/scene.h"
#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/display.h"
#include "runtime/runtime.h"

namespace {

int scriptedWords[2] = {0, 0};

// Two pads, so side 0 reads pad 1 and side 1 pad 2: the scripted words go through the ordinary source table.
int ScriptedPadCount() { return 2; }
int ScriptedPadState(int source) {
    if (source == 1) return scriptedWords[0];
    if (source == 2) return scriptedWords[1];
    return 0;
}
const InputDevices kScriptedDevices = {&ScriptedPadCount, &ScriptedPadState};

std::string CurrentDirectory() {
    char buffer[MAX_PATH] = {};
    const DWORD n = GetCurrentDirectoryA(MAX_PATH, buffer);
    return n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string();
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Channel value widened to 8 bits.
uint32_t Widen(uint32_t value, uint32_t mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (((mask >> shift) & 1) == 0) ++shift;
    int width = 0;
    while (((mask >> (shift + width)) & 1) != 0) ++width;
    const uint32_t c = (value & mask) >> shift;
    return width >= 8 ? (c >> (width - 8)) : (c << (8 - width));
}

// The game a finished suite left for the next one (see ParkGameStepper).
GameStepper* parkedGame = nullptr;

void EndParkedGame() {
    GameStepper* game = parkedGame;
    parkedGame = nullptr;
    delete game;
}

// Ends the parked game before a test that did not take it, and at the end of the run while the runtime's own
// statics are still alive.
class ParkedGameListener : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { EndParkedGame(); }
    void OnEnvironmentsTearDownStart(const ::testing::UnitTest&) override { EndParkedGame(); }
};

const bool parkedGameListenerAdded = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new ParkedGameListener);
    return true;
}();

}  // namespace

GameStepper* TakeGameStepper(ResourceTree tree) {
    if (parkedGame != nullptr && parkedGame->tree_ == tree) {
        GameStepper* game = parkedGame;
        parkedGame = nullptr;
        return game;
    }
    return new GameStepper(tree);
}

void ParkGameStepper(GameStepper* game) {
    if (game == parkedGame) return;
    EndParkedGame();
    if (game != nullptr && game->started()) {
        parkedGame = game;
    } else {
        delete game;
    }
}

std::string ResourceTreePath(ResourceTree tree) {
    const char* build = std::getenv("KAVORIN_BUILD_DIR_WIN");
    if (build == nullptr || *build == 0) return std::string();
    return std::string(build) + (tree == ResourceTree::kFolders ? "\\..\\resources\\folders"
                                                                : "\\..\\resources\\archives");
}

GameStepper::GameStepper(ResourceTree tree) : tree_(tree) {
    // One game runs at a time.
    EndParkedGame();
    const std::string root = ResourceTreePath(tree);
    const char* probe = tree == ResourceTree::kFolders ? "\\res\\BackGround\\loading.jpg" : "\\res.Qzm";
    if (root.empty() || !FileExists(root + probe)) {
        ADD_FAILURE() << "resource tree missing at '" << root << "': run scripts/make-resources.sh";
        return;
    }
    previousDirectory_ = CurrentDirectory();
    SetCurrentDirectoryA(root.c_str());

    useSteppedGameClockForTest(kStepperClockStart);
    scriptedWords[0] = scriptedWords[1] = 0;
    setInputDevicesForTest(&kScriptedDevices);

    options_.present = false;
    options_.waitForFrameTime = false;

    ChangeWindowMode(1);
    SetWindowIcon(101);
    SetWindowCaption("Kavorin");
    SetLogFileEnabled(0);
    if (StartUpLibrary() == -1) {
        ADD_FAILURE() << "the runtime did not start";
        setInputDevicesForTest(nullptr);
        useRuntimeGameClock();
        SetCurrentDirectoryA(previousDirectory_.c_str());
        return;
    }
    beginGame(session_);
    RandomSetSeed(kStepperSeed);
    started_ = true;
}

GameStepper::~GameStepper() {
    if (!started_) return;
    if (::testing::Test::HasFailure()) {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const char* build = std::getenv("KAVORIN_BUILD_DIR_WIN");
        if (info != nullptr && build != nullptr) {
            const std::string folder = std::string(build) + "\\test-screens";
            CreateDirectoryA(folder.c_str(), nullptr);
            std::string name = std::string(info->test_suite_name()) + "." + info->name();
            for (char& c : name) {
                if (c == '/' || c == '\\' || c == ':') c = '_';
            }
            const std::string path = folder + "\\" + name + ".png";
            if (saveScreen(path)) fprintf(stderr, "game stepper: screen written to %s\n", path.c_str());
        }
    }
    endGame(session_);
    setInputDevicesForTest(nullptr);
    useRuntimeGameClock();
    resetInput();
    SetCurrentDirectoryA(previousDirectory_.c_str());
}

SceneController& GameStepper::controller() { return *session_.controller; }
Loader& GameStepper::loader() { return *session_.controller->loader(); }
std::shared_ptr<Loader> GameStepper::loaderPointer() { return session_.controller->loader(); }

int GameStepper::step(int side0, int side1) {
    if (!started_) return -1;
    advanceGameClockForTest(kFrameMilliseconds);
    scriptedWords[0] = side0;
    scriptedWords[1] = side1;
    frameAdvance(session_, options_);
    ++frames_;
    return frameUpdate(session_, options_);
}

int GameStepper::run(const std::vector<StepInput>& script) {
    for (const StepInput& in : script) {
        if (step(in.side0, in.side1) == -1) return -1;
    }
    return 0;
}

int GameStepper::idle(int frameCount) {
    for (int i = 0; i < frameCount; ++i) {
        if (step() == -1) return -1;
    }
    return 0;
}

int GameStepper::startScene(std::shared_ptr<Scene> scene) {
    if (!started_) return -1;
    session_.controller->offerSuccessorForTest(std::move(scene));
    return step();
}

std::vector<uint8_t> GameStepper::screenRgb() {
    std::vector<uint8_t> out;
    if (!started_) return out;
    // What the Direct3D batch still holds belongs to the frame.
    FlushVertexBatch3D();
    EndCurrentScene3D();
    IDirectDrawSurface7* surface = GetDisplayState().backSurface;
    if (surface == nullptr) return out;
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    if (FAILED(surface->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) return out;
    const DDPIXELFORMAT& f = desc.ddpfPixelFormat;
    const int bytes = static_cast<int>(f.dwRGBBitCount / 8);
    const int width = desc.dwWidth < static_cast<DWORD>(kScreenWidth) ? static_cast<int>(desc.dwWidth) : kScreenWidth;
    const int height =
        desc.dwHeight < static_cast<DWORD>(kScreenHeight) ? static_cast<int>(desc.dwHeight) : kScreenHeight;
    out.assign(static_cast<size_t>(kScreenWidth) * kScreenHeight * 3, 0);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(desc.lpSurface) + static_cast<size_t>(y) * desc.lPitch;
        uint8_t* dst = out.data() + static_cast<size_t>(y) * kScreenWidth * 3;
        for (int x = 0; x < width; ++x) {
            uint32_t v = 0;
            std::memcpy(&v, row + static_cast<size_t>(x) * bytes, bytes);
            dst[3 * x] = static_cast<uint8_t>(Widen(v, f.dwRBitMask));
            dst[3 * x + 1] = static_cast<uint8_t>(Widen(v, f.dwGBitMask));
            dst[3 * x + 2] = static_cast<uint8_t>(Widen(v, f.dwBBitMask));
        }
    }
    surface->Unlock(nullptr);
    lastScreen_ = out;
    return out;
}

uint32_t GameStepper::pixel(int x, int y) {
    if (x < 0 || y < 0 || x >= kScreenWidth || y >= kScreenHeight) return 0xFFFFFFFFu;
    const std::vector<uint8_t> screen = screenRgb();
    if (screen.empty()) return 0xFFFFFFFFu;
    const uint8_t* p = screen.data() + (static_cast<size_t>(y) * kScreenWidth + x) * 3;
    return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
}

bool GameStepper::saveScreen(const std::string& path) {
    std::vector<uint8_t> screen = screenRgb();
    if (screen.empty()) screen = lastScreen_;
    if (screen.empty()) return false;
    return WriteRgbPng(path, kScreenWidth, kScreenHeight, screen);
}

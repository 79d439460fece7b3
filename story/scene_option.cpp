// The options screen (see scene_option.h).
#include "story/scene_option.h"

#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "game/shell/options.h"
#include "graphics/graphics.h"
#include "runtime/runtime.h"
#include "story/scene_title.h"
#include "story/story_sound.h"

namespace {

constexpr int kBackground = 421;
constexpr int kStrip = 422;
constexpr int kLevelLabel = 423;  // 423, 424, 425
constexpr int kFullScreenLabel = 426;
constexpr int kWindowLabel = 427;
constexpr int kRandomLabel = 428;
constexpr int kEveryFifthLabel = 429;
constexpr int kCutInOnLabel = 430;
constexpr int kCutInOffLabel = 431;
constexpr int kVolumeBar = 432;
constexpr int kCursorImage = 410;
constexpr int kTitleMusic = 0;
constexpr int kMenuSounds[] = {12, 13, 14};
constexpr double kRadiansPerDegree = 0.0174532925;

SceneOption::ChangeModeFunction g_changeMode = nullptr;

int changeMode(int windowed) { return g_changeMode ? g_changeMode(windowed) : ChangeWindowMode(windowed); }

// One choice: opaque when chosen, else at alpha 100.
void drawChoice(int x, int y, int graph, bool chosen) {
    SetBlendMode(chosen ? 0 : 1, chosen ? 255 : 100);
    DrawGraphAt(x, y, graph, 1);
}

}  // namespace

void SceneOption::setChangeModeForTest(ChangeModeFunction change) { g_changeMode = change; }

SceneOption::SceneOption(std::shared_ptr<Loader> loader) : Scene(std::move(loader)) {}

SceneOption::~SceneOption() = default;

void SceneOption::loadResources(bool) {}

void SceneOption::switchDisplay(bool fullScreen) {
    // The mode follows what the runtime did: 0 took it, -2 fell back to 640 x 480 x 16 but is still full screen,
    // -1 failed and is undone.
    const int result = changeMode(fullScreen ? 0 : 1);
    if (result == 0 || result == -2) {
        fullScreenMode = fullScreen;
    } else {
        changeMode(fullScreenMode ? 0 : 1);
    }
    SetCursorVisible(0);
    SetTargetScreen(-2);
    // Graphs do not survive a mode change (and a failed one may have dropped them too).
    loader_->loadCommon(true);
    loader_->loadCommon(false);
    keepMusicPlaying(loader_->sound(kTitleMusic));
}

void SceneOption::update() {
    stripPosition_ += stripSpeed_;
    cursorAngle_ = (cursorAngle_ + 1) % 360;
    if (stripPosition_ == 1470 || stripPosition_ == 3000) stripSpeed_ = -stripSpeed_;

    if (inputPressed(0, kButtonUp)) row_ = (row_ + kRowCount - 1) % kRowCount;
    if (inputPressed(0, kButtonDown)) row_ = (row_ + 1) % kRowCount;

    if (inputPressed(0, kButtonLeft)) {
        switch (row_) {
            case kLevel: if (cpuLevel > 0) --cpuLevel; break;
            case kDisplay: if (!fullScreenMode) switchDisplay(true); break;
            case kSpecialPieces: randomSpecialPieces = true; break;
            case kCutIn: skillCutInOff = false; break;
            default: break;
        }
    }
    if (inputHeld(0, kButtonLeft) && row_ == kVolume && optionVolume > 0) --optionVolume;
    if (inputPressed(0, kButtonRight)) {
        switch (row_) {
            case kLevel: if (cpuLevel < 2) ++cpuLevel; break;
            case kDisplay: if (fullScreenMode) switchDisplay(false); break;
            case kSpecialPieces: randomSpecialPieces = false; break;
            case kCutIn: skillCutInOff = true; break;
            default: break;
        }
    }
    if (inputHeld(0, kButtonRight) && row_ == kVolume && optionVolume < 100) ++optionVolume;
    if (inputPressed(0, kButtonFirst) && row_ == kBack) setNextScene(std::make_shared<SceneTitle>(loader_));

    draw();

    masterVolume = optionVolume / 100.0;
    const int level = masterVolumeLevel();
    SetSoundHandleVolume(level, loader_->sound(kTitleMusic));
    for (int sound : kMenuSounds) SetSoundHandleVolume(level, loader_->sound(sound));
}

void SceneOption::draw() {
    DrawGraphAt(0, 0, loader_->image(kBackground), 0);
    DrawGraphAt(stripPosition_ / 10, 24, loader_->image(kStrip), 1);

    for (int level = 0; level < 3; ++level) {
        drawChoice(356 + 72 * level, 95, loader_->image(kLevelLabel + level), cpuLevel == level);
    }
    drawChoice(356, 148, loader_->image(kFullScreenLabel), fullScreenMode);
    drawChoice(500, 150, loader_->image(kWindowLabel), !fullScreenMode);
    drawChoice(356, 198, loader_->image(kRandomLabel), randomSpecialPieces);
    drawChoice(484, 193, loader_->image(kEveryFifthLabel), !randomSpecialPieces);
    drawChoice(356, 250, loader_->image(kCutInOnLabel), !skillCutInOff);
    drawChoice(429, 250, loader_->image(kCutInOffLabel), skillCutInOff);
    SetBlendMode(0, 255);

    DrawGraphStretched(356, 301, 356 + 2 * optionVolume, 310, loader_->image(kVolumeBar), 1);

    const int x = row_ == kBack ? 80 : 50;
    const int y = 110 + 50 * row_ + (row_ == kVolume ? 5 : 0) + (row_ == kBack ? 11 : 0);
    DrawGraphRotated(x, y, 0.7, cursorAngle_ * kRadiansPerDegree, loader_->image(kCursorImage), 1, 0);
}

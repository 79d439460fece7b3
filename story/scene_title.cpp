// The title menu (see scene_title.h).
#include "story/scene_title.h"

#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "game/shell/options.h"
#include "graphics/graphics.h"
#include "story/scene_character_choice.h"
#include "story/scene_delphy.h"
#include "story/scene_option.h"
#include "story/story_release.h"
#include "story/story_sound.h"

namespace {

constexpr int kTitlePicture = 408;
constexpr int kMenuSheet = 409;
constexpr int kCursorImage = 410;
constexpr int kTitleMusic = 0;
constexpr int kCursorSound = 12;
constexpr int kDecideSound = 13;

constexpr int kItemWidth = 256;
constexpr int kItemHeight = 52;
constexpr int kItemRestX = 380;
constexpr double kRadiansPerDegree = 0.0174532925;

}  // namespace

int fadedVolume(int fade) { return static_cast<int>(fade * masterVolume); }

SceneTitle::SceneTitle(std::shared_ptr<Loader> loader) : Scene(std::move(loader)) {
    for (int i = 0; i < kItemCount; ++i) {
        itemGraph_[i] = DeriveSubGraph(0, kItemHeight * i, kItemWidth, kItemHeight, loader_->image(kMenuSheet));
        itemX_[i] = 640 + 50 * i;
        itemY_[i] = 156 + kItemHeight * i;
    }
}

SceneTitle::~SceneTitle() {
    for (int& graph : itemGraph_) releaseStoryGraph(graph);
}

void SceneTitle::loadResources(bool) {}

void SceneTitle::update() {
    const int music = loader_->sound(kTitleMusic);
    keepMusicPlaying(music);
    cursorAngle_ = (cursorAngle_ + 1) % 360;

    switch (phase_) {
        case kFadeIn:
            if (fade_ > 254) {
                phase_ = kSlideIn;
            } else {
                fade_ += 10;
                SetSoundHandleVolume(fadedVolume(fade_), music);
            }
            break;
        case kSlideIn:
            for (int& x : itemX_) {
                if (x > kItemRestX) x -= 5;
            }
            if (itemX_[kExit] <= kItemRestX) phase_ = kMenu;
            break;
        case kMenu:
            if (inputPressed(0, kButtonUp)) {
                selected_ = (selected_ + kItemCount - 1) % kItemCount;
                playEffect(loader_->sound(kCursorSound));
            }
            if (inputPressed(0, kButtonDown)) {
                selected_ = (selected_ + 1) % kItemCount;
                playEffect(loader_->sound(kCursorSound));
            }
            if (inputPressed(0, kButtonFirst)) {
                playEffect(loader_->sound(kDecideSound));
                phase_ = kFadeOut;
            }
            break;
        case kFadeOut:
            if (fade_ >= 1) {
                fade_ -= 10;
                if (fade_ < 0) fade_ = 0;
                SetSoundHandleVolume(fadedVolume(fade_), music);
            } else if (!acted_) {
                act();
            }
            break;
        default:
            break;
    }
    draw();
}

void SceneTitle::act() {
    acted_ = true;
    const int music = loader_->sound(kTitleMusic);
    switch (selected_) {
        case kVersus:
            setNextScene(std::make_shared<SceneCharacterChoice>(true, false, loader_));
            break;
        case kVersusComputer:
            setNextScene(std::make_shared<SceneCharacterChoice>(true, true, loader_));
            break;
        case kStory:
            setNextScene(std::make_shared<SceneCharacterChoice>(false, true, loader_));
            break;
        case kExtra:
            StopSoundHandle(music);
            setNextScene(std::make_shared<SceneDelphy>(loader_));
            break;
        case kOptions:
            setNextScene(std::make_shared<SceneOption>(loader_));
            break;
        case kExit:
            StopSoundHandle(music);
            gameEndFlag = -1;
            break;
        default:
            break;
    }
}

void SceneTitle::draw() {
    SetDrawColorScale(fade_, fade_, fade_);
    DrawGraphAt(0, 0, loader_->image(kTitlePicture), 0);
    SetDrawColorScale(255, 255, 255);

    if (phase_ == kSlideIn) {
        for (int i = 0; i < kItemCount; ++i) DrawGraphAt(itemX_[i], itemY_[i], itemGraph_[i], 1);
    } else if (phase_ == kMenu) {
        DrawGraphRotated(320, 180 + kItemHeight * selected_, 1.0, cursorAngle_ * kRadiansPerDegree,
                         loader_->image(kCursorImage), 1, 0);
        for (int i = 0; i < kItemCount; ++i) {
            if (i == selected_) {
                SetBlendMode(0, 255);
                DrawGraphAt(itemX_[i] - 40, itemY_[i], itemGraph_[i], 1);
            } else {
                SetBlendMode(1, 100);
                DrawGraphAt(itemX_[i], itemY_[i], itemGraph_[i], 1);
            }
        }
        SetBlendMode(0, 255);
    }
}

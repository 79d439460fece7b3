// Character choice (see scene_character_choice.h).
#include "story/scene_character_choice.h"

#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "game/shell/options.h"
#include "graphics/graphics.h"
#include "story/scene_talk.h"
#include "story/scene_title.h"
#include "story/story_links.h"
#include "story/story_sound.h"

namespace {

constexpr int kFrameImage = 411;
constexpr int kSide1Panel = 412;
constexpr int kSide2Panel = 413;
constexpr int kSide0Portraits = 414;
constexpr int kSide1Portraits = 415;
constexpr int kStoryPortraits = 416;
constexpr int kStoryNames = 417;
constexpr int kSelectMark = 418;
constexpr int kBannerA = 419;
constexpr int kBannerB = 420;
constexpr int kTitleMusic = 0;
constexpr int kCursorSound = 12;
constexpr int kDecideSound = 13;
constexpr int kCancelSound = 14;

constexpr int kPortraitY = 90;

}  // namespace

SceneCharacterChoice::SceneCharacterChoice(bool versus, bool onePad, std::shared_ptr<Loader> loader)
    : Scene(std::move(loader)), versus_(versus), onePad_(onePad) {
    // In the story only side 1's cursor is used; side 0 counts as decided from the start.
    if (!versus_) sides_[0].decided = true;
}

SceneCharacterChoice::~SceneCharacterChoice() = default;

void SceneCharacterChoice::loadResources(bool) {}

void SceneCharacterChoice::update() {
    SetSoundHandleVolume(fadedVolume(fade_), loader_->sound(kTitleMusic));
    draw();
    switch (state_) {
        case kFadeIn:
            if (fade_ > 254) {
                state_ = kActive;
                return;
            }
            fade_ += 5;
            break;
        case kFadeOut:
            if (fade_ < 1) {
                setNextScene(pending_);
                return;
            }
            fade_ -= 5;
            break;
        case kActive:
            handleInput();
            if (nextScene_) return;  // back to the title at once
            break;
        default:
            break;
    }
    slide();
}

void SceneCharacterChoice::move(Side& side, int delta) {
    const int n = characterCount();
    side.cursor = (side.cursor + delta + n) % n;
    side.direction = delta > 0 ? 1 : 2;
    side.offset = 0;
    playEffect(loader_->sound(kCursorSound));
}

void SceneCharacterChoice::handleInput() {
    for (int s = 0; s < 2; ++s) {
        if (inputPressed(s, kButtonSecond) && !sides_[0].decided && !sides_[1].decided) {
            playEffect(loader_->sound(kCancelSound));
            setNextScene(std::make_shared<SceneTitle>(loader_));
            return;
        }
    }

    if (onePad_) {
        Side& moving = sides_[0].decided ? sides_[1] : sides_[0];
        if (moving.direction == 0) {
            if (inputPressed(0, kButtonLeft)) {
                move(moving, -1);
            } else if (inputPressed(0, kButtonRight)) {
                move(moving, +1);
            } else if (!versus_ && inputPressed(0, kButtonDown)) {
                move(sides_[1], +1);
            } else if (!versus_ && inputPressed(0, kButtonUp)) {
                move(sides_[1], -1);
            }
        }
        if (inputPressed(0, kButtonSecond)) {
            playEffect(loader_->sound(kCancelSound));
            if (versus_) {
                sides_[0].decided = false;
            } else {
                setNextScene(std::make_shared<SceneTitle>(loader_));
                return;
            }
        }
    } else {
        for (int s = 0; s < 2; ++s) {
            Side& side = sides_[s];
            if (!side.decided && side.direction == 0) {
                if (inputPressed(s, kButtonLeft)) {
                    move(side, -1);
                } else if (inputPressed(s, kButtonRight)) {
                    move(side, +1);
                }
            }
            if (inputPressed(s, kButtonSecond) && side.decided) {
                side.decided = false;
                playEffect(loader_->sound(kCancelSound));
            }
        }
    }

    if (versus_) {
        if (onePad_) {
            if (inputPressed(0, kButtonFirst)) {
                (sides_[0].decided ? sides_[1] : sides_[0]).decided = true;
                playEffect(loader_->sound(kDecideSound));
            }
        } else {
            for (int s = 0; s < 2; ++s) {
                if (inputPressed(s, kButtonFirst)) {
                    sides_[s].decided = true;
                    playEffect(loader_->sound(kDecideSound));
                }
            }
        }
        if (sides_[0].decided && sides_[1].decided) {
            pending_ = makeMatchScene(sides_[0].cursor, sides_[1].cursor, true, onePad_, 0, loader_);
            state_ = kFadeOut;
            StopSoundHandle(loader_->sound(kTitleMusic));
        }
    } else if (inputPressed(0, kButtonFirst)) {
        sides_[1].decided = true;
        const int character = sides_[1].cursor;
        pending_ = std::make_shared<SceneTalk>(character, firstStoryPartner(character), 0, false, loader_);
        state_ = kFadeOut;
        playEffect(loader_->sound(kDecideSound));
        StopSoundHandle(loader_->sound(kTitleMusic));
    }
}

void SceneCharacterChoice::slide() {
    for (Side& side : sides_) {
        if (side.direction == 0) continue;
        if (side.offset == kCellWidth) {
            side.direction = 0;
            side.offset = 0;
        } else {
            side.offset += 10;
        }
    }
}

void SceneCharacterChoice::drawPortrait(const Side& side, int sheetEntry, int x) {
    const int sheet = loader_->image(sheetEntry);
    const int n = characterCount();
    const int d = side.offset;
    auto part = [&](int destX, int character, int fromX, int width) {
        // A part of no width is no cut at all.
        if (width <= 0) return;
        DrawGraphPart(destX, kPortraitY, kCellWidth * character + fromX, 0, width, kCellHeight, sheet, 1, 0);
    };
    switch (side.direction) {
        case 1: {
            // The strip holds only the real characters: the outgoing one is taken round the list.
            const int previous = (side.cursor + n - 1) % n;
            part(x, previous, d, kCellWidth - d);
            part(x + kCellWidth - d, side.cursor, 0, d);
            break;
        }
        case 2: {
            const int next = (side.cursor + 1) % n;
            part(x + d, next, 0, kCellWidth - d);
            part(x, side.cursor, kCellWidth - d, d);
            break;
        }
        default:
            part(x, side.cursor, 0, kCellWidth);
            break;
    }
}

void SceneCharacterChoice::drawBanners() {
    const int tenth = bannerPosition_[0] / 10;
    if (tenth == 300 || tenth == 340) bannerSpeed_ = -bannerSpeed_;
    bannerPosition_[0] += bannerSpeed_;
    bannerPosition_[1] -= bannerSpeed_;
    DrawGraphRotated(bannerPosition_[0] / 10, 42, 1.0, 0.0, loader_->image(kBannerA), 1, 0);
    DrawGraphRotated(bannerPosition_[1] / 10, 42, 1.0, 0.0, loader_->image(kBannerB), 1, 0);
}

void SceneCharacterChoice::draw() {
    SetDrawColorScale(fade_, fade_, fade_);
    if (versus_) {
        DrawGraphAt(360, 90, loader_->image(kSide2Panel), 1);
        DrawGraphAt(70, 90, loader_->image(kSide1Panel), 1);
        drawPortrait(sides_[0], kSide0Portraits, 70);
        drawPortrait(sides_[1], kSide1Portraits, 360);
        DrawGraphAt(0, 0, loader_->image(kFrameImage), 1);
        if (!sides_[0].decided) DrawGraphAt(70, 184, loader_->image(kSelectMark), 1);
        if (!sides_[1].decided) DrawGraphAt(360, 184, loader_->image(kSelectMark), 1);
    } else {
        DrawGraphAt(360, 90, loader_->image(kSide2Panel), 1);
        drawPortrait(sides_[1], kStoryPortraits, 360);
        DrawGraphAt(70, 90, loader_->image(kSide1Panel), 1);
        const int names = loader_->image(kStoryNames);
        for (int i = 0; i < 6; ++i) {
            if (i != sides_[1].cursor) SetBlendMode(1, 100);
            DrawGraphPart(80, 132 + 50 * i, 0, 50 * i, 174, 50, names, 1, 0);
            SetBlendMode(0, 255);
        }
        DrawGraphAt(0, 0, loader_->image(kFrameImage), 1);
        DrawGraphAt(360, 184, loader_->image(kSelectMark), 1);
    }
    drawBanners();
    SetDrawColorScale(255, 255, 255);
}

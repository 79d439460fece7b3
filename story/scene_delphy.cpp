// The extra story scene (see scene_delphy.h).
#include "story/scene_delphy.h"

#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "game/shell/options.h"
#include "graphics/graphics.h"
#include "runtime/runtime.h"
#include "story/scene_title.h"
#include "story/story_sound.h"

namespace {

constexpr int kFigurePictures = 370;  // 370 + figure picture
constexpr int kMenuWindow = 375;
constexpr int kSubMenuWindow = 376;
constexpr int kBackground = 377;
constexpr int kGalleryPictures = 378;  // 378 + picture
constexpr int kTextWindow = 391;
constexpr int kFigure = 403;
constexpr int kStrip = 404;
constexpr int kTrackList = 405;
constexpr int kTrackCursor = 406;
constexpr int kChimeSprite = 407;

constexpr int kTitleMusic = 0;
constexpr int kSceneMusic = 11;
constexpr int kCursorSound = 12;
constexpr int kDecideSound = 13;
constexpr int kCancelSound = 14;
constexpr int kPageSound = 15;
constexpr int kChimeSound = 46;

constexpr int kTrackCount = 11;
constexpr int kGalleryCount = 13;
constexpr int kRowWidth = 460;
constexpr int kRowHeight = 84;

struct TextState {
    int state;
    int pages;
    int sheet;
    int after;
};

constexpr TextState kTextStates[] = {
    {SceneDelphy::kOpening, 4, 392, SceneDelphy::kMenu},   {SceneDelphy::kText0, 1, 393, SceneDelphy::kMenu},
    {SceneDelphy::kText1, 1, 394, SceneDelphy::kMenu},     {SceneDelphy::kText6, 1, 401, SceneDelphy::kMenu},
    {SceneDelphy::kText7, 1, 402, SceneDelphy::kFadeOut},  {SceneDelphy::kSubText0, 10, 395, SceneDelphy::kSubMenu},
    {SceneDelphy::kSubText1, 11, 396, SceneDelphy::kSubMenu}, {SceneDelphy::kSubText2, 4, 397, SceneDelphy::kSubMenu},
};

const TextState* findText(int state) {
    for (const TextState& text : kTextStates) {
        if (text.state == state) return &text;
    }
    return nullptr;
}

}  // namespace

int SceneDelphy::textSheet(int state) {
    if (const TextState* text = findText(state)) return text->sheet;
    switch (state) {
        case kMusicRoom: return 398;
        case kGallery: return 399;
        case kChimeGame: return 400;
        case kFadeOut: return 402;
        default: return -1;
    }
}

int SceneDelphy::textPages(int state) {
    const TextState* text = findText(state);
    return text ? text->pages : 0;
}

SceneDelphy::SceneDelphy(std::shared_ptr<Loader> loader) : Scene(std::move(loader)) {}

SceneDelphy::~SceneDelphy() = default;

void SceneDelphy::loadResources(bool release) { loader_->loadExtraScene(release); }

void SceneDelphy::update() {
    const int music = loader_->sound(kSceneMusic);
    if (playingTrack_ == kNoTrack) keepMusicPlaying(music);

    switch (state_) {
        case kFadeIn:
            if (fade_ > 254) {
                state_ = kOpening;
            } else {
                fade_ += 3;
                SetSoundHandleVolume(fadedVolume(fade_), music);
            }
            break;
        case kMenu:
            if (inputPressed(0, kButtonUp)) {
                menuCursor_ = (menuCursor_ + 7) % 8;
                playEffect(loader_->sound(kCursorSound));
            }
            if (inputPressed(0, kButtonDown)) {
                menuCursor_ = (menuCursor_ + 1) % 8;
                playEffect(loader_->sound(kCursorSound));
            }
            if (inputPressed(0, kButtonFirst)) {
                state_ = menuCursor_;
                playEffect(loader_->sound(kDecideSound));
            }
            break;
        case kSubMenu:
            if (inputPressed(0, kButtonUp)) {
                subCursor_ = (subCursor_ + 3) % 4;
                playEffect(loader_->sound(kCursorSound));
            }
            if (inputPressed(0, kButtonDown)) {
                subCursor_ = (subCursor_ + 1) % 4;
                playEffect(loader_->sound(kCursorSound));
            }
            if (inputPressed(0, kButtonFirst)) {
                playEffect(loader_->sound(kDecideSound));
                if (subCursor_ == 3) {
                    state_ = kMenu;
                    subCursor_ = 0;
                } else {
                    state_ = kSubText0 + subCursor_;
                }
            }
            break;
        case kMusicRoom:
            stepMusicRoom();
            break;
        case kGallery:
            stepGallery();
            break;
        case kChimeGame:
            stepChimeGame();
            break;
        case kFadeOut:
            if (fade_ >= 1) {
                fade_ -= 3;
                if (fade_ < 0) fade_ = 0;
                SetSoundHandleVolume(fadedVolume(fade_), music);
            } else if (!nextScene_) {
                StopSoundHandle(music);
                setNextScene(std::make_shared<SceneTitle>(loader_));
            }
            break;
        default:
            if (findText(state_)) stepText();
            break;
    }
    draw();
}

void SceneDelphy::stepText() {
    const TextState* text = findText(state_);
    if (inputPressed(0, kButtonFirst)) {
        ++page_;
        playEffect(loader_->sound(kPageSound));
    }
    if (state_ == kOpening && page_ == 1) figurePicture_ = 1;
    if (page_ >= text->pages) {
        state_ = text->after;
        page_ = 0;
    }
}

void SceneDelphy::stopTrack() {
    // The Loader owns the track's entry: releasing through it leaves the entry empty, so nothing is released
    // twice when the same entry is loaded again.
    if (playingTrack_ != kNoTrack) loader_->loadSound(playingTrack_, true);
    playingTrack_ = kNoTrack;
}

void SceneDelphy::stepMusicRoom() {
    if (playingTrack_ == kNoTrack) {
        page_ = kNoTrack;
    } else {
        StopSoundHandle(loader_->sound(kSceneMusic));
        stripOffset_ = (stripOffset_ + 2) % 512;
    }
    if (inputPressed(0, kButtonUp)) {
        musicCursor_ = (musicCursor_ + kTrackCount - 1) % kTrackCount;
        playEffect(loader_->sound(kCursorSound));
    }
    if (inputPressed(0, kButtonDown)) {
        musicCursor_ = (musicCursor_ + 1) % kTrackCount;
        playEffect(loader_->sound(kCursorSound));
    }
    if (inputPressed(0, kButtonFirst)) {
        if (playingTrack_ == kNoTrack) StopSoundHandle(loader_->sound(kSceneMusic));
        stopTrack();
        // A fresh load (volume from the master volume), played from the top.
        loader_->loadSound(musicCursor_, false);
        PlaySoundHandle(loader_->sound(musicCursor_), 3, 1);
        playingTrack_ = musicCursor_;
        page_ = musicCursor_;
    }
    if (inputPressed(0, kButtonSecond)) {
        state_ = kMenu;
        page_ = 0;
        stopTrack();
        loader_->loadSound(kTitleMusic, false);
        keepMusicPlaying(loader_->sound(kSceneMusic));
        playEffect(loader_->sound(kCancelSound));
    }
}

void SceneDelphy::stepGallery() {
    if (!inputPressed(0, kButtonFirst)) return;
    frameCounter_ = (frameCounter_ + 1) % 2;
    if (frameCounter_ == 0) ++page_;
    if (page_ >= kGalleryCount) {
        state_ = kMenu;
        page_ = 0;
        frameCounter_ = 0;
    }
}

void SceneDelphy::stepChimeGame() {
    const int music = loader_->sound(kSceneMusic);
    SetSoundHandleVolume(static_cast<int>(30 * masterVolume), music);
    if (chimeTarget_ == -1) chimeTarget_ = RandomInt(10);
    if (soundIsPlaying(loader_->sound(kDecideSound))) return;
    if (soundIsPlaying(loader_->sound(kChimeSound)) || chimesRung_ >= chimeTarget_) {
        ++frameCounter_;
    } else {
        playEffect(loader_->sound(kChimeSound));
        ++chimesRung_;
        ++page_;
        frameCounter_ = 0;
    }
    if (inputPressed(0, kButtonFirst) && chimesRung_ == chimeTarget_) {
        state_ = kMenu;
        chimeTarget_ = -1;
        chimesRung_ = 0;
        page_ = 0;
        frameCounter_ = 0;
        playEffect(loader_->sound(kPageSound));
        SetSoundHandleVolume(masterVolumeLevel(), music);
    }
}

void SceneDelphy::drawFigures() {
    SetDrawColorScale(fade_, fade_, fade_);
    DrawGraphAt(220, 32, loader_->image(kFigure), 1);
    DrawGraphAt(8, 268, loader_->image(kFigurePictures + figurePicture_), 1);
    figurePicture_ = 0;
    SetDrawColorScale(255, 255, 255);
}

void SceneDelphy::drawHighlight(int cursor) {
    highlightAlpha_ += highlightStep_;
    if (highlightAlpha_ >= 100 || highlightAlpha_ <= 60) highlightStep_ = -highlightStep_;
    SetBlendMode(1, highlightAlpha_);
    DrawRectangle(194, 149 + 26 * cursor, 446, 171 + 26 * cursor, RgbToScreenPixel(50, 150, 100), 1);
    SetBlendMode(0, 255);
}

void SceneDelphy::drawTextRow(bool withRow) {
    if (state_ == kSubText0 || state_ == kSubText1 || state_ == kSubText2) figurePicture_ = 2 + state_ - kSubText0;
    SetDrawColorScale(fade_, fade_, fade_);
    DrawGraphAt(168, 392, loader_->image(kTextWindow), 1);
    // Drawn from the sheet directly, so no cut graph is left behind.
    if (withRow) {
        DrawGraphPart(168, 392, 0, page_ * kRowHeight, kRowWidth, kRowHeight, loader_->image(textSheet(state_)), 1,
                      0);
    }
    SetDrawColorScale(255, 255, 255);
}

void SceneDelphy::drawMusicRoom() {
    SetViewportRect(148, 358, 490, 364);
    const int strip = loader_->image(kStrip);
    DrawGraphAt(stripOffset_ + 148, 358, strip, 1);
    DrawGraphAt(stripOffset_ - 364, 358, strip, 1);
    SetViewportRect(0, 0, 640, 480);
    DrawGraphAt(0, 0, loader_->image(kTrackList), 1);
    DrawGraphAt(148, 32 + 28 * musicCursor_, loader_->image(kTrackCursor), 1);
}

void SceneDelphy::drawChimes() {
    const int sprite = loader_->image(kChimeSprite);
    for (int i = 1; i <= chimesRung_; ++i) {
        DrawGraphRotated(640 / (chimesRung_ + 1) * i, 240, 1.0, 0.0, sprite, 1, frameCounter_ > 45 ? 1 : 0);
    }
}

void SceneDelphy::draw() {
    SetDrawColorScale(fade_, fade_, fade_);
    DrawGraphAt(0, 0, loader_->image(kBackground), 0);
    SetDrawColorScale(255, 255, 255);
    switch (state_) {
        case kFadeIn:
            drawFigures();
            break;
        case kMenu:
            drawFigures();
            DrawGraphAt(170, 116, loader_->image(kMenuWindow), 0);
            drawHighlight(menuCursor_);
            break;
        case kSubMenu:
            drawFigures();
            DrawGraphAt(170, 116, loader_->image(kSubMenuWindow), 1);
            drawHighlight(subCursor_);
            break;
        case kMusicRoom:
            drawMusicRoom();
            drawTextRow(true);
            break;
        case kGallery:
            if (frameCounter_ == 1) {
                DrawGraphRotated(320, 240, 1.0, 0.0, loader_->image(kGalleryPictures + page_), 0, 0);
            } else {
                drawTextRow(true);
            }
            break;
        case kChimeGame: {
            drawChimes();
            const bool ringing = soundIsPlaying(loader_->sound(kChimeSound)) || chimesRung_ < chimeTarget_;
            drawTextRow(!ringing);
            break;
        }
        default:
            drawFigures();
            drawTextRow(true);
            break;
    }
}

// Obren's skills. Telvix and Ossive run while both sides are held and end with state 8; Doubles darkens,
// shows Obren's figure, then lets play go on with the caster's garbage doubled and ends with state 9.
#include "game/skills/skills_obren.h"

#include <algorithm>

#include "game/match/block.h"
#include "game/match/player.h"
#include "game/match/player_processer.h"
#include "game/shell/loader.h"
#include "runtime/runtime.h"

namespace {

constexpr int kImageTelvix = 361;
constexpr int kImageOssiveCut = 362;
constexpr int kImageOssiveSlash = 363;
constexpr int kImageDoublesFigure = 259;
constexpr int kSoundSlash = 40;
constexpr int kSoundDoubles = 41;

constexpr int kDarkest = 100;
constexpr int kMarkFrames = 18;

void setBrightness(int brightness) { SetDrawColorScale(brightness, brightness, brightness); }

bool holdsBlockOrChip(int cell) { return cell == kCellBlock || cell == kCellChip; }

}  // namespace

// SkillTelvix

SkillTelvix::SkillTelvix(const std::shared_ptr<Player>& owner, std::shared_ptr<Loader> loader)
    : Skill(owner, std::move(loader)) {
    int sheet = skillImage(this->loader, kImageTelvix);
    for (int k = 0; k < 5; ++k) frames_[k] = sheet != -1 ? DeriveSubGraph(0, 160 * k, 320, 160, sheet) : -1;
    if (!owner) return;
    setSkillFace(*owner, kFaceHidden);
    if (std::shared_ptr<Player> rival = owner->getEnemy()) rival->faceFrame = 0;
    for (int r = 0; r < kFieldRows && topRow_ == 21; ++r)
        for (int c = 0; c < kFieldColumns; ++c)
            if (holdsBlockOrChip(owner->cells[r][c])) {
                topRow_ = r;
                break;
            }
    slashY_ = std::min(topRow_ * 18 + 56, 292);
}

SkillTelvix::~SkillTelvix() {
    for (int frame : frames_)
        if (frame != -1) ReleaseGraph(frame, 0);
}

int SkillTelvix::lastRow() const { return std::min(topRow_ + 4, kFieldRows) - 1; }

void SkillTelvix::update() {
    Player* o = owner();
    if (o == nullptr) return;
    switch (state_) {
        case 0:
            if (brightness_ <= kDarkest)
                state_ = 1;
            else
                brightness_ -= 5;
            break;
        case 1:
            if (frameCount_ > 18) {
                for (int r = topRow_; r <= lastRow(); ++r)
                    for (int c = 0; c < kFieldColumns; ++c)
                        if (holdsBlockOrChip(o->cells[r][c])) o->cells[r][c] = kCellMarked;
                o->clearFrames = 0;
                state_ = 2;
                playSkillSound(loader, kSoundSlash);
            } else {
                ++frameCount_;
            }
            break;
        case 2:
            if (o->clearFrames < kMarkFrames) {
                ++o->clearFrames;
            } else {
                o->clearFrames = 0;
                for (int r = topRow_; r <= lastRow(); ++r)
                    for (int c = 0; c < kFieldColumns; ++c)
                        if (o->cells[r][c] == kCellMarked) o->cells[r][c] = kCellEmpty;
                state_ = 3;
            }
            break;
        case 3:
            if (brightness_ > 254)
                state_ = 4;
            else
                brightness_ += 5;
            break;
        case 4: finishSkill(*this); break;
        default: break;
    }
}

void SkillTelvix::draw() {
    Player* o = owner();
    if (o == nullptr) return;
    setBrightness(255);
    int frame = frames_[std::min(frameCount_ / 4, 4)];
    if (o->side == 1)
        DrawGraphAt(340, slashY_, frame, 1);
    else
        DrawGraphMirrored(-20, slashY_, frame, 1);
    setBrightness(brightness_);
}

// SkillOssive

SkillOssive::SkillOssive(const std::shared_ptr<Player>& owner, std::shared_ptr<Loader> loader)
    : Skill(owner, std::move(loader)) {
    std::fill(trail_, trail_ + kTrailLength, kSlashStart);
    if (owner) setSkillFace(*owner, kFaceHidden);
}

SkillOssive::~SkillOssive() = default;

void SkillOssive::cutField(Player& player) {
    PlayerProcesser::cascadeCells(player);
    for (int r = 0; r < kFieldRows; ++r) {
        int* row = player.cells[r];
        for (int c = 0; c < 3; ++c) row[c] = row[c + 2];
        for (int c = 9; c >= 7; --c) row[c] = row[c - 2];
        for (int c = 3; c <= 6; ++c) row[c] = kCellEmpty;
    }
}

void SkillOssive::update() {
    Player* o = owner();
    if (o == nullptr) return;
    switch (state_) {
        case 0:
            if (brightness_ <= kDarkest)
                state_ = 1;
            else
                brightness_ -= 5;
            break;
        case 1:
            for (int k = kTrailLength - 1; k >= 1; --k) trail_[k] = trail_[k - 1];
            if (y_ < kSlashRest) y_ += 18;
            // The slash has rested at the bottom for the whole length of its trail.
            if (trail_[kTrailLength - 1] == y_) {
                state_ = 2;
                cutField(*o);
                playSkillSound(loader, kSoundSlash);
            }
            trail_[0] = y_;
            frameCount_ = (frameCount_ + 1) % 9;
            break;
        case 2:
            if (frameCount_ > 28) {
                state_ = 3;
            } else {
                alpha_ -= 5;
                ++frameCount_;
            }
            break;
        case 3:
            brightness_ = 255;
            setBrightness(255);
            setSkillFace(*o, kFaceNormal);
            o->state = kStateSkillOverBoth;
            break;
        default: break;
    }
}

void SkillOssive::draw() {
    Player* o = owner();
    if (o == nullptr) return;
    setBrightness(255);
    if (state_ == 1) {
        static const int kAfterimages[6][2] = {{18, 16}, {15, 40}, {12, 64}, {9, 88}, {6, 112}, {3, 136}};
        int x = o->side * 240 + 120;
        int slash = skillImage(loader, kImageOssiveSlash);
        for (const auto& a : kAfterimages) {
            SetBlendMode(1, a[1]);
            DrawGraphAt(x, trail_[a[0]], slash, 1);
        }
        SetBlendMode(0, 255);
        DrawGraphAt(x, y_, slash, 1);
    } else if (state_ == 2) {
        SetBlendMode(1, alpha_);
        const int image = skillImage(loader, kImageOssiveCut);
        DrawGraphPart(o->side * 240 + 150, 0, (frameCount_ / 10) * 102, 0, 102, 480, image, 1, 0);
        SetBlendMode(0, 255);
    }
    setBrightness(brightness_);
}

// SkillDoubles

SkillDoubles::SkillDoubles(const std::shared_ptr<Player>& owner, std::shared_ptr<Loader> loader)
    : Skill(owner, std::move(loader)) {
    int side = owner ? owner->side : 0;
    x_ = side * 520 - 20;
    xStep_ = side * 6 - 3;
    xEnd_ = side * 580 - 50;
    if (owner) setSkillFace(*owner, kFaceOwnPose);
}

SkillDoubles::~SkillDoubles() = default;

void SkillDoubles::update() {
    Player* o = owner();
    if (o == nullptr) return;
    switch (state_) {
        case 0:
            if (brightness_ <= kDarkest) {
                state_ = 1;
                playSkillSound(loader, kSoundDoubles);
                o->doubleAttack = true;
            } else {
                brightness_ -= 5;
            }
            break;
        case 1:
            // Ten steps: the figure slides 30 pixels outward while it fades in.
            if (x_ == xEnd_) {
                state_ = 2;
            } else {
                alpha_ += 15;
                x_ += xStep_;
            }
            break;
        case 2:
            if (brightness_ <= 254) {
                brightness_ += 5;
            } else {
                std::shared_ptr<Player> rival = o->getEnemy();
                if (!rival) return;
                state_ = 3;
                o->skillRunsWhileFalling = true;
                o->state = kStateNextPiece;
                rival->state = kStateNextPiece;
                piecesSeen_ = o->piecesTaken;
            }
            break;
        case 3:
            if (o->piecesTaken - piecesSeen_ > kPieces) state_ = 4;
            break;
        case 4:
            o->doubleAttack = false;
            endFallingRun(*o);
            break;
        default: break;
    }
}

void SkillDoubles::draw() {
    Player* o = owner();
    // Only the figure's slide and the brightening draw; the darkening before them counts down unseen.
    if (o == nullptr || state_ < 1 || state_ > 2) return;
    setBrightness(255);
    SetBlendMode(1, alpha_);
    int figure = skillImage(loader, kImageDoublesFigure);
    if (o->side == 1)
        DrawGraphAt(x_, 220, figure, 1);
    else
        DrawGraphMirrored(x_, 220, figure, 1);
    SetBlendMode(0, 255);
    setBrightness(brightness_);
}

// Factories for the class table.

std::shared_ptr<Skill> makeSkillTelvix(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillTelvix>(owner, loader);
}

std::shared_ptr<Skill> makeSkillOssive(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillOssive>(owner, loader);
}

std::shared_ptr<Skill> makeSkillDoubles(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillDoubles>(owner, loader);
}

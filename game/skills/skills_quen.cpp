// Quen's skills: the wind that packs the caster's rows, the photo that copies the rival's field, and the gale
// that shifts the rival's columns. All three run while both sides are held and end with state 8.
#include "game/skills/skills_quen.h"

#include <string.h>

#include "game/match/player.h"
#include "game/shell/loader.h"
#include "runtime/runtime.h"

namespace {

enum Image {
    kImageWind = 364,
    kImageWindFigure = 365,
    kImagePhotoFrame = 366,
    kImageCamera = 367,
    kImageGale = 368,
    kImageManboFigure = 369,
};

enum Sound {
    kSoundWind = 42,
    kSoundShutter = 43,
    kSoundGale = 44,
};

constexpr double kRadiansPerDegree = 0.0174532925;

// Skill pictures face the field: side 1 as drawn, side 0 mirrored.
void drawFacing(int side, int x, int y, int graph) {
    if (side == 1)
        DrawGraphAt(x, y, graph, 1);
    else
        DrawGraphMirrored(x, y, graph, 1);
}

void releaseAll(const int (&graphs)[3]) {
    for (int graph : graphs)
        if (graph != -1) ReleaseGraph(graph, 0);
}

}  // namespace

// SkillWind

SkillWind::SkillWind(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader)
    : Skill(owner, loader), windX_(owner ? owner->side * 1100 - 460 : 0) {
    int sheet = skillImage(loader, kImageWindFigure);
    for (int k = 0; k < 3; ++k) figureFrames_[k] = DeriveSubGraph(160 * k, 0, 160, 256, sheet);
    if (!owner) return;
    setSkillFace(*owner, kFaceHidden);
    if (std::shared_ptr<Player> rival = owner->getEnemy()) rival->faceFrame = 0;
}

SkillWind::~SkillWind() { releaseAll(figureFrames_); }

void SkillWind::update() {
    Player* o = owner();
    if (o == nullptr) return;
    std::shared_ptr<Player> rival = o->getEnemy();
    if (!rival) return;
    rival->faceFrame = 0;
    switch (state_) {
        case 0:
            if (brightness_ > 100) {
                brightness_ -= 5;
            } else {
                figureFrame_ = 1;
                setSkillFace(*rival, kFaceWindHit);
                state_ = 1;
            }
            break;
        case 1:
            if (count_ == 15) figureFrame_ = 2;
            if (count_ == 20) {
                gust(*o);
                playSkillSound(loader, kSoundWind);
            }
            if (count_ >= 100) {
                state_ = 2;
                figureFrame_ = 0;
            } else {
                ++count_;
                windX_ += o->side == 0 ? 20 : -20;
            }
            break;
        case 2:
            if (brightness_ < 255) {
                brightness_ += 5;
            } else {
                setSkillFace(*rival, kFaceNormal);
                state_ = 3;
            }
            break;
        default: finishSkill(*this); break;
    }
}

// Every row keeps its cells in order and packs them against the wall away from the caster: column 9 for
// side 0, column 0 for side 1.
void SkillWind::gust(Player& owner) {
    const bool toRight = owner.side == 0;
    for (int r = 0; r < kFieldRows; ++r) {
        int packed[kFieldColumns];
        int n = 0;
        for (int i = 0; i < kFieldColumns; ++i) {
            int c = toRight ? kFieldColumns - 1 - i : i;
            if (owner.cells[r][c] != kCellEmpty) packed[n++] = owner.cells[r][c];
        }
        for (int i = 0; i < kFieldColumns; ++i) {
            int c = toRight ? kFieldColumns - 1 - i : i;
            owner.cells[r][c] = i < n ? packed[i] : kCellEmpty;
        }
    }
}

void SkillWind::draw() {
    Player* o = owner();
    if (o == nullptr) return;
    SetDrawColorScale(255, 255, 255);
    const int side = o->side;
    drawFacing(side, side == 1 ? 500 : -20, 220, figureFrames_[figureFrame_]);
    drawFacing(side, windX_, 220, skillImage(loader, kImageWind));
    SetDrawColorScale(brightness_, brightness_, brightness_);
}

// SkillCopy

SkillCopy::SkillCopy(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader)
    : Skill(owner, loader), photo_(CreateEmptyGraph(320, 240, 0)) {
    if (owner) setSkillFace(*owner, kFaceHidden);
}

SkillCopy::~SkillCopy() {
    if (photo_ != -1) ReleaseGraph(photo_, 0);
}

void SkillCopy::update() {
    Player* o = owner();
    if (o == nullptr) return;
    std::shared_ptr<Player> rival = o->getEnemy();
    if (!rival) return;
    switch (state_) {
        case 0:
            // The picture shown now: the front screen, not the frame being drawn.
            x_ = rival->side == 1 ? 480 : 190;
            SetTargetScreen(-4);
            CaptureScreenToGraph(x_ - 160, 210, x_ + 160, 450, photo_, 1);
            SetTargetScreen(-2);
            state_ = 1;
            playSkillSound(loader, kSoundShutter);
            break;
        case 1:
            if (count_ > 9)
                state_ = 2;
            else
                ++count_;
            break;
        case 2:
            x_ += o->side * 8 - 4;
            scale_ -= 0.008;
            angle_ = (angle_ + 8) % 360;
            if (x_ <= 70 || x_ >= 570) {
                // The rival's cells as they are when the photo lands, marked cells and chips included.
                memcpy(o->cells, rival->cells, sizeof(o->cells));
                state_ = 3;
            }
            break;
        default: finishSkill(*this); break;
    }
}

void SkillCopy::draw() {
    Player* o = owner();
    if (o == nullptr) return;
    if (state_ == 1 && count_ < 6) DrawRectangle(0, 0, 640, 480, RgbToScreenPixel(255, 255, 255), 1);
    const int side = o->side;
    drawFacing(side, side == 1 ? 500 : -20, 220, skillImage(loader, kImageCamera));
    if (state_ == 1 || state_ == 2) {
        const double angle = angle_ * kRadiansPerDegree;
        DrawGraphRotated(x_, 330, scale_, angle, photo_, 0, 0);
        DrawGraphRotated(x_, 330, scale_, angle, skillImage(loader, kImagePhotoFrame), 1, 0);
    }
}

// SkillManbo

SkillManbo::SkillManbo(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader)
    : Skill(owner, loader),
      x_(owner && owner->side == 1 ? 500 : -180),
      xStep_(owner ? 10 - 20 * owner->side : 10) {
    int figures = skillImage(loader, kImageManboFigure);
    int gale = skillImage(loader, kImageGale);
    for (int k = 0; k < 3; ++k) {
        figureFrames_[k] = DeriveSubGraph(0, 160 * k, 320, 160, figures);
        windFrames_[k] = DeriveSubGraph(256 * k, 0, 256, 382, gale);
    }
    if (!owner) return;
    setSkillFace(*owner, kFaceHidden);
    if (std::shared_ptr<Player> rival = owner->getEnemy()) rival->faceFrame = 0;
}

SkillManbo::~SkillManbo() {
    releaseAll(figureFrames_);
    releaseAll(windFrames_);
}

void SkillManbo::update() {
    Player* o = owner();
    if (o == nullptr) return;
    std::shared_ptr<Player> rival = o->getEnemy();
    if (!rival) return;
    rival->faceFrame = 0;
    switch (state_) {
        case 0:
            x_ += xStep_;
            frameCount_ = (frameCount_ + 1) % 15;
            if (x_ < -199 || x_ >= 520) {
                playSkillSound(loader, kSoundGale);
                state_ = 1;
            }
            break;
        case 1:
            x_ += xStep_;
            frameCount_ = (frameCount_ + 1) % 15;
            if (count_ % 8 == 0) gust(*rival);
            if (count_ < 160) {
                ++count_;
                windFrameCount_ = (windFrameCount_ + 1) % 15;
            } else {
                state_ = 2;
            }
            setSkillFace(*rival, kFaceWindHit);
            break;
        default:
            o->state = kStateSkillOverBoth;
            setSkillFace(*o, kFaceNormal);
            o->faceFrame = 0;
            setSkillFace(*rival, kFaceNormal);
            break;
    }
}

// One gust: each column in turn goes up one row (a new block or nothing coming in at the bottom), down one row,
// or stays; the cell pushed out at the top or bottom is lost.
void SkillManbo::gust(Player& rival) {
    for (int c = 0; c < kFieldColumns; ++c) {
        int r = RandomInt(12);
        if (r <= 3) {
            for (int row = 0; row < kFieldRows - 1; ++row) rival.cells[row][c] = rival.cells[row + 1][c];
            rival.cells[kFieldRows - 1][c] = r == 3 ? kCellEmpty : kCellBlock;
        } else if (r <= 6) {
            for (int row = kFieldRows - 1; row > 0; --row) rival.cells[row][c] = rival.cells[row - 1][c];
            rival.cells[0][c] = kCellEmpty;
        }
    }
}

void SkillManbo::draw() {
    Player* o = owner();
    if (o == nullptr) return;
    const int side = o->side;
    if (state_ == 1) {
        SetBlendMode(1, 255 - count_);
        DrawGraphAt(side == 1 ? 72 : 312, 52, windFrames_[windFrameCount_ / 5], 1);
        SetBlendMode(0, 255);
    }
    drawFacing(side, x_, y_, figureFrames_[frameCount_ / 5]);
}

std::shared_ptr<Skill> makeSkillWind(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillWind>(owner, loader);
}

std::shared_ptr<Skill> makeSkillCopy(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillCopy>(owner, loader);
}

std::shared_ptr<Skill> makeSkillManbo(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillManbo>(owner, loader);
}

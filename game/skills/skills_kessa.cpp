// Kessa's skills, each a state machine stepped once a frame by the rules engine and drawn by the match scene
// after the fields. Orrant and Saisen run while both sides are held; Dorvel keeps running while play goes on.
#include "game/skills/skills_kessa.h"

#include <math.h>

#include "game/match/block.h"
#include "game/match/player.h"
#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "runtime/runtime.h"

namespace {

constexpr double kRadiansPerDegree = 0.0174532925;

// Image entries.
constexpr int kImageCharge = 42;
constexpr int kImageOrrantFigure = 328;
constexpr int kImageOrrantPillar = 329;
constexpr int kImageSaisenFigure = 330;
constexpr int kImageSaisenPlease = 331;
constexpr int kImageSaisenGet = 332;
constexpr int kImageSaisenMiss = 333;
constexpr int kImageBarrier = 334;

// Sound entries.
constexpr int kSoundOrrant = 26;
constexpr int kSoundCoin = 27;
constexpr int kSoundBarrier = 28;

constexpr int kMarkFrames = 18;
constexpr int kMaxSkillLevel = 3;

}  // namespace

// SkillOrrant.

SkillOrrant::SkillOrrant(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader)
    : Skill(owner, loader), x(owner ? owner->side * 520 + 60 : 60) {
    if (owner) setSkillFace(*owner, kFaceSkill);
}

void SkillOrrant::update() {
    Player* o = owner();
    if (o == nullptr) return;
    switch (state) {
        case 0:
            if (inputPressed(o->side, kButtonLeft) && column > 0) --column;
            if (inputPressed(o->side, kButtonRight) && column < kFieldColumns - 3) ++column;
            if (inputPressed(o->side, kButtonFirst)) state = 1;
            break;
        case 1: {
            // The figure swings in along a shrinking arc onto the band's centre, a degree a frame.
            angle += 1 - 2 * o->side;
            double e = o->side * 240 + column * 18 + 137;
            double f = (x - e) / 2;
            x = e + f * (1 + cos(angle * kRadiansPerDegree));
            y = 324 + f * sin(angle * kRadiansPerDegree);
            if (angle == 100 || angle == -100) state = 2;
            break;
        }
        case 2:
            if (pillarWidth < 94) {
                pillarAlpha += 3;
                pillarWidth += 4;
            } else {
                state = 3;
                pillarAlpha = 200;
            }
            break;
        case 3:
            playSkillSound(loader, kSoundOrrant);
            for (int r = 0; r < kFieldRows; ++r)
                for (int c = column; c < column + 3; ++c)
                    if (o->cells[r][c] == kCellBlock || o->cells[r][c] == kCellChip) o->cells[r][c] = kCellMarked;
            o->clearFrames = 0;
            state = 4;
            break;
        case 4:
            if (o->clearFrames < kMarkFrames) ++o->clearFrames;
            if (o->clearFrames >= kMarkFrames) {
                o->clearFrames = 0;
                // Removed chips raise no level, and nothing falls into the band.
                for (int r = 0; r < kFieldRows; ++r)
                    for (int c = column; c < column + 3; ++c)
                        if (o->cells[r][c] == kCellMarked) o->cells[r][c] = kCellEmpty;
                o->pendingGarbage = 0;
                state = 5;
            }
            break;
        case 5:
            if (pillarAlpha > 0)
                pillarAlpha -= 2;
            else
                state = 6;
            break;
        case 6:
            o->state = kStateSkillOverBoth;
            o->faceFrame = 0;
            break;
        default: break;
    }
}

void SkillOrrant::draw() {
    Player* o = owner();
    if (o == nullptr) return;
    if (state == 0) {
        int bx = o->side * 240 + column * 18 + 110;
        SetBlendMode(2, bandAlpha);
        DrawRectangle(bx, 20, bx + 54, 452, RgbToScreenPixel(50, 0, 200), 1);
        SetBlendMode(0, 255);
        // The band pulses between 50 and 150 while the caster aims.
        bandAlpha += bandStep;
        if (bandAlpha <= 50 || bandAlpha >= 150) bandStep = -bandStep;
        return;
    }
    if (state > 5) return;
    // The skill's own figure stands in for the caster's.
    setSkillFace(*o, kFaceHidden);
    int fx = static_cast<int>(x);
    DrawGraphRotated(fx, static_cast<int>(y), 1.0, 0, skillImage(loader, kImageOrrantFigure), 1, o->side == 0);
    if (state >= 2) {
        int w = pillarWidth / 2;
        SetBlendMode(1, pillarAlpha);
        DrawGraphStretched(fx - w, 0, fx + w, 474, skillImage(loader, kImageOrrantPillar), 1);
        SetBlendMode(0, 255);
    }
}

// SkillSaisen.

SkillSaisen::SkillSaisen(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader)
    : Skill(owner, loader), startX(owner ? owner->side * 520 + 60 : 60) {
    int sheet = skillImage(loader, kImageSaisenFigure);
    for (int k = 0; k < 3; ++k) figureFrames[k] = sheet == -1 ? -1 : DeriveSubGraph(160 * k, 0, 160, 256, sheet);
    if (owner) setSkillFace(*owner, kFaceHidden);
}

SkillSaisen::~SkillSaisen() {
    for (int frame : figureFrames)
        if (frame != -1) ReleaseGraph(frame, 0);
}

void SkillSaisen::update() {
    Player* o = owner();
    if (o == nullptr) return;
    std::shared_ptr<Player> r = o->getEnemy();
    if (!r) return;
    switch (state) {
        case 0:
            if (count < 80) {
                ++count;
            } else {
                count = 0;
                state = 1;
            }
            break;
        case 1:
            if (walk >= 500) {
                state = 2;
                figureFrame = r->skillLevel <= 0 ? 2 : 0;
            } else {
                walk += 5;
            }
            break;
        case 2: {
            if (r->skillLevel > 0) {
                // One coin per level; there are only three coins, as there are only three levels.
                coins = coinsLeft = r->skillLevel < kMaxSkillLevel ? r->skillLevel : kMaxSkillLevel;
                r->skillLevel = 0;
            }
            bool done = true;
            for (int i = 0; i < coins; ++i) {
                if (coinY[i] < 400) {
                    coinY[i] += 4;
                    done = false;
                } else if (coinsLeft > 0) {
                    // An arrived coin pays one level a frame.
                    if (o->skillLevel < kMaxSkillLevel) ++o->skillLevel;
                    --coinsLeft;
                    playSkillSound(loader, kSoundCoin);
                }
            }
            if (done) state = 3;
            break;
        }
        case 3:
            if (count < 80)
                ++count;
            else
                state = 4;
            break;
        case 4:
            setSkillFace(*r, kFaceLose);
            r->faceFrame = 0;
            if (walk <= 0)
                state = 5;
            else
                walk -= 5;
            break;
        case 5:
            o->state = kStateSkillOverBoth;
            setSkillFace(*o, kFaceNormal);
            setSkillFace(*r, kFaceNormal);
            break;
        default: break;
    }
}

void SkillSaisen::draw() {
    Player* o = owner();
    if (o == nullptr) return;
    std::shared_ptr<Player> r = o->getEnemy();
    if (!r) return;
    // Walking back the figure faces the other way.
    bool mirrored = state == 4 ? o->side == 1 : o->side == 0;
    DrawGraphRotated(startX + (1 - 2 * o->side) * walk, 348, 1.0, 0, figureFrames[figureFrame], 1, mirrored);
    if (state == 0) {
        DrawGraphAt(o->side * 240 + 110, 56, skillImage(loader, kImageSaisenPlease), 1);
    } else if (state == 2) {
        for (int i = 0; i < coins; ++i) {
            // Fades out over the last rows of its fall (the blend call clamps to 0-255).
            SetBlendMode(1, 2400 - coinY[i] * 6);
            DrawGraphAt(r->side * 520 + 40, coinY[i], skillImage(loader, kImageCharge), 1);
            SetBlendMode(0, 255);
        }
    } else if (state == 3) {
        DrawGraphAt(350 - o->side * 240, 56, skillImage(loader, coins > 0 ? kImageSaisenGet : kImageSaisenMiss), 1);
    }
}

// SkillDorvel.

SkillDorvel::SkillDorvel(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader)
    : Skill(owner, loader) {}

void SkillDorvel::update() {
    Player* o = owner();
    if (o == nullptr) return;
    std::shared_ptr<Player> r = o->getEnemy();
    if (!r) return;
    switch (state) {
        case 0:
            if (brightness_ >= 150)
                brightness_ -= 2;
            else
                state = 1;
            break;
        case 1:
            if (alpha < 255) {
                alpha += 4;
            } else {
                state = 2;
                playSkillSound(loader, kSoundBarrier);
            }
            break;
        case 2:
            if (brightness_ != 255) {
                ++brightness_;
            } else {
                // The switch: both sides take new pieces and play on under the barrier.
                o->skillRunsWhileFalling = true;
                o->state = kStateNextPiece;
                r->state = kStateNextPiece;
                piecesSeen = r->piecesTaken;
                r->noAttack = true;
                state = 3;
            }
            break;
        case 3:
            if (r->piecesTaken != piecesSeen) {
                if (count >= 4)
                    state = 4;
                else
                    ++count;
                piecesSeen = r->piecesTaken;
            }
            break;
        case 4:
            if (alpha <= 0)
                state = 5;
            else
                alpha -= 5;
            break;
        case 5:
            r->noAttack = false;
            endFallingRun(*o);
            break;
        default: break;
    }
}

void SkillDorvel::draw() {
    Player* o = owner();
    if (o == nullptr) return;
    std::shared_ptr<Player> r = o->getEnemy();
    if (!r) return;
    SetBlendMode(2, alpha);
    SetDrawColorScale(255, 255, 255);
    DrawGraphRotated(r->side * 240 + 200, 263, 1.0, 0, skillImage(loader, kImageBarrier), 1, 0);
    SetBlendMode(0, 255);
    SetDrawColorScale(brightness_, brightness_, brightness_);
}

std::shared_ptr<Skill> makeSkillOrrant(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillOrrant>(owner, loader);
}

std::shared_ptr<Skill> makeSkillSaisen(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillSaisen>(owner, loader);
}

std::shared_ptr<Skill> makeSkillDorvel(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillDorvel>(owner, loader);
}

// Vellis's skills. Each is a small state machine stepped once a frame by the rules engine and drawn by the
// match scene after the fields; timings are counted in updates.
#include "game/skills/skills_vellis.h"

#include <math.h>
#include <string.h>

#include "game/match/player.h"
#include "game/shell/loader.h"
#include "runtime/runtime.h"

namespace {

constexpr double kRadiansPerDegree = 0.0174532925;

constexpr int kImageKnife = 355;
constexpr int kImageKnifeVellis = 356;  // three 160 x 256 figure frames side by side
constexpr int kImageCrash = 357;
constexpr int kImageBlind = 358;
constexpr int kImageTrickFigure = 359;
constexpr int kImageSquareFigure = 360;
constexpr int kSoundDoll = 37;
constexpr int kSoundTrick = 38;
constexpr int kSoundSquare = 39;

constexpr int kFigureWidth = 160;
constexpr int kFigureHeight = 256;

// The skill's own figure beside the caster's field: mirrored on side 0.
void drawFigure(int side, int graph) {
    if (side == 1)
        DrawGraphAt(500, 220, graph, 1);
    else
        DrawGraphMirrored(-20, 220, graph, 1);
}

void releaseDerived(int& graph) {
    if (graph != -1) ReleaseGraph(graph, 0);
    graph = -1;
}

}  // namespace

// SkillDoll.

SkillDoll::SkillDoll(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader)
    : Skill(owner, loader) {
    for (int k = 0; k < 3; ++k)
        figureFrames_[k] = DeriveSubGraph(kFigureWidth * k, 0, kFigureWidth, kFigureHeight,
                                          skillImage(this->loader, kImageKnifeVellis));
    if (!owner) return;
    const bool right = owner->side == 1;
    const int centreX = right ? 560 : 80;
    const int centreY = 416;
    static const int kCrashX[2][kCrashMarks] = {{214, 178, 142, 106}, {336, 372, 408, 444}};
    static const int kCrashY[kCrashMarks] = {356, 406, 356, 406};
    for (int m = 0; m < kCrashMarks; ++m) {
        crash_[m].x = kCrashX[right ? 1 : 0][m];
        crash_[m].y = kCrashY[m];
    }
    // The knives wait in a spiral around the figure's hand.
    for (int k = 0; k < kKnives; ++k) {
        Knife& knife = knives_[k];
        knife.angle = right ? 195 - 15 * k : (345 + 15 * k) % 360;
        knife.centreX = centreX;
        knife.centreY = centreY;
        targetX_[k] = cos(knife.angle * kRadiansPerDegree) * 6 * k + centreX;
        targetY_[k] = sin(knife.angle * kRadiansPerDegree) * 6 * k + centreY;
    }
    setSkillFace(*owner, kFaceHidden);
}

SkillDoll::~SkillDoll() {
    for (int& frame : figureFrames_) releaseDerived(frame);
}

void SkillDoll::update() {
    Player* o = owner();
    if (o == nullptr) return;
    switch (state_) {
        case 0:  // darken while the figure steps back
            if (brightness_ > 100) {
                brightness_ -= 5;
                --figureOffset_;
            } else {
                figureFrame_ = 1;
                state_ = 1;
            }
            break;
        case 1:  // pose
            if (counter_ < 30) {
                ++counter_;
            } else {
                state_ = 2;
                figureFrame_ = 2;
                counter_ = 0;
            }
            break;
        case 2:  // knives 1-17 appear, one every two frames
            if (counter_ < 35) {
                ++counter_;
                if (counter_ % 2 == 0) {
                    Knife& knife = knives_[counter_ / 2];
                    knife.x = targetX_[counter_ / 2];
                    knife.y = targetY_[counter_ / 2];
                }
            } else {
                state_ = 3;
                counter_ = 0;
            }
            break;
        case 3:
            throwStep(*o);
            fieldStep(*o);
            moveKnives();
            break;
        case 4:  // brighten while the figure comes back
            if (brightness_ < 255) {
                brightness_ += 5;
                ++figureOffset_;
            } else {
                state_ = 5;
            }
            moveKnives();
            break;
        case 5: finishSkill(*this); break;
        default: break;
    }
}

void SkillDoll::throwStep(const Player& owner) {
    if (counter_ >= 89) {
        state_ = 4;
        counter_ = 0;
        return;
    }
    ++counter_;
    if (counter_ % 5 != 0) return;
    // Knives 17 down to 1 fly at points along the bottom of the caster's field, 8 pixels a frame.
    const int k = 18 - counter_ / 5;
    Knife& knife = knives_[k];
    const double tx = owner.side == 1 ? 512 - 9 * k : 128 + 9 * k;
    knife.angle = atan2(416 - knife.y, tx - knife.x) / kRadiansPerDegree;
    if (owner.side == 1) knife.angle += 180;
    const double speed = 8 - 16 * owner.side;
    knife.vx = cos(knife.angle * kRadiansPerDegree) * speed;
    knife.vy = sin(knife.angle * kRadiansPerDegree) * speed;
}

void SkillDoll::fieldStep(Player& owner) {
    const int m = counter_ / 20;
    if (m > 0) crash_[m - 1].visible = true;
    if (counter_ % 20 == 0) {
        // The whole field drops one row: the top row comes in empty, the bottom row is lost.
        memmove(owner.cells[1], owner.cells[0], sizeof(owner.cells[0]) * (kFieldRows - 1));
        memset(owner.cells[0], 0, sizeof(owner.cells[0]));
        playSkillSound(loader, kSoundDoll);
    }
    for (CrashMark& mark : crash_) {
        if (!mark.visible) continue;
        mark.alpha -= 15;
        if (mark.alpha < 0) mark.alpha = 0;
    }
}

void SkillDoll::moveKnives() {
    for (Knife& knife : knives_) {
        knife.x += knife.vx;
        knife.y += knife.vy;
    }
}

void SkillDoll::draw() {
    Player* o = owner();
    if (o == nullptr) return;
    const int side = o->side;
    SetDrawColorScale(255, 255, 255);
    const int figure = figureFrames_[figureFrame_];
    if (side == 1)
        DrawGraphAt(500 - figureOffset_, 220, figure, 1);
    else
        DrawGraphMirrored(figureOffset_ - 20, 220, figure, 1);
    for (const Knife& knife : knives_)
        DrawGraphRotated(static_cast<int>(knife.x), static_cast<int>(knife.y), 1.0, knife.angle * kRadiansPerDegree,
                         skillImage(loader, kImageKnife), 1, side == 0);
    for (const CrashMark& mark : crash_) {
        if (!mark.visible) continue;
        SetBlendMode(1, mark.alpha);
        DrawGraphAt(mark.x, mark.y, skillImage(loader, kImageCrash), 1);
        SetBlendMode(0, 255);
    }
    SetDrawColorScale(brightness_, brightness_, brightness_);
}

// SkillTrick.

SkillTrick::SkillTrick(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader)
    : Skill(owner, loader) {
    figure_ = DeriveSubGraph(2 * kFigureWidth, 0, kFigureWidth, kFigureHeight, skillImage(this->loader, kImageKnifeVellis));
    if (owner) setSkillFace(*owner, kFaceHidden);
}

SkillTrick::~SkillTrick() { releaseDerived(figure_); }

void SkillTrick::update() {
    Player* o = owner();
    if (o == nullptr) return;
    std::shared_ptr<Player> r = o->getEnemy();
    if (!r) return;
    switch (state_) {
        case 0:  // darken, then the five rows are added
            if (brightness_ < 96) {
                state_ = 1;
                r->pendingGarbage += 5;
            } else {
                brightness_ -= 2;
            }
            break;
        case 1:  // the blind comes down
            setSkillFace(*r, kFaceCrisis);
            if (countdown_ <= 0) {
                state_ = 2;
                playSkillSound(loader, kSoundTrick);
            } else {
                countdown_ -= 2;
            }
            break;
        case 2:  // brighten
            setSkillFace(*r, kFaceCrisis);
            if (brightness_ > 254)
                state_ = 3;
            else
                brightness_ += 3;
            break;
        case 3:
            o->state = kStateSkillOverBoth;
            setSkillFace(*o, kFaceNormal);
            r->state = kStateGarbage;
            setSkillFace(*r, kFaceNormal);
            r->faceFrame = 0;
            break;
        default: break;
    }
}

void SkillTrick::draw() {
    Player* o = owner();
    if (o == nullptr) return;
    std::shared_ptr<Player> r = o->getEnemy();
    if (!r) return;
    SetDrawColorScale(255, 255, 255);
    drawFigure(o->side, state_ == 1 ? figure_ : skillImage(loader, kImageTrickFigure));
    const int left = r->side * 42 + 250;
    DrawGraphStretched(left, 452 - countdown_, left + 80, 452, skillImage(loader, kImageBlind), 1);
    SetDrawColorScale(brightness_, brightness_, brightness_);
}

// SkillSquare.

SkillSquare::SkillSquare(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader)
    : Skill(owner, loader) {
    if (!owner) return;
    setSkillFace(*owner, kFaceHidden);
    owner->faceFrame = 0;
}

void SkillSquare::update() {
    Player* o = owner();
    if (o == nullptr) return;
    std::shared_ptr<Player> r = o->getEnemy();
    if (!r) return;
    setSkillFace(*o, kFaceHidden);
    switch (state_) {
        case 0:
            if (timer_ <= 100)
                state_ = 1;
            else
                timer_ -= 5;
            break;
        case 1: state_ = 2; break;
        case 2:
            if (timer_ <= 254) {
                timer_ += 5;
                break;
            }
            // The switch: both sides take new pieces and play goes on with the rival's time stopped.
            state_ = 3;
            o->skillRunsWhileFalling = true;
            r->stopTime = true;
            o->state = kStateNextPiece;
            setSkillFace(*r, kFaceStopTime);
            r->state = kStateNextPiece;
            piecesSeen_ = r->piecesTaken;
            timer_ = 0;
            break;
        case 3:
            if (timer_ == 60) {
                playSkillSound(loader, kSoundSquare);
                timer_ = 0;
            } else {
                ++timer_;
            }
            if (r->piecesTaken - piecesSeen_ > 3) state_ = 4;
            break;
        case 4:
            o->skillRunsWhileFalling = false;
            r->stopTime = false;
            setSkillFace(*r, kFaceNormal);
            // The caster's figure comes back with the end, as after every skill that hides it.
            setSkillFace(*o, kFaceNormal);
            endFallingRun(*o);
            state_ = 5;
            break;
        default: break;
    }
}

void SkillSquare::draw() {
    Player* o = owner();
    if (o == nullptr) return;
    drawFigure(o->side, skillImage(loader, kImageSquareFigure));
}

std::shared_ptr<Skill> makeSkillDoll(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillDoll>(owner, loader);
}

std::shared_ptr<Skill> makeSkillTrick(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillTrick>(owner, loader);
}

std::shared_ptr<Skill> makeSkillSquare(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillSquare>(owner, loader);
}

// Fiora's skills: the forced-kind call for help, the arrow that locks the rival's turns, and the eye that
// gives the caster's field cell gravity. Each switches both sides to the next piece and keeps running while
// play goes on, counting pieces through piecesTaken.
#include "game/skills/skills_fiora.h"

#include <math.h>

#include "game/match/block.h"
#include "game/match/next_piece_queue.h"
#include "game/match/player.h"
#include "game/shell/loader.h"
#include "runtime/runtime.h"

namespace {

constexpr double kRadiansPerDegree = 0.0174532925;

enum Image {
    kImagePobbHop = 347,
    kImagePobbStand = 348,
    kImageCurtain = 349,
    kImageHelpBalloon = 350,
    kImageFioraHelp = 351,
    kImageSalk = 352,
    kImageArrow = 353,
    kImageEye = 354,
};

enum Sound {
    kSoundPobbHop = 33,
    kSoundSalkShoot = 34,
    kSoundArrowHit = 35,
    kSoundQuillow = 36,
};

constexpr int kFigureWidth = 160;
constexpr int kFigureHeight = 256;

// Side 0 sees the pictures mirrored.
void drawFacing(int side, int x, int y, int graph) {
    if (side == 1)
        DrawGraphAt(x, y, graph, 1);
    else
        DrawGraphMirrored(x, y, graph, 1);
}

// One frame of a figure strip, cut out for this draw only.
void drawFigureFrame(int side, int x, int y, int frame, int strip) {
    if (strip == -1) return;
    int graph = DeriveSubGraph(frame * kFigureWidth, 0, kFigureWidth, kFigureHeight, strip);
    if (graph == -1) return;
    drawFacing(side, x, y, graph);
    ReleaseGraph(graph, 0);
}

// The falling-run switch every skill here makes: both sides drop what they hold and take the next piece.
void bothToNextPiece(Player& owner, Player& rival) {
    owner.state = kStateNextPiece;
    rival.state = kStateNextPiece;
}

}  // namespace

// SkillPobb

SkillPobb::SkillPobb(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader)
    : Skill(owner, loader),
      arcStart_(owner ? owner->side * 640 : 0),
      x_(owner ? owner->side * 800 - 80 : -80) {
    if (!owner || forcedNextKind == kNoPieceKind) return;
    // Only a SkillPobb forces the queue, and its own caster cannot cast again while it runs: the rival's
    // one is still in force. End it now; the rival stays frozen for this cast.
    std::shared_ptr<Player> rival = owner->getEnemy();
    if (!rival) return;
    rival->skillRunsWhileFalling = false;
    rival->state = kStateSkillOverSelf;
    rival->endSkill();
    rival->state = kStateFrozen;
}

void SkillPobb::update() {
    Player* o = owner();
    if (o == nullptr) return;
    std::shared_ptr<Player> rival = o->getEnemy();
    if (!rival) return;
    switch (state_) {
        case 0:  // the call for help
            if (count_ == 100) {
                state_ = 1;
                setSkillFace(*o, kFaceNormal);
            } else {
                ++count_;
            }
            break;
        case 1: {  // five hops of 40 frames towards the middle
            angle_ += 3 - 6 * o->side;
            double half = (x_ - arcStart_) / 2;
            x_ = arcStart_ + half * (1 + cos(angle_ * kRadiansPerDegree));
            y_ = 348 + half * sin(angle_ * kRadiansPerDegree);
            if (angle_ == 120 || angle_ == -120) {
                ++hops_;
                angle_ = 0;
                arcStart_ += 80 - 160 * o->side;
                playSkillSound(loader, kSoundPobbHop);
                if (hops_ == 5) {
                    state_ = 2;
                    count_ = 0;
                }
            }
            break;
        }
        case 2:  // the curtain opens
            if (count_ != 29) {
                ++count_;
                curtainFrame_ = count_ / 10;
                break;
            }
            count_ = 0;
            o->skillRunsWhileFalling = true;
            forcedNextKind = o->piece->kind;
            // A fresh run of ten forced takes, also when this cast has just ended the rival's run part-way.
            forcedPieceCount = 0;
            for (NextPieceEntry& e : nextPieceQueue.entry) e.kind = forcedNextKind;
            bothToNextPiece(*o, *rival);
            state_ = 3;
            break;
        case 3:  // the queue resets itself after its ten forced takes
            if (forcedNextKind == kNoPieceKind) state_ = 4;
            break;
        case 4: state_ = 5; break;
        case 5: endFallingRun(*o); break;
        default: break;
    }
}

void SkillPobb::draw() {
    Player* o = owner();
    if (o == nullptr) return;
    int side = o->side;
    switch (state_) {
        case 0:
            setSkillFace(*o, kFaceHidden);
            if (side == 1) {
                DrawGraphAt(500, 220, skillImage(loader, kImageFioraHelp), 1);
                DrawGraphAt(340, 100, skillImage(loader, kImageHelpBalloon), 1);
            } else {
                DrawGraphMirrored(-20, 220, skillImage(loader, kImageFioraHelp), 1);
                DrawGraphAt(150, 100, skillImage(loader, kImageHelpBalloon), 1);
            }
            break;
        case 1:
            DrawGraphRotated(static_cast<int>(x_), static_cast<int>(y_), 1.0, 0.0, skillImage(loader, kImagePobbHop), 1,
                             side == 0 ? 1 : 0);
            break;
        case 3:
        case 2:
        case 4:
            if (state_ == 3) {
                // The standing figure sways while the forced pieces come.
                ++count_;
                figureFrame_ = (count_ + 1) % 40 / 20;
                curtainFrame_ = figureFrame_ + 2;
            }
            DrawGraphPart(290, 20, curtainFrame_ * 70, 0, 70, 204, skillImage(loader, kImageCurtain), 1, 0);
            drawFigureFrame(side, static_cast<int>(x_) - 80, static_cast<int>(y_) - 128, figureFrame_,
                            skillImage(loader, kImagePobbStand));
            break;
        default: break;
    }
}

// SkillSalk

SkillSalk::SkillSalk(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader)
    : Skill(owner, loader), arrowX_(owner ? owner->side * 292 + 95 : 95) {}

void SkillSalk::update() {
    Player* o = owner();
    if (o == nullptr) return;
    std::shared_ptr<Player> rival = o->getEnemy();
    if (!rival) return;
    rival->faceFrame = 0;
    switch (state_) {
        case 0:  // aim: frame 0 for 29 updates, 1 for 30, 2 once
            if (frame_ == 2) {
                count_ = 0;
                state_ = 1;
                playSkillSound(loader, kSoundSalkShoot);
            } else {
                ++count_;
                frame_ = count_ % 90 / 30;
            }
            break;
        case 1: {  // the arrow flies across to the rival's field
            bool flying = o->side == 0 ? arrowX_ < 457 : arrowX_ > 70;
            if (flying) {
                arrowX_ += o->side == 0 ? 8 : -8;
                break;
            }
            state_ = 2;
            playSkillSound(loader, kSoundArrowHit);
            o->skillRunsWhileFalling = true;
            rival->rotationLocked = true;
            piecesSeen_ = rival->piecesTaken;
            bothToNextPiece(*o, *rival);
            break;
        }
        case 2:  // until the rival takes its fifth piece after the hit
            if (rival->piecesTaken != piecesSeen_) {
                if (hits_ >= 4) {
                    state_ = 3;
                    break;
                }
                ++hits_;
            }
            piecesSeen_ = rival->piecesTaken;
            break;
        case 3:
            rival->rotationLocked = false;
            setSkillFace(*rival, kFaceNormal);
            endFallingRun(*o);
            break;
        default: break;
    }
}

void SkillSalk::draw() {
    Player* o = owner();
    if (o == nullptr) return;
    int side = o->side;
    if (state_ == 0 || state_ == 1) {
        int x = side == 1 ? 420 : 60;
        drawFigureFrame(side, x, 180, frame_, skillImage(loader, kImageSalk));
    }
    if (state_ == 1 || (state_ == 0 && frame_ > 0)) drawFacing(side, arrowX_, 340, skillImage(loader, kImageArrow));
    if (state_ == 2) {
        if (std::shared_ptr<Player> rival = o->getEnemy()) setSkillFace(*rival, kFaceArrowHit);
    }
}

// SkillQuillow

SkillQuillow::SkillQuillow(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader)
    : Skill(owner, loader) {}

void SkillQuillow::update() {
    Player* o = owner();
    if (o == nullptr) return;
    std::shared_ptr<Player> rival = o->getEnemy();
    if (!rival) return;
    switch (state_) {
        case 0:
            o->skillRunsWhileFalling = true;
            o->cascadeGravity = true;
            piecesSeen_ = o->piecesTaken;
            bothToNextPiece(*o, *rival);
            state_ = 1;
            break;
        case 1:
            if (o->piecesTaken != piecesSeen_) {
                if (count_ >= 5) {  // the sixth piece: no clear came
                    state_ = 3;
                    break;
                }
                ++count_;
            }
            piecesSeen_ = o->piecesTaken;
            // The lock of this frame completed rows: they fall cell by cell, then the eye shows.
            if (o->state == kStateClearing) state_ = 2;
            break;
        case 2:  // the eye: up to 255 in 10 frames, then down below 150 in 22
            if (eyeAlpha_ < 150) {
                state_ = 3;
                eyeAlpha_ = 155;
                eyeStep_ = 10;
                break;
            }
            eyeAlpha_ += eyeStep_;
            if (eyeAlpha_ == 255) {
                eyeStep_ = -(eyeStep_ / 2);
                playSkillSound(loader, kSoundQuillow);
            }
            break;
        case 3:
            o->cascadeGravity = false;
            endFallingRun(*o);
            // The last draw dimmed what follows it; this frame nothing draws the skill any more.
            SetDrawColorScale(255, 255, 255);
            break;
        default: break;
    }
}

void SkillQuillow::draw() {
    Player* o = owner();
    if (o == nullptr) return;
    SetDrawColorScale(255, 255, 255);
    if (state_ == 2) {
        SetBlendMode(1, eyeAlpha_);
        DrawGraphRotated(o->side * 240 + 200, 100, 1.0, 0.0, skillImage(loader, kImageEye), 1, 0);
        SetBlendMode(0, 255);
    }
    // While the skill runs, what is drawn after it is dimmed.
    SetDrawColorScale(kBrightness, kBrightness, kBrightness);
}

std::shared_ptr<Skill> makeSkillPobb(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillPobb>(owner, loader);
}

std::shared_ptr<Skill> makeSkillSalk(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillSalk>(owner, loader);
}

std::shared_ptr<Skill> makeSkillQuillow(const std::shared_ptr<Player>& owner,
                                        const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillQuillow>(owner, loader);
}

// Player: a side's field and counters, and the per-frame steps the rules engine and the match scene call on it.
#include "game/match/player.h"

#include <string.h>

#include "game/match/next_piece_queue.h"
#include "game/shell/game_clock.h"
#include "game/shell/options.h"
#include "game/skills/skill.h"
#include "game/skills/skill_back.h"
#include "game/skills/skill_name.h"
#include "runtime/runtime.h"

namespace {

constexpr int kIdleBeforeSubPose = 1200;
constexpr int kSubPoseFrames = 150;
constexpr int kSlideFrames = 30;

// Whole skill wait with the cut-in shown; the banner and background come at kBannerFrame.
constexpr int kSkillWaitFrames = 180;
constexpr int kBannerFrame = 126;
constexpr int kShortSkillWaitFrames = 21;

int idlePeriodOf(int character) {
    if (character == 1) return 120;
    if (character == 4) return 30;
    return 40;
}

}  // namespace

Player::Player(int character, int side, int roundWins)
    : character(character), roundsWon(roundWins), idlePeriod(idlePeriodOf(character)), side(side) {
    memset(cells, 0, sizeof(cells));
    int kind = RandomInt(6);
    if (RandomInt(8) == 0) kind += kFirstSpecialKind;
    piece = std::make_shared<Block>(kind, 0, 3, -3, 255);
    skillBack = makeSkillBack(character, side);
}

Player::~Player() = default;

bool Player::update() {
    if (skillBack && skillBack->phase != 0) skillBack->update();
    if (face == kFaceNormal) {
        if (state == kStateFalling || state == kStateClearing || state == kStateGarbage ||
            state == kStateNextPiece) {
            if (idleFrames == kIdleBeforeSubPose) {
                face = RandomInt(1) + kFaceSub1;
                idleFrames = 0;
            } else {
                ++idleFrames;
            }
        }
    } else if (face == kFaceSub1 || face == kFaceSub2) {
        if (idleFrames == kSubPoseFrames) {
            face = kFaceNormal;
            idleFrames = faceFrame = subPoseFrames = 0;
        } else {
            ++subPoseFrames;
            ++idleFrames;
            faceFrame = subPoseFrames % (2 * idlePeriod) / idlePeriod;
        }
    }
    return state == kStateWinner;
}

void Player::spawn(int kind) {
    piece->kind = kind;
    piece->column = 3;
    piece->row = -3;
    piece->angle = 0;
    piece->alpha = 255;
}

void Player::setSkill(const std::shared_ptr<Skill>& newSkill) {
    skill = newSkill;
    skillLevel = 0;
}

void Player::fallStep(bool softDrop) {
    int step;
    if (stopTime)
        step = fallSpeed;
    else if (softDrop)
        step = fallSpeed * 20;
    else
        step = piecesTaken > 80 ? fallSpeed * 2 : fallSpeed;
    fallSub += step;
    if (fallSub > 180) fallSub = 180;
}

void Player::raiseGarbageRow() {
    memmove(cells[0], cells[1], sizeof(cells[0]) * (kFieldRows - 1));
    for (int c = 0; c < kFieldColumns; ++c) cells[kFieldRows - 1][c] = c == garbageHole ? kCellEmpty : kCellBlock;
    --pendingGarbage;
    if (pendingGarbage <= 0) state = kStateNextPiece;
}

void Player::animateSkillWait() {
    std::shared_ptr<Player> rival = getEnemy();
    int fade = skillCutInOff ? 15 : 5;
    ++skillWaitFrames;
    piece->alpha -= fade;
    if (rival) rival->piece->alpha -= fade;

    bool done;
    if (skillCutInOff) {
        done = skillWaitFrames >= kShortSkillWaitFrames;
    } else {
        done = skillWaitFrames >= kSkillWaitFrames;
        if (!done && skillWaitFrames % 18 == 0) {
            if (skillWaitFrames < kBannerFrame) {
                if (face != kFaceGrave) face = kFaceSkillWait;
                faceFrame ^= 1;
            } else {
                if (face != kFaceGrave) face = kFaceSkill;
                if (skillWaitFrames == kBannerFrame && state == kStateSkillWait) {
                    state = kStateSkillWaitBanner;
                    if (skillBack) {
                        skillBack->phase = 1;
                        skillBack->startTime = gameMillisecondCount();
                    }
                    SkillName::show(*this);
                    faceFrame = 0;
                }
            }
        }
    }
    if (done) {
        skillWaitFrames = 0;
        faceFrame = 0;
        if (face != kFaceGrave) face = kFaceNormal;
        state = kStateSkillRunning;
    }
}

void Player::fadeSkillDecor() {
    if (skillBack) skillBack->phase = 3;
    // The one banner may be the rival's by now (its cast came later): that one fades when the rival's skill ends.
    const std::shared_ptr<SkillName>& banner = SkillName::current();
    if (banner && banner->side == side) banner->phase = 3;
}

void Player::endSkill() {
    fadeSkillDecor();
    if (state == kStateSkillOverSelf) {
        state = kStateFalling;
    } else if (state == kStateSkillOverBoth) {
        state = kStateNextPiece;
        if (std::shared_ptr<Player> rival = getEnemy()) rival->state = kStateNextPiece;
        if (face != kFaceGrave) face = kFaceNormal;
        idleFrames = 0;
    }
}

bool Player::waitNextPiece() {
    if (nextPieceQueue.entry[0].direction != side) return false;
    if (waitFrames < kSlideFrames) {
        ++waitFrames;
        slideNextQueue();
        return false;
    }
    ++piecesTaken;
    waitFrames = 0;
    state = kStateFalling;
    return true;
}

void Player::checkDanger() {
    if (state < kStateFalling || state > kStateNextPiece) return;
    if ((face >= kFaceArrowHit && face <= kFaceLose) || face == kFaceGrave) return;
    bool high = false;
    for (int r = 0; r < 4 && !high; ++r)
        for (int c = 0; c < kFieldColumns; ++c)
            if (cells[r][c] != kCellEmpty) {
                high = true;
                break;
            }
    if (high) {
        face = kFaceCrisis;
        danger = true;
        // Only the blink reads the clock; a non-negative remainder keeps it right past the int wrap.
        int ms = gameMillisecondCount() % 600;
        if (ms < 0) ms += 600;
        faceFrame = ms / 300;
    } else {
        if (face != kFaceSub1 && face != kFaceSub2) face = kFaceNormal;
        faceFrame = 0;
        danger = false;
    }
}

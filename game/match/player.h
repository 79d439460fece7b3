// One side of a round: its 22 x 10 field, its falling piece, its rules state, its figure and skill level, and
// the effect flags that skills set. The rules engine steps it, the match scene draws it, skills change it.
// The rival is held weakly: the two sides of a round would otherwise keep each other alive for ever.
#pragma once

#include <memory>

#include "game/match/block.h"

class Skill;
class SkillBack;

constexpr int kFieldRows = 22;
constexpr int kFieldColumns = 10;

// Rules states (the rules engine's step for each is in player_processer.cpp).
enum PlayerState {
    kStateFalling = 0,
    kStateFrozen = 1,
    kStateClearing = 2,
    kStateGarbage = 3,
    kStateNextPiece = 4,
    kStateSkillWait = 5,
    kStateSkillWaitBanner = 6,
    kStateSkillRunning = 7,
    kStateSkillOverBoth = 8,
    kStateSkillOverSelf = 9,
    kStateWinner = 10,
    kStateToppedOut = 11,
};

// The figure shown; indexes the character's twelve figure images (13 and 14 are drawn apart).
enum FaceState {
    kFaceNormal = 0,
    kFaceSub1 = 1,
    kFaceSub2 = 2,
    kFaceCrisis = 3,
    kFaceSkillWait = 4,
    kFaceSkill = 5,
    kFaceOwnPose = 6,
    kFaceArrowHit = 7,
    kFaceStopTime = 8,
    kFaceWindHit = 9,
    kFaceCold = 10,
    kFaceLose = 11,
    kFaceGrave = 13,
    kFaceHidden = 14,
};

class Point {
public:
    Point() = default;
    Point(int x, int y) : x(x), y(y) {}
    virtual ~Point() = default;
    int x = 0;
    int y = 0;
};

class Player : public std::enable_shared_from_this<Player> {
public:
    Player(int character, int side, int roundWins);
    virtual ~Player();

    // One frame after the rules step; true when this side has won the round (state 10).
    virtual bool update();
    // Rules state 4 after the head was claimed: the 30-frame slide, then true when the piece may be taken.
    virtual bool waitNextPiece();
    // The computer sets its buttons here; a human side does nothing.
    virtual void think() {}
    virtual void spawn(int kind);
    virtual bool isCpu() const { return false; }

    void fallStep(bool softDrop);
    void raiseGarbageRow();
    void animateSkillWait();
    void endSkill();
    // Starts the fade-out of the skill background and of the banner when it is this side's (the part of the end
    // step every skill end shares).
    void fadeSkillDecor();
    void checkDanger();

    const std::shared_ptr<Block>& getBlock() const { return piece; }
    std::shared_ptr<Player> getEnemy() const { return enemy.lock(); }
    const std::shared_ptr<SkillBack>& getSkillBack() const { return skillBack; }
    const std::shared_ptr<Skill>& getSkill() const { return skill; }
    Point getPosition() const { return position; }
    void setEnemy(const std::shared_ptr<Player>& player) { enemy = player; }
    // Installs the skill being cast; the level is spent.
    void setSkill(const std::shared_ptr<Skill>& newSkill);

    // Field read with the bounds rule: walls and the floor are occupied, rows above the top are empty.
    bool occupied(int row, int column) const {
        if (column < 0 || column >= kFieldColumns || row >= kFieldRows) return true;
        if (row < 0) return false;
        return cells[row][column] != kCellEmpty;
    }

    int cells[kFieldRows][kFieldColumns];
    std::shared_ptr<Block> piece;  // one Block reused for every piece of the round
    int character;
    int state = kStateFalling;
    int face = kFaceNormal;
    std::shared_ptr<Skill> skill;
    std::shared_ptr<SkillBack> skillBack;
    std::weak_ptr<Player> enemy;
    Point position;
    int fallSub = 0;
    int lockSub = 0;
    int fallSpeed = 9;
    int clearFrames = 0;
    int garbageFrames = 0;
    int pendingGarbage = 0;
    int faceFrame = 0;
    int skillWaitFrames = 0;
    int skillLevel = 0;
    int waitFrames = 0;
    int piecesTaken = 0;
    int roundsWon;
    int garbageHole = 0;
    int idleFrames = 0;
    int idlePeriod;
    int subPoseFrames = 0;
    int repeatCounter = 0;
    bool noAttack = false;
    bool rotationLocked = false;
    bool cascadeGravity = false;
    bool skillRunsWhileFalling = false;
    bool danger = false;
    bool doubleAttack = false;
    bool stopTime = false;
    bool skillBlocked = false;
    int side;
};

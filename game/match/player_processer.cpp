// The rules of a side, frame by frame: move, turn, fall and lock; clear rows and count the garbage; raise
// garbage; take the next piece from the shared queue; the skill button, wait, run and end; topping out.
#include "game/match/player_processer.h"

#include <string.h>

#include "game/match/block.h"
#include "game/match/next_piece_queue.h"
#include "game/match/player.h"
#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "game/skills/skill.h"
#include "runtime/log.h"
#include "runtime/runtime.h"

namespace {

constexpr int kSoundWarning = 16;
constexpr int kSoundSkill = 19;
constexpr int kSoundRowsFall = 21;
constexpr int kSoundPieceSet = 22;
constexpr int kSoundGarbageRow = 23;
constexpr int kSoundRowsCleared = 24;
constexpr int kSoundTurn = 25;

constexpr int kFallSubRow = 180;
constexpr int kLockSubFull = 360;
constexpr int kPartWayFallSub = 10;
constexpr int kClearFrames = 18;
constexpr int kGarbageRowFrames = 9;
constexpr int kRepeatFrames = 8;

}  // namespace

PlayerProcesser::PlayerProcesser(std::shared_ptr<Loader> loader) : loader_(std::move(loader)) {}

PlayerProcesser::~PlayerProcesser() = default;

void PlayerProcesser::playSound(int soundEntry) {
    if (loader_) PlaySoundHandle(loader_->sound(soundEntry), kSoundPlayBack, 1);
}

int PlayerProcesser::process(Player& player) {
    switch (player.state) {
        case kStateFalling:
            handleRotate(player);
            if (handleInput(player)) return 0;
            // A falling-run skill sees the state the lock has just set.
            if (player.skillRunsWhileFalling) runSkill(player);
            return 0;
        case kStateClearing: return clearRows(player);
        case kStateGarbage: riseGarbage(player); return 0;
        case kStateNextPiece: nextPiece(player); return 0;
        case kStateSkillWait:
        case kStateSkillWaitBanner: runSkillWait(player); return 0;
        case kStateSkillRunning: runSkill(player); return 0;
        case kStateSkillOverBoth:
        case kStateSkillOverSelf: player.endSkill(); return 0;
        case kStateToppedOut: topOut(player); return 0;
        default: return 0;  // frozen, winner
    }
}

bool PlayerProcesser::collides(const Player& player, int kind, int angle, int column, int row) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (pieceCell(kind, angle, r, c) == kCellEmpty) continue;
            int fieldRow = row + r;
            int fieldColumn = column + c;
            if (fieldColumn < 0 || fieldColumn >= kFieldColumns || fieldRow >= kFieldRows) return true;
            if (fieldRow >= 0 && player.cells[fieldRow][fieldColumn] != kCellEmpty) return true;
        }
    }
    return false;
}

bool PlayerProcesser::fitsWhileFalling(const Player& player, int angle, int column) {
    const Block& b = *player.piece;
    if (collides(player, b.kind, angle, column, b.row)) return false;
    // Part-way down, the piece already reaches into the next row.
    if (player.fallSub >= kPartWayFallSub && collides(player, b.kind, angle, column, b.row + 1)) return false;
    return true;
}

bool PlayerProcesser::canMove(Player& player, int direction) {
    const Block& b = *player.piece;
    if (direction == kMoveDown) return !collides(player, b.kind, b.angle, b.column, b.row + 1);
    return fitsWhileFalling(player, b.angle, b.column + (direction == kMoveLeft ? -1 : 1));
}

bool PlayerProcesser::canRotate(Player& player, int direction) {
    if (player.rotationLocked) {
        playSound(kSoundWarning);
        return false;
    }
    const Block& b = *player.piece;
    return fitsWhileFalling(player, (b.angle + (direction == kTurnClockwise ? 90 : 270)) % 360, b.column);
}

void PlayerProcesser::handleRotate(Player& player) {
    Block& b = *player.piece;
    if (inputPressed(player.side, kButtonFirst) && canRotate(player, kTurnClockwise)) {
        b.angle = (b.angle + 90) % 360;
        playSound(kSoundTurn);
    }
    if (inputPressed(player.side, kButtonSecond) && canRotate(player, kTurnCounterClockwise)) {
        b.angle = (b.angle + 270) % 360;
        playSound(kSoundTurn);
    }
}

bool PlayerProcesser::handleInput(Player& player) {
    player.think();
    int side = player.side;

    if (inputPressed(side, kButtonUp)) {
        std::shared_ptr<Player> rival = player.getEnemy();
        bool allowed = player.skillLevel > 0 && rival && rival->state == kStateFalling &&
                       !player.skillRunsWhileFalling && !player.rotationLocked && !player.skillBlocked &&
                       !player.stopTime;
        if (allowed) {
            player.state = kStateSkillWait;
            rival->state = kStateFrozen;
            // The press ends the falling step: a lock now would overwrite state 5 and leave the rival frozen.
            return true;
        }
        playSound(kSoundWarning);
    }

    Block& b = *player.piece;
    bool left = inputHeld(side, kButtonLeft);
    bool right = inputHeld(side, kButtonRight);
    if (left && canMove(player, kMoveLeft)) {
        if (player.repeatCounter == 0 || player.repeatCounter == kRepeatFrames) {
            --b.column;
            player.repeatCounter = 1;
        } else {
            ++player.repeatCounter;
        }
    }
    if (right && canMove(player, kMoveRight)) {
        if (player.repeatCounter == 0 || player.repeatCounter == kRepeatFrames) {
            ++b.column;
            player.repeatCounter = 1;
        } else {
            ++player.repeatCounter;
        }
    }
    if (!left && !right) player.repeatCounter = 0;

    bool down = inputHeld(side, kButtonDown);
    if (canMove(player, kMoveDown)) {
        player.fallStep(down);
        if (player.fallSub == kFallSubRow) {
            ++b.row;
            player.fallSub = 0;
        }
    } else if (player.lockSub >= kLockSubFull) {
        lock(player);
    } else {
        // Never reset while the piece lives: resting time adds up across moves.
        player.lockSub += (down && !player.stopTime) ? 90 : player.fallSpeed;
        if (player.lockSub > kLockSubFull) player.lockSub = kLockSubFull;
    }
    return false;
}

void PlayerProcesser::lock(Player& player) {
    player.fallSub = player.lockSub = 0;
    lockPiece(player);
    playSound(kSoundPieceSet);
    int rows = markFullRows(player);
    if (rows > 0) {
        player.state = kStateClearing;
        return;
    }
    if (player.pendingGarbage > 0) {
        player.garbageHole = RandomInt(9);
        player.state = kStateGarbage;
    } else {
        player.state = kStateNextPiece;
    }
    if (isToppedOut(player)) player.state = kStateToppedOut;
}

void PlayerProcesser::lockPiece(Player& player) {
    const Block& b = *player.piece;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            int cell = pieceCell(b.kind, b.angle, r, c);
            if (cell == kCellEmpty) continue;
            int row = b.row + r;
            int column = b.column + c;
            if (row < 0 || row >= kFieldRows || column < 0 || column >= kFieldColumns) continue;
            player.cells[row][column] = cell == kCellChip ? kCellChip : kCellBlock;
        }
    }
}

bool PlayerProcesser::isToppedOut(const Player& player) {
    const Block& b = *player.piece;
    if (b.row >= 0) return false;
    for (int r = 0; r < 4 && b.row + r < 0; ++r)
        for (int c = 0; c < 4; ++c)
            if (pieceCell(b.kind, b.angle, r, c) != kCellEmpty) return true;
    return false;
}

int PlayerProcesser::markFullRows(Player& player) {
    int rows = 0;
    for (int r = 0; r < kFieldRows; ++r) {
        bool full = true;
        for (int c = 0; c < kFieldColumns; ++c)
            if (player.cells[r][c] == kCellEmpty) {
                full = false;
                break;
            }
        if (!full) continue;
        ++rows;
        for (int c = 0; c < kFieldColumns; ++c) {
            if (player.cells[r][c] == kCellChip && player.skillLevel < 3) ++player.skillLevel;
            player.cells[r][c] = kCellMarked;
        }
    }
    playSound(kSoundRowsCleared);
    return rows;
}

void PlayerProcesser::collapseRows(Player& player, int row, int count) {
    while (row >= 0 && count > 0) {
        bool empty = true;
        for (int c = 0; c < kFieldColumns; ++c)
            if (player.cells[row][c] != kCellEmpty) {
                empty = false;
                break;
            }
        if (!empty) {
            --row;
            continue;
        }
        memmove(player.cells[1], player.cells[0], sizeof(player.cells[0]) * row);
        memset(player.cells[0], 0, sizeof(player.cells[0]));
        --count;
    }
}

int PlayerProcesser::findRestRow(const Player& player, int column, int row) {
    while (row + 1 < kFieldRows && player.cells[row + 1][column] == kCellEmpty) ++row;
    return row;
}

void PlayerProcesser::cascadeCells(Player& player) {
    for (int c = 0; c < kFieldColumns; ++c) {
        for (int r = kFieldRows - 1; r >= 0; --r) {
            if (player.cells[r][c] != kCellBlock) continue;  // chips never move and hold up what is above
            int rest = findRestRow(player, c, r);
            if (rest != r) {
                player.cells[rest][c] = kCellBlock;
                player.cells[r][c] = kCellEmpty;
            }
        }
    }
}

int PlayerProcesser::clearRows(Player& player) {
    if (player.clearFrames < kClearFrames) ++player.clearFrames;
    if (player.clearFrames < kClearFrames) return 0;

    int emptied = 0;
    int lowest = -1;
    for (int r = 0; r < kFieldRows; ++r) {
        if (player.cells[r][0] != kCellMarked) continue;
        memset(player.cells[r], 0, sizeof(player.cells[r]));
        ++emptied;
        lowest = r;
    }
    player.clearFrames = 0;

    int send;
    if (player.pendingGarbage < emptied) {
        send = emptied - player.pendingGarbage;
        player.pendingGarbage = 0;
    } else {
        player.pendingGarbage -= emptied;
        send = 0;
    }

    if (player.noAttack) {
        send = 0;  // and the emptied rows stay where they are
    } else if (player.cascadeGravity) {
        cascadeCells(player);
    } else {
        collapseRows(player, lowest, emptied);
        playSound(kSoundRowsFall);
    }

    if (player.pendingGarbage > 0) {
        player.garbageHole = RandomInt(9);
        player.state = kStateGarbage;
    } else {
        player.state = kStateNextPiece;
    }
    return player.doubleAttack ? send * 2 : send;
}

void PlayerProcesser::riseGarbage(Player& player) {
    if (player.garbageFrames < kGarbageRowFrames) ++player.garbageFrames;
    if (player.garbageFrames < kGarbageRowFrames) return;
    player.raiseGarbageRow();
    player.garbageFrames = 0;
    playSound(kSoundGarbageRow);
}

void PlayerProcesser::nextPiece(Player& player) {
    NextPieceEntry* e = nextPieceQueue.entry;
    if (e[0].direction == kSlideIdle) {
        e[0].direction = player.side;
        for (int i = 1; i < 4; ++i) e[i].direction = kSlideRise;
    }
    if (!player.waitNextPiece()) return;
    NextPieceEntry head = takeNextPiece();
    player.spawn(head.kind);
    advanceNextQueue();
    for (int i = 0; i < 4; ++i) {
        e[i].direction = kSlideIdle;
        e[i].x = e[i].y = 0;
    }
}

void PlayerProcesser::runSkillWait(Player& player) {
    player.animateSkillWait();
    if (player.state == kStateSkillWaitBanner && loader_ && IsSoundHandlePlaying(loader_->sound(kSoundSkill)) != 1)
        playSound(kSoundSkill);
    if (player.state == kStateSkillRunning) startSkill(player);
}

void PlayerProcesser::startSkill(Player& player) {
    std::shared_ptr<Skill> skill = createSkill(player.shared_from_this(), loader_);
    // No class for this character and level: end the cast at once, so the round goes on and an older skill
    // still installed is never run again.
    if (!skill) {
        WriteLog("スキルがありません\n");
        player.state = kStateSkillOverBoth;
    }
}

void PlayerProcesser::runSkill(Player& player) {
    // Keep the skill alive through its own update even if it replaces itself.
    std::shared_ptr<Skill> skill = player.skill;
    if (!skill) {
        WriteLog("スキルがありません\n");
        player.skillRunsWhileFalling = false;
        if (player.state == kStateSkillRunning) player.state = kStateSkillOverBoth;
        return;
    }
    skill->update();
}

void PlayerProcesser::topOut(Player& player) {
    if (std::shared_ptr<Player> rival = player.getEnemy()) rival->state = kStateWinner;
}

// Computer player: placement search, placement score by strength, and the steering.
#include "game/match/cpu.h"

#include "game/match/player_processer.h"
#include "game/shell/input_poll.h"
#include "game/shell/options.h"
#include "game/skills/skill.h"
#include "game/skills/skill_use_pattern.h"

namespace {
constexpr int kSoftDropAfterFrames = 100;
}

Cpu::Cpu(int character, int roundWins) : Cpu(character, roundWins, 1) {}

Cpu::Cpu(int character, int roundWins, int side) : Player(character, side, roundWins) {
    plan();
    pattern = makeSkillUsePattern(character);
}

Cpu::~Cpu() = default;

std::shared_ptr<Cpu> Cpu::makeOnSideForTesting(int character, int roundWins, int side) {
    return std::shared_ptr<Cpu>(new Cpu(character, roundWins, side));
}

void Cpu::plan() {
    Placement p = planPlacement();
    targetColumn = p.column;
    targetRow = p.row;
    targetAngle = p.angle;
}

void Cpu::spawn(int kind) {
    Player::spawn(kind);
    plan();
    thinkFrames = 0;
}

bool Cpu::collides(int column, int kind, int row, int angle) const {
    return PlayerProcesser::collides(*this, kind, angle, column, row);
}

Placement Cpu::planPlacement() const {
    int kind = piece->kind;
    Placement best = {0, -3, 0};
    int bestScore = scorePlacement(kind, best.column, best.row, best.angle);
    int angles = rotationLocked ? 1 : 4;
    for (int a = 0; a < angles; ++a) {
        int angle = a * 90;
        int leftmost = 0;
        for (int c = -2; c <= 7; ++c)
            if (!collides(c, kind, 0, angle)) {
                leftmost = c;
                break;
            }
        int rightmost = 1;
        for (int c = 8; c > 1; --c)
            if (!collides(c, kind, 0, angle)) {
                rightmost = c;
                break;
            }
        for (int column = leftmost; column <= rightmost; ++column) {
            int row;
            if (collides(column, kind, -3, angle)) {
                row = -4;
            } else {
                row = -3;
                while (!collides(column, kind, row + 1, angle)) ++row;
            }
            if (row < best.row) continue;
            // Deeper wins; at equal depth the later candidate wins ties of score.
            int score = scorePlacement(kind, column, row, angle);
            if (row > best.row || score >= bestScore) {
                best = {column, row, angle};
                bestScore = score;
            }
        }
    }
    return best;
}

int Cpu::scorePlacement(int kind, int column, int row, int angle) const {
    int score = 0;
    for (int i = 0; i < 4; ++i) {
        int e = row + i;
        if (cpuLevel == 0) {
            if (e > 23) continue;
            bool complete;
            if (e < 0) {
                complete = false;
            } else if (e >= kFieldRows) {
                complete = true;
            } else {
                complete = true;
                for (int j = 0; j <= 8 && complete; ++j) {
                    int k = column + j;
                    if (k < 0 || k >= kFieldColumns) continue;
                    if (pieceCell(kind, angle, i, j) == kCellEmpty && cells[e][k] == kCellEmpty) complete = false;
                }
            }
            if (complete) score += 50;
            if (e < 0) continue;
            for (int j = 0; j < 4; ++j) {
                int k = column + j;
                if (k < 0 || k >= kFieldColumns) continue;
                if (pieceCell(kind, angle, i, j) != kCellEmpty || e >= kFieldRows || cells[e][k] != kCellEmpty)
                    ++score;
            }
            continue;
        }

        bool openRow = true;
        for (int j = 0; j <= 8 && openRow; ++j) {
            int k = column + j;
            if (pieceCell(kind, angle, i, j) != kCellEmpty || k < 0 || k >= kFieldColumns || e > 21 ||
                occupied(e, k))
                openRow = false;
        }
        if (openRow) score += 20;

        for (int j = 0; j < 4; ++j) {
            if (pieceCell(kind, angle, i, j) == kCellEmpty) continue;
            int k = column + j;
            if (k >= 0 && occupied(e, k - 1)) ++score;
            if (k <= 9 && occupied(e, k + 1)) ++score;
            if (occupied(e - 1, k)) ++score;
            if (occupied(e + 1, k)) {
                score += e >= kFieldRows ? 2 : 1;
            } else if (cpuLevel == 2 && score > 0) {
                score = score > 5 ? score - 5 : 0;  // a hole under the piece
            }
        }
    }
    return score;
}

void Cpu::think() {
    ++thinkFrames;
    // A press with no skill class behind it would hold both sides through a wait for nothing, again and again.
    if (pattern && skillClassExists(character, skillLevel) && pattern->shouldUse(*this))
        inputCurrent[side] |= kButtonUp;
    // A turn or step into filled cells waits: the piece would be drawn over them, and a lock there would
    // overwrite them. The target stays, so the step is tried again next frame.
    if (piece->angle != targetAngle) {
        int turned = (piece->angle + 90) % 360;
        if (PlayerProcesser::fitsWhileFalling(*this, turned, piece->column)) piece->angle = turned;
    }
    if (piece->column != targetColumn) {
        int column = piece->column + (piece->column < targetColumn ? 1 : -1);
        if (PlayerProcesser::fitsWhileFalling(*this, piece->angle, column)) piece->column = column;
    }
    if (thinkFrames > kSoftDropAfterFrames) inputCurrent[side] |= kButtonDown;
}

bool Cpu::update() {
    bool won = Player::update();
    if (cpuLevel == 2 && piece->row == targetRow) {
        int column = piece->column;
        int angle = piece->angle;
        int row = piece->row;
        int kind = piece->kind;
        int s0 = scorePlacement(kind, column, row, angle);
        int sL = column - 1 < 0 ? 0 : scorePlacement(kind, column - 1, row, angle);
        int sR = column + 1 > 9 ? 0 : scorePlacement(kind, column + 1, row, angle);
        if (sR < sL) {
            if (s0 < sL && !collides(column - 1, kind, row, angle)) targetColumn = column - 1;
        } else {
            if (s0 < sR && !collides(column + 1, kind, row, angle)) targetColumn = column + 1;
        }
    }
    return won;
}

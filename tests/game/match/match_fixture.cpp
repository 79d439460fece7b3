// Helpers of the match tests (see match_fixture.h).
#include "game/match/match_fixture.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "game/shell/input_poll.h"

void setField(Player& player, const Rows& bottomRows) {
    EXPECT_LE(bottomRows.size(), static_cast<size_t>(kFieldRows));
    int first = kFieldRows - static_cast<int>(bottomRows.size());
    for (int r = 0; r < kFieldRows; ++r) {
        for (int c = 0; c < kFieldColumns; ++c) {
            int value = kCellEmpty;
            if (r >= first) {
                const std::string& row = bottomRows[r - first];
                EXPECT_EQ(row.size(), static_cast<size_t>(kFieldColumns)) << "fixture row " << row;
                char ch = c < static_cast<int>(row.size()) ? row[c] : '.';
                value = ch == '#' ? kCellBlock : ch == '*' ? kCellChip : ch == 'x' ? kCellMarked : kCellEmpty;
            }
            player.cells[r][c] = value;
        }
    }
}

Rows fieldRows(const Player& player, int firstRow) {
    Rows rows;
    for (int r = firstRow; r < kFieldRows; ++r) {
        std::string row;
        for (int c = 0; c < kFieldColumns; ++c) row += ".#*x"[std::min(3, std::max(0, player.cells[r][c]))];
        rows.push_back(row);
    }
    return rows;
}

void setInputs(int side0, int side1) {
    inputPrevious[0] = inputCurrent[0];
    inputPrevious[1] = inputCurrent[1];
    inputCurrent[0] = side0;
    inputCurrent[1] = side1;
}

void clearInputs() {
    inputCurrent[0] = inputCurrent[1] = 0;
    inputPrevious[0] = inputPrevious[1] = 0;
}

PlayerPair makePair(int character0, int character1) {
    PlayerPair pair{std::make_shared<Player>(character0, 0, 0), std::make_shared<Player>(character1, 1, 0)};
    pair.side0->setEnemy(pair.side1);
    pair.side1->setEnemy(pair.side0);
    return pair;
}

int RecordingProcesser::count(int entry) const {
    return static_cast<int>(std::count(sounds.begin(), sounds.end(), entry));
}

void placePiece(Player& player, int kind, int angle, int column, int row) {
    player.piece->kind = kind;
    player.piece->angle = angle;
    player.piece->column = column;
    player.piece->row = row;
    player.fallSub = player.lockSub = 0;
    player.repeatCounter = 0;
}

// Piece shapes and their turns. pieceCell is asked for millions of cells by the computer's search, so every
// kind's four turns are worked out once, through rotatePiece, into a table.
#include "game/match/block.h"

#include <string.h>

namespace {

const char* const kShapes[kPieceKinds][4] = {
    {"0000", "0000", "1111", "0000"},  // line
    {"0000", "0110", "0110", "0000"},  // box
    {"0000", "0110", "1100", "0000"},  // S
    {"0000", "1100", "0110", "0000"},  // turn S
    {"0000", "0010", "1110", "0000"},  // L
    {"0000", "0100", "0111", "0000"},  // turn L
    {"0000", "0100", "1110", "0000"},  // deko
    {"0000", "0000", "1211", "0000"},
    {"0000", "0210", "0110", "0000"},
    {"0000", "0210", "1100", "0000"},
    {"0000", "1100", "0210", "0000"},
    {"0000", "0010", "1120", "0000"},
    {"0000", "0100", "0211", "0000"},
    {"0000", "0100", "1210", "0000"},
};

struct TurnTable {
    unsigned char cell[kPieceKinds][4][4][4];  // kind, quarter turns, row, column

    TurnTable() {
        for (int kind = 0; kind < kPieceKinds; ++kind) {
            int grid[4][4];
            setPieceShape(kind, grid);
            for (int turn = 0; turn < 4; ++turn) {
                for (int r = 0; r < 4; ++r)
                    for (int c = 0; c < 4; ++c) cell[kind][turn][r][c] = static_cast<unsigned char>(grid[r][c]);
                rotatePiece(grid);
            }
        }
    }
};

const TurnTable& turnTable() {
    static const TurnTable table;
    return table;
}

}  // namespace

void setPieceShape(int kind, int grid[4][4]) {
    if (kind < 0 || kind >= kPieceKinds) return;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) grid[r][c] = kShapes[kind][r][c] - '0';
}

void rotatePiece(int grid[4][4]) {
    int old[4][4];
    memcpy(old, grid, sizeof(old));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) grid[r][c] = old[3 - c][r];
}

int pieceCell(int kind, int angle, int row, int column) {
    if (kind < 0 || kind >= kPieceKinds || row < 0 || row > 3 || column < 0 || column > 3) return 0;
    int turns = ((angle % 360 + 360) % 360) / 90;
    return turnTable().cell[kind][turns][row][column];
}

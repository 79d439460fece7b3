// The falling piece: one of fourteen kinds in a 4 x 4 grid, turned in quarter turns. Kinds 7-13 repeat the
// seven shapes of kinds 0-6 with one skill chip; the rules engine, the computer and the drawing all read the
// shapes through pieceCell, so the table below is the only place a shape is written down.
#pragma once

constexpr int kPieceKinds = 14;
constexpr int kFirstSpecialKind = 7;
constexpr int kNoPieceKind = 15;

// Cell values of a piece grid and of a field.
constexpr int kCellEmpty = 0;
constexpr int kCellBlock = 1;
constexpr int kCellChip = 2;
constexpr int kCellMarked = 3;

class Block {
public:
    Block(int kind, int angle, int column, int row, int alpha)
        : kind(kind), angle(angle), column(column), row(row), alpha(alpha) {}
    virtual ~Block() = default;

    int kind;    // 0-13
    int angle;   // 0, 90, 180 or 270
    int column;  // field column of the grid's left edge
    int row;     // field row of the grid's top edge; negative above the field
    int alpha;   // draw opacity 0-255
};

// Writes kind's grid (rows top to bottom); a kind outside 0-13 leaves the grid as it was.
void setPieceShape(int kind, int grid[4][4]);
// A quarter turn clockwise in place: new[r][c] = old[3 - c][r].
void rotatePiece(int grid[4][4]);
// The cell of kind turned by angle (taken modulo 360, in quarter turns) at grid [row][column]; 0 for a kind,
// row or column outside the table.
int pieceCell(int kind, int angle, int row, int column);
// The seven shapes a special kind shares: kinds 7-13 map to 0-6.
inline int baseKind(int kind) { return kind >= kFirstSpecialKind ? kind - kFirstSpecialKind : kind; }

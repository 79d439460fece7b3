// The generated pictures, one row per file behind the image entries: size, the grid of cells the game cuts or
// places the picture by, transparency and what the labels say. The generator paints from these rows and the game's
// tests check the loaded graphs against them, so the row's colour function is the one both use.
#pragma once

#include <cstdint>

enum PictureFlags : unsigned {
    kPictureTransparent = 1,  // PNG with a transparent surround (sprites, frames, overlays)
    kPictureFieldHoles = 2,   // the stage picture: transparent holes over both fields and the next column
    kPictureChoiceHoles = 4,  // the character-choice frame: transparent holes over the portraits and the name list
};

struct PictureRow {
    const char* path;  // as in the resource path table
    int entry;         // the first image entry using the file
    int otherEntry;    // a second entry sharing the file, or -1
    int width, height;
    int cellWidth, cellHeight;
    int columns, rows;  // cells side by side, rows stacked
    char indexKind;     // label suffix: 'c' cell, 'r' row, 'p' page, 'y' staff-sheet y; 0 for a single picture
    unsigned flags;
};

extern const PictureRow kPictureRows[];
extern const int kPictureRowCount;

inline bool PictureIsJpeg(const PictureRow& row) {
    const char* p = row.path;
    while (*p) ++p;
    return p - row.path > 4 && p[-4] == '.' && p[-3] == 'j' && p[-2] == 'p' && p[-1] == 'g';
}

// The row a file's picture is painted from, or null.
const PictureRow* FindPictureRow(const char* path);
// The row behind an image entry (0-446), or null.
const PictureRow* FindPictureRowForEntry(int entry);

// The flat colour of a cell (0x00RRGGBB), never near black. Most pictures walk the hue wheel, different for every
// cell of a row and between neighbouring rows; the backdrops of the fields and the next-piece column are dark;
// the block chips have one fixed colour per piece kind and per side.
uint32_t PictureCellColour(const PictureRow& row, int cell);
// A point inside a cell (relative to the cell) that shows the cell's own colour: away from the words, the
// outlines, the bevels, the transparent surround and the stage's holes.
void PictureSamplePoint(const PictureRow& row, int* x, int* y);

// The stage's field and next-piece backdrops (entries 4-30 that are not stage pictures).
bool PictureIsFieldBackdrop(const PictureRow& row);

// The conversation portraits: 160 x 256 cells of the sheets under res/Talk/chara/.
bool PictureIsTalkPortrait(const PictureRow& row);

// Next-piece previews draw each block of the shape this many pixels square.
constexpr int kPreviewBlock = 10;
// Where a kind's 4 x 4 grid (unturned) starts in its 60 x 60 preview, so the shape sits in the middle.
void PreviewGridOrigin(int kind, int* x, int* y);

// The one queue of four upcoming pieces that both sides draw from, with the preview slide of each entry, and
// the forced-kind mode a skill can switch on. Both sides use it within one frame, side 0 first.
#pragma once

// Slide directions of a preview entry.
constexpr int kSlideToSide0 = 0;
constexpr int kSlideToSide1 = 1;
constexpr int kSlideIdle = 2;
constexpr int kSlideRise = 3;

struct NextPieceEntry {
    int x;          // pixel offset from the entry's slot
    int y;
    int direction;  // kSlide*
    int kind;       // 0-13, or kNoPieceKind
};

struct NextPieceQueue {
    NextPieceEntry entry[4];  // entry 0 is the head
};

extern NextPieceQueue nextPieceQueue;
extern int forcedNextKind;       // kNoPieceKind (15) when no kind is forced
extern int forcedPieceCount;     // takes by either side since forced mode began
extern int specialPieceCounter;  // 0-4; with the random rule off every fifth queued piece is special

void resetNextQueue();
void advanceNextQueue();
NextPieceEntry takeNextPiece();
void slideNextQueue();

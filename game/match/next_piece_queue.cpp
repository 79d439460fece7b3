// The shared next-piece queue. Random draws come from the runtime's generator only, so a seed fixes the
// sequence; which side takes a piece is decided by the rules engine's claim and slide.
#include "game/match/next_piece_queue.h"

#include "game/match/block.h"
#include "game/shell/options.h"
#include "runtime/runtime.h"

NextPieceQueue nextPieceQueue = {{{0, 0, kSlideIdle, kNoPieceKind},
                                  {0, 0, kSlideIdle, kNoPieceKind},
                                  {0, 0, kSlideIdle, kNoPieceKind},
                                  {0, 0, kSlideIdle, kNoPieceKind}}};
int forcedNextKind = kNoPieceKind;
int forcedPieceCount = 0;
int specialPieceCounter = 0;

namespace {
constexpr int kForcedTakes = 10;
}

void advanceNextQueue() {
    NextPieceEntry* e = nextPieceQueue.entry;
    for (int i = 0; i < 3; ++i) e[i].kind = e[i + 1].kind;
    if (forcedNextKind != kNoPieceKind) {
        e[3].kind = forcedNextKind;
        return;
    }
    int kind = RandomInt(6);
    bool special;
    if (randomSpecialPieces) {
        special = RandomInt(4) == 0;
    } else {
        specialPieceCounter = (specialPieceCounter + 1) % 5;
        special = specialPieceCounter == 0;
    }
    e[3].kind = special ? kind + kFirstSpecialKind : kind;
}

void resetNextQueue() {
    for (NextPieceEntry& e : nextPieceQueue.entry) e = {0, 0, kSlideIdle, kNoPieceKind};
    for (int i = 0; i < 4; ++i) advanceNextQueue();
    specialPieceCounter = 0;
}

NextPieceEntry takeNextPiece() {
    if (forcedNextKind != kNoPieceKind) {
        if (forcedPieceCount >= kForcedTakes) {
            // Refilled while the kind is still forced, so the four queued pieces keep it.
            resetNextQueue();
            resetNextQueue();
            forcedPieceCount = 0;
            forcedNextKind = kNoPieceKind;
        } else {
            ++forcedPieceCount;
        }
    }
    return nextPieceQueue.entry[0];
}

void slideNextQueue() {
    for (NextPieceEntry& e : nextPieceQueue.entry) {
        switch (e.direction) {
            case kSlideToSide0: e.x -= 4; break;
            case kSlideToSide1: e.x += 4; break;
            case kSlideRise: e.y -= 2; break;
            default: break;
        }
    }
}


// Shared helpers of the match tests: fields written as rows of text, a linked pair of sides, input words, and
// a rules engine that records the sounds it plays instead of needing a sound device.
//
// Field text: '.' empty, '#' block, '*' skill chip, 'x' marked for clearing. A fixture gives the bottom rows
// of the field; the rows above them are empty.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "game/match/cpu.h"
#include "game/match/player.h"
#include "game/match/player_processer.h"

using Rows = std::vector<std::string>;

void setField(Player& player, const Rows& bottomRows);
// The field's rows from `firstRow` to the bottom, in the fixture's letters.
Rows fieldRows(const Player& player, int firstRow);

// Both sides' words for this frame: previous = what was current, current = the given bits.
void setInputs(int side0, int side1);
void clearInputs();

struct PlayerPair {
    std::shared_ptr<Player> side0;
    std::shared_ptr<Player> side1;
};
// Two linked sides; the rival link runs both ways.
PlayerPair makePair(int character0 = 0, int character1 = 1);

class RecordingProcesser : public PlayerProcesser {
public:
    RecordingProcesser() : PlayerProcesser(nullptr) {}
    std::vector<int> sounds;
    int count(int entry) const;

protected:
    void playSound(int soundEntry) override { sounds.push_back(soundEntry); }
};

// Puts the side's piece at a place, with the counters of a fresh piece.
void placePiece(Player& player, int kind, int angle, int column, int row);

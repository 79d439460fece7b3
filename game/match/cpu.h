// The computer side: for every new piece it searches all turns and columns for the deepest landing place,
// breaks ties by a placement score that depends on the strength option, and steers the piece there one step a
// frame by writing the piece directly, never into filled cells. Its buttons go into its side's input word through
// the rules engine.
#pragma once

#include <memory>

#include "game/match/player.h"

class SkillUsePattern;

struct Placement {
    int column;
    int row;
    int angle;
};

class Cpu : public Player {
public:
    Cpu(int character, int roundWins);
    ~Cpu() override;

    bool update() override;
    void think() override;
    void spawn(int kind) override;
    bool isCpu() const override { return true; }

    bool collides(int column, int kind, int row, int angle) const;
    Placement planPlacement() const;
    int scorePlacement(int kind, int column, int row, int angle) const;

    // Test seam: a computer on side 0, for tests and benchmarks that play the computer against itself. The
    // game itself only ever makes side-1 computers.
    static std::shared_ptr<Cpu> makeOnSideForTesting(int character, int roundWins, int side);

    int targetColumn = 0;
    int targetRow = 0;
    int targetAngle = 0;
    int thinkFrames = 0;
    std::shared_ptr<SkillUsePattern> pattern;

private:
    Cpu(int character, int roundWins, int side);
    void plan();
};

// The rules engine: one frame of one side by its rules state. The match scene calls process for side 0 and
// then side 1 every play frame; everything it reads is the side's Player, its rival, the shared queue, the
// options and the input words, so a seed and the input words fix a match.
#pragma once

#include <memory>

class Loader;
class Player;

class PlayerProcesser {
public:
    explicit PlayerProcesser(std::shared_ptr<Loader> loader);
    virtual ~PlayerProcesser();

    // One frame of the side; the garbage rows it sends to the rival this frame.
    int process(Player& player);

    // Directions of canMove and canRotate.
    static constexpr int kMoveDown = 1;
    static constexpr int kMoveLeft = 2;
    static constexpr int kMoveRight = 3;
    static constexpr int kTurnClockwise = 0;
    static constexpr int kTurnCounterClockwise = 1;

    bool canMove(Player& player, int direction);
    bool canRotate(Player& player, int direction);
    static bool collides(const Player& player, int kind, int angle, int column, int row);
    // Whether the side's piece, turned to `angle` at `column`, is free at its row and, once it is part-way down,
    // in the row below too: the test of every sideways move and turn, the computer's included.
    static bool fitsWhileFalling(const Player& player, int angle, int column);
    static void lockPiece(Player& player);
    int markFullRows(Player& player);
    static void collapseRows(Player& player, int row, int count);
    static void cascadeCells(Player& player);
    static int findRestRow(const Player& player, int column, int row);
    int clearRows(Player& player);
    void riseGarbage(Player& player);
    void nextPiece(Player& player);
    void runSkillWait(Player& player);
    void startSkill(Player& player);
    void runSkill(Player& player);
    static bool isToppedOut(const Player& player);
    void topOut(Player& player);

protected:
    // Plays a sound entry in the background from its start; tests listen here.
    virtual void playSound(int soundEntry);

private:
    void handleRotate(Player& player);
    // Returns true when a skill press ended the falling step.
    bool handleInput(Player& player);
    void lock(Player& player);

    std::shared_ptr<Loader> loader_;
};

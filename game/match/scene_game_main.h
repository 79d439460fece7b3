// The scene of one round of a match: the intro and ready sign, both sides stepped by the rules engine every
// play frame with garbage handed across, pause, the round end with its win mark, and the result. A match is
// best of three; each further round is a new scene made with the round wins so far, and the battle resources
// stay loaded between rounds through the Loader's keep flag.
#pragma once

#include <functional>
#include <memory>

#include "game/shell/scene.h"

class BgmName;
class Player;
class PlayerProcesser;

// The battle music's level before the master volume.
extern int musicLevel;

// The rival of a story character at stage 1-4; any other stage or character gives the character itself.
int storyOpponent(int stage, int character);

// The music title that rises while the ready sign shows: the name of side 1's track.
class BgmName {
public:
    BgmName(std::shared_ptr<Loader> loader, int track) : loader(std::move(loader)), track(track) {}
    virtual ~BgmName() = default;
    void update();
    void draw();

    std::shared_ptr<Loader> loader;
    int track;
    int phase = 0;
    int y = 480;
    int counter = 0;
    int alpha = 0;
};

class SceneGameMain : public Scene {
public:
    enum State { kIntro = 0, kReady = 1, kPlay = 2, kPause = 3, kRoundEnd = 4, kResult = 5, kLeave = 6 };

    SceneGameMain(int character0, int character1, int roundWins0, int roundWins1, bool versus, bool cpu, int stage,
                  std::shared_ptr<Loader> loader);
    ~SceneGameMain() override;

    void update() override;
    void loadResources(bool release) override;
    void draw() override;

    // Test seam: the computer plays both sides. Side 0's polled words are zeroed each frame as side 1's are.
    // The game itself never makes such a match.
    static std::shared_ptr<SceneGameMain> makeComputerOnBothSidesForTesting(int character0, int character1,
                                                                            int roundWins0, int roundWins1,
                                                                            int stage,
                                                                            std::shared_ptr<Loader> loader);
    // Test seam: rules only, nothing drawn (the rules never depend on drawing); later rounds inherit it.
    void setDrawingEnabledForTesting(bool enabled) { drawing_ = enabled; }
    // Test seam: called right after each side's skill has drawn, before anything else is drawn, so a test can
    // read the drawing state the skill left behind.
    void setAfterSkillDrawForTesting(std::function<void(const Player&)> hook) { afterSkillDraw_ = std::move(hook); }

    int state() const { return state_; }
    int count() const { return count_; }
    int fade() const { return fade_; }
    int resultCount() const { return resultCount_; }
    int pauseChoice() const { return pauseChoice_; }
    const std::shared_ptr<Player>& player(int side) const { return players_[side]; }
    int garbageFor(int side) const { return garbageFor_[side]; }
    const int* readyStrips() const { return readyStrips_; }

private:
    SceneGameMain(int character0, int character1, int roundWins0, int roundWins1, bool versus, bool cpu, int stage,
                  std::shared_ptr<Loader> loader, bool cpuOnSide0);

    void stepPlay();
    void stepPause();
    void stepRoundEnd();
    void stepResult();
    void stepLeave();
    // What every way out of the match does besides choosing the next scene.
    void leaveMatch();

    void drawMatchScreen();
    void drawFigures();
    void drawFigure(int side);
    void drawReady();
    void drawWinMark();
    void drawPause();
    void drawResult();

    std::shared_ptr<PlayerProcesser> rules_;
    std::shared_ptr<BgmName> bgmName_;
    std::shared_ptr<Player> players_[2];
    int garbageFor_[2] = {0, 0};
    int pulse_ = 10;
    int fade_ = 0;
    int count_ = 0;
    int resultCount_ = 0;
    int readyStrips_[5] = {-1, -1, -1, -1, -1};
    int stage_;
    int resultImage_ = 0;
    double spiritOffset_[2] = {0.0, 0.0};
    double spiritSpeed_[2] = {1.0, 1.0};
    bool spiritRising_[2] = {false, false};
    int pauseChoice_ = 0;
    int state_ = kIntro;
    bool versus_;
    bool cpu_;
    bool cpuOnSide0_;
    bool drawing_ = true;
    std::function<void(const Player&)> afterSkillDraw_;
};

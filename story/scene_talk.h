// The story conversation scene: one conversation between the player's character and a partner, before the first
// match, before each story match and after each won one. It fades in with the talk music, runs its script, shows
// the versus flash before a match, fades out and starts the story's next step.
#pragma once

#include <memory>

#include "game/shell/scene.h"

class Talk;

class SceneTalk : public Scene {
public:
    SceneTalk(int character, int partner, int stage, bool afterMatch, std::shared_ptr<Loader> loader);
    ~SceneTalk() override;

    void update() override;
    void loadResources(bool release) override;
    void draw() override;

    // The script for a character, stage and after-match flag; null when there is none (character 6, or anything
    // outside the story's table).
    static std::shared_ptr<Talk> createTalk(int character, int stage, bool afterMatch, std::shared_ptr<Loader> loader);

    enum State { kFadeIn, kTalk, kFlash, kFadeOut };

    int state() const { return state_; }
    int fade() const { return fade_; }
    int flashCounter() const { return flashCounter_; }
    const std::shared_ptr<Talk>& talk() const { return talk_; }
    int character() const { return character_; }
    int partner() const { return partner_; }
    int stage() const { return stage_; }
    bool afterMatch() const { return afterMatch_; }

private:
    void stepFlash();
    bool showsFlash() const { return !afterMatch_ && stage_ > 0; }
    void finish();

    int character_;
    int partner_;
    int stage_;
    bool afterMatch_;
    int state_ = kFadeIn;
    int fade_ = 0;
    int flashCounter_ = 0;
    int flashHalf_[2] = {0, 0};
    bool finished_ = false;
    std::shared_ptr<Talk> talk_;
};

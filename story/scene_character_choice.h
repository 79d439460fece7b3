// Character choice: in versus mode each of two sides picks one of the seven characters (one pad driving both in
// turn, or a pad each); in story mode one player picks one of the six story characters. It leads to the match,
// to the first story conversation, or back to the title.
#pragma once

#include <memory>

#include "game/shell/scene.h"

class SceneCharacterChoice : public Scene {
public:
    SceneCharacterChoice(bool versus, bool onePad, std::shared_ptr<Loader> loader);
    ~SceneCharacterChoice() override;

    void update() override;
    void loadResources(bool release) override;
    void draw() override;

    enum State { kFadeIn, kActive, kFadeOut };
    static constexpr int kCellWidth = 210;
    static constexpr int kCellHeight = 328;

    struct Side {
        int cursor = 0;
        bool decided = false;
        int direction = 0;  // 0 none, 1 moved right/down, 2 moved left/up
        int offset = 0;     // 0..210
    };

    int state() const { return state_; }
    int fade() const { return fade_; }
    const Side& side(int i) const { return sides_[i]; }
    int characterCount() const { return versus_ ? 7 : 6; }
    bool versus() const { return versus_; }
    bool onePad() const { return onePad_; }

private:
    void handleInput();
    void move(Side& side, int delta);
    void slide();
    void drawPortrait(const Side& side, int sheetEntry, int x);
    void drawBanners();

    bool versus_;
    bool onePad_;
    int state_ = kFadeIn;
    int fade_ = 0;
    int bannerPosition_[2] = {3200, 3200};
    int bannerSpeed_ = 5;
    Side sides_[2];
    std::shared_ptr<Scene> pending_;
};

// The title menu: the first scene and the hub every mode returns to. It fades the title picture in, slides six
// items in from the right, lets side 0 pick one, fades out and starts the chosen scene or ends the program.
#pragma once

#include <memory>

#include "game/shell/scene.h"

class SceneTitle : public Scene {
public:
    explicit SceneTitle(std::shared_ptr<Loader> loader);
    ~SceneTitle() override;

    void update() override;
    void loadResources(bool release) override;
    void draw() override;

    enum Item { kVersus, kVersusComputer, kStory, kExtra, kOptions, kExit, kItemCount };
    enum Phase { kFadeIn, kSlideIn, kMenu, kFadeOut };

    int phase() const { return phase_; }
    int selected() const { return selected_; }
    int fade() const { return fade_; }
    int itemX(int item) const { return itemX_[item]; }

private:
    void act();

    int phase_ = kFadeIn;
    int selected_ = 0;
    int fade_ = 0;
    int cursorAngle_ = 0;
    bool acted_ = false;
    int itemGraph_[kItemCount];
    int itemX_[kItemCount];
    int itemY_[kItemCount];
};

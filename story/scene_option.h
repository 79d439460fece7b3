// The options screen: computer strength, window or full screen, the special-piece rule, the skill cut-in and the
// volume. It is the only screen that changes the option values, and the one place the display mode is switched.
#pragma once

#include <memory>

#include "game/shell/scene.h"

class SceneOption : public Scene {
public:
    explicit SceneOption(std::shared_ptr<Loader> loader);
    ~SceneOption() override;

    void update() override;
    void loadResources(bool release) override;
    void draw() override;

    enum Row { kLevel, kDisplay, kSpecialPieces, kCutIn, kVolume, kBack, kRowCount };
    int row() const { return row_; }

    // Test seam: the call that changes the display mode (ChangeWindowMode unless replaced; null restores it).
    using ChangeModeFunction = int (*)(int windowed);
    static void setChangeModeForTest(ChangeModeFunction change);

private:
    void switchDisplay(bool fullScreen);

    int row_ = kLevel;
    int cursorAngle_ = 0;
    int stripPosition_ = 2470;
    int stripSpeed_ = 5;
};

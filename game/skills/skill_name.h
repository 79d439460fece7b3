// The skill-name banner of a cast: made at frame 126 of the skill wait, it zooms from the middle of the screen
// towards the caster's corner, rises, holds while the skill runs and fades when it ends. One banner at most
// is current; the match scene steps and draws it and clears it when a round ends.
#pragma once

#include <memory>

class Loader;
class Player;

class SkillName {
public:
    SkillName(std::shared_ptr<Loader> loader, int side, int character, int skillLevel);
    virtual ~SkillName() = default;

    static void setLoader(const std::shared_ptr<Loader>& loader);
    // Makes a banner for the player's side, character and current level and makes it current.
    static void show(const Player& player);
    static void setCurrent(const std::shared_ptr<SkillName>& banner);
    static void clearCurrent();
    static const std::shared_ptr<SkillName>& current();
    // One frame, and the drawing, of the current banner.
    static void step();
    static void draw();

    // Sets the size and the zoom steps that follow from it.
    void setImageSize(int width, int height);
    void stepOnce();
    void drawOnce() const;

    std::shared_ptr<Loader> loader;
    int side;  // the caster's: only its own skill's end fades the banner
    int phase = 0;  // 0 zoom, 1 rise, 2 hold, 3 fade, 4 gone
    int x = 320;
    int y = 240;
    int vx;
    int vy = 0;
    int width = 0;
    int height = 0;
    double scale = 3.0;
    int alpha = 100;
    double scaleStep = 0.0;
    int alphaStep = 0;
    int image;
    int lineX;
};

// A side's skill background: a full-screen additive animation behind the fields, faded in while the side
// waits for its skill and out when the skill ends. Each character has its own subclass; the base holds the
// fade and the start time that decides which side's background is drawn.
#pragma once

#include <memory>

class Loader;

class SkillBack {
public:
    SkillBack() = default;
    virtual ~SkillBack() = default;
    // The base fade step; subclasses run it first, then their own counters.
    virtual void update();
    virtual void draw(const std::shared_ptr<Loader>& loader) = 0;

    int alpha = 0;      // 0-150
    int phase = 0;      // 0 off, 1 fade in, 2 shown, 3 fade out
    int startTime = 0;  // millisecond count when the fade-in began; 0 while off (may be negative)
};

class SkillBackKessa : public SkillBack {
public:
    void update() override;
    void draw(const std::shared_ptr<Loader>& loader) override;
    int a = 0, b = 0;
};

class SkillBackPelun : public SkillBack {
public:
    explicit SkillBackPelun(int side) : side(side) {}
    void update() override;
    void draw(const std::shared_ptr<Loader>& loader) override;
    int side;
    int scroll = 0, angle = 0;
};

class SkillBackFiora : public SkillBack {
public:
    void update() override;
    void draw(const std::shared_ptr<Loader>& loader) override;
    int angle = 0;
};

class SkillBackVellis : public SkillBack {
public:
    void update() override;
    void draw(const std::shared_ptr<Loader>& loader) override;
    int count = 0, a = 0, b = 0, c = 0;
};

class SkillBackObren : public SkillBack {
public:
    void update() override;
    // Resets the count when called while off.
    void draw(const std::shared_ptr<Loader>& loader) override;
    int count = 0, angle = 0;
};

class SkillBackQuen : public SkillBack {
public:
    void update() override;
    void draw(const std::shared_ptr<Loader>& loader) override;
    int scroll = 0;
};

class SkillBackWix : public SkillBack {
public:
    void update() override;
    void draw(const std::shared_ptr<Loader>& loader) override;
    int a = 0, b = 0;
};

// The background of a character (side matters to one of them); null for a character without one.
std::shared_ptr<SkillBack> makeSkillBack(int character, int side);

// Of the two sides' backgrounds, the one that started later (side 0 on a tie); a background that is off never
// wins over one that is on. Null when the chosen side has none.
SkillBack* skillBackToDraw(SkillBack* side0, SkillBack* side1);

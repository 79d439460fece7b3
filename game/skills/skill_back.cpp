// The skill backgrounds: the base fade step, the seven characters' animations, and the choice of the one
// background drawn.
#include "game/skills/skill_back.h"

#include "game/shell/loader.h"
#include "runtime/runtime.h"

namespace {

constexpr double kRadiansPerDegree = 0.0174532925;

void rotated(const Loader& l, int x, int y, double scale, int degrees, int entry) {
    DrawGraphRotated(x, y, scale, degrees * kRadiansPerDegree, l.image(entry), 1, 0);
}

// Two copies of a 480-line picture stacked, scrolled upwards and wrapped.
void scrolled(const Loader& l, int scroll, int entry) {
    DrawGraphAt(0, scroll, l.image(entry), 1);
    DrawGraphAt(0, scroll + 480, l.image(entry), 1);
}

// The frame every background draws in: additive at its alpha, filtered.
template <class F>
void inBackgroundMode(const SkillBack& back, F drawImages) {
    SetBlendMode(2, back.alpha);
    SetDrawFilterMode(1);
    drawImages();
    SetDrawFilterMode(0);
    SetBlendMode(0, 255);
}

}  // namespace

void SkillBack::update() {
    if (phase == 1) {
        if (alpha < 150)
            alpha += 5;
        else
            phase = 2;
    } else if (phase == 3) {
        if (alpha > 0) {
            alpha -= 5;
        } else {
            phase = 0;
            startTime = 0;
        }
    }
}

void SkillBackKessa::update() {
    SkillBack::update();
    a = (a + 1) % 360;
    b = (b + 358) % 360;
}

void SkillBackKessa::draw(const std::shared_ptr<Loader>& loader) {
    if (phase == 0 || !loader) return;
    inBackgroundMode(*this, [&] {
        rotated(*loader, 320, 240, 1.0, b, 96);
        rotated(*loader, 320, 240, 2.0, a, 95);
    });
}

void SkillBackPelun::update() {
    SkillBack::update();
    scroll -= 2;
    if (scroll < -480) scroll = 0;
    angle = (angle + 2) % 360;
}

void SkillBackPelun::draw(const std::shared_ptr<Loader>& loader) {
    if (phase == 0 || !loader) return;
    inBackgroundMode(*this, [&] {
        scrolled(*loader, scroll, 97);
        rotated(*loader, side * 470 + 85, 380, 1.0, angle, 98);
    });
}

void SkillBackFiora::update() {
    SkillBack::update();
    angle = (angle + 1) % 360;
}

void SkillBackFiora::draw(const std::shared_ptr<Loader>& loader) {
    if (phase == 0 || !loader) return;
    inBackgroundMode(*this, [&] {
        rotated(*loader, 320, 240, 1.25, angle, 99);
        rotated(*loader, 320, 240, 1.25, 0, 100);
    });
}

void SkillBackVellis::update() {
    SkillBack::update();
    if (count == 60) {
        count = 0;
        a = (a + 30) % 360;
    } else {
        ++count;
    }
    b = (b + 359) % 360;
    c = (c + 1) % 360;
}

void SkillBackVellis::draw(const std::shared_ptr<Loader>& loader) {
    if (phase == 0 || !loader) return;
    inBackgroundMode(*this, [&] {
        rotated(*loader, 320, 240, 2.0, a, 101);
        rotated(*loader, 320, 240, 2.0, b, 102);
        rotated(*loader, 320, 240, 3.0, c, 103);
    });
}

void SkillBackObren::update() {
    SkillBack::update();
    ++count;
    angle = (angle + 359) % 360;
}

void SkillBackObren::draw(const std::shared_ptr<Loader>& loader) {
    // The eye opens a fixed time into each showing, so the count starts again once the background is off.
    if (phase == 0) {
        count = 0;
        return;
    }
    if (!loader) return;
    inBackgroundMode(*this, [&] {
        DrawGraphAt(0, 0, loader->image(104), 1);
        rotated(*loader, 320, 120, 3.0, angle, count > 87 ? 105 : 106);
    });
}

void SkillBackQuen::update() {
    SkillBack::update();
    scroll -= 2;
    if (scroll < -480) scroll = 0;
}

void SkillBackQuen::draw(const std::shared_ptr<Loader>& loader) {
    if (phase == 0 || !loader) return;
    inBackgroundMode(*this, [&] { scrolled(*loader, scroll, 107); });
}

void SkillBackWix::update() {
    SkillBack::update();
    a = (a + 1) % 720;
    b = (b + 359) % 720;
}

void SkillBackWix::draw(const std::shared_ptr<Loader>& loader) {
    if (phase == 0 || !loader) return;
    inBackgroundMode(*this, [&] {
        rotated(*loader, 320, 240, 1.5, b / 2, 109);
        SetBlendMode(1, alpha);
        rotated(*loader, 320, 240, 1.5, a / 2, 108);
    });
}

std::shared_ptr<SkillBack> makeSkillBack(int character, int side) {
    switch (character) {
    case 0: return std::make_shared<SkillBackKessa>();
    case 1: return std::make_shared<SkillBackPelun>(side);
    case 2: return std::make_shared<SkillBackFiora>();
    case 3: return std::make_shared<SkillBackVellis>();
    case 4: return std::make_shared<SkillBackObren>();
    case 5: return std::make_shared<SkillBackQuen>();
    case 6: return std::make_shared<SkillBackWix>();
    default: return nullptr;
    }
}

SkillBack* skillBackToDraw(SkillBack* side0, SkillBack* side1) {
    // An off background never wins, whatever its start time.
    bool on0 = side0 && side0->phase != 0;
    bool on1 = side1 && side1->phase != 0;
    if (on0 != on1) return on1 ? side1 : side0;
    if (!on0) return side0;
    // The later start wins, side 0 on a tie. Compared by difference, so a millisecond count that has gone
    // negative (or wrapped) in between still orders the two.
    int later = static_cast<int>(static_cast<unsigned>(side1->startTime) - static_cast<unsigned>(side0->startTime));
    return later > 0 ? side1 : side0;
}

// The current skill-name banner: its creation, its zoom, rise and fade, and its drawing.
#include "game/skills/skill_name.h"

#include "game/match/player.h"
#include "game/shell/loader.h"
#include "runtime/runtime.h"

namespace {
std::shared_ptr<SkillName> currentBanner;
std::shared_ptr<Loader> bannerLoader;
constexpr int kFirstBannerEntry = 73;
constexpr int kUnderlineEntry = 52;
}  // namespace

SkillName::SkillName(std::shared_ptr<Loader> loaderIn, int casterSide, int character, int skillLevel)
    : loader(std::move(loaderIn)),
      side(casterSide),
      vx(casterSide * 12 - 6),
      image(kFirstBannerEntry + 3 * character + skillLevel),
      lineX(side * 464) {
    int w = 0, h = 0;
    // A missing image leaves a 0 x 0 banner that still runs its course.
    if (!loader || GetGraphDimensions(loader->image(image), &w, &h) != 0) w = h = 0;
    setImageSize(w, h);
}

void SkillName::setImageSize(int w, int h) {
    width = w;
    height = h;
    // The zoom lasts d frames; a banner 630 pixels wide or more would give none, so d is at least 1.
    int d = (320 - width / 2) / 6;
    if (d < 1) d = 1;
    scaleStep = 2.0 / d;
    alphaStep = 155 / d;
}

void SkillName::setLoader(const std::shared_ptr<Loader>& loader) { bannerLoader = loader; }

void SkillName::show(const Player& player) {
    currentBanner = std::make_shared<SkillName>(bannerLoader, player.side, player.character, player.skillLevel);
}

void SkillName::setCurrent(const std::shared_ptr<SkillName>& banner) { currentBanner = banner; }

void SkillName::clearCurrent() { currentBanner.reset(); }

const std::shared_ptr<SkillName>& SkillName::current() { return currentBanner; }

void SkillName::step() {
    if (currentBanner) currentBanner->stepOnce();
}

void SkillName::draw() {
    if (currentBanner) currentBanner->drawOnce();
}

void SkillName::stepOnce() {
    switch (phase) {
    case 0:
        // Tested before the move, so the centre ends 1 to 6 pixels past the limit.
        if (x < width / 2 + 10 || x > 630 - width / 2) {
            phase = 1;
            scale = 1.0;
            vy = -6;
            alpha = 255;
        } else {
            alpha += alphaStep;
            scale -= scaleStep;
            x += vx;
        }
        break;
    case 1:
        if (y < height / 2 + 10)
            phase = 2;
        else
            y += vy;
        break;
    case 3:
        if (alpha > 0)
            alpha -= 5;
        else
            phase = 4;
        break;
    default:
        break;
    }
}

void SkillName::drawOnce() const {
    if (phase == 4 || !loader) return;
    int r, g, b;
    GetDrawColorScale(&r, &g, &b);
    SetDrawColorScale(255, 255, 255);
    SetBlendMode(phase <= 1 ? 2 : 1, alpha);
    DrawGraphRotated(x, y, scale, 0.0, loader->image(image), 1, 0);
    if (phase == 2 || phase == 3) {
        int line = loader->image(kUnderlineEntry);
        if (lineX != 0)
            DrawGraphAt(lineX, height + 10, line, 1);
        else
            DrawGraphMirrored(0, height + 10, line, 1);
    }
    SetBlendMode(0, alpha);
    SetDrawColorScale(r, g, b);
}

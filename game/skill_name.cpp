// The current skill-name banner and its creation. Its movement and drawing belong with the skills' own
// drawing work; the rules engine and the match scene already call every entry point where it belongs.
#include "game/skill_name.h"

#include "game/loader.h"
#include "game/player.h"
#include "runtime/runtime.h"

namespace {
std::shared_ptr<SkillName> currentBanner;
std::shared_ptr<Loader> bannerLoader;
constexpr int kFirstBannerEntry = 73;
}  // namespace

SkillName::SkillName(std::shared_ptr<Loader> loaderIn, int side, int character, int skillLevel)
    : loader(std::move(loaderIn)),
      vx(side * 12 - 6),
      image(kFirstBannerEntry + 3 * character + skillLevel),
      lineX(side * 464) {
    if (loader && GetGraphDimensions(loader->image(image), &width, &height) != 0) width = height = 0;
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

void SkillName::step() {}

void SkillName::draw() {}

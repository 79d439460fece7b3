// Skill pictures face the rival's field: drawn as they are for side 1 and mirrored for side 0. One skill drawn
// alone on a cleared screen from each side, at the same update of the same field, must give mirror images.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "game/skills/skill.h"
#include "graphics/graphics.h"
#include "tests/game/skills/skill_case.h"

namespace {

class MirroredSkillCaseTest : public SkillCaseTest {};

constexpr int kCaptureUpdate = 40;  // Telvix's slash is on screen

TEST_F(MirroredSkillCaseTest, TelvixDrawnForSide0IsTheMirrorImageOfSide1) {
    std::vector<uint8_t> screens[2];
    for (int side = 0; side < 2; ++side) {
        SCOPED_TRACE("side " + std::to_string(side));
        SkillCase c;
        c.name = "Telvix capture";
        c.character = 4;
        c.level = 1;
        c.side = side;
        c.cutIn = false;
        c.casterField = {"....#.....", "##.#######", "#.########"};
        std::vector<uint8_t>* screen = &screens[side];
        c.eachFrame = [screen](SkillRun& run) {
            if (run.frame != kCaptureUpdate) return;
            ClearTargetScreen();
            run.skill()->draw();
            SetDrawColorScale(255, 255, 255);
            *screen = run.game->screenRgb();
        };
        PlaySkillCase(*game, c);
        ASSERT_EQ(static_cast<size_t>(kScreenWidth * kScreenHeight * 3), screens[side].size());
    }
    int lit = 0, mismatched = 0;
    for (int y = 0; y < kScreenHeight; ++y) {
        for (int x = 0; x < kScreenWidth; ++x) {
            const uint8_t* a = &screens[0][(y * kScreenWidth + x) * 3];
            const uint8_t* b = &screens[1][(y * kScreenWidth + (kScreenWidth - 1 - x)) * 3];
            if (a[0] | a[1] | a[2]) ++lit;
            if (a[0] != b[0] || a[1] != b[1] || a[2] != b[2]) ++mismatched;
        }
    }
    EXPECT_GT(lit, 1000) << "the slash was not drawn";
    EXPECT_EQ(0, mismatched) << "pixels of side 0 that are not side 1's mirror image";
}

}  // namespace

// The skill background base step and the choice of the one background drawn.
#include "game/skill_back.h"

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

// The seven characters' backgrounds are not written yet; a Player without one simply draws none.
std::shared_ptr<SkillBack> makeSkillBack(int, int) { return nullptr; }

SkillBack* skillBackToDraw(SkillBack* side0, SkillBack* side1) {
    int start0 = side0 ? side0->startTime : 0;
    int start1 = side1 ? side1->startTime : 0;
    return start0 < start1 ? side1 : side0;
}

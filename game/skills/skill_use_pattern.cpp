// The seven characters' casting policies. Level-1 skills mostly help the caster and wait for its own stack to
// rise; attacks wait for the rival's.
#include "game/skills/skill_use_pattern.h"

#include "game/match/player.h"

bool anyCellInTopRows(const Player& player, int rows) {
    for (int r = 0; r < rows && r < kFieldRows; ++r)
        for (int c = 0; c < kFieldColumns; ++c)
            if (player.cells[r][c] != 0) return true;
    return false;
}

namespace {

bool rivalAny(const Player& player, int rows) {
    std::shared_ptr<Player> rival = player.getEnemy();
    return rival && anyCellInTopRows(*rival, rows);
}

}  // namespace

bool SkillUsePatternKessa::shouldUse(const Player& player) {
    switch (player.skillLevel) {
    case 2: {
        // Its level-2 skill takes the rival's level: pointless without one.
        std::shared_ptr<Player> rival = player.getEnemy();
        return rival && rival->skillLevel >= 2;
    }
    case 3: return true;
    default: return false;  // its level-1 skill needs an aim the computer never gives
    }
}

bool SkillUsePatternPelun::shouldUse(const Player& player) {
    switch (player.skillLevel) {
    case 1: return rivalAny(player, 10);
    case 2:
    case 3: return true;
    default: return false;
    }
}

bool SkillUsePatternFiora::shouldUse(const Player& player) {
    switch (player.skillLevel) {
    case 1:
    case 2: return rivalAny(player, 10);
    case 3: return true;
    default: return false;
    }
}

bool SkillUsePatternVellis::shouldUse(const Player& player) {
    switch (player.skillLevel) {
    case 1: return anyCellInTopRows(player, 15);
    case 2: return rivalAny(player, 15);
    case 3: return true;
    default: return false;
    }
}

bool SkillUsePatternQuen::shouldUse(const Player& player) {
    switch (player.skillLevel) {
    case 1: return anyCellInTopRows(player, 15);
    case 2: {
        // Copies the rival's field: only worth it while the rival's stack is low.
        std::shared_ptr<Player> rival = player.getEnemy();
        return rival && !anyCellInTopRows(*rival, 15);
    }
    case 3: return true;
    default: return false;
    }
}

bool SkillUsePatternWix::shouldUse(const Player& player) {
    switch (player.skillLevel) {
    case 1: return anyCellInTopRows(player, 15);
    case 3: return true;
    default: return false;
    }
}

std::shared_ptr<SkillUsePattern> makeSkillUsePattern(int character) {
    switch (character) {
    case 0: return std::make_shared<SkillUsePatternKessa>();
    case 1: return std::make_shared<SkillUsePatternPelun>();
    case 2: return std::make_shared<SkillUsePatternFiora>();
    case 3: return std::make_shared<SkillUsePatternVellis>();
    case 4: return std::make_shared<SkillUsePatternObren>();
    case 5: return std::make_shared<SkillUsePatternQuen>();
    case 6: return std::make_shared<SkillUsePatternWix>();
    default: return nullptr;
    }
}

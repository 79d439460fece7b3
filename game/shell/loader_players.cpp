// The battle and skill-image groups by the sides themselves: what the match scene calls.
#include "game/match/player.h"
#include "game/shell/loader.h"

void Loader::loadBattle(bool release, const Player& side0, const Player& side1) {
    loadBattle(release, side0.character, side1.character);
}

void Loader::loadSkillImages(bool release, const Player& player) { loadSkillImages(release, player.character); }

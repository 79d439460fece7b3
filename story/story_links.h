// Where the story meets the match: the match scene the menus and conversations start, and the rival table as the
// story reads it.
#pragma once

#include <memory>

#include "game/match/scene_game_main.h"

class Loader;
class Scene;

// A new match scene: side 0 and side 1 characters, no rounds won yet.
std::shared_ptr<Scene> makeMatchScene(int character0, int character1, bool versus, bool cpu, int stage,
                                      std::shared_ptr<Loader> loader);

// The rival of the first story match, the prologue's partner.
inline int firstStoryPartner(int character) { return storyOpponent(1, character); }

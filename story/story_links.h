// Where the story meets the match: the match scene the menus and conversations start, and the story's rival
// table as the conversations read it.
#pragma once

#include <memory>

class Loader;
class Scene;

// A new match scene: side 0 and side 1 characters, no rounds won yet.
std::shared_ptr<Scene> makeMatchScene(int character0, int character1, bool versus, bool cpu, int stage,
                                      std::shared_ptr<Loader> loader);

// The rival of a story character at stage 1..4; the character itself for anything else.
int storyPartner(int stage, int character);
// The rival of the first story match, the prologue's partner.
inline int firstStoryPartner(int character) { return storyPartner(1, character); }

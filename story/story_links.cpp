// The story's links to the match scene (see story_links.h).
#include "story/story_links.h"

#include "game/match/scene_game_main.h"

std::shared_ptr<Scene> makeMatchScene(int character0, int character1, bool versus, bool cpu, int stage,
                                      std::shared_ptr<Loader> loader) {
    return std::make_shared<SceneGameMain>(character0, character1, 0, 0, versus, cpu, stage, std::move(loader));
}

// The scenes a match leaves to (see scene_after_match.h).
#include "game/match/scene_after_match.h"

#include "story/scene_talk.h"
#include "story/scene_title.h"

namespace {
SceneAfterMatchFactory replacement = nullptr;
}

std::shared_ptr<Scene> makeSceneAfterMatch(const std::shared_ptr<Loader>& loader, bool storyWin, int character0,
                                           int character1, int stage) {
    if (replacement) return replacement(loader, storyWin, character0, character1, stage);
    if (storyWin) return std::make_shared<SceneTalk>(character0, character1, stage, true, loader);
    return std::make_shared<SceneTitle>(loader);
}

SceneAfterMatchFactory replaceSceneAfterMatchForTesting(SceneAfterMatchFactory factory) {
    SceneAfterMatchFactory old = replacement;
    replacement = factory;
    return old;
}

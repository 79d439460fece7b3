// Where a match goes when it is over or quit: the title, or after a story win the conversation that follows it.
#pragma once

#include <memory>

class Loader;
class Scene;

// storyWin: side 0 won a story match (versus clear, stage 1-4); then the after-match conversation of
// character0 against character1 at that stage follows. Otherwise the title.
std::shared_ptr<Scene> makeSceneAfterMatch(const std::shared_ptr<Loader>& loader, bool storyWin, int character0,
                                           int character1, int stage);

// Test seam: replaces the function above (null restores it) and returns the previous replacement.
using SceneAfterMatchFactory = std::shared_ptr<Scene> (*)(const std::shared_ptr<Loader>& loader, bool storyWin,
                                                          int character0, int character1, int stage);
SceneAfterMatchFactory replaceSceneAfterMatchForTesting(SceneAfterMatchFactory factory);

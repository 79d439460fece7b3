// Counting release road for the story's graphs and sounds (see story_release.h).
#include "story/story_release.h"

#include "graphics/graphics.h"
#include "sound/sound.h"

namespace {
int g_refused = 0;
}

int releaseStoryGraph(int& graph) {
    if (graph == 0 || graph == -1) return 0;
    int result = ReleaseGraph(graph, 0);
    if (result == -1) ++g_refused;
    graph = 0;
    return result;
}

int releaseStorySound(int& sound) {
    if (sound == 0 || sound == -1) return 0;
    int result = ReleaseSoundHandle(sound);
    if (result == -1) ++g_refused;
    sound = -1;
    return result;
}

int storyRefusedReleases() { return g_refused; }
void resetStoryRefusedReleases() { g_refused = 0; }

// The one road by which the story scenes and conversation scripts give graphs and sounds back to the runtime. It
// skips "no handle" (0 and -1) and counts every release the runtime refuses, so a test can tell a handle released
// twice, or by the wrong owner, from a clean release.
#pragma once

// Releases the graph and sets the handle to 0. Returns the runtime's result (0 when there was nothing to release).
int releaseStoryGraph(int& graph);
// Releases the sound handle and sets it to -1.
int releaseStorySound(int& sound);

// Releases the runtime refused since the last reset.
int storyRefusedReleases();
void resetStoryRefusedReleases();

// Bringing graphs and the screen system back after a device loss or a display change.
#pragma once

typedef int (*GraphRestoreFunction)();

int SetGraphRestoreCallback(GraphRestoreFunction function);  // null installs the built-in one
int HasGraphRestoreCallback();
int RestoreScreenSystem();
int RestoreAllGraphSurfaces();  // every live graph's lost surfaces

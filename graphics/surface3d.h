// Direct3D texture surfaces of graphs.
#pragma once

int RestoreAllLostSurfaces3D();

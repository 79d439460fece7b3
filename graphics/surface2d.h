// 2D (DirectDraw or software) surfaces of graphs.
#pragma once

int RestoreAllLostSurfaces2D();
int DeleteAllSurface2D();
// Around a device loss: drop and re-make the DirectDraw surfaces of every 2D surface.
int ReleaseAllSurface2DSurfaces();
int RestoreAllSurface2DSurfaces();

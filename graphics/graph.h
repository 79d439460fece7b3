// Graph handles and the graphics device's start and end, as the rest of the runtime calls them.
#pragma once

#include <windows.h>

int StartUpGraphicsDevice(HWND window);  // 0, or negative on failure
int ShutDownGraphicsDevice();
int IsGraphicsDeviceUp();
// Graph management: up between these two (the display-mode change runs them around every mode set).
int GraphicsStartUp();
int GraphicsShutDown();
int SetUse3D(int flag);

int SetCreateDrawValidGraph(int flag);
int CreateEmptyGraphImpl(int width, int height, int flag);
int ReleaseGraphImpl(int graph, int logFlag);
int ReleaseAllGraphsImpl(int logFlag);

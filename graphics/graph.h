// Folder graphics/: the graph layer (graph handles, surface data, draw state, draw entries, derive and restore) and
// the public entry file; each back end and concern has a subfolder below it. It may call every subfolder.
//
// Graph handles and graph records: the graph table, the creation settings that decide how a new graph is stored
// (one 2D surface, or up to 64 Direct3D texture pieces), the graphics device's start and end, and the small graph
// operations (create blank, release, measure, fill). Every graphics module reaches a graph through GetGraphRecord.
#pragma once

#include <windows.h>

#include "graphics/surface_data.h"  // creation byte indices

constexpr int kGraphSlots = 32768;
constexpr int kGraphMaxPieces = 64;

struct GraphRecord {
    int checkId;
    int* lostFlag;  // set to 1 when the graph is deleted
    int handle;
    unsigned char creation[kCreationByteCount];
    int restoreParameter;
    int creationSetting;
    int pieces[kGraphMaxPieces];  // 2D-surface or 3D-surface handles
    int pieceCount;
    char* fileName;       // tracked copy of the whole name, null when none (made from memory or blank)
    char* loadDirectory;  // tracked copy of the current directory when the name was stored, null when none
    int sourceX, sourceY;  // position in the source image (non-zero for derived graphs)
    int width, height;
    int movieHandle;  // -1 when the graph shows no movie
    int reloadNeeded;
    void* restoreData;  // tracked block freed with the record, or null
};

// ---- Graphics device and graph management ----
// Starts the display device, falling back once to software drawing; failing twice is fatal. 0.
int StartUpGraphicsDevice(HWND window);
int ShutDownGraphicsDevice();
int IsGraphicsDeviceUp();
// Graph management: up between these two (the display-mode change runs them around every mode set).
int GraphicsStartUp();
int GraphicsShutDown();
int IsGraphManagementUp();
// 1 while graphs may take the Direct3D path (the 3D surface table could be cleared at start).
int Is3DPathUp();

// ---- Records and handles ----
// A record without pieces; fatal when the table is full or memory runs out.
int AllocGraphHandle(int width, int height, int may3D, GraphRecord** outRecord, int alphaChannel, int paletteImage);
// A graph of the size with its pieces; -1 (logged) when the pieces cannot be made, and the record is gone again.
int CreateGraphOrFail(int width, int height, int may3D, int alphaChannel, int paletteImage);
// flag 0: the graph may take the Direct3D path.
int CreateEmptyGraphImpl(int width, int height, int flag);
// The record of a live graph handle, or null.
GraphRecord* GetGraphRecord(int graph);
int ReleaseGraphImpl(int graph, int logFlag);
int ReleaseAllGraphsImpl(int logFlag);
int SetGraphLostFlagPointer(int graph, int* flag);
// -2 and -4 give the screen size; otherwise a live graph's size. Either pointer may be null.
int GetGraphDimensionsImpl(int graph, int* width, int* height);
int FillGraphImpl(int graph, int red, int green, int blue, int alpha);
// Stores the current directory and the name (empty for null) for reloading. 0 / -1.
int SetGraphFileName(int graph, const char* name);
int SetGraphMovieHandle(int graph, int movie);  // 0 / -1
// The handle of the graph in a slot, or -1 for a free slot (restore walks the slots up to the end mark).
int GetGraphHandleAtSlot(int slot);
// Live count, end mark and next check id of the graph table.
void GetGraphTableState(int* live, int* endMark, int* nextCheckId);

// ---- Creation settings ----
int SetUse3D(int flag);
int GetUse3D();
int IsDrawing3DUsable();
int SetGraphCreateFlag(int flag);  // the alpha-test setting
int GetGraphCreateFlag();
int SetCreateDrawValidGraph(int flag);
int GetCreateDrawValidGraph();
int SetUseSystemMemoryGraph(int flag);
int GetUseSystemMemoryGraph();
// Puts back a value read with GetUseSystemMemoryGraph as it was, bypassing the setter's DirectDraw rule, so that a
// temporary change (the movie fallback of the graph loader) does not leave the setting on for good.
void RestoreUseSystemMemoryGraph(int saved);
int SetGraphCreateModeInverted(int flag);
int SetGraphCreateDepth(int bits);  // 0 lets the creation rules decide
int GetGraphCreateDepth();
int SetBlankGraphParam(int flag);  // alpha channel of blank graphs
int GetBlankGraphParam();

// The movie record and what the frame uploads and the tests see of it. A movie is a multimedia stream decoding
// into a DirectDraw surface of our own; each due frame is copied into a private buffer and from there into the
// pieces of the graphs that show it.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <mmstream.h>
#include <amstream.h>
#include <ddstream.h>
#include <control.h>
#include <stdint.h>

#include "graphics/color/color_format.h"

struct GraphRecord;
struct GraphImage;

constexpr int kMovieSlots = 100;

struct MovieRecord {
    int checkId;
    IAMMultiMediaStream* multiStream;
    IMediaStream* mediaStream;
    IDirectDrawMediaStream* ddStream;
    IDirectDrawStreamSample* sample;
    IGraphBuilder* filterGraph;
    IMediaControl* control;
    IMediaSeeking* seeking;
    IBasicAudio* audio;
    IDirectDraw4* directDraw4;
    IDirectDrawSurface4* sampleSurface;   // modes 0 and 2
    IDirectDrawSurface7* overlaySurface;  // mode 1 (never made here: the display has no overlay)
    int surfaceInSystemMemory;

    int64_t lastFrameTime;  // stream time of the last copy (100 ns units)
    uint32_t lastCopyMs;
    int64_t timePerFrame;
    int64_t shownFrameTime;  // start time of the frame last copied

    int mode;
    int playing;
    int updatePending;
    HANDLE updateEvent;

    int width, height, bytesPerPixel;
    ColorFormat frameFormat;
    uint8_t* frame;  // private frame buffer (tracked), rows of width x bytes rounded up to 4
    int framePitch;
    int framesCopied;

    int64_t savedTime;  // stream time kept over a device loss
    int restart;        // it was playing then
    int hasSurfaces;    // the stream and its surfaces exist

    int graphCount;  // graphs showing it: the last one to go closes it
    char fileName[MAX_PATH];
    int deleteTempFile;
};

MovieRecord* MovieHandleToRecord(int movie);

// The frame uploads, beside their back ends: the movie's private frame into every piece of the graph. 0 / -1.
int UpdateMovieFrameToSurface2D(const MovieRecord* movie, GraphRecord* graph);
int UpdateMovieFrameToTextures3D(const MovieRecord* movie, GraphRecord* graph);

// The private frame as a decoded picture (no pixels are copied).
void MovieFrameAsImage(const MovieRecord* movie, GraphImage* image);

// For tests only: replaces the write of the temporary copy (null restores WriteFile), so a short write can be made.
using MovieTempWriteFunction = BOOL (*)(HANDLE file, const void* data, DWORD size, DWORD* written);
void SetMovieTempWriteForTest(MovieTempWriteFunction write);
// Live movies (table count).
int GetLiveMovieCountForTest();
// Fills every free slot with a movie that has no stream (CloseMovie removes them), so that the next open meets a
// full table without a hundred real streams. Writes the handles (room for kMovieSlots) and returns their count.
int OccupyFreeMovieSlotsForTest(int* handles);

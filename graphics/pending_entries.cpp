// Graphics entries that start-up, shutdown, the window procedure and the message pump call, in their least
// form until the graphics device, graph, draw, restore and present modules are built: each does only what
// its callers need from a device that has not started (no display object, no graphs), so the runtime's
// sequences run end to end. Each function leaves this file when its module implements it.
#include <cstring>

#include "graphics/ddraw/blit2d.h"
#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/display_internal.h"
#include "graphics/draw.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/image/image.h"
#include "graphics/mask.h"
#include "graphics/movie.h"
#include "graphics/restore.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/d3d/surface3d.h"
#include "runtime/log.h"
#include "runtime/window.h"

// ---- strings of fonts kept in memory (no font exists yet) ----
int DrawStringToTarget2D(int, int, const char*, int, int, int, int) { return -1; }

// ---- strings through the Direct3D back end (they need the font's glyph textures) ----
int DrawStringToTarget3D(int, int, const char*, int, int, int, int) { return -1; }

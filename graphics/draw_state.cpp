// Storage of the drawing settings record. Only the record lives here; the setters and draw entries that give its
// values meaning belong to the draw module.
#include "graphics/draw_state.h"

#include <cstring>

namespace {
DrawState g_drawState = {-2, {0, 0, 0, 0}, {0, 0, 640, 480}, {0, 0, 640, 480}, 640, 480, 0, 0, 4, 0,
                         0,  0,  0,  -1, 0, 0, 0xFFFFFF, 0, 1, 0, 0, 0, {}, {}, {}, {}, {}, {}};
}  // namespace

DrawState& GetDrawState() { return g_drawState; }

void ZeroDrawState() { std::memset(&g_drawState, 0, sizeof(g_drawState)); }

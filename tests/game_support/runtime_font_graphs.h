// The graphs the runtime's own fonts hold beside the game's: each font's glyph-cache graph and, for an edged font,
// the edge graph cut from it. A display switch deletes them with every other graph; a font makes them again when it
// next draws (the on-screen log's font is deleted by a mode change and made again before its next line), so graph
// counts taken around a switch tell the game's graphs from these.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>

#include "font/font.h"
#include "font/font_internal.h"
#include "game/shell/loader.h"
#include "graphics/draw.h"
#include "graphics/graph.h"
#include "graphics/graphics.h"
#include "runtime/screen_log.h"

// The only fonts in this program: the base font and the on-screen log's.
inline int LiveRuntimeFontCount() {
    int count = 0;
    for (int font : {GetBaseFontHandle(), GetScreenLogFontForTest()}) count += IsFontHandleValid(font) ? 1 : 0;
    return count;
}

// Live graphs held by those fonts (a handle the switch deleted no longer names a live graph).
inline int RuntimeFontGraphCount() {
    int count = 0;
    for (int font : {GetBaseFontHandle(), GetScreenLogFontForTest()}) {
        const FontData* record = FontHandleToRecord(font);
        if (record == nullptr) continue;
        for (int graph : {record->cacheGraph, record->edgeGraph}) {
            count += graph != -1 && GetGraphRecord(graph) != nullptr ? 1 : 0;
        }
    }
    return count;
}

// Text through both fonts, the way their next text would come: a string in the base font, then a line of the
// on-screen log, presented (the present draws the log). A font whose graphs were deleted makes them again here.
// The log's line is taken out again, so later frames draw no log.
inline void DrawWithTheRuntimeFonts() {
    DrawStringWithFont(0, 0, "A", -1, GetBaseFontHandle(), 0, 0);
    ScreenLogPutLineForTest("A");
    PresentBackScreen2D();
    ScreenLogClearLinesForTest();
}

// After a display switch (every graph deleted, the common group loaded again): each of the common group's image
// entries names a live graph and the game holds as many graphs as before; the fonts' graphs are gone or made
// again, and once both fonts have drawn the whole count is back. `liveBefore` and `fontGraphsBefore` are the live
// graph count and RuntimeFontGraphCount() taken before the switch.
inline void ExpectGraphsBackAfterSwitch(const Loader& loader, int liveBefore, int fontGraphsBefore, const char* when) {
    int live = 0;
    GetGraphTableState(&live, nullptr, nullptr);
    EXPECT_EQ(liveBefore - fontGraphsBefore, live - RuntimeFontGraphCount()) << "the game's graphs " << when;
    for (int entry = 408; entry <= 432; ++entry) {
        EXPECT_NE(nullptr, GetGraphRecord(loader.image(entry))) << "entry " << entry << " " << when;
    }
    for (int entry = 0; entry < 3; ++entry) {
        EXPECT_NE(nullptr, GetGraphRecord(loader.image(entry))) << "entry " << entry << " " << when;
    }
    DrawWithTheRuntimeFonts();
    EXPECT_EQ(fontGraphsBefore, RuntimeFontGraphCount()) << "the fonts' graphs once they drew " << when;
    GetGraphTableState(&live, nullptr, nullptr);
    EXPECT_EQ(liveBefore, live) << "all graphs once the fonts drew " << when;
}

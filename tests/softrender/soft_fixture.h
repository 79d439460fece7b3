// Shared set-up of the software-renderer tests: the lookup tables, a blend-graph weight table with zero, middle
// and full weights, and the draw settings written straight into the draw and display state.
#pragma once

#include <gtest/gtest.h>

#include "graphics/ddraw/blit2d.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/color/lookup_tables.h"
#include "soft_reference.h"

class SoftRenderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        BuildSoftwareLookupTables();
        BuildBlendRampTable(-1, 60, 120);
    }
    void SetUp() override { Apply(ref::Settings{}); SetArea(0, 0, 1 << 20, 1 << 20); }
    void TearDown() override { GetDisplayState().mmxAvailable = 0; }

    static void Apply(const ref::Settings& s) {
        DrawState& d = GetDrawState();
        d.blendMode = static_cast<unsigned>(s.mode);
        d.blendParameter = s.p;
        d.colorScale = s.scale;
        GetDisplayState().mmxAvailable = s.mmx;
    }
    static void SetArea(int l, int t, int r, int b) { GetDrawState().drawArea = RECT{l, t, r, b}; }
};

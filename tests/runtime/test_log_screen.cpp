// The on-screen log outside a started library: without a display object or main window it
// refuses to start, and drawing or ending it then touches nothing.
#include <gtest/gtest.h>

#include "graphics/ddraw/display.h"
#include "runtime/screen_log.h"
#include "runtime/window.h"

TEST(ScreenLog, RefusesToStartWithoutDisplayOrWindow) {
    if (GetDisplayState().displayObject != nullptr || GetMainHwnd() != nullptr) {
        GTEST_SKIP() << "a display is up in this process";
    }
    EXPECT_EQ(ScreenLogInit(), -1);
    EXPECT_EQ(IsScreenLogActive(), 0);
    EXPECT_EQ(ScreenLogDraw(), 0);
    EXPECT_EQ(ScreenLogEnd(), 0);
    EXPECT_EQ(IsScreenLogActive(), 0);
}

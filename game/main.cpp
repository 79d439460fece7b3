// The program entry of Kavorin: configures and starts the runtime, runs the frame loop on the main thread at
// no more than one frame per 12 ms, and takes everything down in a fixed order. All game work happens inside
// the scene controller's update; this file owns only the order of set-up, the loop and the end.
#include <windows.h>

#include "runtime/runtime.h"

namespace {

constexpr int kEscapeKey = 1;
constexpr unsigned int kFrameMilliseconds = 12;

// The frame clock wraps after about 49 days; unsigned differences stay right across the wrap.
unsigned int Now() { return static_cast<unsigned int>(GetMillisecondCount()); }

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ChangeWindowMode(1);
    SetWindowIcon(101);
    SetWindowCaption("Kavorin");
    SetLogFileEnabled(0);
    if (StartUpLibrary() == -1) return -1;
    SetCursorVisible(0);
    ArchiveSetExtension("Qzm");
    SetTargetScreen(-2);

    // The scene controller (and with it the title scene) and the per-frame input poll are not part of the
    // program yet; the loop below presents cleared frames until the window closes or Escape is held.
    RandomSetSeed(GetMillisecondCount());
    unsigned int frameStart = Now();
    ClearTargetScreen();

    for (;;) {
        PresentBackScreen2D();
        if (ProcessMessage() == -1) break;
        if (IsKeyDown(kEscapeKey)) break;
        // A busy wait on the millisecond clock: a late frame is not made up for, the pace simply drops.
        while (Now() - frameStart < kFrameMilliseconds) {
        }
        frameStart = Now();
        ClearTargetScreen();
    }

    ReleaseAllGraphs(0);
    ReleaseAllSounds(0);
    ShutDownLibrary();
    return 0;
}

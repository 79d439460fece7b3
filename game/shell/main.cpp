// The program entry of Kavorin. The command line is not read; everything else (set-up, the frame loop at no more
// than one frame per 12 ms, the end) is runGame, which the tests drive too.
#include <windows.h>

#include "game/shell/frame.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return runGame(); }

// Start-up and shutdown of the runtime in their fixed order. Start-up brings up the file layer, the log, the
// system report, COM, the main window (with the message thread), network state, input, sound and graphics;
// any failing step unwinds through the shutdown sequence, which takes every module down in reverse order
// and tolerates modules that never started.
#include "runtime/startup.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <objbase.h>

#include "graphics/ddraw/display.h"
#include "graphics/draw.h"
#include "graphics/graph.h"
#include "graphics/image/image.h"
#include "graphics/restore.h"
#include "input/char_input.h"
#include "input/input_device.h"
#include "network/network.h"
#include "runtime/archive/archive.h"
#include "runtime/file.h"
#include "runtime/log.h"
#include "runtime/memory.h"
#include "runtime/message_pump.h"
#include "runtime/screen_log.h"
#include "runtime/stream.h"
#include "runtime/system_info.h"
#include "runtime/text.h"
#include "runtime/window.h"
#include "sound/sound_system.h"
#include "sound/stream_sound.h"

namespace {

// Written on the main thread; other threads may read them.
std::atomic<int> g_initialising{0};
std::atomic<int> g_running{0};
std::atomic<int> g_ending{0};
std::atomic<int> g_comStarted{0};

int g_noWindow = 0;
int g_noInput = 0;
int g_noSound = 0;
int g_noGraphics = 0;

// The directory the log lives in, recorded at start-up; shutdown returns to it.
char g_startDirectory[MAX_PATH + 1] = "";

int DesktopBitsPerPixel() {
    HDC screen = GetDC(nullptr);
    const int bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);
    return bits;
}

// A black 256 x 256 graph made from a decoded-image record; -1 when it cannot be made.
int MakeBlackGraph() {
    GraphImage image;
    if (CreateGraphImage(256, 256, &image) != 0) return -1;
    FillGraphImage(&image, 0, 0, 0, 0);
    const int graph = MakeGraphFromGraphImage(&image);
    ReleaseGraphImage(&image);
    return graph;
}

// Makes every surface and texture path once before the first frame, so the first frames of the game do not
// pay for it. The draw target is left at the front screen.
void ExerciseDrawingPaths() {
    SetCreateDrawValidGraph(1);
    const int target = CreateEmptyGraphImpl(256, 256, 0);
    SetCreateDrawValidGraph(0);
    SetTargetScreenImpl(target);
    SetTargetScreenImpl(-4);
    ReleaseGraphImpl(target, 0);
    SetTargetScreenImpl(-2);

    const int black = MakeBlackGraph();
    SetBlendModeImpl(3, 128);
    if (black >= 0) DrawGraphAtImpl(0, 0, black, 1);
    SetBlendModeImpl(0, 0);
    SetTargetScreenImpl(-4);
    if (black >= 0) {
        DrawGraphAtImpl(0, 0, black, 1);
        ReleaseGraphImpl(black, 0);
    }

    const int stretched = MakeBlackGraph();
    if (stretched >= 0) {
        DrawGraphStretchedImpl(0, 0, 640, 480, stretched, 1);
        ReleaseGraphImpl(stretched, 0);
    }
}

}  // namespace

int LibraryStartUpSequence() {
    // A second start-up while the library runs would fail at COM and then take the running library down
    // through the shutdown sequence; it is refused before it touches anything.
    if (g_running || g_initialising) return -1;
    g_initialising = 1;
    g_ending = 0;
    if (GetSoftwareDrawRequest()) SetHardwareDrawMode(0);

    ArchiveTableClear();
    SelectFileBackEnd(nullptr);
    // A directory too long for the layer's buffer comes back as the length it would need, with the buffer
    // untouched: it is then unknown, and neither logged into nor returned to at shutdown.
    g_startDirectory[0] = '\0';
    const int directoryLength = FileLayerGetDir(g_startDirectory);
    if (directoryLength <= 0 || directoryLength >= kFilePathMax || strlen(g_startDirectory) != (size_t)directoryLength) {
        g_startDirectory[0] = '\0';
    }
    SetLogDirectory(g_startDirectory);
    OpenLogFile();

    if (!g_noWindow) {
        if ((DesktopBitsPerPixel() == 24 && IsWindowMode()) || GetRequestedScreenBits() == 24) {
            WriteLog("ＱＶライブラリは２４ビットカラーモードに対応していません\n");
            // Nothing has been started that would need taking down.
            g_initialising = 0;
            return -1;
        }
    }

    LARGE_INTEGER frequency;
    if (!QueryPerformanceFrequency(&frequency)) frequency.QuadPart = 0;
    SetPerformanceCounterFrequency(static_cast<uint64_t>(frequency.QuadPart));

    ReportSystemInfo();
    if (GetSystemInfoRecord()->osCode == kOsWindowsVista) SetUseTempPrimary(1);

    InitStreamFunctionTables();
    SetGraphRestoreCallback(nullptr);

    bool failed = StartCom() < 0 || CreateMainWindow() < 0 || HttpTableClear() < 0;
    if (!failed && !g_noInput && StartInput() == -1) failed = true;
    if (!failed && !g_noSound) InitSoundSystem();  // the game runs without sound when this fails
    if (!failed && !g_noGraphics && StartUpGraphicsDevice(GetMainHwnd()) < 0) failed = true;
    if (failed) {
        LibraryShutDownSequence();
        g_initialising = 0;
        return -1;
    }

    InitCharInputBuffer();
    g_running = 1;
    SetFlipVSyncWait(1);
    if (!IsWindowMode() && !g_noWindow) ForceForegroundWindow(GetMainHwnd(), 0);

    ScreenLogInit();
    SetTargetScreenImpl(-2);
    SetTargetScreenImpl(-4);
    if (!g_noGraphics) ExerciseDrawingPaths();

    g_initialising = 0;
    return 0;
}

int LibraryShutDownSequence() {
    g_ending = 1;
    ScreenLogEnd();
    HttpShutDown();
    NetworkShutDown();
    StopCurrentMusic();
    ShutDownGraphicsDevice();
    EndInput();
    TerminateSoundSystem();
    DestroyMainWindow();
    EndCom();
    g_running = 0;

    if (!g_noWindow) {
        while (ProcessMessageImpl() == 0 && !IsQuitRequested()) {
        }
    }
    if (g_startDirectory[0] != '\0') FileLayerSetDir(g_startDirectory);
    ArchiveReleaseAll();
    DumpAllocations();
    return 0;
}

int StartCom() {
    WriteLog("ＣＯＭの初期化... ");
    if (g_comStarted) {
        WriteLog("ＣＯＭの初期化に失敗しました\n");
        return -1;
    }
    if (FAILED(CoInitialize(nullptr))) {
        WriteLog("ＣＯＭの初期化に失敗しました\n");
        return -1;
    }
    WriteLog("成功しました\n");
    g_comStarted = 1;
    return 0;
}

int EndCom() {
    if (!g_comStarted) return -1;
    CoUninitialize();
    WriteLog("ＣＯＭを終了... 完了\n");
    g_comStarted = 0;
    return 0;
}

int IsLibraryInitialising() { return g_initialising.load(); }
int IsLibraryRunning() { return g_running.load(); }
int IsLibraryEnding() { return g_ending.load(); }
int IsComStarted() { return g_comStarted.load(); }

void SetLibraryNoWindow(int flag) { g_noWindow = flag; }
void SetLibraryNoInput(int flag) { g_noInput = flag; }
void SetLibraryNoSound(int flag) { g_noSound = flag; }
void SetLibraryNoGraphics(int flag) { g_noGraphics = flag; }
int GetLibraryNoWindow() { return g_noWindow; }
int GetLibraryNoInput() { return g_noInput; }
int GetLibraryNoSound() { return g_noSound; }
int GetLibraryNoGraphics() { return g_noGraphics; }

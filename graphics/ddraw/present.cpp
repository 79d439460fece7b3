// Presenting the back screen: a flip of the chain in full screen, a clipped Blt onto the window's area of the
// primary in a window, or a DIB transfer of the back-screen image in software mode; paced by the display's vertical
// blank and the measured frame interval. Also the surface-to-surface copy, the 64-bit present counter and the
// software-mode pair that keeps the front-screen image and the window in step.
#include <cmath>
#include <cstring>

#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/display_internal.h"
#include "graphics/draw.h"
#include "graphics/color/memimg.h"
#include "graphics/ddraw/present.h"
#include "graphics/ddraw/present_internal.h"
#include "runtime/memory.h"
#include "runtime/message_pump.h"
#include "runtime/screen_log.h"
#include "runtime/system_info.h"
#include "runtime/text.h"
#include "runtime/window.h"

namespace {

// What presenting keeps between frames.
struct PresentState {
    unsigned int lastPresentTime = 0;  // ms of the last paced window copy
    uint32_t presentCount[2] = {0, 0};  // count of presents, low and high halves
    int copyDuration = 0;               // ms the last software-mode copy to the window took
    int windowShowsBackScreen = 0;      // the window holds a newer back screen than the front-screen image
    int unpaced = 0;                    // the present under way waits for neither the interval nor the blank
    uint32_t pacedWaits = 0;            // presents that waited for the frame interval or the vertical blank
};
PresentState g_present;

// A BITMAPINFO with the three BI_BITFIELDS masks behind its header.
struct BitfieldBitmapInfo {
    BITMAPINFOHEADER header;
    DWORD masks[3];
};

// Describes a software image as a top-down DIB. The row length is the image's pitch, so DIB rows and image rows
// coincide whatever the width; transfers take only the image's width from each row.
BitfieldBitmapInfo DescribeImage(const MEMIMG& image) {
    BitfieldBitmapInfo info;
    std::memset(&info, 0, sizeof(info));
    const int bytesPerPixel = image.format->bytesPerPixel > 0 ? image.format->bytesPerPixel : 1;
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = image.pitch / bytesPerPixel;
    info.header.biHeight = -image.height;
    info.header.biPlanes = 1;
    info.header.biBitCount = image.format->bitDepth;
    info.header.biCompression = BI_BITFIELDS;
    info.masks[0] = image.format->redMask;
    info.masks[1] = image.format->greenMask;
    info.masks[2] = image.format->blueMask;
    return info;
}

IDirectDraw7* Object() { return GetDisplayState().displayObject; }

int DisplayVerticalBlank(int* inBlank) {
    IDirectDraw7* object = Object();
    BOOL blank = FALSE;
    if (object == nullptr || FAILED(object->GetVerticalBlankStatus(&blank))) return -1;
    *inBlank = blank ? 1 : 0;
    return 0;
}

unsigned int PacingMilliseconds(void*) { return GetMillisecondCounter(); }
void PacingSleep(void*, unsigned int ms) { Sleep(ms); }
int PacingInBlank(void*, int* inBlank) { return DisplayVerticalBlank(inBlank); }
void PacingWaitForBlank(void*) {
    if (IDirectDraw7* object = Object()) object->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
}

const PacingSource kDisplayPacing = {nullptr, PacingMilliseconds, PacingSleep, PacingInBlank, PacingWaitForBlank};

// Paces a window copy when the flip wait is on.
void Pace() {
    const DisplayState& s = GetDisplayState();
    if (!s.vsyncWait || g_present.unpaced) return;
    ++g_present.pacedWaits;
    g_present.lastPresentTime = PaceBeforeCopy(kDisplayPacing, g_present.lastPresentTime, s.frameInterval);
}

// Draws the on-screen log onto the back screen with plain settings, then puts the settings back.
void DrawScreenLogOnBack() {
    if (!IsScreenLogActive()) return;
    RECT area;
    SaveDrawArea(&area);
    int mode = 0, parameter = 0, red = 255, green = 255, blue = 255;
    GetBlendModeImpl(&mode, &parameter);
    GetDrawColorScaleImpl(&red, &green, &blue);
    int width = 0, height = 0;
    GetScreenSize(&width, &height);
    SetViewportRectImpl(0, 0, width, height);
    SetBlendModeImpl(0, 0);
    SetDrawColorScaleImpl(255, 255, 255);
    ScreenLogDraw();
    SetViewportRectImpl(area.left, area.top, area.right, area.bottom);
    SetBlendModeImpl(mode, parameter);
    SetDrawColorScaleImpl(red, green, blue);
}

bool PacedFlip(const DisplayState& s) { return s.vsyncWait && !g_present.unpaced; }

DWORD FlipFlags(const DisplayState& s) {
    if (!PacedFlip(s)) return DDFLIP_WAIT | DDFLIP_NOVSYNC;
    ++g_present.pacedWaits;
    return DDFLIP_WAIT;
}

int CopyMemImgScreenToWindow(DisplayState& s, const RECT& source, const RECT& destination) {
    const unsigned int start = GetMillisecondCounter();
    Pace();
    if (!IsMemImageValid(&s.backImage)) return -1;
    BitfieldBitmapInfo info = DescribeImage(s.backImage);
    const BITMAPINFO* bitmapInfo = reinterpret_cast<const BITMAPINFO*>(&info);
    const int width = source.right - source.left, height = source.bottom - source.top;
    const int destWidth = destination.right - destination.left;
    const int destHeight = destination.bottom - destination.top;
    HWND window = GetMainHwnd();
    HDC dc = GetDC(window);
    if (dc != nullptr) {
        if (destWidth == width && destHeight == height) {
            SetDIBitsToDevice(dc, 0, 0, width, height, 0, 0, 0, height, s.backImage.pixels, bitmapInfo,
                              DIB_RGB_COLORS);
        } else {
            StretchDIBits(dc, 0, 0, destWidth, destHeight, 0, 0, width, height, s.backImage.pixels, bitmapInfo,
                          DIB_RGB_COLORS, SRCCOPY);
        }
        ReleaseDC(window, dc);
    }
    g_present.copyDuration = (int)(GetMillisecondCounter() - start);
    g_present.windowShowsBackScreen = 1;
    CountFlip();
    return 0;
}

}  // namespace

unsigned int PaceBeforeCopy(const PacingSource& source, unsigned int lastPresentTime, int frameInterval) {
    const unsigned int now = source.milliseconds(source.context);
    if (frameInterval >= 0 && now - lastPresentTime < (unsigned int)frameInterval) {
        while (source.milliseconds(source.context) - lastPresentTime < (unsigned int)frameInterval) {
            source.sleep(source.context, 1);
        }
        source.waitForBlank(source.context);
    } else {
        source.sleep(source.context, 0);
        int inBlank = 0;
        if (source.inVerticalBlank(source.context, &inBlank) != 0 || !inBlank) source.waitForBlank(source.context);
    }
    return source.milliseconds(source.context);
}

int PresentBackScreen2DImpl() {
    DisplayState& s = GetDisplayState();
    if (!s.softwareMode && s.displayObject == nullptr) return -1;
    WaitWhileInactive();
    if (s.memImgDrawing || s.gdiShown || s.softwareMode || IsWindowMode()) return CopyBackScreenToWindow();

    DrawScreenLogOnBack();
    if (GetTargetScreen() == -4 && s.vsyncWait) {
        // Drawing goes to the front: nothing to flip, only the wait, which an unpaced present leaves out.
        CountFlip();
        if (g_present.unpaced) return 0;
        ++g_present.pacedWaits;
        WaitVerticalBlankCount(1);
        return 0;
    }
    FlushVertexBatch3D();
    EndCurrentScene3D();
    const bool paced = PacedFlip(s);
    if (s.primarySurface != nullptr) s.primarySurface->Flip(nullptr, FlipFlags(s));
    if (paced) Sleep(1);
    CountFlip();
    return 0;
}

int PresentBackScreenUnpacedImpl() {
    // Only this one present goes unpaced: the interval since the last paced copy is left as it was, so the game's
    // next frame is paced as before.
    const int saved = g_present.unpaced;
    g_present.unpaced = 1;
    const int result = PresentBackScreen2DImpl();
    g_present.unpaced = saved;
    return result;
}

uint32_t GetPacedPresentWaitCount() { return g_present.pacedWaits; }

int CopyBackScreenToWindow() {
    DisplayState& s = GetDisplayState();
    if (!s.softwareMode && s.displayObject == nullptr) return -1;
    DrawScreenLogOnBack();
    if (GetTargetScreen() == -4) {
        CountFlip();
        if (g_present.unpaced) return 0;
        ++g_present.pacedWaits;
        return WaitVerticalBlankCount(1);
    }

    int width = 0, height = 0;
    GetScreenSize(&width, &height);
    const RECT source = {0, 0, width, height};
    RECT destination = source;
    if (IsWindowMode()) {
        POINT origin = {0, 0};
        ClientToScreen(GetMainHwnd(), &origin);
        const double scale = GetWindowScale();
        destination.left = origin.x;
        destination.top = origin.y;
        destination.right = origin.x + (int)std::lround(width * scale);
        destination.bottom = origin.y + (int)std::lround(height * scale);
    }

    if (s.softwareMode) return CopyMemImgScreenToWindow(s, source, destination);
    if (s.primarySurface == nullptr || s.backSurface == nullptr) return -1;

    if (IsWindowMode()) {
        FlushVertexBatch3D();
        EndCurrentScene3D();
        Pace();
        s.primarySurface->Blt(&destination, s.backSurface, const_cast<RECT*>(&source), DDBLT_WAIT, nullptr);
        CountFlip();
        return 0;
    }

    if (GetSystemInfoRecord()->osCode == kOsWindowsVista) {
        s.primarySurface->Flip(nullptr, FlipFlags(s));
        if (s.gdiShown) {
            s.backSurface->Blt(nullptr, s.primarySurface, nullptr, DDBLT_WAIT, nullptr);
            s.displayObject->FlipToGDISurface();
        } else {
            s.backSurface->BltFast(0, 0, s.primarySurface, nullptr, DDBLTFAST_WAIT);
        }
    } else if (s.gdiShown) {
        Pace();
        s.primarySurface->Blt(nullptr, s.backSurface, nullptr, DDBLT_WAIT, nullptr);
    } else {
        Pace();
        s.primarySurface->BltFast(0, 0, s.backSurface, const_cast<RECT*>(&source), DDBLTFAST_WAIT);
    }
    CountFlip();
    return 0;
}

int WaitVerticalBlankCount(int count) {
    if (Object() == nullptr) return -1;
    WaitWhileInactive();
    // Polls until the vertical-blank state differs from `state`; bounded, so a display that never reports a
    // vertical blank costs one bounded wait instead of a hang.
    auto waitWhile = [](int state) -> int {
        const unsigned int start = GetMillisecondCounter();
        for (;;) {
            if (ProcessMessageImpl() < 0) return -1;
            int inBlank = 0;
            if (DisplayVerticalBlank(&inBlank) != 0) return -1;
            if (inBlank != state) return 0;
            if (GetMillisecondCounter() - start > kRasterWaitLimitMs) return 1;
        }
    };
    if (count <= 0) return waitWhile(0) < 0 ? -1 : 0;
    for (int i = 0; i < count; ++i) {
        int r = waitWhile(1);
        if (r == 0) r = waitWhile(0);
        if (r < 0) return -1;
        if (r > 0) break;  // the display stopped answering: stop waiting, keep presenting
    }
    return 0;
}

int SurfaceCopy(IDirectDrawSurface7* dst, IDirectDrawSurface7* src, int x, int y, const RECT* srcRect, int method) {
    if (dst == nullptr || src == nullptr) return -1;
    if (method == -1) method = GetDisplayState().copyByBitBlt;
    RECT rect;
    if (srcRect != nullptr) {
        rect = *srcRect;
    } else {
        DDSURFACEDESC2 desc;
        std::memset(&desc, 0, sizeof(desc));
        desc.dwSize = sizeof(desc);
        if (FAILED(src->GetSurfaceDesc(&desc))) return -1;
        rect = {0, 0, (LONG)desc.dwWidth, (LONG)desc.dwHeight};
    }
    if (method == 0) {
        return FAILED(dst->BltFast(x, y, src, &rect, DDBLTFAST_NOCOLORKEY)) ? -1 : 0;
    }
    HDC dstDc = nullptr, srcDc = nullptr;
    if (FAILED(dst->GetDC(&dstDc))) return -1;
    if (FAILED(src->GetDC(&srcDc))) {
        dst->ReleaseDC(dstDc);
        return -1;
    }
    BOOL ok = BitBlt(dstDc, x, y, rect.right - rect.left, rect.bottom - rect.top, srcDc, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    src->ReleaseDC(srcDc);
    dst->ReleaseDC(dstDc);
    return ok ? 0 : -1;
}

int GetWindowScreenRect(RECT* rect) {
    if (rect == nullptr) return -1;
    int width = 0, height = 0;
    GetScreenSize(&width, &height);
    *rect = {0, 0, width, height};
    if (!GetDisplayState().useTempPrimary) {
        POINT origin = {0, 0};
        ClientToScreen(GetMainHwnd(), &origin);
        OffsetRect(rect, origin.x, origin.y);
    }
    return 0;
}

int ResetFlipCounter() {
    g_present.presentCount[0] = 0;
    g_present.presentCount[1] = 0;
    return 0;
}

int CountFlip() {
    if (++g_present.presentCount[0] == 0) ++g_present.presentCount[1];
    return 0;
}

uint64_t GetFlipCount() { return ((uint64_t)g_present.presentCount[1] << 32) | g_present.presentCount[0]; }

void SetFlipCount(uint64_t value) {
    g_present.presentCount[0] = (uint32_t)value;
    g_present.presentCount[1] = (uint32_t)(value >> 32);
}

int PresentMemImgRect(const RECT* rect) {
    DisplayState& s = GetDisplayState();
    if (rect == nullptr || !IsMemImageValid(&s.primaryImage)) return -1;
    int width = 0, height = 0;
    GetScreenSize(&width, &height);
    RECT clipped = *rect;
    const RECT screen = {0, 0, width, height};
    if (!IntersectRect(&clipped, &clipped, &screen)) return 0;
    BitfieldBitmapInfo info = DescribeImage(s.primaryImage);
    HWND window = GetMainHwnd();
    HDC dc = GetDC(window);
    if (dc == nullptr) return -1;
    const int w = clipped.right - clipped.left, h = clipped.bottom - clipped.top;
    // Source rows count from the bottom of the DIB even for a top-down one.
    StretchDIBits(dc, clipped.left, clipped.top, w, h, clipped.left, s.primaryImage.height - clipped.bottom, w, h,
                  s.primaryImage.pixels, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY);
    ReleaseDC(window, dc);
    return 0;
}

int CaptureWindowToBackBuffer() {
    DisplayState& s = GetDisplayState();
    if (!g_present.windowShowsBackScreen) return 0;
    MEMIMG& front = s.primaryImage;
    if (s.memImgDrawing && s.screenBits != 8 && IsMemImageValid(&front)) {
        // The window is read back as 32-bit 0x00RRGGBB rows (reading straight into a 16-bit bit-field layout is
        // not done faithfully by every GDI) and converted into the front image's layout where that differs.
        const bool direct = front.format->bitDepth == 32 && front.format->redMask == 0xFF0000 &&
                            front.format->greenMask == 0xFF00 && front.format->blueMask == 0xFF;
        const int rowPixels = direct ? front.pitch / 4 : front.width;
        uint32_t* rows = direct ? reinterpret_cast<uint32_t*>(front.pixels)
                                : static_cast<uint32_t*>(KV_ALLOC((size_t)rowPixels * 4 * front.height));
        HWND window = GetMainHwnd();
        HDC windowDc = rows != nullptr ? GetDC(window) : nullptr;
        if (windowDc != nullptr) {
            HDC memoryDc = CreateCompatibleDC(windowDc);
            HBITMAP bitmap = CreateCompatibleBitmap(windowDc, rowPixels, front.height);
            if (memoryDc != nullptr && bitmap != nullptr) {
                HGDIOBJ old = SelectObject(memoryDc, bitmap);
                BitBlt(memoryDc, 0, 0, front.width, front.height, windowDc, 0, 0, SRCCOPY);
                SelectObject(memoryDc, old);
                BITMAPINFO info;
                std::memset(&info, 0, sizeof(info));
                info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
                info.bmiHeader.biWidth = rowPixels;
                info.bmiHeader.biHeight = -front.height;
                info.bmiHeader.biPlanes = 1;
                info.bmiHeader.biBitCount = 32;
                info.bmiHeader.biCompression = BI_RGB;
                if (GetDIBits(memoryDc, bitmap, 0, front.height, rows, &info, DIB_RGB_COLORS) > 0 && !direct) {
                    const int bytes = front.format->bytesPerPixel;
                    for (int y = 0; y < front.height; ++y) {
                        const uint32_t* src = rows + (size_t)y * rowPixels;
                        uint8_t* dst = front.pixels + (size_t)y * front.pitch;
                        for (int x = 0; x < front.width; ++x) {
                            const uint32_t c = src[x];
                            const uint32_t v = RgbaToFormatValue(front.format, (c >> 16) & 0xFF, (c >> 8) & 0xFF,
                                                                 c & 0xFF, 255);
                            std::memcpy(dst + (size_t)x * bytes, &v, bytes);
                        }
                    }
                }
            }
            if (bitmap != nullptr) DeleteObject(bitmap);
            if (memoryDc != nullptr) DeleteDC(memoryDc);
            ReleaseDC(window, windowDc);
        }
        if (!direct && rows != nullptr) KV_FREE(rows);
    }
    g_present.windowShowsBackScreen = 0;
    return 0;
}

int IsWindowShowingBackScreen() { return g_present.windowShowsBackScreen; }
int GetLastCopyDuration() { return g_present.copyDuration; }

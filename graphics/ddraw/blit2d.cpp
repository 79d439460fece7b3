// The 2D back end's drawing. Every 2D draw is decided here once: a plain or colour-keyed copy between surfaces in
// the same kind of memory goes to BltFast and never touches pixels on the CPU; anything else (blending, colour
// scale, alpha, blend graph, unlike memories, software images) is drawn by the software renderer on software images
// that wrap the locked target and source. Video-memory targets that must be read are first copied into the
// system-memory work surface; screens in layouts the renderer does not draw in are converted there and back.
#include "graphics/ddraw/blit2d.h"

#include <algorithm>
#include <cstring>

#include "graphics/color/color_convert.h"
#include "graphics/color/color_format.h"
#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/image/image.h"
#include "graphics/mask.h"
#include "graphics/color/memimg.h"
#include "graphics/ddraw/present.h"
#include "graphics/ddraw/screen_front.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/d3d/surface3d.h"
#include "runtime/log.h"
#include "runtime/window.h"
#include "softrender/softrender.h"

uint8_t BlendGraphWeightTable[256];

namespace {

// What SelectDrawTarget2D found.
struct DrawTarget2D {
    IDirectDrawSurface7* surface;  // null when the target is a software image
    MEMIMG* image;                 // the target's software image (screens or a software graph), or null
    MEMIMG* zImage;
    int offsetX, offsetY;  // the target inside its surface data
    int width, height;     // the target's own size
    int inVideoMemory;
    int unusable;
    int isFront;
};
DrawTarget2D g_target = {};
MEMIMG g_targetView;  // a window onto a software graph target that sits at an offset in its surface data

SurfaceBlitState g_blit = {};
MEMIMG g_lockedTargetImage;
MEMIMG g_lockedSourceImage;
MEMIMG g_sourceView;
// Bookkeeping of the pending locks, for FlushSurfaceBlit.
IDirectDrawSurface7* g_lockedTargetSurface = nullptr;
RECT g_lockedTargetRect;
IDirectDrawSurface7* g_lockedSourceSurface = nullptr;
RECT g_lockedSourceRect;
IDirectDrawSurface7* g_copyBackSurface = nullptr;  // the target the work region goes back to
int g_copyBackX = 0, g_copyBackY = 0;              // where the clipped region lies on it
const ColorFormat* g_softFormat = nullptr;          // the renderer's layout while a conversion is in effect

bool HaveDisplay() { return IsMemImgDrawMode() || GetDisplayObject() != nullptr; }
bool SoftwareImageDrawing() { return IsMemImgDrawMode() && GetDisplayState().screenBits != 8; }

bool InVideoMemory(IDirectDrawSurface7* surface) {
    if (surface == nullptr) return false;
    DDSCAPS2 caps;
    std::memset(&caps, 0, sizeof(caps));
    if (FAILED(surface->GetCaps(&caps))) return false;
    return (caps.dwCaps & DDSCAPS_VIDEOMEMORY) != 0;
}

bool SurfaceSize(IDirectDrawSurface7* surface, int* width, int* height) {
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    if (surface == nullptr || FAILED(surface->GetSurfaceDesc(&desc))) return false;
    *width = static_cast<int>(desc.dwWidth);
    *height = static_cast<int>(desc.dwHeight);
    return true;
}

// The window origin that front-screen coordinates are shifted by on the primary.
void WindowOrigin(int* x, int* y) {
    const DrawState& state = GetDrawState();
    *x = 0;
    *y = 0;
    if (g_target.isFront && g_target.surface != nullptr) {
        *x = state.windowDrawRect.left;
        *y = state.windowDrawRect.top;
    }
}

// Wraps locked memory as a software image: the pixels and pitch the lock gave, never owned.
bool WrapLocked(MEMIMG* image, void* pixels, int pitch, int width, int height, int pixelType) {
    std::memset(image, 0, sizeof(*image));
    image->pixels = static_cast<uint8_t*>(pixels);
    if (InitMemImage(image, width, height, pitch, 0, pixelType, 0, 0, 0) != 0) {
        std::memset(image, 0, sizeof(*image));
        return false;
    }
    return true;
}

bool LockSurface(IDirectDrawSurface7* surface, const RECT& rect, DDSURFACEDESC2* desc) {
    std::memset(desc, 0, sizeof(*desc));
    desc->dwSize = sizeof(*desc);
    RECT r = rect;
    return SUCCEEDED(surface->Lock(&r, desc, DDLOCK_WAIT, nullptr)) && desc->lpSurface != nullptr;
}

// Converts a rectangle of an image in place between two layouts of the same pixel size.
void ConvertInPlace(MEMIMG* image, const RECT& rect, const ColorFormat* to, const ColorFormat* from) {
    ColorFormatConvertBlt(image->pixels, image->pitch, to, image->pixels, image->pitch, from, nullptr, 0, nullptr,
                          rect.left, rect.top, &rect, 0, 0, 0, kDitherNone, 0, 0, 0);
}

void ResetBlitState() {
    const SurfaceBlitRoute route = g_blit.route;
    const RECT lastDest = g_blit.clippedDest;
    g_blit = SurfaceBlitState{};
    g_blit.route = route;
    g_blit.clippedDest = lastDest;
    std::memset(&g_lockedTargetImage, 0, sizeof(g_lockedTargetImage));
    std::memset(&g_lockedSourceImage, 0, sizeof(g_lockedSourceImage));
    std::memset(&g_sourceView, 0, sizeof(g_sourceView));
    g_lockedTargetSurface = nullptr;
    g_lockedSourceSurface = nullptr;
    g_copyBackSurface = nullptr;
    g_softFormat = nullptr;
}

void UnlockTarget() {
    if (g_lockedTargetSurface != nullptr) g_lockedTargetSurface->Unlock(&g_lockedTargetRect);
    g_lockedTargetSurface = nullptr;
    g_blit.targetLocked = 0;
}

void UnlockSource() {
    if (g_lockedSourceSurface != nullptr) g_lockedSourceSurface->Unlock(&g_lockedSourceRect);
    g_lockedSourceSurface = nullptr;
    g_blit.sourceLocked = 0;
}

// The target's software image as the renderer sees it (a view when it sits at an offset in its surface data).
MEMIMG* TargetSoftImage() {
    if (g_target.image == nullptr || !IsMemImageValid(g_target.image)) return nullptr;
    if (g_target.offsetX == 0 && g_target.offsetY == 0) return g_target.image;
    return DeriveMemImage(&g_targetView, g_target.image, g_target.offsetX, g_target.offsetY, g_target.width,
                          g_target.height);
}

bool MaskDrawing() { return GetDrawState().maskDrawActive != 0; }

}  // namespace

const SurfaceBlitState& GetSurfaceBlitState() { return g_blit; }

// ---- Blend graph ----
int BuildBlendRampTable(int, int border, int range) {
    const int r1 = range + 1;
    const int a = border * (65536 / r1 + 256) / 256;
    for (int i = 0; i < 256; ++i) {
        const int entry = i * 256 / r1 - a + 256;
        BlendGraphWeightTable[i] = static_cast<uint8_t>(std::min(255, std::max(0, entry)));
    }
    return 0;
}

MEMIMG* GetBlendGraphMemImg() {
    const DrawState& state = GetDrawState();
    if (state.blendGraph == -1) return nullptr;
    const GraphRecord* g = GetGraphRecord(state.blendGraph);
    if (g == nullptr || g->creation[kCreateTexture] == 1 || g->pieceCount < 1) return nullptr;
    const Surface2D* s = Surface2DToRecord(g->pieces[0]);
    SurfaceData* d = s != nullptr ? SurfaceDataToRecord(s->surfaceData) : nullptr;
    if (d == nullptr || !d->software || !IsMemImageValid(&d->image)) return nullptr;
    return &d->image;
}

// ---- Draw target ----
int SelectDrawTarget2D(int target, int previousTarget) {
    DisplayState& display = GetDisplayState();
    g_target.image = nullptr;
    g_target.zImage = nullptr;
    if (previousTarget == -4 && display.useTempPrimary) {
        KillFrontScreenTimer();
        PushFrontScreenArea();
    }
    const bool directDraw = !display.softwareMode;
    const bool clipperWanted = IsWindowMode() || IsGdiShowMode();
    DrawTarget2D t = {};
    t.isFront = target == -4;
    if (target == -4) {
        t.surface = GetOutputPrimarySurface();
        t.image = display.useMemImgScreens ? &display.primaryImage : nullptr;
        GetScreenSize(&t.width, &t.height);
        if (directDraw && display.primarySurface != nullptr) {
            if (clipperWanted) display.primarySurface->SetClipper(nullptr);
            if (display.useTempPrimary) {
                if (display.clipper != nullptr) display.primarySurface->SetClipper(display.clipper);
                SaveFrontScreenArea();
                ArmFrontScreenTimer();
            }
        }
    } else if (target == -2) {
        t.surface = display.backSurface;
        t.image = display.useMemImgScreens ? &display.backImage : nullptr;
        t.zImage = display.useMemImgScreens ? &display.zImage : nullptr;
        GetScreenSize(&t.width, &t.height);
    } else {
        const GraphRecord* g = GetGraphRecord(target);
        if (g == nullptr || g->pieceCount < 1) {
            g_target = DrawTarget2D{};
            g_target.unusable = 1;
            SetDrawTargetSurface(nullptr);
            return -1;
        }
        int dataHandle = -1;
        if (g->creation[kCreateTexture] == 1) {
            if (GetSurface3DPlacement(g->pieces[0], &dataHandle, &t.offsetX, &t.offsetY) != 0) dataHandle = -1;
        } else if (const Surface2D* s = Surface2DToRecord(g->pieces[0])) {
            dataHandle = s->surfaceData;
            t.offsetX = s->x;
            t.offsetY = s->y;
        }
        SurfaceData* d = SurfaceDataToRecord(dataHandle);
        if (d == nullptr) {
            g_target = DrawTarget2D{};
            g_target.unusable = 1;
            SetDrawTargetSurface(nullptr);
            return -1;
        }
        t.width = g->width;
        t.height = g->height;
        if (d->software) {
            t.image = &d->image;
        } else {
            t.surface = d->surface;
        }
        if (IsMemImageValid(&d->zImage)) t.zImage = &d->zImage;
    }
    // The present copy into the window relies on the window's clipper sitting on the primary.
    if (target != -4 && directDraw && clipperWanted && display.primarySurface != nullptr && display.clipper != nullptr) {
        display.primarySurface->SetClipper(display.clipper);
    }
    t.inVideoMemory = InVideoMemory(t.surface) ? 1 : 0;
    t.unusable = (t.surface == nullptr && t.image == nullptr) ? 1 : 0;
    g_target = t;
    SetDrawTargetSurface(t.surface);
    return t.unusable ? -1 : 0;
}

int FillDrawTarget2D() {
    if (g_target.unusable || !HaveDisplay()) return -1;
    const DisplayState& display = GetDisplayState();
    if (display.flushEveryDraw) EndCurrentScene3D();
    FlushVertexBatch3D();
    int red = 0, green = 0, blue = 0;
    GetScreenBackgroundColor(&red, &green, &blue);
    const int target = GetDrawState().target;

    if (target >= 0) {
        const GraphRecord* g = GetGraphRecord(target);
        if (g == nullptr) return -1;
        if (g->creation[kCreateTexture] == 1) return 0;  // the Direct3D back end clears texture targets
        const Surface2D* s = Surface2DToRecord(g->pieces[0]);
        SurfaceData* d = s != nullptr ? SurfaceDataToRecord(s->surfaceData) : nullptr;
        if (d == nullptr) return -1;
        const RECT rect = {s->x, s->y, s->x + s->width, s->y + s->height};
        if (d->software) {
            if (IsMemImageValid(&d->zImage)) FillMemImageRect(&d->zImage, &rect, 0xFFFF);
            SoftFillRect(&d->image, &rect, RgbaToFormatValue(d->image.format, red, green, blue, 255));
            return 0;
        }
        if (d->surface == nullptr) return -1;
        DDBLTFX fx;
        std::memset(&fx, 0, sizeof(fx));
        fx.dwSize = sizeof(fx);
        RECT r = rect;
        if (d->zSurface != nullptr) {
            fx.dwFillDepth = 0xFFFF;
            d->zSurface->Blt(&r, nullptr, nullptr, DDBLT_DEPTHFILL | DDBLT_WAIT, &fx);
        }
        fx.dwFillColor = RgbToScreenPixelImpl(red, green, blue);
        return SUCCEEDED(d->surface->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx)) ? 0 : -1;
    }

    if (SoftwareImageDrawing() || g_target.surface == nullptr) {
        MEMIMG* image = g_target.image;
        if (image == nullptr || !IsMemImageValid(image)) return -1;
        FillMemImageRect(image, nullptr, RgbaToFormatValue(image->format, red, green, blue, 255));
        if (g_target.zImage != nullptr && IsMemImageValid(g_target.zImage)) {
            FillMemImageRect(g_target.zImage, nullptr, 0xFFFF);
        }
        return 0;
    }
    RECT rect;
    if (target == -4 && IsWindowMode() && !display.useTempPrimary) {
        GetWindowScreenRect(&rect);
    } else {
        rect = {0, 0, g_target.width, g_target.height};
    }
    DDBLTFX fx;
    std::memset(&fx, 0, sizeof(fx));
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = RgbToScreenPixelImpl(red, green, blue);
    const HRESULT filled = g_target.surface->Blt(&rect, nullptr, nullptr, DDBLT_COLORFILL, &fx);
    if (target == -2 && display.zSurface != nullptr) {
        DDBLTFX zfx;
        std::memset(&zfx, 0, sizeof(zfx));
        zfx.dwSize = sizeof(zfx);
        zfx.dwFillDepth = 0xFFFF;
        display.zSurface->Blt(nullptr, nullptr, nullptr, DDBLT_DEPTHFILL | DDBLT_WAIT, &zfx);
    }
    return SUCCEEDED(filled) ? 0 : -1;
}

// ---- Mask glue ----
int PrepareMaskForDraw(const RECT* rect) {
    if (!MaskDrawing() || rect == nullptr) return 0;
    MEMIMG* image = TargetSoftImage();
    if (image != nullptr && g_target.surface == nullptr) {
        GraphImage view;
        std::memset(&view, 0, sizeof(view));
        view.format = *image->format;
        view.width = image->width;
        view.height = image->height;
        view.pitch = image->pitch;
        view.pixels = image->pixels;
        return CopyToMaskSurface(rect, nullptr, &view);
    }
    return CopyToMaskSurface(rect, g_target.surface, nullptr);
}

int ApplyMaskAfterDraw(const RECT* rect) {
    if (!MaskDrawing() || rect == nullptr) return 0;
    RebuildMaskSurfaceRect(rect);
    // The mask now holds its colour key wherever drawing is forbidden: copy the rest back onto the target.
    const RECT clipped = IntersectRects(*rect, GetDrawState().drawArea);
    if (IsEmptyRect(clipped)) return 0;
    IDirectDrawSurface7* mask = GetMaskSurface();
    if (mask != nullptr && g_target.surface != nullptr) {
        int wx = 0, wy = 0;
        WindowOrigin(&wx, &wy);
        RECT source = clipped;
        g_target.surface->BltFast(clipped.left + wx + g_target.offsetX, clipped.top + wy + g_target.offsetY, mask,
                                  &source, DDBLTFAST_SRCCOLORKEY | DDBLTFAST_WAIT);
        return 0;
    }
    MEMIMG* maskImage = GetMaskMemImg();
    MEMIMG* target = TargetSoftImage();
    if (maskImage != nullptr && target != nullptr && IsMemImageValid(maskImage)) {
        ColorFormatConvertBlt(target->pixels, target->pitch, target->format, maskImage->pixels, maskImage->pitch,
                              maskImage->format, nullptr, 0, nullptr, clipped.left, clipped.top, &clipped, 0, 0,
                              maskImage->colorKey, kDitherNone, 0, 0, 1);
    }
    return 0;
}

// ---- Software-renderer glue ----
int BeginSurfaceBlit(const Surface2D* source, int allowBltFast, const RECT* sourceRect, const RECT* destRect,
                     int keepColours, uint32_t* colour1, uint32_t* colour2) {
    ResetBlitState();
    g_blit.route = kBlitRouteNone;
    g_blit.clippedDest = RECT{0, 0, 0, 0};
    if (g_target.unusable || destRect == nullptr) return -1;
    const DrawState& state = GetDrawState();
    const DisplayState& display = GetDisplayState();
    SurfaceData* sd = source != nullptr ? SurfaceDataToRecord(source->surfaceData) : nullptr;
    if (source != nullptr && (sd == nullptr || sourceRect == nullptr)) return -1;
    // A source rectangle must lie inside its piece: reading past it would read another piece's (or no) memory.
    if (source != nullptr && (sourceRect->left < 0 || sourceRect->top < 0 || sourceRect->right > source->width ||
                              sourceRect->bottom > source->height || sourceRect->left > sourceRect->right ||
                              sourceRect->top > sourceRect->bottom)) {
        return -1;
    }

    // The destination and the matching part of the source, both clipped to the draw area.
    const RECT dest = IntersectRects(*destRect, state.drawArea);
    RECT src = {0, 0, 0, 0};
    if (source != nullptr) {
        src = *sourceRect;
        src.left += dest.left - destRect->left;
        src.top += dest.top - destRect->top;
        src.right = src.left + (dest.right - dest.left);
        src.bottom = src.top + (dest.bottom - dest.top);
    }

    if (SoftwareImageDrawing()) {
        if (IsEmptyRect(dest)) return -1;
        g_blit.clippedDest = dest;
        g_blit.drawTargetImage = MaskDrawing() ? GetMaskMemImg() : TargetSoftImage();
        if (g_blit.drawTargetImage == nullptr) return -1;
        if (source != nullptr) {
            if (!IsMemImageValid(&sd->image)) return -1;
            g_blit.drawSourceImage = DeriveMemImage(&g_sourceView, &sd->image, source->x + src.left,
                                                    source->y + src.top, src.right - src.left, src.bottom - src.top);
        }
        g_blit.drawX = dest.left;
        g_blit.drawY = dest.top;
        g_blit.route = kBlitRouteSoftImage;
        return 0;
    }

    const bool mask = MaskDrawing();
    IDirectDrawSurface7* targetSurface = mask ? GetMaskSurface() : g_target.surface;
    const bool sourceAlpha = sd != nullptr && sd->creation[kCreateAlpha] != 0;
    const bool needsSoftware = (state.blendMode != 0 && !(state.blendMode == 1 && state.blendParameter == 255)) ||
                               sourceAlpha || state.blendGraph != -1;
    const bool targetInVideo = mask ? IsMaskSurfaceInVideoMemory() != 0 : g_target.inVideoMemory != 0;
    int wx = 0, wy = 0;
    if (!mask) WindowOrigin(&wx, &wy);
    const int originX = mask ? 0 : g_target.offsetX + wx;  // target (0, 0) on the target surface
    const int originY = mask ? 0 : g_target.offsetY + wy;

    if (allowBltFast == 1 && source != nullptr && !needsSoftware && (state.colorScale & 0xFFFFFF) == 0xFFFFFF &&
        !sd->software && sd->surface != nullptr && targetSurface != nullptr &&
        InVideoMemory(sd->surface) == targetInVideo) {
        if (IsEmptyRect(dest)) return -1;
        g_blit.bltFastPending = 1;
        g_blit.bltTarget = targetSurface;
        g_blit.bltX = dest.left + originX;
        g_blit.bltY = dest.top + originY;
        g_blit.bltSource = sd->surface;
        g_blit.bltSourceRect = {src.left + source->x, src.top + source->y, src.right + source->x,
                                src.bottom + source->y};
        g_blit.clippedDest = dest;
        g_blit.route = kBlitRouteBltFast;
        return 0;
    }

    g_blit.needsFormatConversion = display.screenFormatCode == kScreenFormatX1R5G5B5 ||
                                   display.screenFormatCode == kScreenFormatOther;
    if (IsEmptyRect(dest)) return -1;
    g_blit.clippedDest = dest;
    const int pixelType = GetScreenColorBits() == 16 ? kMemImgColor16 : kMemImgColor32;
    const ColorFormat* softFormat = GetMemImageColorFormat(pixelType, 0, 0);
    const ColorFormat* screenFormat = GetScreenColorFormat();

    // ---- Target ----
    MEMIMG* softTarget = mask ? nullptr : (targetSurface == nullptr ? TargetSoftImage() : nullptr);
    if (softTarget != nullptr) {
        g_blit.drawTargetImage = softTarget;
        g_blit.route = kBlitRouteSoftImage;
    } else {
        if (targetSurface == nullptr) return -1;
        IDirectDrawSurface7* work = display.workSurface1;
        int workWidth = 0, workHeight = 0;
        const bool workFits = work != nullptr && SurfaceSize(work, &workWidth, &workHeight) &&
                              dest.right <= workWidth && dest.bottom <= workHeight;
        bool viaWork = (targetInVideo && needsSoftware) ||
                       (g_blit.needsFormatConversion && (needsSoftware || !keepColours));
        // A target whose origin lies off its surface (a window reaching past the desktop's top-left) can only be
        // reached through the work surface: its region is copied there at target coordinates.
        if (originX < 0 || originY < 0) viaWork = true;
        if (viaWork && !workFits) {
            viaWork = false;
            if (originX < 0 || originY < 0) return -1;
        }
        DDSURFACEDESC2 desc;
        if (viaWork) {
            RECT region = {dest.left + originX, dest.top + originY, dest.right + originX, dest.bottom + originY};
            EndCurrentScene3D();
            if (SurfaceCopy(work, targetSurface, dest.left, dest.top, &region, -1) != 0) return -1;
            g_lockedTargetRect = {0, 0, dest.right, dest.bottom};
            if (!LockSurface(work, g_lockedTargetRect, &desc)) return -1;
            g_lockedTargetSurface = work;
            g_copyBackSurface = targetSurface;
            g_copyBackX = region.left;
            g_copyBackY = region.top;
            g_blit.targetViaWork = 1;
        } else {
            g_lockedTargetRect = {originX, originY, originX + dest.right, originY + dest.bottom};
            EndCurrentScene3D();
            if (!LockSurface(targetSurface, g_lockedTargetRect, &desc)) return -1;
            g_lockedTargetSurface = targetSurface;
        }
        g_blit.targetLocked = 1;
        // The image covers exactly the locked memory, from target (0, 0) to the clipped destination's far corner.
        if (!WrapLocked(&g_lockedTargetImage, desc.lpSurface, static_cast<int>(desc.lPitch), dest.right, dest.bottom,
                        pixelType)) {
            UnlockTarget();
            return -1;
        }
        if (g_blit.targetViaWork && g_blit.needsFormatConversion) {
            ConvertInPlace(&g_lockedTargetImage, dest, softFormat, screenFormat);
            g_softFormat = softFormat;
            if (keepColours) {
                if (colour1 != nullptr) *colour1 = ConvertFormatValue(softFormat, screenFormat, *colour1);
                if (colour2 != nullptr) *colour2 = ConvertFormatValue(softFormat, screenFormat, *colour2);
            }
        }
        g_blit.drawTargetImage = &g_lockedTargetImage;
        g_blit.route = g_blit.targetViaWork ? kBlitRouteWorkSurface : kBlitRouteLocked;
    }
    g_blit.drawX = dest.left;
    g_blit.drawY = dest.top;

    // ---- Source: exactly the clipped part, drawn at the clipped destination's top-left ----
    if (source != nullptr) {
        const int w = src.right - src.left, h = src.bottom - src.top;
        if (sd->software) {
            if (!IsMemImageValid(&sd->image)) {
                UnlockTarget();
                return -1;
            }
            g_blit.drawSourceImage =
                DeriveMemImage(&g_sourceView, &sd->image, source->x + src.left, source->y + src.top, w, h);
        } else {
            if (sd->surface == nullptr) {
                UnlockTarget();
                return -1;
            }
            const RECT onSurface = {source->x + src.left, source->y + src.top, source->x + src.right,
                                    source->y + src.bottom};
            IDirectDrawSurface7* work = display.workSurface2;
            int workWidth = 0, workHeight = 0;
            const bool workFits =
                work != nullptr && SurfaceSize(work, &workWidth, &workHeight) && w <= workWidth && h <= workHeight;
            const bool viaWork = (InVideoMemory(sd->surface) || g_blit.needsFormatConversion) && workFits;
            DDSURFACEDESC2 desc;
            IDirectDrawSurface7* locked = sd->surface;
            RECT lockRect = onSurface;
            if (viaWork) {
                RECT from = onSurface;
                if (SurfaceCopy(work, sd->surface, 0, 0, &from, -1) != 0) {
                    UnlockTarget();
                    return -1;
                }
                locked = work;
                lockRect = {0, 0, w, h};
                g_blit.sourceViaWork = 1;
            }
            if (!LockSurface(locked, lockRect, &desc)) {
                UnlockTarget();
                return -1;
            }
            g_lockedSourceSurface = locked;
            g_lockedSourceRect = lockRect;
            g_blit.sourceLocked = 1;
            if (!WrapLocked(&g_lockedSourceImage, desc.lpSurface, static_cast<int>(desc.lPitch), w, h, pixelType)) {
                UnlockSource();
                UnlockTarget();
                return -1;
            }
            if (viaWork && g_blit.needsFormatConversion) {
                ConvertInPlace(&g_lockedSourceImage, {0, 0, w, h}, softFormat, screenFormat);
            }
            const unsigned int c = sd->transparentColor;
            g_lockedSourceImage.colorKey =
                RgbaToFormatValue(g_lockedSourceImage.format, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF, 255);
            g_blit.drawSourceImage = &g_lockedSourceImage;
        }
    }
    return 0;
}

int FlushSurfaceBlit() {
    if (g_blit.route == kBlitRouteSoftImage || g_blit.bltFastPending) {
        ResetBlitState();
        return 0;
    }
    if (g_blit.targetViaWork && g_softFormat != nullptr && g_lockedTargetImage.pixels != nullptr) {
        ConvertInPlace(&g_lockedTargetImage, g_blit.clippedDest, GetScreenColorFormat(), g_softFormat);
    }
    const bool viaWork = g_blit.targetViaWork != 0;
    IDirectDrawSurface7* work = g_lockedTargetSurface;
    IDirectDrawSurface7* back = g_copyBackSurface;
    const RECT region = g_blit.clippedDest;
    const int x = g_copyBackX, y = g_copyBackY;
    UnlockTarget();
    UnlockSource();
    if (viaWork && work != nullptr && back != nullptr) {
        RECT from = region;
        SurfaceCopy(back, work, x, y, &from, -1);
    }
    ResetBlitState();
    return 0;
}

// ---- Drawing ----
int DrawSurface2D(int x, int y, int handle, int transparent) {
    g_blit.route = kBlitRouteNone;
    if (g_target.unusable || !HaveDisplay()) return -1;
    const Surface2D* s = Surface2DToRecord(handle);
    if (s == nullptr) return -1;
    SurfaceData* d = SurfaceDataToRecord(s->surfaceData);
    if (d == nullptr) return -1;

    if (SoftwareImageDrawing()) {
        if (!IsMemImageValid(&d->image)) return -1;
        MEMIMG view;
        const MEMIMG* source = &d->image;
        if (s->x != 0 || s->y != 0 || s->width != d->image.width || s->height != d->image.height) {
            source = DeriveMemImage(&view, &d->image, s->x, s->y, s->width, s->height);
        }
        MEMIMG* target = MaskDrawing() ? GetMaskMemImg() : TargetSoftImage();
        if (target == nullptr) return -1;
        g_blit.route = kBlitRouteSoftImage;
        SoftBlit(target, source, x, y, transparent, GetBlendGraphMemImg());
        return 0;
    }

    if (GetDisplayState().flushEveryDraw) EndCurrentScene3D();
    FlushVertexBatch3D();
    const RECT whole = {x, y, x + s->width, y + s->height};
    const RECT dest = IntersectRects(whole, GetDrawState().drawArea);
    if (IsEmptyRect(dest)) return 0;
    const RECT src = {dest.left - x, dest.top - y, dest.right - x, dest.bottom - y};
    if (BeginSurfaceBlit(s, 1, &src, &dest, 0, nullptr, nullptr) < 0) return -1;
    if (g_blit.bltFastPending) {
        RECT from = g_blit.bltSourceRect;
        const HRESULT hr = g_blit.bltTarget->BltFast(g_blit.bltX, g_blit.bltY, g_blit.bltSource, &from,
                                                     transparent ? DDBLTFAST_SRCCOLORKEY : DDBLTFAST_NOCOLORKEY);
        FlushSurfaceBlit();
        return SUCCEEDED(hr) ? 0 : -1;
    }
    SoftBlit(g_blit.drawTargetImage, g_blit.drawSourceImage, g_blit.drawX, g_blit.drawY, transparent,
             GetBlendGraphMemImg());
    FlushSurfaceBlit();
    return 0;
}

int DrawRectList2D(const SoftLineRecord* records, int count) {
    if (g_target.unusable || !HaveDisplay()) return -1;
    if (records == nullptr || count <= 0) return 0;
    if (SoftwareImageDrawing()) {
        MEMIMG* target = MaskDrawing() ? GetMaskMemImg() : TargetSoftImage();
        if (target == nullptr) return -1;
        return SoftDrawLines(target, records, count);
    }
    if (GetDisplayState().flushEveryDraw) EndCurrentScene3D();
    FlushVertexBatch3D();
    RECT box = {1000000, 1000000, -1000000, -1000000};
    for (int i = 0; i < count; ++i) {
        const SoftLineRecord& r = records[i];
        box.left = std::min({box.left, static_cast<LONG>(r.x1), static_cast<LONG>(r.x2)});
        box.top = std::min({box.top, static_cast<LONG>(r.y1), static_cast<LONG>(r.y2)});
        box.right = std::max({box.right, static_cast<LONG>(r.x1) + 1, static_cast<LONG>(r.x2) + 1});
        box.bottom = std::max({box.bottom, static_cast<LONG>(r.y1) + 1, static_cast<LONG>(r.y2) + 1});
    }
    if (BeginSurfaceBlit(nullptr, 0, nullptr, &box, 0, nullptr, nullptr) < 0) {
        return IsEmptyRect(IntersectRects(box, GetDrawState().drawArea)) ? 0 : -1;
    }
    SoftDrawLines(g_blit.drawTargetImage, records, count);
    FlushSurfaceBlit();
    return 0;
}

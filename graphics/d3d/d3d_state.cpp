// Render and blend states of the Direct3D back end. Every value goes through the current device record's cache:
// a setter whose value is already there neither flushes the vertex batch nor reaches the device; a real change
// flushes first, so that pending vertices are drawn with the states they were added under.
#include "graphics/d3d/d3d_state.h"

#include <cstring>

#include "graphics/d3d/d3d_device.h"
#include "graphics/d3d/d3d_surface.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/surface_data.h"

namespace {

uint32_t g_drawColor = 0xFFFFFFFFu;
BlendTextureInfo3D g_blendInfo = {0.0f, 0.0f, 0.0f, 0.0f};

constexpr int U = -1;  // unchanged
constexpr int TEX = D3DTA_TEXTURE, DIF = D3DTA_DIFFUSE, CUR = D3DTA_CURRENT, TF = D3DTA_TFACTOR,
              SPCL = D3DTA_SPECULAR;
constexpr int DIS = D3DTOP_DISABLE, S1 = D3DTOP_SELECTARG1, S2 = D3DTOP_SELECTARG2, MOD = D3DTOP_MODULATE,
              ADD = D3DTOP_ADD, SUB = D3DTOP_SUBTRACT;

Device3D* RecordOf(int index) {
    if (GetDirect3DState().object == nullptr) return nullptr;
    Device3D* d = GetDevice3DRecord(index);
    return (d != nullptr && d->inUse && d->device != nullptr) ? d : nullptr;
}

// Sends a render state when it differs from the cache (or the record is dirty); -1 keeps the cached value.
void SendRenderState(Device3D* d, D3DRENDERSTATETYPE state, int value, int* cache) {
    if (value == -1 || (!d->dirty && value == *cache)) return;
    FlushDeviceBatch3D(d);
    d->device->SetRenderState(state, static_cast<DWORD>(value));
    *cache = value;
}

void SendStageState(Device3D* d, int stage, D3DTEXTURESTAGESTATETYPE state, int value, int* cache) {
    if (value == -1 || (!d->dirty && value == *cache)) return;
    FlushDeviceBatch3D(d);
    d->device->SetTextureStageState(static_cast<DWORD>(stage), state, static_cast<DWORD>(value));
    *cache = value;
}

void BindStageTexture(Device3D* d, int stage, IDirectDrawSurface7* texture) {
    if (!d->dirty && d->stages[stage].texture == texture) return;
    FlushDeviceBatch3D(d);
    d->device->SetTexture(static_cast<DWORD>(stage), texture);
    d->stages[stage].texture = texture;
}

void SendFilter(Device3D* d, int mode) {
    const DWORD mag = mode == 1 ? D3DTFG_LINEAR : D3DTFG_POINT;
    const DWORD min = mode == 1 ? D3DTFN_LINEAR : D3DTFN_POINT;
    FlushDeviceBatch3D(d);
    const int stages = d->stageCount > 0 ? d->stageCount : 1;
    for (int stage = 0; stage < stages && stage < kStageCount3D; ++stage) {
        d->device->SetTextureStageState(static_cast<DWORD>(stage), D3DTSS_MAGFILTER, mag);
        d->device->SetTextureStageState(static_cast<DWORD>(stage), D3DTSS_MINFILTER, min);
    }
    d->filterMode = mode;
}

// A cached flag whose change only marks the blend states pending.
int SetPendingInput(int value, int* cache, int device) {
    Device3D* d = RecordOf(device);
    if (d == nullptr) return -1;
    if (!d->dirty && *cache == value) return 0;
    FlushDeviceBatch3D(d);
    *cache = value;
    d->blendStatesPending = 1;
    return 0;
}

int SetCachedRenderState(int device, int Device3D::*field, D3DRENDERSTATETYPE state, int value, int sent) {
    Device3D* d = RecordOf(device);
    if (d == nullptr) return -1;
    if (!d->dirty && d->*field == value) return 0;
    FlushDeviceBatch3D(d);
    d->device->SetRenderState(state, static_cast<DWORD>(sent));
    d->*field = value;
    return 0;
}

}  // namespace

// ---- Tables ----
const BlendPair3D BlendPairTable[10] = {
    {-1, -1},                                    // 0 copy
    {D3DBLEND_INVSRCALPHA, D3DBLEND_SRCALPHA},   // 1 alpha
    {D3DBLEND_ONE, D3DBLEND_SRCALPHA},           // 2 add
    {D3DBLEND_ZERO, D3DBLEND_INVDESTCOLOR},      // 3 subtract (the invert step)
    {D3DBLEND_SRCCOLOR, D3DBLEND_ZERO},          // 4 multiply
    {D3DBLEND_ONE, D3DBLEND_SRCALPHA},           // 5 add of the subtract sequence
    {-1, -1},
    {-1, -1},
    {D3DBLEND_ONE, D3DBLEND_ZERO},
    {D3DBLEND_ZERO, D3DBLEND_INVDESTCOLOR},
};

namespace {
constexpr StageSetup3D kOff = {0, U, U, DIS, U, U, DIS};
}  // namespace

#define STAGE(count, a1, a2, aop, c1, c2, cop) {count, a1, a2, aop, c1, c2, cop}
// Stage 0 of every entry with a blend texture: the blend texture's alpha plus the texture factor's.
#define BLEND0(count) STAGE(count, TEX, TF, ADD, U, DIF, S2)
const StageSetup3D StageSetupTable[24][4] = {
    // No blend texture: one stage. K = 0.
    {STAGE(1, U, DIF, S2, TEX, U, S1), kOff, kOff, kOff},      // N0 I0
    {STAGE(1, TEX, U, S1, TEX, U, S1), kOff, kOff, kOff},      // N0 I1
    {STAGE(1, TEX, U, S1, TEX, U, S1), kOff, kOff, kOff},      // N0 I2
    {STAGE(1, U, DIF, S2, TEX, U, S1), kOff, kOff, kOff},      // N1 I0
    {STAGE(1, TEX, DIF, MOD, TEX, U, S1), kOff, kOff, kOff},   // N1 I1
    {STAGE(1, TEX, DIF, MOD, TEX, U, S1), kOff, kOff, kOff},   // N1 I2
    // K = 1: the colour is modulated by the diffuse colour (the colour scale).
    {STAGE(1, U, DIF, S2, TEX, DIF, MOD), kOff, kOff, kOff},
    {STAGE(1, TEX, U, S1, TEX, DIF, MOD), kOff, kOff, kOff},
    {STAGE(1, TEX, U, S1, TEX, DIF, MOD), kOff, kOff, kOff},
    {STAGE(1, U, DIF, S2, TEX, DIF, MOD), kOff, kOff, kOff},
    {STAGE(1, TEX, DIF, MOD, TEX, DIF, MOD), kOff, kOff, kOff},
    {STAGE(1, TEX, DIF, MOD, TEX, DIF, MOD), kOff, kOff, kOff},
    // Blend texture on stage 0. K = 0, N = 0.
    {BLEND0(2), STAGE(0, CUR, U, S1, TEX, U, S1), kOff, kOff},
    {BLEND0(3), STAGE(0, SPCL, CUR, MOD, CUR, U, S1), STAGE(0, TEX, CUR, MOD, TEX, U, S1), kOff},
    {BLEND0(2), STAGE(0, TEX, CUR, MOD, TEX, U, S1), kOff, kOff},
    // K = 0, N = 1.
    {BLEND0(2), STAGE(0, DIF, CUR, MOD, TEX, U, S1), kOff, kOff},
    {BLEND0(4), STAGE(0, SPCL, CUR, MOD, CUR, U, S1), STAGE(0, TEX, CUR, MOD, TEX, U, S1),
     STAGE(0, DIF, CUR, MOD, CUR, U, S1)},
    {BLEND0(3), STAGE(0, TEX, CUR, MOD, TEX, U, S1), STAGE(0, DIF, CUR, MOD, CUR, U, S1), kOff},
    // K = 1, N = 0.
    {BLEND0(2), STAGE(0, CUR, U, S1, TEX, DIF, MOD), kOff, kOff},
    {BLEND0(3), STAGE(0, SPCL, CUR, MOD, CUR, U, S1), STAGE(0, TEX, CUR, MOD, TEX, DIF, MOD), kOff},
    {BLEND0(2), STAGE(0, TEX, CUR, MOD, TEX, DIF, MOD), kOff, kOff},
    // K = 1, N = 1.
    {BLEND0(2), STAGE(0, DIF, CUR, MOD, TEX, DIF, MOD), kOff, kOff},
    {BLEND0(4), STAGE(0, SPCL, CUR, MOD, CUR, U, S1), STAGE(0, TEX, CUR, MOD, TEX, DIF, MOD),
     STAGE(0, DIF, CUR, MOD, CUR, U, S1)},
    {BLEND0(3), STAGE(0, TEX, CUR, MOD, TEX, DIF, MOD), STAGE(0, DIF, CUR, MOD, CUR, U, S1), kOff},
};
const StageSetup3D UntexturedStageSetup[4] = {STAGE(1, U, DIF, S2, DIF, U, S1), kOff, kOff, kOff};
#undef BLEND0
#undef STAGE

int StageSetupIndex(int blendTexture, int colorScale, int blend, int alphaKind) {
    return (((blendTexture ? 1 : 0) * 2 + (colorScale ? 1 : 0)) * 2 + (blend ? 1 : 0)) * 3 + alphaKind;
}

// ---- The blend set-up ----
void SetDeviceTexture3D(Device3D* d, IDirectDrawSurface7* texture) {
    if (d->texture == texture) return;
    FlushDeviceBatch3D(d);
    if ((d->texture == nullptr) != (texture == nullptr)) d->blendStatesPending = 1;
    d->texture = texture;
    d->texturePending = 1;
}

int ApplyBlendState3D(int device) {
    Device3D* d = RecordOf(device);
    if (d == nullptr) return -1;
    if (!d->dirty && !d->blendStatesPending && d->texturePending) {
        // A pure texture change binds one stage.
        const int stage = d->blendTexture == nullptr ? 0 : (d->alphaChannel ? 2 : 1);
        BindStageTexture(d, stage, d->texture);
        d->texturePending = 0;
        return 0;
    }
    if (!d->dirty && !d->blendStatesPending) return -1;
    d->blendStatesPending = 0;
    d->texturePending = 0;

    const int mode = d->blendMode;
    BlendPair3D pair = (mode >= 0 && mode < 10) ? BlendPairTable[mode] : BlendPair3D{-1, -1};
    const bool blending = mode != 0 && mode != 6;
    const int alphaKind = d->alphaChannel ? 1 : (d->alphaTest ? 2 : 0);
    StageSetup3D stages[kStageCount3D];
    IDirectDrawSurface7* textures[kStageCount3D] = {nullptr, nullptr, nullptr, nullptr};
    int alphaTestEnable = d->alphaTestEnable, alphaRef = d->alphaRef, alphaFunc = d->alphaFunc;
    int alphaBlend = 0;
    int64_t factor = -1;

    if (d->texture != nullptr && d->blendTexture != nullptr) {
        SelectBatchKind3D(d, kVertexKindBlendTex);
        d->skipDraw = d->blendLevel == 255 ? 1 : 0;
        std::memcpy(stages, StageSetupTable[StageSetupIndex(1, d->colorScaleFlag, d->blendFlag, alphaKind)],
                    sizeof(stages));
        textures[0] = d->blendTexture;
        textures[d->alphaChannel ? 2 : 1] = d->texture;
        if (!blending) pair = {D3DBLEND_INVSRCALPHA, D3DBLEND_SRCALPHA};
        const int level = d->blendLevel;
        const int border = d->blendBorder;
        if (border <= 1) {
            alphaTestEnable = 1;
            alphaRef = ((d->alphaChannel || d->alphaTest) && level == 0) ? 1 : level;
            alphaFunc = D3DCMP_GREATEREQUAL;
            alphaBlend = 0;
            factor = 0x00FFFFFF;
        } else {
            alphaTestEnable = 0;
            alphaBlend = 1;
            int span, middle, op, scale;
            if (border <= 64) {
                span = 1280, middle = 1024, op = D3DTOP_MODULATE4X, scale = 64;
            } else if (border <= 128) {
                span = 768, middle = 512, op = D3DTOP_MODULATE2X, scale = 128;
            } else {
                span = 512, middle = 256, op = D3DTOP_MODULATE, scale = 255;
            }
            const int l = level * span / 255;
            const int t = span - l;
            stages[1].alphaOp = op;
            int alpha;
            if (t >= middle) {
                stages[0].alphaOp = ADD;
                alpha = (t - middle) * scale / 256;
            } else {
                stages[0].alphaOp = SUB;
                alpha = 255 - t * 255 / middle;
            }
            factor = (static_cast<int64_t>(alpha & 0xFF) << 24) | 0xFFFFFF;
        }
    } else if (d->texture != nullptr) {
        SelectBatchKind3D(d, kVertexKindTex);
        d->skipDraw = 0;
        std::memcpy(stages, StageSetupTable[StageSetupIndex(0, d->colorScaleFlag, d->blendFlag, alphaKind)],
                    sizeof(stages));
        textures[0] = d->texture;
        if (d->alphaTest) {
            alphaTestEnable = 1, alphaRef = 16, alphaFunc = D3DCMP_GREATER;
        } else if (d->zEnable) {
            // Fully transparent texels must not write Z.
            alphaTestEnable = 1, alphaRef = 0, alphaFunc = D3DCMP_GREATER;
        } else {
            alphaTestEnable = 0;
        }
        if (d->alphaChannel && !blending) pair = {D3DBLEND_INVSRCALPHA, D3DBLEND_SRCALPHA};
        alphaBlend = (d->alphaChannel || blending) ? 1 : 0;
        factor = 0xFFFFFFFF;
    } else {
        SelectBatchKind3D(d, kVertexKindColor);
        d->skipDraw = 0;
        alphaTestEnable = 0;
        alphaBlend = blending ? 1 : 0;
        // Untextured drawing always selects the diffuse colour and alpha: the stage operations a textured draw
        // left behind would otherwise decide what a fill or an outline shows.
        std::memcpy(stages, UntexturedStageSetup, sizeof(stages));
    }

    if (stages[0].count != d->stageCount) {
        d->stageCount = stages[0].count;
        SendFilter(d, d->filterMode);
    }
    SendRenderState(d, D3DRENDERSTATE_ALPHAFUNC, alphaFunc, &d->alphaFunc);
    SendRenderState(d, D3DRENDERSTATE_ALPHAREF, alphaRef, &d->alphaRef);
    SendRenderState(d, D3DRENDERSTATE_ALPHATESTENABLE, alphaTestEnable, &d->alphaTestEnable);
    SendRenderState(d, D3DRENDERSTATE_ALPHABLENDENABLE, alphaBlend, &d->alphaBlendEnable);
    if (factor != -1 && (d->dirty || static_cast<uint32_t>(factor) != d->textureFactor)) {
        FlushDeviceBatch3D(d);
        d->device->SetRenderState(D3DRENDERSTATE_TEXTUREFACTOR, static_cast<DWORD>(factor));
        d->textureFactor = static_cast<uint32_t>(factor);
    }
    SendRenderState(d, D3DRENDERSTATE_SRCBLEND, pair.source, &d->srcBlend);
    SendRenderState(d, D3DRENDERSTATE_DESTBLEND, pair.destination, &d->dstBlend);

    const int stageLimit = stages[0].count + 1 < kStageCount3D ? stages[0].count + 1 : kStageCount3D;
    for (int stage = 0; stage < kStageCount3D; ++stage) {
        if (stage >= 2 && (stage >= stageLimit || d->stages[stage - 1].alphaOp == DIS)) break;
        const StageSetup3D& e = stages[stage];
        StageState3D& c = d->stages[stage];
        BindStageTexture(d, stage, textures[stage]);
        SendStageState(d, stage, D3DTSS_ALPHAOP, e.alphaOp, &c.alphaOp);
        SendStageState(d, stage, D3DTSS_ALPHAARG1, e.alphaArg1, &c.alphaArg1);
        SendStageState(d, stage, D3DTSS_ALPHAARG2, e.alphaArg2, &c.alphaArg2);
        SendStageState(d, stage, D3DTSS_COLOROP, e.colorOp, &c.colorOp);
        SendStageState(d, stage, D3DTSS_COLORARG1, e.colorArg1, &c.colorArg1);
        SendStageState(d, stage, D3DTSS_COLORARG2, e.colorArg2, &c.colorArg2);
    }
    return 0;
}

int SetupDrawState3D(const Surface3D* piece, int flags) {
    const int index = GetCurrentDevice3DIndex();
    Device3D* d = RecordOf(index);
    if (d == nullptr) return -1;
    const DrawState& state = GetDrawState();
    IDirectDrawSurface7* texture = piece != nullptr ? Surface3DTexture(piece) : nullptr;
    const SurfaceData* data = piece != nullptr ? SurfaceDataToRecord(piece->surfaceData) : nullptr;

    int alphaChannel = 0, alphaTest = 0, colorKey = 0;
    if ((flags & kSetupTransparent) && data != nullptr) {
        if (!data->creation[kCreateAlphaTest] && !data->creation[kCreateAlpha]) {
            colorKey = 1;
        } else if ((state.blendMode != 0 && state.blendMode != 8) ||
                   (!(flags & kSetupPixelExact) && state.filterMode == 1)) {
            alphaChannel = 1;  // blended or filtered edges need the alpha blend, not the alpha test
        } else {
            alphaChannel = data->creation[kCreateAlpha];
            alphaTest = data->creation[kCreateAlphaTest];
        }
    }
    const int colorScaleFlag = ((flags & kSetupForceColorScale) || state.colorScale != 0xFFFFFF) ? 1 : 0;
    const int blendFlag = ((flags & kSetupForceBlend) || state.blendMode != 0) ? 1 : 0;

    SetTexturePerspective3D((flags & kSetupPerspective) ? 1 : 0, index);
    SetColorScaleFlag3D(colorScaleFlag, index);
    SetBlendFlag3D(blendFlag, index);
    SetDeviceTexture3D(d, texture);
    SetShadeMode3D((flags & kSetupGouraud) ? D3DSHADE_GOURAUD : D3DSHADE_FLAT, index);
    SetCullMode3D(state.cullMode ? 1 : 0, index);
    SetBlendMode3D(static_cast<int>(state.blendMode), alphaTest, alphaChannel, index);
    if (d->blendStatesPending || d->texturePending || d->dirty) ApplyBlendState3D(index);
    SetColorKeyEnable3D(colorKey, index);
    if (flags & kSetupZ) {
        SetZEnable3D(state.zTest ? 1 : 0, index);
        SetZWriteEnable3D(state.zWrite ? 1 : 0, index);
        SetZFunction3D(state.zCompare, index);
    } else if (d->zEnable) {
        SetZEnable3D(0, index);
    }
    return 0;
}

// ---- Cached setters ----
int SetBlendFlag3D(int flag, int device) {
    Device3D* d = RecordOf(device);
    return d != nullptr ? SetPendingInput(flag, &d->blendFlag, device) : -1;
}

int SetColorScaleFlag3D(int flag, int device) {
    Device3D* d = RecordOf(device);
    return d != nullptr ? SetPendingInput(flag, &d->colorScaleFlag, device) : -1;
}

int SetBlendMode3D(int mode, int alphaTest, int alphaChannel, int device) {
    Device3D* d = RecordOf(device);
    if (d == nullptr) return -1;
    if (!d->dirty && d->blendMode == mode && d->alphaTest == alphaTest && d->alphaChannel == alphaChannel) return 0;
    FlushDeviceBatch3D(d);
    d->blendMode = mode;
    d->alphaTest = alphaTest;
    d->alphaChannel = alphaChannel;
    d->blendStatesPending = 1;
    return 0;
}

int SetFilterModeDevice3D(int mode, int device) {
    Device3D* d = RecordOf(device);
    if (d == nullptr) return -1;
    if (mode != 0 && mode != 1) return 0;
    if (!d->dirty && d->filterMode == mode) return 0;
    SendFilter(d, mode);
    return 0;
}

int SetZEnable3D(int flag, int device) {
    return SetCachedRenderState(device, &Device3D::zEnable, D3DRENDERSTATE_ZENABLE, flag, flag);
}
int SetZWriteEnable3D(int flag, int device) {
    return SetCachedRenderState(device, &Device3D::zWriteEnable, D3DRENDERSTATE_ZWRITEENABLE, flag, flag);
}
int SetZFunction3D(int function, int device) {
    return SetCachedRenderState(device, &Device3D::zFunction, D3DRENDERSTATE_ZFUNC, function, function);
}
int SetCullMode3D(int flag, int device) {
    return SetCachedRenderState(device, &Device3D::cullFlag, D3DRENDERSTATE_CULLMODE, flag,
                                flag ? D3DCULL_CCW : D3DCULL_NONE);
}
int SetShadeMode3D(int mode, int device) {
    return SetCachedRenderState(device, &Device3D::shadeMode, D3DRENDERSTATE_SHADEMODE, mode, mode);
}
int SetTexturePerspective3D(int flag, int device) {
    return SetCachedRenderState(device, &Device3D::texturePerspective, D3DRENDERSTATE_TEXTUREPERSPECTIVE, flag,
                                flag);
}
int SetColorKeyEnable3D(int flag, int device) {
    return SetCachedRenderState(device, &Device3D::colorKeyEnable, D3DRENDERSTATE_COLORKEYENABLE, flag, flag);
}

int ResetDeviceStates3D(int device) {
    Device3D* d = RecordOf(device);
    if (d == nullptr) return -1;
    FlushDeviceBatch3D(d);
    IDirect3DDevice7* dev = d->device;
    static const DWORD coordinateIndex[kStageCount3D] = {0, 1, 1, 0};
    for (DWORD stage = 0; stage < kStageCount3D; ++stage) {
        dev->SetTextureStageState(stage, D3DTSS_ADDRESS, static_cast<DWORD>(d->textureAddress));
    }
    for (DWORD stage = 0; stage < kStageCount3D; ++stage) {
        dev->SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, coordinateIndex[stage]);
    }
    dev->SetRenderState(D3DRENDERSTATE_TEXTUREPERSPECTIVE, static_cast<DWORD>(d->texturePerspective));
    dev->SetRenderState(D3DRENDERSTATE_SHADEMODE, static_cast<DWORD>(d->shadeMode));
    dev->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, static_cast<DWORD>(d->colorKeyEnable));
    dev->SetRenderState(D3DRENDERSTATE_LIGHTING, static_cast<DWORD>(d->lighting));
    dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    dev->SetRenderState(D3DRENDERSTATE_DITHERENABLE, FALSE);
    return 0;
}

int ReapplyDeviceStates3D(int device) {
    Device3D* d = RecordOf(device);
    if (d == nullptr) return -1;
    d->dirty = 1;
    if (d->viewport.dwWidth != 0 && d->viewport.dwHeight != 0) {
        const D3DVIEWPORT7 viewport = d->viewport;
        SetViewport3D(&viewport, device);
    }
    SetColorKeyEnable3D(d->colorKeyEnable, device);
    SetColorKeyEnable3D(0, device);
    ResetDeviceStates3D(device);
    SetFilterModeDevice3D(d->filterMode, device);
    ApplyBlendState3D(device);
    SetZEnable3D(d->zEnable, device);
    SetZWriteEnable3D(d->zWriteEnable, device);
    SetZFunction3D(d->zFunction, device);
    SetCullMode3D(d->cullFlag, device);
    SetTexturePerspective3D(d->texturePerspective, device);
    SetShadeMode3D(d->shadeMode, device);
    d->dirty = 0;
    return 0;
}

// ---- Draw colour, blend texture, filter ----
int UpdateDrawColor3D() {
    const DrawState& state = GetDrawState();
    const uint32_t alpha = state.blendMode != 0 ? static_cast<uint32_t>(state.blendParameter) & 0xFF : 0xFF;
    g_drawColor = (alpha << 24) | (state.colorScale & 0xFFFFFF);
    return 0;
}

uint32_t GetDrawColor3D() { return g_drawColor; }
const BlendTextureInfo3D& GetBlendTextureInfo3D() { return g_blendInfo; }

int SetBlendTexture3D(const GraphRecord* blendGraph, int level, int borderWidth) {
    const int index = GetCurrentDevice3DIndex();
    Device3D* d = RecordOf(index);
    if (d == nullptr) return -1;
    IDirectDrawSurface7* texture = nullptr;
    BlendTextureInfo3D info = {0.0f, 0.0f, 0.0f, 0.0f};
    if (blendGraph != nullptr) {
        const Surface3D* piece = (blendGraph->creation[kCreateTexture] == 1 && blendGraph->pieceCount > 0)
                                     ? GetSurface3D(blendGraph->pieces[0])
                                     : nullptr;
        const SurfaceData* data = piece != nullptr ? SurfaceDataToRecord(piece->surfaceData) : nullptr;
        if (data == nullptr) return -1;
        texture = data->surface;
        info.width = static_cast<float>(data->width);
        info.height = static_cast<float>(data->height);
        info.inverseWidth = 1.0f / info.width;
        info.inverseHeight = 1.0f / info.height;
    }
    if (texture != d->blendTexture || level != d->blendLevel || borderWidth != d->blendBorder || d->dirty) {
        FlushDeviceBatch3D(d);
        d->blendTexture = texture;
        d->blendLevel = level;
        d->blendBorder = borderWidth;
        d->blendStatesPending = 1;
    }
    g_blendInfo = info;
    return 0;
}

int SetTextureFilter3D(int mode) { return SetFilterModeDevice3D(mode, GetCurrentDevice3DIndex()); }

// ---- Viewport and transforms ----
int DrawOriginX3D() { return GetDrawState().windowDrawRect.left; }
int DrawOriginY3D() { return GetDrawState().windowDrawRect.top; }
float DrawZ3D() { return 0.0f; }  // the draw state carries no Z value: drawing lies on the near plane

int SetDrawAreaViewport3D(const RECT* area) {
    if (area == nullptr || area->left >= area->right || area->top >= area->bottom) return -1;
    if (GetDirect3DState().object == nullptr) return -1;
    if (GetDirect3DState().targetNotDrawable) return 0;
    D3DVIEWPORT7 viewport;
    viewport.dwX = static_cast<DWORD>(area->left + DrawOriginX3D());
    viewport.dwY = static_cast<DWORD>(area->top + DrawOriginY3D());
    viewport.dwWidth = static_cast<DWORD>(area->right - area->left);
    viewport.dwHeight = static_cast<DWORD>(area->bottom - area->top);
    viewport.dvMinZ = 0.0f;
    viewport.dvMaxZ = 1.0f;
    return SetViewport3D(&viewport, GetCurrentDevice3DIndex());
}

int SetTransformDevice3D(int state, const float* matrix, int device) {
    Device3D* d = RecordOf(device);
    if (d == nullptr || matrix == nullptr) return -1;
    D3DMATRIX m;
    std::memcpy(&m, matrix, sizeof(m));
    return FAILED(d->device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(state), &m)) ? -1 : 0;
}

int SetWorldTransform3D(const float* matrix) {
    return SetTransformDevice3D(D3DTRANSFORMSTATE_WORLD, matrix, GetCurrentDevice3DIndex());
}
int SetViewTransform3D(const float* matrix) {
    return SetTransformDevice3D(D3DTRANSFORMSTATE_VIEW, matrix, GetCurrentDevice3DIndex());
}
int SetProjectionTransform3D(const float* matrix) {
    return SetTransformDevice3D(D3DTRANSFORMSTATE_PROJECTION, matrix, GetCurrentDevice3DIndex());
}

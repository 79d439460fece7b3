// Render and blend states of the Direct3D back end: the translation of the draw state (blend mode, blend graph,
// colour scale, filter, culling, Z) and of the drawn graph's transparency into render states and texture-stage
// operations, each sent through a per-device cache so that unchanged values neither flush the batch nor reach the
// device. Also the packed draw colour, the blend texture, the transforms and the draw-area viewport.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <stdint.h>

struct Device3D;
struct Surface3D;

// Flags of SetupDrawState3D.
constexpr int kSetupTransparent = 0x01;   // apply the graph's transparency (alpha channel, alpha test or colour key)
constexpr int kSetupPixelExact = 0x02;    // unscaled, so no filter blur
constexpr int kSetupZ = 0x04;             // the draw state's Z enable, Z write and Z function
constexpr int kSetupGouraud = 0x08;
constexpr int kSetupPerspective = 0x10;
constexpr int kSetupForceColorScale = 0x20;
constexpr int kSetupForceBlend = 0x40;

// (destination, source) D3DBLEND factors of blend modes 0..9; -1 leaves both as they are.
struct BlendPair3D {
    int destination, source;
};
extern const BlendPair3D BlendPairTable[10];

// One stage of a stage set-up: the stage count (read from stage 0 only) and six operations, -1 = unchanged.
struct StageSetup3D {
    int count;
    int alphaArg1, alphaArg2, alphaOp;
    int colorArg1, colorArg2, colorOp;
};
// Entry ((o * 2 + K) * 2 + N) * 3 + I: o blend texture present, K colour scale, N blending, I alpha kind (0 none,
// 1 alpha channel, 2 alpha test only).
extern const StageSetup3D StageSetupTable[24][4];
// The entry of untextured drawing: one stage that passes the diffuse colour and alpha.
extern const StageSetup3D UntexturedStageSetup[4];
int StageSetupIndex(int blendTexture, int colorScale, int blend, int alphaKind);

// Brings the current device in line with the draw state before vertices are added; piece null for untextured draws.
int SetupDrawState3D(const Surface3D* piece, int flags);
// Sends the pending blend render states and stage operations; -1 when nothing was pending and the record is clean.
int ApplyBlendState3D(int device);
// Makes `texture` the draw's texture of the record (flushing first); pending flags as a texture change sets them.
void SetDeviceTexture3D(Device3D* d, IDirectDrawSurface7* texture);

// Cached setters: 0 without effect when the value equals the cache and the record is clean; else flush, send, cache.
int SetBlendFlag3D(int flag, int device);
int SetColorScaleFlag3D(int flag, int device);
int SetBlendMode3D(int mode, int alphaTest, int alphaChannel, int device);
int SetFilterModeDevice3D(int mode, int device);
int SetZEnable3D(int flag, int device);
int SetZWriteEnable3D(int flag, int device);
int SetZFunction3D(int function, int device);
int SetCullMode3D(int flag, int device);  // 1 culls counter-clockwise triangles
int SetShadeMode3D(int mode, int device);  // 1 flat, 2 Gouraud
int SetTexturePerspective3D(int flag, int device);
int SetColorKeyEnable3D(int flag, int device);

int ResetDeviceStates3D(int device);
int ReapplyDeviceStates3D(int device);

// The packed ARGB draw colour every vertex carries.
uint32_t GetDrawColor3D();
// The blend texture's size and reciprocals (0 while none is bound).
struct BlendTextureInfo3D {
    float width, height;
    float inverseWidth, inverseHeight;
};
const BlendTextureInfo3D& GetBlendTextureInfo3D();

// Where the draw state places drawing on the render target: the window draw origin (non-zero while the front
// screen of a window is drawn on the whole-desktop primary surface), and the Z every vertex carries.
int DrawOriginX3D();
int DrawOriginY3D();
float DrawZ3D();

// Per-device transforms.
int SetTransformDevice3D(int state, const float* matrix, int device);

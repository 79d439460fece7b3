// The Direct3D 7 device records and their vertex batch: the back end's one state record (object, chosen device,
// texture size limits, texture and Z formats), the four device records with their state caches, scenes, render
// target and viewport, and the per-kind vertex buffers every 3D draw primitive writes into before one DrawPrimitive.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <d3d.h>
#include <stdint.h>

#include "graphics/color/color_format.h"
#include "graphics/d3d/device3d.h"

// ---- Vertices (all positions are pre-transformed screen coordinates) ----
constexpr int kVertexKindColor = 0;
constexpr int kVertexKindTex = 1;
constexpr int kVertexKindBlendTex = 2;
constexpr int kVertexKindCount = 3;

struct VertexColor {
    float x, y, z, rhw;
    uint32_t diffuse;
};
struct VertexTex {
    float x, y, z, rhw;
    uint32_t diffuse;
    float u, v;
};
struct VertexBlendTex {
    float x, y, z, rhw;
    uint32_t diffuse, specular;
    float u1, v1;  // the blend texture
    float u2, v2;  // the drawn texture
};
static_assert(sizeof(VertexColor) == 20, "VertexColor is 20 bytes");
static_assert(sizeof(VertexTex) == 28, "VertexTex is 28 bytes");
static_assert(sizeof(VertexBlendTex) == 40, "VertexBlendTex is 40 bytes");

constexpr DWORD kFvfVertexColor = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;                                       // 0x44
constexpr DWORD kFvfVertexTex = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;                            // 0x144
constexpr DWORD kFvfVertexBlendTex = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;     // 0x2C4
static_assert(kFvfVertexColor == 0x44 && kFvfVertexTex == 0x144 && kFvfVertexBlendTex == 0x2C4, "vertex formats");

// Each buffer holds about 64 KB.
constexpr int kVertexColorCapacity = 3225;
constexpr int kVertexTexCapacity = 2340;
constexpr int kVertexBlendTexCapacity = 1638;

// Capacity, vertex size and flexible vertex format of a vertex kind (0..2).
int VertexKindCapacity(int kind);
int VertexKindStride(int kind);
DWORD VertexKindFvf(int kind);

// ---- Texture formats ----
constexpr int kTextureFormatRows = 9;
constexpr int kTexRowPlain16 = 0;
constexpr int kTexRowPlain32 = 1;
constexpr int kTexRowAlpha16 = 2;      // 4:4:4:4
constexpr int kTexRowAlpha32 = 3;      // 8:8:8:8
constexpr int kTexRowAlphaTest16 = 4;  // 1:5:5:5
constexpr int kTexRowAlphaTest32 = 5;
constexpr int kTexRowTarget16 = 6;
constexpr int kTexRowTarget32 = 7;
constexpr int kTexRowTargetAlpha = 8;

// ---- The back end's state ----
struct Direct3DState {
    IDirect3D7* object;  // null = back end down
    int current;         // index of the current device record
    D3DDEVICEDESC7 deviceDesc;
    unsigned int minTextureSize, maxTextureSize;
    TextureFormatRow textureFormats[kTextureFormatRows];
    int frontTarget;  // 1 while the front screen is the draw target: every 3D draw ends the scene at once
    DDPIXELFORMAT zBufferFormat;  // dwSize 0 until one was found
    int targetNotDrawable;        // every 3D draw primitive returns 0 at once while set
    int screenCopyMethod[2];      // remembered screen-to-graph methods: [0] plain graphs, [1] graphs with alpha
    int started;
};
Direct3DState& GetDirect3DState();

// ---- Device records ----
constexpr int kDevice3DCount = 4;
constexpr int kStageCount3D = 4;

// What was last sent to one texture stage.
struct StageState3D {
    IDirectDrawSurface7* texture;
    int alphaArg1, alphaArg2, alphaOp;
    int colorArg1, colorArg2, colorOp;
};

struct VertexBatch3D {
    uint8_t* write;  // next free vertex in the buffer of `kind`
    int count;
    int kind;
    int primitive;  // D3DPRIMITIVETYPE of the pending vertices; 0 until the first draw
};

struct Device3D {
    int inUse;
    IDirect3DDevice7* device;
    IDirectDrawSurface7* defaultTarget;  // the screen surface the device was created on
    IDirectDrawSurface7* currentTarget;  // null until a target was selected
    IDirectDrawSurface7* texture;        // the draw's texture
    IDirectDrawSurface7* blendTexture;
    // Inputs of the blend set-up.
    int blendFlag, colorScaleFlag, blendMode, blendLevel, blendBorder, alphaChannel, alphaTest;
    int blendStatesPending, texturePending;
    int skipDraw;  // a flush discards the vertices instead of drawing them
    int dirty;     // every cached setter sends, equal or not
    // Blend set-up as last sent.
    int alphaTestEnable, alphaRef, alphaFunc, alphaBlendEnable;
    uint32_t textureFactor;
    int srcBlend, dstBlend;
    int stageCount;
    StageState3D stages[kStageCount3D];
    int inScene;
    // Cached render states.
    int filterMode, zEnable, zWriteEnable, zFunction, shadeMode, cullFlag, textureAddress, texturePerspective,
        lighting, colorKeyEnable;
    VertexBatch3D batch;
    D3DVIEWPORT7 viewport;
    VertexColor colorVertices[kVertexColorCapacity];
    VertexTex texVertices[kVertexTexCapacity];
    VertexBlendTex blendVertices[kVertexBlendTexCapacity];
    uint8_t* buffers[kVertexKindCount];
};

// The record of an index (null outside 0..3); CurrentDevice3D: the current record when the object exists and the
// record is in use, else null.
Device3D* GetDevice3DRecord(int index);
Device3D* CurrentDevice3D();
int GetCurrentDevice3DIndex();

int CreateDevice3D(IDirectDrawSurface7* surface);  // record index or -1
int DeleteDevice3D(int index);
int DeleteAllDevices3D();
int RecreateDevice3D(int index);
int ReleaseDevice3DInterface(int index);
int BeginScene3D(int index);
int EndScene3D(int index);
// null selects the record's default surface.
int SetRenderTarget3D(IDirectDrawSurface7* surface, int index);
int SetViewport3D(const D3DVIEWPORT7* viewport, int index);

// ---- The vertex batch ----
// Draws the pending vertices (unless the program is quitting or skip-draw is set) and empties the batch.
void FlushDeviceBatch3D(Device3D* d);
// Makes `kind` the batch's vertex kind, sending what is pending of another kind first.
void SelectBatchKind3D(Device3D* d, int kind);
// Room for `vertices` more vertices of `primitive` in the current kind: flushes first when other primitives are
// pending or the capacity would be passed. Returns the write pointer.
void* ReserveBatch3D(Device3D* d, int primitive, int vertices);
// Advances the batch past `vertices` vertices written at the reserved pointer.
void CommitBatch3D(Device3D* d, int primitive, int vertices);

// ---- Start-up pieces, reachable on their own ----
// Context of EnumDevice3DCallback: the screen depth to match, and the description found.
struct DeviceSearch3D {
    int screenBits;
    int found;
    D3DDEVICEDESC7 desc;
};
HRESULT CALLBACK EnumDevice3DCallback(char* description, char* name, D3DDEVICEDESC7* desc, void* context);
// Context of EnumZBufferFormatCallback.
struct ZFormatSearch3D {
    int found;
    DDPIXELFORMAT format;
};
HRESULT CALLBACK EnumZBufferFormatCallback(DDPIXELFORMAT* format, void* context);
// Context of EnumTextureFormatCallback: the rows being filled and the screen's layout.
struct TextureFormatSearch3D {
    TextureFormatRow rows[kTextureFormatRows];
    ColorFormat screen;
    int found16;  // a 16-bit plain format was seen
};
HRESULT CALLBACK EnumTextureFormatCallback(DDPIXELFORMAT* format, void* context);
// The fallback copies of the table, in table order. -1 when no 16-bit plain format was found.
int CompleteTextureFormatTable(TextureFormatSearch3D* search);
// Texture size limits of a device description (a reported 0 gives 32 and 256).
void TextureSizeLimitsOf(const D3DDEVICEDESC7& desc, unsigned int* minSize, unsigned int* maxSize);
// Row 0..8 for the four creation values that decide it.
int TextureFormatIndexOf(int alphaChannel, int alphaTest, int is32Bit, int renderTarget);

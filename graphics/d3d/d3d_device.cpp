// Start and end of the Direct3D back end, the choice of device, the texture and Z format tables, the four device
// records with their scenes, render target and viewport, device loss, and the vertex batch that gathers the
// vertices of every 3D draw primitive until a state change, a full buffer or the end of the scene sends them.
#include "graphics/d3d/d3d_device.h"

#include <cstring>

#include "graphics/d3d/d3d_state.h"
#include "graphics/d3d/d3d_surface.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "runtime/log.h"
#include "runtime/window.h"

namespace {

Direct3DState g_d3d;
Device3D g_devices[kDevice3DCount];

Device3D* RecordInUse(int index) {
    if (g_d3d.object == nullptr || index < 0 || index >= kDevice3DCount) return nullptr;
    Device3D* d = &g_devices[index];
    return d->inUse ? d : nullptr;
}

// Every vertex starts at z = 0, rhw = 1 (and white specular): draw primitives write only what changes.
void PrefillBuffers(Device3D* d) {
    for (VertexColor& v : d->colorVertices) {
        v.z = 0.0f;
        v.rhw = 1.0f;
    }
    for (VertexTex& v : d->texVertices) {
        v.z = 0.0f;
        v.rhw = 1.0f;
    }
    for (VertexBlendTex& v : d->blendVertices) {
        v.z = 0.0f;
        v.rhw = 1.0f;
        v.specular = 0xFFFFFFFFu;
    }
    d->buffers[kVertexKindColor] = reinterpret_cast<uint8_t*>(d->colorVertices);
    d->buffers[kVertexKindTex] = reinterpret_cast<uint8_t*>(d->texVertices);
    d->buffers[kVertexKindBlendTex] = reinterpret_cast<uint8_t*>(d->blendVertices);
}

bool RowEmpty(const TextureFormatRow& row) { return row.format.bitDepth == 0; }

void LogTextureFormats(const Direct3DState& s) {
    LogIndentIn();
    WriteLogFormat("テクスチャ最大幅:%u 最小幅:%u ", s.maxTextureSize, s.minTextureSize);
    const DWORD caps = s.deviceDesc.dpcTriCaps.dwTextureCaps;
    WriteLogFormat("描画制限: D_D3DPTEXTURECAPS_POW2 = %d  D_D3DPTEXTURECAPS_SQUAREONLY = %d ",
                   (caps & D3DPTEXTURECAPS_POW2) ? 1 : 0, (caps & D3DPTEXTURECAPS_SQUAREONLY) ? 1 : 0);
    WriteLog("テクスチャピクセルフォーマット\n");
    WriteLog("\t通常グラフィック用\n");
    for (int row = kTexRowPlain16; row <= kTexRowPlain32; ++row) {
        const ColorFormat& f = s.textureFormats[row].format;
        WriteLogFormat("\t\t BIT:%u  RED:%u  GREEN:%u  BLUE:%u ", f.bitDepth, f.redWidth, f.greenWidth, f.blueWidth);
        WriteLogPrintf("\t\t RED:%06x GREEN:%06x BLUE:%06x \n", f.redMask, f.greenMask, f.blueMask);
    }
    WriteLog("\tアルファチャンネル付きグラフィック用\n");
    for (int row = kTexRowAlpha16; row <= kTexRowAlpha32; ++row) {
        const ColorFormat& f = s.textureFormats[row].format;
        WriteLogFormat("\t\t BIT:%u  ALPHA:%u  RED:%u  GREEN:%u  BLUE:%u ", f.bitDepth, f.alphaWidth, f.redWidth,
                       f.greenWidth, f.blueWidth);
        WriteLogPrintf("\t\t ALPHA:%08x RED:%08x GREEN:%08x BLUE:%08x \n", f.alphaMask, f.redMask, f.greenMask,
                       f.blueMask);
    }
    LogIndentOut();
}

// The Direct3D object of the display object, or null with the failure logged.
IDirect3D7* QueryDirect3DObject() {
    IDirectDraw7* display = GetDisplayObject();
    void* object = nullptr;
    if (display == nullptr || FAILED(display->QueryInterface(IID_IDirect3D7, &object)) || object == nullptr) {
        WriteLog("Direct3Dオブジェクトの作成に失敗しました\n");
        return nullptr;
    }
    return static_cast<IDirect3D7*>(object);
}

}  // namespace

Direct3DState& GetDirect3DState() { return g_d3d; }

Device3D* GetDevice3DRecord(int index) {
    return (index >= 0 && index < kDevice3DCount) ? &g_devices[index] : nullptr;
}

Device3D* CurrentDevice3D() { return RecordInUse(g_d3d.current); }
int GetCurrentDevice3DIndex() { return g_d3d.current; }

IDirect3DDevice7* GetCurrentDevice3D() {
    Device3D* d = CurrentDevice3D();
    return d != nullptr ? d->device : nullptr;
}

int VertexKindCapacity(int kind) {
    static const int capacities[kVertexKindCount] = {kVertexColorCapacity, kVertexTexCapacity,
                                                     kVertexBlendTexCapacity};
    return (kind >= 0 && kind < kVertexKindCount) ? capacities[kind] : 0;
}

int VertexKindStride(int kind) {
    static const int strides[kVertexKindCount] = {sizeof(VertexColor), sizeof(VertexTex), sizeof(VertexBlendTex)};
    return (kind >= 0 && kind < kVertexKindCount) ? strides[kind] : 0;
}

DWORD VertexKindFvf(int kind) {
    static const DWORD formats[kVertexKindCount] = {kFvfVertexColor, kFvfVertexTex, kFvfVertexBlendTex};
    return (kind >= 0 && kind < kVertexKindCount) ? formats[kind] : 0;
}

// ---- Enumeration ----
HRESULT CALLBACK EnumDevice3DCallback(char*, char*, D3DDEVICEDESC7* desc, void* context) {
    auto* search = static_cast<DeviceSearch3D*>(context);
    const bool tnl = IsEqualGUID(desc->deviceGUID, IID_IDirect3DTnLHalDevice) != 0;
    const bool hal = IsEqualGUID(desc->deviceGUID, IID_IDirect3DHALDevice) != 0;
    if (!tnl && !hal) return D3DENUMRET_OK;  // never a software device
    const DWORD depth = search->screenBits == 16 ? DDBD_16 : search->screenBits == 32 ? DDBD_32 : 0;
    if (depth == 0 || (desc->dwDeviceRenderBitDepth & depth) == 0) return D3DENUMRET_OK;
    search->found = 1;
    search->desc = *desc;
    return tnl ? D3DENUMRET_CANCEL : D3DENUMRET_OK;  // a later HAL device replaces an earlier one; TnL ends it
}

HRESULT CALLBACK EnumZBufferFormatCallback(DDPIXELFORMAT* format, void* context) {
    auto* search = static_cast<ZFormatSearch3D*>(context);
    if (format->dwFlags != DDPF_ZBUFFER || format->dwZBufferBitDepth != 16) return D3DENUMRET_OK;
    search->found = 1;
    search->format = *format;
    return D3DENUMRET_CANCEL;
}

HRESULT CALLBACK EnumTextureFormatCallback(DDPIXELFORMAT* format, void* context) {
    auto* search = static_cast<TextureFormatSearch3D*>(context);
    const DWORD passedOver = DDPF_LUMINANCE | DDPF_BUMPLUMINANCE | DDPF_BUMPDUDV | DDPF_FOURCC | DDPF_ALPHA;
    if ((format->dwFlags & passedOver) != 0 || (format->dwFlags & DDPF_RGB) == 0) return D3DENUMRET_OK;
    TextureFormatRow row;
    std::memset(&row, 0, sizeof(row));
    row.pixelFormat = *format;
    if (SetColorFormatFromDDPixelFormat(format, &row.format) != 0) return D3DENUMRET_OK;
    if (format->dwFlags & DDPF_ALPHAPIXELS) {
        switch (format->dwRGBAlphaBitMask) {
            case 0xF000u:
                search->rows[kTexRowAlpha16] = row;
                break;
            case 0xFF000000u:
                search->rows[kTexRowAlpha32] = row;
                search->rows[kTexRowAlphaTest32] = row;
                break;
            case 0x8000u:
                search->rows[kTexRowAlphaTest16] = row;
                break;
            default:
                break;
        }
        return D3DENUMRET_OK;
    }
    const int bits = static_cast<int>(format->dwRGBBitCount);
    if (bits != 16 && bits != 32) return D3DENUMRET_OK;
    TextureFormatRow& target = search->rows[bits == 16 ? kTexRowPlain16 : kTexRowPlain32];
    if (RowEmpty(target) || IsColorFormatSame(&row.format, &search->screen)) target = row;
    if (bits == 16) search->found16 = 1;
    return D3DENUMRET_OK;
}

int CompleteTextureFormatTable(TextureFormatSearch3D* search) {
    TextureFormatRow* rows = search->rows;
    if (!search->found16 || RowEmpty(rows[kTexRowPlain16])) return -1;
    if (RowEmpty(rows[kTexRowPlain32])) rows[kTexRowPlain32] = rows[kTexRowPlain16];
    if (RowEmpty(rows[kTexRowAlpha32])) rows[kTexRowAlpha32] = rows[kTexRowAlpha16];
    if (RowEmpty(rows[kTexRowAlphaTest16])) rows[kTexRowAlphaTest16] = rows[kTexRowAlpha16];
    if (RowEmpty(rows[kTexRowAlphaTest32])) rows[kTexRowAlphaTest32] = rows[kTexRowAlpha32];
    rows[kTexRowTarget16] = rows[kTexRowPlain16];
    rows[kTexRowTarget32] = rows[kTexRowPlain32];
    rows[kTexRowTargetAlpha] = rows[kTexRowAlpha32];
    return 0;
}

void TextureSizeLimitsOf(const D3DDEVICEDESC7& desc, unsigned int* minSize, unsigned int* maxSize) {
    const DWORD smallest = desc.dwMinTextureWidth < desc.dwMinTextureHeight ? desc.dwMinTextureWidth
                                                                            : desc.dwMinTextureHeight;
    const DWORD largest = desc.dwMaxTextureWidth < desc.dwMaxTextureHeight ? desc.dwMaxTextureWidth
                                                                           : desc.dwMaxTextureHeight;
    *minSize = smallest == 0 ? 32u : static_cast<unsigned int>(smallest);
    *maxSize = largest == 0 ? 256u : static_cast<unsigned int>(largest);
}

int TextureFormatIndexOf(int alphaChannel, int alphaTest, int is32Bit, int renderTarget) {
    if (renderTarget) return (alphaChannel || alphaTest) ? kTexRowTargetAlpha : (is32Bit ? kTexRowTarget32 : kTexRowTarget16);
    if (alphaChannel) return is32Bit ? kTexRowAlpha32 : kTexRowAlpha16;
    return (is32Bit ? kTexRowPlain32 : kTexRowPlain16) + (alphaTest ? 4 : 0);
}

int GetTextureFormatIndex(const unsigned char* creation) {
    return TextureFormatIndexOf(creation[1], creation[4], creation[5] == 32, creation[2]);
}

const TextureFormatRow* GetTextureFormatRow(int row) {
    if (row < 0 || row >= kTextureFormatRows || RowEmpty(g_d3d.textureFormats[row])) return nullptr;
    return &g_d3d.textureFormats[row];
}

const ColorFormat* GetTextureColorData(int row) {
    const TextureFormatRow* r = GetTextureFormatRow(row);
    return r != nullptr ? &r->format : nullptr;
}

const ColorFormat* TextureFormatRowFromFlags(const unsigned char* creation) {
    return GetTextureColorData(GetTextureFormatIndex(creation));
}

const ColorFormat* GetFontTextureFormat(int alphaChannel, int alphaTest, int is32Bit, int renderTarget) {
    return GetTextureColorData(TextureFormatIndexOf(alphaChannel, alphaTest, is32Bit, renderTarget));
}

const DDPIXELFORMAT* GetZBufferFormat() {
    return g_d3d.zBufferFormat.dwSize != 0 ? &g_d3d.zBufferFormat : nullptr;
}

// ---- Start and end ----
int InitDirect3D() {
    Direct3DState& s = g_d3d;
    // A running back end stays as it is: clearing the state first would orphan its object, devices and textures.
    if (s.object != nullptr || s.started) return -1;
    WriteLog("Direct3D 関連の初期化を行います\n");
    std::memset(&s, 0, sizeof(s));
    s.screenCopyMethod[0] = s.screenCopyMethod[1] = -1;
    WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトを取得します\n");
    s.object = QueryDirect3DObject();
    if (s.object == nullptr) return -1;
    WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトを取得しました\n");

    auto fail = [&s](const char* text) {
        if (text != nullptr) WriteLog(text);
        DeleteAllDevices3D();
        s.object->Release();
        std::memset(&s, 0, sizeof(s));
        s.screenCopyMethod[0] = s.screenCopyMethod[1] = -1;
        return -1;
    };

    DeviceSearch3D search;
    std::memset(&search, 0, sizeof(search));
    search.screenBits = GetDisplayState().screenBits;
    if (FAILED(s.object->EnumDevices(EnumDevice3DCallback, &search)) || !search.found) {
        return fail("現在の画面モードで使用できる描画デバイスが見つかりませんでした\n");
    }
    s.deviceDesc = search.desc;

    ZFormatSearch3D z;
    std::memset(&z, 0, sizeof(z));
    if (FAILED(s.object->EnumZBufferFormats(s.deviceDesc.deviceGUID, EnumZBufferFormatCallback, &z)) || !z.found) {
        return fail("使用可能なＺバッファが見つかりませんでした\n");
    }
    s.zBufferFormat = z.format;

    IDirectDrawSurface7* front = GetOutputPrimarySurface();
    const int index = front != nullptr ? CreateDevice3D(front) : -1;
    if (index < 0) return fail(nullptr);
    s.current = index;
    SetRenderTarget3D(front, index);
    Device3D* d = &g_devices[index];
    for (int stage = 3; stage >= 0; --stage) {
        const HRESULT hr = d->device->SetTextureStageState(stage, D3DTSS_ADDRESS, D3DTADDRESS_CLAMP);
        if (FAILED(hr) && stage == 0) return fail(nullptr);
    }

    TextureFormatSearch3D formats;
    std::memset(&formats, 0, sizeof(formats));
    if (const ColorFormat* screen = GetScreenColorFormat()) formats.screen = *screen;
    if (FAILED(d->device->EnumTextureFormats(EnumTextureFormatCallback, &formats)) ||
        CompleteTextureFormatTable(&formats) != 0) {
        return fail("使用可能なテクスチャフォーマットが見つかりませんでした\n");
    }
    std::memcpy(s.textureFormats, formats.rows, sizeof(s.textureFormats));
    s.frontTarget = 1;
    TextureSizeLimitsOf(s.deviceDesc, &s.minTextureSize, &s.maxTextureSize);
    s.screenCopyMethod[0] = s.screenCopyMethod[1] = -1;
    s.targetNotDrawable = 0;

    LogTextureFormats(s);
    WriteLog("Direct3D 関連の初期化は正常に終了しました\n");
    s.started = 1;
    return 0;
}

int TerminateDirect3D() {
    Direct3DState& s = g_d3d;
    if (s.object == nullptr && !s.started) return -1;
    WriteLog("Direct3D 関連の終了処理を行います\n");
    EndCurrentScene3D();
    s.frontTarget = 0;
    if (Device3D* d = CurrentDevice3D()) {
        FlushDeviceBatch3D(d);
        if (d->device != nullptr) d->device->SetTexture(0, nullptr);
        d->texture = nullptr;
    }
    ReleaseAllSurfaces3D();
    DeleteAllDevices3D();
    if (s.object != nullptr) {
        s.object->Release();
        s.object = nullptr;
    }
    WriteLog("Direct3D 関連の終了処理は正常に終了しました\n");
    s.started = 0;
    return 0;
}

int ReleaseDirect3DObject() {
    Direct3DState& s = g_d3d;
    if (!s.started) return -1;
    ReleaseDevice3DInterface(s.current);
    WriteLog("Ｄｉｒｅｃｔ３Ｄデバイスを削除しました\n");
    WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトを解放します\n");
    if (s.object != nullptr) {
        s.object->Release();
        s.object = nullptr;
        WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトを解放しました\n");
    } else {
        WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトは既に解放されています\n");
    }
    return 0;
}

int AcquireDirect3DObject() {
    Direct3DState& s = g_d3d;
    if (!s.started) return 0;
    WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトを取得します\n");
    if (s.object != nullptr) {
        WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトは既に取得されていますn");
        return 0;
    }
    s.object = QueryDirect3DObject();
    if (s.object == nullptr) return -1;
    WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトは正常に取得されました\n");
    Device3D* d = RecordInUse(s.current);
    if (d == nullptr) return -1;
    d->defaultTarget = GetOutputPrimarySurface();
    IDirectDrawSurface7* target = GetDrawTargetSurface();
    d->currentTarget = target != nullptr ? target : d->defaultTarget;
    return RecreateDevice3D(s.current);
}

// ---- Device records ----
int CreateDevice3D(IDirectDrawSurface7* surface) {
    Direct3DState& s = g_d3d;
    if (s.object == nullptr || surface == nullptr) return -1;
    int index = -1;
    for (int i = 0; i < kDevice3DCount; ++i) {
        if (!g_devices[i].inUse) {
            index = i;
            break;
        }
    }
    if (index < 0) return -1;
    Device3D* d = &g_devices[index];
    std::memset(d, 0, sizeof(*d));
    WriteLog("３Ｄデバイスを作成します... ");
    if (FAILED(s.object->CreateDevice(s.deviceDesc.deviceGUID, surface, &d->device)) || d->device == nullptr) {
        d->device = nullptr;
        WriteLog("３Ｄデバイスの作成に失敗しました\n");
        return -1;
    }
    PrefillBuffers(d);
    d->batch.kind = kVertexKindTex;
    d->batch.write = d->buffers[kVertexKindTex];
    d->batch.count = 0;

    IDirect3DDevice7* device = d->device;
    for (DWORD stage = 0; stage < kStageCount3D; ++stage) {
        device->SetTextureStageState(stage, D3DTSS_ADDRESS, D3DTADDRESS_CLAMP);
        device->SetTextureStageState(stage, D3DTSS_MAGFILTER, D3DTFG_POINT);
        device->SetTextureStageState(stage, D3DTSS_MINFILTER, D3DTFN_POINT);
    }
    device->SetRenderState(D3DRENDERSTATE_COLORKEYBLENDENABLE, FALSE);
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE);
    device->SetRenderState(D3DRENDERSTATE_TEXTUREPERSPECTIVE, FALSE);
    device->SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_FLAT);
    device->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, FALSE);
    device->SetRenderState(D3DRENDERSTATE_DITHERENABLE, FALSE);

    d->filterMode = 0;
    d->zEnable = 1;
    d->zWriteEnable = 0;
    d->zFunction = D3DCMP_LESSEQUAL;
    d->shadeMode = D3DSHADE_FLAT;
    d->cullFlag = 0;
    d->textureAddress = D3DTADDRESS_CLAMP;
    d->texturePerspective = 0;
    d->lighting = 0;
    d->colorKeyEnable = 0;
    d->inScene = 0;
    d->blendLevel = -1;
    d->blendStatesPending = 1;
    // The blend set-up caches start from the device's own defaults, so that a re-send while dirty is valid.
    d->alphaFunc = D3DCMP_ALWAYS;
    d->srcBlend = D3DBLEND_ONE;
    d->dstBlend = D3DBLEND_ZERO;
    d->textureFactor = 0xFFFFFFFFu;
    for (StageState3D& stage : d->stages) {
        stage.texture = nullptr;
        stage.alphaArg1 = D3DTA_TEXTURE;
        stage.alphaArg2 = D3DTA_DIFFUSE;
        stage.alphaOp = D3DTOP_DISABLE;
        stage.colorArg1 = D3DTA_TEXTURE;
        stage.colorArg2 = D3DTA_DIFFUSE;
        stage.colorOp = D3DTOP_DISABLE;
    }
    d->stageCount = 0;
    d->inUse = 1;
    d->defaultTarget = surface;
    d->currentTarget = nullptr;
    d->texture = nullptr;
    d->blendTexture = nullptr;
    ReapplyDeviceStates3D(index);
    WriteLog("３Ｄデバイスの作成に成功しました\n");
    return index;
}

int DeleteDevice3D(int index) {
    if (index < 0 || index >= kDevice3DCount || !g_devices[index].inUse) return -1;
    Device3D* d = &g_devices[index];
    if (d->device != nullptr) {
        if (d->inScene) d->device->EndScene();
        d->device->Release();
    }
    std::memset(d, 0, sizeof(*d));
    WriteLog("３Ｄデバイスの削除は正常に終了しました\n");
    return 0;
}

int DeleteAllDevices3D() {
    for (int i = 0; i < kDevice3DCount; ++i) {
        if (g_devices[i].inUse) DeleteDevice3D(i);
    }
    return 0;
}

int ReleaseDevice3DInterface(int index) {
    Device3D* d = RecordInUse(index);
    if (d == nullptr) return -1;
    if (d->device != nullptr && d->inScene) d->device->EndScene();
    d->inScene = 0;
    d->batch.count = 0;
    d->batch.write = d->buffers[d->batch.kind];
    ReleaseAllSurface3DTextures();
    // What the record points at is gone with the textures: keeping the pointers would bind freed surfaces later.
    d->texture = nullptr;
    d->blendTexture = nullptr;
    for (StageState3D& stage : d->stages) stage.texture = nullptr;
    if (d->device != nullptr) {
        d->device->Release();
        d->device = nullptr;
    }
    return 0;
}

int RecreateDevice3D(int index) {
    Device3D* d = RecordInUse(index);
    if (d == nullptr) return -1;
    if (d->device != nullptr) return 0;
    WriteLog("３Ｄデバイスを作成します... ");
    if (d->defaultTarget == nullptr ||
        FAILED(g_d3d.object->CreateDevice(g_d3d.deviceDesc.deviceGUID, d->defaultTarget, &d->device)) ||
        d->device == nullptr) {
        d->device = nullptr;
        WriteLog("３Ｄデバイスの作成に失敗しました\n");
        return -1;
    }
    d->device->SetRenderState(D3DRENDERSTATE_DITHERENABLE, FALSE);
    WriteLog("３Ｄデバイスの作成に成功しました\n");
    d->dirty = 1;
    d->inScene = 0;
    if (d->currentTarget != nullptr && d->currentTarget != d->defaultTarget) {
        SetRenderTarget3D(d->currentTarget, index);
    } else {
        d->currentTarget = d->defaultTarget;
    }
    d->texture = nullptr;
    d->batch.count = 0;
    d->batch.write = d->buffers[d->batch.kind];
    SetBlendMode3D(d->blendMode, d->alphaTest, d->alphaChannel, index);
    SetCullMode3D(d->cullFlag, index);
    SetFilterModeDevice3D(d->filterMode, index);
    SetColorKeyEnable3D(d->colorKeyEnable, index);
    SetDrawAreaViewport3D(&GetDrawState().drawArea);
    ReapplyDeviceStates3D(index);
    ApplyBlendState3D(index);
    RecreateAllSurface3DTextures();
    // The blend texture was released with the others; bind its new surface again.
    const DrawState& state = GetDrawState();
    if (state.blendGraph != -1) {
        if (const GraphRecord* blend = GetGraphRecord(state.blendGraph)) {
            SetBlendTexture3D(blend, d->blendLevel, d->blendBorder);
        }
    }
    d->dirty = 0;
    return 0;
}

// ---- Scenes, render target, viewport ----
int BeginScene3D(int index) {
    Device3D* d = RecordInUse(index);
    if (d == nullptr || d->device == nullptr) return -1;
    if (d->inScene) return 0;
    if (FAILED(d->device->BeginScene())) return -1;
    d->inScene = 1;
    return 0;
}

int EndScene3D(int index) {
    Device3D* d = RecordInUse(index);
    if (d == nullptr || d->device == nullptr) return -1;
    if (!d->inScene) return 0;
    FlushDeviceBatch3D(d);
    d->device->EndScene();
    d->inScene = 0;
    return 0;
}

int EndCurrentScene3D() { return EndScene3D(g_d3d.current); }

int FlushVertexBatch3D() {
    Device3D* d = CurrentDevice3D();
    if (d == nullptr) return -1;
    FlushDeviceBatch3D(d);
    return 0;
}

int SetRenderTarget3D(IDirectDrawSurface7* surface, int index) {
    Device3D* d = RecordInUse(index);
    if (d == nullptr || d->device == nullptr) return -1;
    if (surface == nullptr) surface = d->defaultTarget;
    if (surface == d->currentTarget && !d->dirty) return 0;
    FlushDeviceBatch3D(d);
    if (FAILED(d->device->SetRenderTarget(surface, 0))) return -1;
    d->currentTarget = surface;
    // A new render target resets the device's viewport to the whole surface: the cached one no longer holds.
    std::memset(&d->viewport, 0, sizeof(d->viewport));
    return 0;
}

int SetViewport3D(const D3DVIEWPORT7* viewport, int index) {
    Device3D* d = RecordInUse(index);
    if (d == nullptr || d->device == nullptr || viewport == nullptr || d->currentTarget == nullptr) return -1;
    if (!d->dirty && viewport->dwX == d->viewport.dwX && viewport->dwY == d->viewport.dwY &&
        viewport->dwWidth == d->viewport.dwWidth && viewport->dwHeight == d->viewport.dwHeight) {
        return 0;
    }
    FlushDeviceBatch3D(d);
    EndScene3D(index);
    D3DVIEWPORT7 copy = *viewport;
    const HRESULT hr = d->device->SetViewport(&copy);
    if (FAILED(hr)) {
        WriteLogPrintf("ビューポートのセットに失敗しました ErrorCode %x\n", static_cast<unsigned int>(hr));
        return -1;
    }
    d->viewport = copy;
    return 0;
}

// ---- The vertex batch ----
void FlushDeviceBatch3D(Device3D* d) {
    VertexBatch3D& b = d->batch;
    if (b.count > 0 && !IsQuitRequested() && !d->skipDraw && d->device != nullptr) {
        d->device->DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(b.primitive), VertexKindFvf(b.kind),
                                 d->buffers[b.kind], static_cast<DWORD>(b.count), 0);
    }
    b.count = 0;
    b.write = d->buffers[b.kind];
}

void SelectBatchKind3D(Device3D* d, int kind) {
    if (d->batch.kind == kind) return;
    if (d->batch.count > 0) FlushDeviceBatch3D(d);
    d->batch.kind = kind;
    d->batch.count = 0;
    d->batch.write = d->buffers[kind];
}

void* ReserveBatch3D(Device3D* d, int primitive, int vertices) {
    VertexBatch3D& b = d->batch;
    if (b.count > 0 && (b.primitive != primitive || b.count + vertices > VertexKindCapacity(b.kind))) {
        FlushDeviceBatch3D(d);
    }
    return b.write;
}

void CommitBatch3D(Device3D* d, int primitive, int vertices) {
    VertexBatch3D& b = d->batch;
    b.write += static_cast<size_t>(vertices) * VertexKindStride(b.kind);
    b.count += vertices;
    b.primitive = primitive;
}

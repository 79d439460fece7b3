// A seam on the device calls of the Direct3D back end: a device interface that forwards every call to the real
// device and records the drawing and state calls, put in place of the current device record's interface for the
// length of a scope. The real device still draws, so pixels can be read back as well.
#pragma once

#include <windows.h>
#include <d3d.h>

#include <vector>

#include "graphics/d3d/d3d_device.h"

struct DeviceCall {
    enum Kind { kDraw, kDrawIndexed, kRenderState, kStageState, kTexture, kViewport, kRenderTarget, kBegin, kEnd };
    Kind kind;
    DWORD a, b, c;  // draw: primitive, fvf, vertex count (indexed: index count in c); states: state, value / stage,
                    // type, value; texture: stage, surface != null
};

class CountingDevice : public IDirect3DDevice7 {
public:
    explicit CountingDevice(IDirect3DDevice7* real) : real_(real) {}
    IDirect3DDevice7* real() const { return real_; }
    std::vector<DeviceCall> calls;

    int count(DeviceCall::Kind kind) const {
        int n = 0;
        for (const DeviceCall& c : calls) n += c.kind == kind;
        return n;
    }
    // Calls other than scene brackets.
    int traffic() const {
        int n = 0;
        for (const DeviceCall& c : calls) n += c.kind != DeviceCall::kBegin && c.kind != DeviceCall::kEnd;
        return n;
    }
    const DeviceCall* lastRenderState(DWORD state) const {
        for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
            if (it->kind == DeviceCall::kRenderState && it->a == state) return &*it;
        }
        return nullptr;
    }
    const DeviceCall* lastStageState(DWORD stage, DWORD type) const {
        for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
            if (it->kind == DeviceCall::kStageState && it->a == stage && it->b == type) return &*it;
        }
        return nullptr;
    }

    // IUnknown: the proxy lives on the test's stack; the real device keeps its own count.
    HRESULT WINAPI QueryInterface(REFIID riid, void** object) override { return real_->QueryInterface(riid, object); }
    ULONG WINAPI AddRef() override { return 2; }
    ULONG WINAPI Release() override { return 1; }

    HRESULT WINAPI GetCaps(D3DDEVICEDESC7* desc) override { return real_->GetCaps(desc); }
    HRESULT WINAPI EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK cb, void* ctx) override {
        return real_->EnumTextureFormats(cb, ctx);
    }
    HRESULT WINAPI BeginScene() override {
        calls.push_back({DeviceCall::kBegin, 0, 0, 0});
        return real_->BeginScene();
    }
    HRESULT WINAPI EndScene() override {
        calls.push_back({DeviceCall::kEnd, 0, 0, 0});
        return real_->EndScene();
    }
    HRESULT WINAPI GetDirect3D(IDirect3D7** d3d) override { return real_->GetDirect3D(d3d); }
    HRESULT WINAPI SetRenderTarget(IDirectDrawSurface7* surface, DWORD flags) override {
        calls.push_back({DeviceCall::kRenderTarget, 0, 0, 0});
        return real_->SetRenderTarget(surface, flags);
    }
    HRESULT WINAPI GetRenderTarget(IDirectDrawSurface7** surface) override { return real_->GetRenderTarget(surface); }
    HRESULT WINAPI Clear(DWORD count, D3DRECT* rects, DWORD flags, D3DCOLOR color, D3DVALUE z, DWORD stencil) override {
        return real_->Clear(count, rects, flags, color, z, stencil);
    }
    HRESULT WINAPI SetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override {
        return real_->SetTransform(state, matrix);
    }
    HRESULT WINAPI GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override {
        return real_->GetTransform(state, matrix);
    }
    HRESULT WINAPI SetViewport(D3DVIEWPORT7* data) override {
        calls.push_back({DeviceCall::kViewport, data->dwX, data->dwY, data->dwWidth});
        return real_->SetViewport(data);
    }
    HRESULT WINAPI MultiplyTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override {
        return real_->MultiplyTransform(state, matrix);
    }
    HRESULT WINAPI GetViewport(D3DVIEWPORT7* data) override { return real_->GetViewport(data); }
    HRESULT WINAPI SetMaterial(D3DMATERIAL7* data) override { return real_->SetMaterial(data); }
    HRESULT WINAPI GetMaterial(D3DMATERIAL7* data) override { return real_->GetMaterial(data); }
    HRESULT WINAPI SetLight(DWORD idx, D3DLIGHT7* data) override { return real_->SetLight(idx, data); }
    HRESULT WINAPI GetLight(DWORD idx, D3DLIGHT7* data) override { return real_->GetLight(idx, data); }
    HRESULT WINAPI SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
        calls.push_back({DeviceCall::kRenderState, static_cast<DWORD>(state), value, 0});
        return real_->SetRenderState(state, value);
    }
    HRESULT WINAPI GetRenderState(D3DRENDERSTATETYPE state, LPDWORD value) override {
        return real_->GetRenderState(state, value);
    }
    HRESULT WINAPI BeginStateBlock() override { return real_->BeginStateBlock(); }
    HRESULT WINAPI EndStateBlock(LPDWORD handle) override { return real_->EndStateBlock(handle); }
    HRESULT WINAPI PreLoad(IDirectDrawSurface7* surface) override { return real_->PreLoad(surface); }
    HRESULT WINAPI DrawPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, void* vertices, DWORD count, DWORD flags) override {
        calls.push_back({DeviceCall::kDraw, static_cast<DWORD>(type), fvf, count});
        return real_->DrawPrimitive(type, fvf, vertices, count, flags);
    }
    HRESULT WINAPI DrawIndexedPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, void* vertices, DWORD vertexCount,
                                        WORD* indices, DWORD indexCount, DWORD flags) override {
        calls.push_back({DeviceCall::kDrawIndexed, static_cast<DWORD>(type), vertexCount, indexCount});
        return real_->DrawIndexedPrimitive(type, fvf, vertices, vertexCount, indices, indexCount, flags);
    }
    HRESULT WINAPI SetClipStatus(D3DCLIPSTATUS* status) override { return real_->SetClipStatus(status); }
    HRESULT WINAPI GetClipStatus(D3DCLIPSTATUS* status) override { return real_->GetClipStatus(status); }
    HRESULT WINAPI DrawPrimitiveStrided(D3DPRIMITIVETYPE type, DWORD fvf, D3DDRAWPRIMITIVESTRIDEDDATA* data,
                                        DWORD count, DWORD flags) override {
        return real_->DrawPrimitiveStrided(type, fvf, data, count, flags);
    }
    HRESULT WINAPI DrawIndexedPrimitiveStrided(D3DPRIMITIVETYPE type, DWORD fvf, D3DDRAWPRIMITIVESTRIDEDDATA* data,
                                               DWORD count, WORD* indices, DWORD indexCount, DWORD flags) override {
        return real_->DrawIndexedPrimitiveStrided(type, fvf, data, count, indices, indexCount, flags);
    }
    HRESULT WINAPI DrawPrimitiveVB(D3DPRIMITIVETYPE type, IDirect3DVertexBuffer7* vb, DWORD start, DWORD count,
                                   DWORD flags) override {
        return real_->DrawPrimitiveVB(type, vb, start, count, flags);
    }
    HRESULT WINAPI DrawIndexedPrimitiveVB(D3DPRIMITIVETYPE type, IDirect3DVertexBuffer7* vb, DWORD start,
                                          DWORD count, WORD* indices, DWORD indexCount, DWORD flags) override {
        return real_->DrawIndexedPrimitiveVB(type, vb, start, count, indices, indexCount, flags);
    }
    HRESULT WINAPI ComputeSphereVisibility(D3DVECTOR* centers, D3DVALUE* radii, DWORD count, DWORD flags,
                                           DWORD* ret) override {
        return real_->ComputeSphereVisibility(centers, radii, count, flags, ret);
    }
    HRESULT WINAPI GetTexture(DWORD stage, IDirectDrawSurface7** surface) override {
        return real_->GetTexture(stage, surface);
    }
    HRESULT WINAPI SetTexture(DWORD stage, IDirectDrawSurface7* surface) override {
        calls.push_back({DeviceCall::kTexture, stage, surface != nullptr ? 1u : 0u, 0});
        return real_->SetTexture(stage, surface);
    }
    HRESULT WINAPI GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, LPDWORD value) override {
        return real_->GetTextureStageState(stage, type, value);
    }
    HRESULT WINAPI SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
        calls.push_back({DeviceCall::kStageState, stage, static_cast<DWORD>(type), value});
        return real_->SetTextureStageState(stage, type, value);
    }
    HRESULT WINAPI ValidateDevice(LPDWORD passes) override { return real_->ValidateDevice(passes); }
    HRESULT WINAPI ApplyStateBlock(DWORD handle) override { return real_->ApplyStateBlock(handle); }
    HRESULT WINAPI CaptureStateBlock(DWORD handle) override { return real_->CaptureStateBlock(handle); }
    HRESULT WINAPI DeleteStateBlock(DWORD handle) override { return real_->DeleteStateBlock(handle); }
    HRESULT WINAPI CreateStateBlock(D3DSTATEBLOCKTYPE type, LPDWORD handle) override {
        return real_->CreateStateBlock(type, handle);
    }
    HRESULT WINAPI Load(IDirectDrawSurface7* dst, POINT* point, IDirectDrawSurface7* src, RECT* rect,
                        DWORD flags) override {
        return real_->Load(dst, point, src, rect, flags);
    }
    HRESULT WINAPI LightEnable(DWORD index, WINBOOL enable) override { return real_->LightEnable(index, enable); }
    HRESULT WINAPI GetLightEnable(DWORD index, WINBOOL* enable) override {
        return real_->GetLightEnable(index, enable);
    }
    HRESULT WINAPI SetClipPlane(DWORD index, D3DVALUE* plane) override { return real_->SetClipPlane(index, plane); }
    HRESULT WINAPI GetClipPlane(DWORD index, D3DVALUE* plane) override { return real_->GetClipPlane(index, plane); }
    HRESULT WINAPI GetInfo(DWORD id, void* info, DWORD size) override { return real_->GetInfo(id, info, size); }

private:
    IDirect3DDevice7* real_;
};

// Puts a CountingDevice in place of the current record's device interface until the scope ends.
class CountingDeviceScope {
public:
    CountingDeviceScope() : record_(CurrentDevice3D()), device_(record_ != nullptr ? record_->device : nullptr) {
        if (record_ != nullptr) record_->device = &device_;
    }
    ~CountingDeviceScope() {
        if (record_ != nullptr) record_->device = device_.real();
    }
    CountingDevice* operator->() { return &device_; }
    CountingDevice& device() { return device_; }
    bool installed() const { return record_ != nullptr; }
    CountingDeviceScope(const CountingDeviceScope&) = delete;
    CountingDeviceScope& operator=(const CountingDeviceScope&) = delete;

private:
    Device3D* record_;
    CountingDevice device_;
};

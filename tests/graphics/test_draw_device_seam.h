// A counting seam on the Direct3D device: the device object's own method table is patched so that every state,
// transform, texture, viewport and draw call the runtime makes is counted before it goes on to the device. It
// watches the runtime from outside, whatever path inside the back end made the call.
#pragma once

#include <windows.h>
#include <d3d.h>

#include <cstring>

class DeviceCallCounter {
public:
    // Method slots of IDirect3DDevice7 in its declaration order (the platform's fixed interface layout).
    enum Slot {
        kSetTransform = 11,
        kSetViewport = 13,
        kSetRenderState = 20,
        kDrawPrimitive = 25,
        kDrawIndexedPrimitive = 26,
        kSetTexture = 35,
        kSetTextureStageState = 37,
    };

    explicit DeviceCallCounter(IDirect3DDevice7* device) {
        std::memset(counts_, 0, sizeof(counts_));
        if (device == nullptr) return;
        table_ = *reinterpret_cast<void***>(device);
        Patch(kSetTransform, reinterpret_cast<void*>(&SetTransform));
        Patch(kSetViewport, reinterpret_cast<void*>(&SetViewport));
        Patch(kSetRenderState, reinterpret_cast<void*>(&SetRenderState));
        Patch(kDrawPrimitive, reinterpret_cast<void*>(&DrawPrimitive));
        Patch(kDrawIndexedPrimitive, reinterpret_cast<void*>(&DrawIndexedPrimitive));
        Patch(kSetTexture, reinterpret_cast<void*>(&SetTexture));
        Patch(kSetTextureStageState, reinterpret_cast<void*>(&SetTextureStageState));
    }
    ~DeviceCallCounter() {
        if (table_ == nullptr) return;
        for (int slot = 0; slot < kSlots; ++slot) {
            if (originals_[slot] != nullptr) Write(slot, originals_[slot]);
            originals_[slot] = nullptr;
        }
    }
    DeviceCallCounter(const DeviceCallCounter&) = delete;
    DeviceCallCounter& operator=(const DeviceCallCounter&) = delete;

    bool attached() const { return table_ != nullptr; }
    // Every counted call since the seam was attached (or since Reset).
    int total() const {
        int sum = 0;
        for (int c : counts_) sum += c;
        return sum;
    }
    int count(Slot slot) const { return counts_[slot]; }
    void Reset() { std::memset(counts_, 0, sizeof(counts_)); }

private:
    static constexpr int kSlots = 40;

    void Patch(int slot, void* replacement) {
        originals_[slot] = table_[slot];
        Write(slot, replacement);
    }
    void Write(int slot, void* value) {
        DWORD old = 0;
        VirtualProtect(&table_[slot], sizeof(void*), PAGE_READWRITE, &old);
        table_[slot] = value;
        VirtualProtect(&table_[slot], sizeof(void*), old, &old);
    }

    template <typename Fn>
    static Fn Original(int slot) {
        return reinterpret_cast<Fn>(originals_[slot]);
    }

    static HRESULT WINAPI SetTransform(IDirect3DDevice7* self, D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
        ++counts_[kSetTransform];
        return Original<decltype(&SetTransform)>(kSetTransform)(self, state, matrix);
    }
    static HRESULT WINAPI SetViewport(IDirect3DDevice7* self, D3DVIEWPORT7* viewport) {
        ++counts_[kSetViewport];
        return Original<decltype(&SetViewport)>(kSetViewport)(self, viewport);
    }
    static HRESULT WINAPI SetRenderState(IDirect3DDevice7* self, D3DRENDERSTATETYPE state, DWORD value) {
        ++counts_[kSetRenderState];
        return Original<decltype(&SetRenderState)>(kSetRenderState)(self, state, value);
    }
    static HRESULT WINAPI DrawPrimitive(IDirect3DDevice7* self, D3DPRIMITIVETYPE type, DWORD fvf, void* vertices,
                                        DWORD count, DWORD flags) {
        ++counts_[kDrawPrimitive];
        return Original<decltype(&DrawPrimitive)>(kDrawPrimitive)(self, type, fvf, vertices, count, flags);
    }
    static HRESULT WINAPI DrawIndexedPrimitive(IDirect3DDevice7* self, D3DPRIMITIVETYPE type, DWORD fvf,
                                               void* vertices, DWORD vertexCount, WORD* indices, DWORD indexCount,
                                               DWORD flags) {
        ++counts_[kDrawIndexedPrimitive];
        return Original<decltype(&DrawIndexedPrimitive)>(kDrawIndexedPrimitive)(self, type, fvf, vertices,
                                                                                 vertexCount, indices, indexCount,
                                                                                 flags);
    }
    static HRESULT WINAPI SetTexture(IDirect3DDevice7* self, DWORD stage, IDirectDrawSurface7* surface) {
        ++counts_[kSetTexture];
        return Original<decltype(&SetTexture)>(kSetTexture)(self, stage, surface);
    }
    static HRESULT WINAPI SetTextureStageState(IDirect3DDevice7* self, DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                               DWORD value) {
        ++counts_[kSetTextureStageState];
        return Original<decltype(&SetTextureStageState)>(kSetTextureStageState)(self, stage, type, value);
    }

    void** table_ = nullptr;
    static inline void* originals_[kSlots] = {};
    static inline int counts_[kSlots] = {};
};

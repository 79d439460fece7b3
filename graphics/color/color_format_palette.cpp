// The screen palette of 8-bit display modes: its 256 kept entries (seeded from a built-in table ordered from black
// to white) and the DirectDraw palette object made from them and set on the screen surfaces.
#include <algorithm>

#include "graphics/color/color_format.h"
#include "runtime/log.h"

namespace {

struct Rgb {
    int r, g, b;
};

int Brightness(const Rgb& c) {
    return c.r * 299 + c.g * 587 + c.b * 114;
}

// A 6-level colour cube plus a grey ramp, sorted by brightness, with a few entries at fixed places that other
// code and saved pictures of 8-bit modes rely on.
void BuildBuiltInTable(PALETTEENTRY* out) {
    static const struct {
        int index;
        Rgb colour;
    } kFixed[] = {{0, {0, 0, 0}}, {1, {14, 0, 0}}, {16, {0, 0, 139}}, {160, {128, 128, 128}}, {255, {255, 255, 255}}};
    auto isFixed = [](const Rgb& c) {
        for (const auto& f : kFixed) {
            if (f.colour.r == c.r && f.colour.g == c.g && f.colour.b == c.b) return true;
        }
        return false;
    };
    constexpr int kFixedCount = static_cast<int>(sizeof(kFixed) / sizeof(kFixed[0]));
    Rgb rest[256];
    int count = 0;
    static const int kLevels[6] = {0, 51, 102, 153, 204, 255};
    for (int r : kLevels) {
        for (int g : kLevels) {
            for (int b : kLevels) {
                const Rgb c{r, g, b};
                if (!isFixed(c)) rest[count++] = c;
            }
        }
    }
    // Greys between the cube's levels fill the table up to 256 entries.
    for (int v = 8; count < 256 - kFixedCount; v += 6) {
        const Rgb c{v, v, v};
        if (v % 51 != 0 && !isFixed(c)) rest[count++] = c;
    }
    // Insertion sort: stable, and no heap use for a table of this size.
    for (int i = 1; i < count; ++i) {
        const Rgb c = rest[i];
        int j = i;
        while (j > 0 && Brightness(rest[j - 1]) > Brightness(c)) {
            rest[j] = rest[j - 1];
            --j;
        }
        rest[j] = c;
    }
    int next = 0;
    for (int i = 0; i < 256; ++i) {
        Rgb c = {0, 0, 0};
        bool placed = false;
        for (const auto& f : kFixed) {
            if (f.index == i) {
                c = f.colour;
                placed = true;
            }
        }
        if (!placed) c = rest[next++];
        out[i].peRed = static_cast<BYTE>(c.r);
        out[i].peGreen = static_cast<BYTE>(c.g);
        out[i].peBlue = static_cast<BYTE>(c.b);
        out[i].peFlags = 0;
    }
}

struct ScreenPaletteState {
    PALETTEENTRY entries[256];
    IDirectDrawPalette* palette = nullptr;
    ScreenPaletteState() { BuildBuiltInTable(entries); }
};

ScreenPaletteState& State() {
    static ScreenPaletteState state;
    return state;
}

}  // namespace

PALETTEENTRY* GetScreenPaletteEntries() {
    return State().entries;
}

IDirectDrawPalette* GetScreenPaletteObject() {
    return State().palette;
}

HRESULT WINAPI SetPaletteCallback(IDirectDrawSurface7* surface, DDSURFACEDESC2* /*description*/, void* context) {
    surface->SetPalette(static_cast<IDirectDrawPalette*>(context));
    // EnumAttachedSurfaces hands over a reference with each surface.
    surface->Release();
    return DDENUMRET_OK;
}

int CreateScreenPalette(const ScreenPaletteTarget& target) {
    ScreenPaletteState& s = State();
    if (target.displayObject == nullptr || s.palette != nullptr) return 0;
    if (GetDrawingFormatInfo().screenFormat.bitDepth != 8) return 0;
    BuildBuiltInTable(s.entries);
    if (target.displayObject->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, s.entries, &s.palette, nullptr) !=
        DD_OK) {
        s.palette = nullptr;
        FatalError("パレットの作成に失敗しました");
    }
    if (target.windowMode) {
        if (target.primary != nullptr) target.primary->SetPalette(s.palette);
        if (target.back != nullptr) target.back->SetPalette(s.palette);
    } else if (target.primary != nullptr) {
        target.primary->SetPalette(s.palette);
        target.primary->EnumAttachedSurfaces(s.palette, SetPaletteCallback);
    }
    return 0;
}

int ReleaseScreenPalette() {
    ScreenPaletteState& s = State();
    if (s.palette != nullptr) {
        s.palette->Release();
        s.palette = nullptr;
    }
    return 0;
}

int RefreshScreenPalette() {
    ScreenPaletteState& s = State();
    if (s.palette == nullptr) return 0;
    s.palette->SetEntries(0, 0, 256, s.entries);
    s.palette->GetEntries(0, 0, 256, s.entries);
    return 0;
}

int RestoreScreenPalette(const ScreenPaletteTarget& target) {
    if (GetDrawingFormatInfo().imageColorBits != 8) return 0;
    PALETTEENTRY kept[256];
    std::copy(State().entries, State().entries + 256, kept);
    CreateScreenPalette(target);
    std::copy(kept, kept + 256, State().entries);
    RefreshScreenPalette();
    return 0;
}

// The Direct3D back end on a running runtime: what start-up leaves (device, format table, limits), a second start
// that must change nothing, and device loss: release, re-acquire, draw again and read back the right pixels.
#include "tests/graphics/d3d/test_d3d_support.h"

#include "graphics/d3d/d3d_draw.h"
#include "graphics/surface_data.h"

namespace {

class D3DDevice : public Direct3DTest {};

TEST_F(D3DDevice, StartUpLeavesADeviceTheFormatTableAndTheLimits) {
    const Direct3DState& s = GetDirect3DState();
    ASSERT_NE(s.object, nullptr);
    ASSERT_NE(GetCurrentDevice3D(), nullptr);
    EXPECT_TRUE(IsEqualGUID(s.deviceDesc.deviceGUID, IID_IDirect3DTnLHalDevice) ||
                IsEqualGUID(s.deviceDesc.deviceGUID, IID_IDirect3DHALDevice));
    for (int row = 0; row < kTextureFormatRows; ++row) EXPECT_NE(GetTextureFormatRow(row), nullptr) << row;
    EXPECT_EQ(GetTextureFormatRow(9), nullptr);
    // The render-target rows are copies of the plain and alpha rows.
    EXPECT_EQ(std::memcmp(GetTextureFormatRow(6), GetTextureFormatRow(0), sizeof(TextureFormatRow)), 0);
    EXPECT_EQ(std::memcmp(GetTextureFormatRow(7), GetTextureFormatRow(1), sizeof(TextureFormatRow)), 0);
    EXPECT_EQ(std::memcmp(GetTextureFormatRow(8), GetTextureFormatRow(3), sizeof(TextureFormatRow)), 0);
    EXPECT_EQ(GetTextureFormatRow(3)->format.alphaMask, 0xFF000000u);
    EXPECT_EQ(GetFontTextureFormat(1, 0, 1, 0), &GetTextureFormatRow(3)->format);
    EXPECT_EQ(GetFontTextureFormat(0, 1, 0, 0), &GetTextureFormatRow(4)->format);
    const DDPIXELFORMAT* z = GetZBufferFormat();
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(z->dwFlags, static_cast<DWORD>(DDPF_ZBUFFER));
    EXPECT_EQ(z->dwZBufferBitDepth, 16u);
    unsigned int minSize = 0, maxSize = 0;
    TextureSizeLimitsOf(s.deviceDesc, &minSize, &maxSize);
    EXPECT_EQ(s.minTextureSize, minSize);
    EXPECT_EQ(s.maxTextureSize, maxSize);
    EXPECT_EQ(s.screenCopyMethod[0], -1);
    EXPECT_EQ(s.screenCopyMethod[1], -1);
    EXPECT_EQ(s.targetNotDrawable, 0);
    // The device came up on the front screen and the game's target is the back screen now.
    EXPECT_EQ(CurrentDevice3D()->defaultTarget, GetOutputPrimarySurface());
    EXPECT_EQ(CurrentDevice3D()->currentTarget, GetBackSurface());
}

TEST_F(D3DDevice, ASecondStartLeavesTheRunningBackEndAsItIs) {
    const int graph = MakePatternGraph(32, 32);
    ASSERT_NE(graph, -1);
    const Direct3DState before = GetDirect3DState();
    IDirect3DDevice7* device = GetCurrentDevice3D();
    IDirectDrawSurface7* texture = Surface3DTexture(GetSurface3D(GetGraphRecord(graph)->pieces[0]));
    EXPECT_EQ(InitDirect3D(), -1);
    const Direct3DState& after = GetDirect3DState();
    EXPECT_EQ(after.object, before.object);
    EXPECT_EQ(after.started, 1);
    EXPECT_EQ(after.current, before.current);
    EXPECT_EQ(std::memcmp(after.textureFormats, before.textureFormats, sizeof(before.textureFormats)), 0);
    EXPECT_EQ(GetCurrentDevice3D(), device);
    EXPECT_EQ(Surface3DTexture(GetSurface3D(GetGraphRecord(graph)->pieces[0])), texture);
    FillBack(0x000000);
    ASSERT_EQ(DrawGraph3D(5, 5, GetGraphRecord(graph), 1, 1), 0);
    EXPECT_EQ(CompareBack(RECT{5, 5, 37, 37}, [](int x, int y) { return PatternTexel(x - 5, y - 5); }), "");
}

TEST_F(D3DDevice, DeviceLossReleaseReacquireAndDrawAgain) {
    LimitTextureSize(64);
    const int graph = MakePatternGraph(100, 70);
    const int blend = MakeD3DGraph(64, 64, true, [](int x, int) { return static_cast<uint32_t>(x * 4) << 24; });
    ASSERT_NE(graph, -1);
    ASSERT_NE(blend, -1);
    GraphRecord* g = GetGraphRecord(graph);
    const std::vector<int> pieces(g->pieces, g->pieces + g->pieceCount);
    GetDrawState().blendGraph = blend;
    ASSERT_EQ(SetBlendTexture3D(GetGraphRecord(blend), 128, 1), 0);
    ASSERT_EQ(DrawGraph3D(0, 0, g, 1, 1), 0);
    SettleD3D();

    ASSERT_EQ(ReleaseDirect3DObject(), 0);
    EXPECT_EQ(GetDirect3DState().object, nullptr);
    EXPECT_EQ(GetCurrentDevice3D(), nullptr);
    for (int handle : pieces) {
        const Surface3D* p = GetSurface3D(handle);
        ASSERT_NE(p, nullptr) << "the piece records outlive the device";
        EXPECT_EQ(Surface3DTexture(p), nullptr) << "their textures do not";
    }
    EXPECT_EQ(DrawGraph3D(0, 0, g, 1, 1), -1);
    EXPECT_EQ(ReleaseDirect3DObject(), 0) << "a second release finds nothing more to do";

    ASSERT_EQ(AcquireDirect3DObject(), 0);
    ASSERT_NE(GetCurrentDevice3D(), nullptr);
    EXPECT_EQ(AcquireDirect3DObject(), 0) << "already there";
    for (int handle : pieces) EXPECT_NE(Surface3DTexture(GetSurface3D(handle)), nullptr);
    // The textures come back empty; the restore uploads the pixels again.
    GraphImage image = MakeD3DPicture(100, 70, false, PatternTexel);
    ASSERT_EQ(BltImageToGraph3D(0, 0, g, &image, nullptr), 0);
    ReleaseGraphImage(&image);
    GraphImage ramp = MakeD3DPicture(64, 64, true, [](int x, int) { return static_cast<uint32_t>(x * 4) << 24; });
    ASSERT_EQ(BltImageToGraph3D(0, 0, GetGraphRecord(blend), &ramp, nullptr), 0);
    ReleaseGraphImage(&ramp);

    // The blend graph is still in force on the new device, with the cut at column 32 (beyond its 64 columns the
    // clamped edge texel, alpha 252, lets everything through).
    FillBack(0x000000);
    ASSERT_EQ(DrawGraph3D(10, 20, g, 1, 1), 0);
    EXPECT_EQ(CompareBack(RECT{0, 0, 130, 100},
                          [](int x, int y) {
                              const bool in = x >= 10 + 32 && x < 110 && y >= 20 && y < 90;
                              return in ? PatternTexel(x - 10, y - 20) : 0u;
                          }),
              "");
    GetDrawState().blendGraph = -1;
    ASSERT_EQ(SetBlendTexture3D(nullptr, 0, 0), 0);
    FillBack(0x000000);
    ASSERT_EQ(DrawGraph3D(10, 20, g, 1, 1), 0);
    EXPECT_EQ(CompareBack(RECT{0, 0, 130, 100},
                          [](int x, int y) {
                              const bool in = x >= 10 && x < 110 && y >= 20 && y < 90;
                              return in ? PatternTexel(x - 10, y - 20) : 0u;
                          }),
              "");
}

TEST_F(D3DDevice, TransformsAndTheViewportResetReachTheDevice) {
    // Transforms go to the device as given, without a cache.
    float world[16] = {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1};
    ASSERT_EQ(SetWorldTransform3D(world), 0);
    D3DMATRIX read;
    ASSERT_TRUE(SUCCEEDED(GetCurrentDevice3D()->GetTransform(D3DTRANSFORMSTATE_WORLD, &read)));
    EXPECT_EQ(std::memcmp(&read, world, sizeof(read)), 0);

    // Another render target, then the viewport reset: the draw target and the draw area's viewport come back.
    SetD3DDrawArea(10, 20, 300, 200);
    const int index = GetCurrentDevice3DIndex();
    ASSERT_EQ(SetRenderTarget3D(GetOutputPrimarySurface(), index), 0);
    ASSERT_EQ(ResetScreenViewport3D(0), 0);
    EXPECT_EQ(CurrentDevice3D()->currentTarget, GetBackSurface());
    D3DVIEWPORT7 viewport;
    ASSERT_TRUE(SUCCEEDED(GetCurrentDevice3D()->GetViewport(&viewport)));
    EXPECT_EQ(viewport.dwX, 10u);
    EXPECT_EQ(viewport.dwY, 20u);
    EXPECT_EQ(viewport.dwWidth, 290u);
    EXPECT_EQ(viewport.dwHeight, 180u);
}

}  // namespace

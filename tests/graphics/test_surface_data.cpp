// Surface data: where a record's pixels live, counted locks, the Z buffer made once, colour fill of both storages,
// and the record shared by derived graph pieces that lives until its last piece lets go.
#include "tests/graphics/test_graph_support.h"

#include "graphics/draw.h"
#include "graphics/graph.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/surface_data.h"
#include "runtime/runtime.h"

namespace {

struct Creation {
    unsigned char bytes[kCreationByteCount];
};
Creation Bytes2D(int alpha, int singleChannel, int systemMemory, int bits) {
    Creation c{};
    c.bytes[kCreateAlpha] = static_cast<unsigned char>(alpha);
    c.bytes[kCreateSingleChannel] = static_cast<unsigned char>(singleChannel);
    c.bytes[kCreateSystemMemory] = static_cast<unsigned char>(systemMemory);
    c.bytes[kCreateColorBits] = static_cast<unsigned char>(bits);
    c.bytes[kCreateAlphaTest] = 1;
    return c;
}

// Locks nest on one record (software or DirectDraw): the second lock hands out the first pointer, each lock needs
// its unlock, and an unlock too many is refused.
void ExpectCountedLocks(int handle) {
    int pitch1 = 0, pitch2 = 0;
    void* p1 = nullptr;
    void* p2 = nullptr;
    const RECT part = {2, 3, 6, 7};
    ASSERT_EQ(LockSurfaceData(handle, &pitch1, &p1, 0, &part, nullptr), 0);
    ASSERT_NE(p1, nullptr);
    const RECT other = {0, 0, 1, 1};
    EXPECT_EQ(LockSurfaceData(handle, &pitch2, &p2, 0, &other, nullptr), -2);
    EXPECT_EQ(p2, p1);
    EXPECT_EQ(pitch2, pitch1);
    EXPECT_EQ(SurfaceDataToRecord(handle)->lockCount, 2);
    EXPECT_EQ(UnlockSurfaceData(handle, nullptr), 0);
    EXPECT_EQ(UnlockSurfaceData(handle, nullptr), 0);
    EXPECT_EQ(UnlockSurfaceData(handle, nullptr), -1);
    // After the last unlock a new lock starts afresh.
    ASSERT_EQ(LockSurfaceData(handle, &pitch1, &p1, 0, nullptr, nullptr), 0);
    EXPECT_EQ(UnlockSurfaceData(handle, nullptr), 0);
}

TEST(SurfaceDataSoftware, AlphaAndSingleChannelRecordsAreSoftwareImages) {
    // No display needed: these records never touch DirectDraw.
    struct Row {
        const char* name;
        Creation creation;
        int pixelType, formatIndex, bytes;
    } rows[] = {
        {"16-bit alpha", Bytes2D(1, 0, 0, 16), kMemImgColor16, 11, 4},
        {"32-bit alpha", Bytes2D(1, 0, 0, 32), kMemImgColor32, 13, 4},
        {"single channel", Bytes2D(0, 1, 0, 32), kMemImgChannel8, 0, 1},
        {"system memory 32-bit", Bytes2D(0, 0, 1, 32), kMemImgColor32, 12, 4},
    };
    for (const Row& r : rows) {
        const int h = CreateSurfaceData(1, 12, 9, 0x00FF00FF, r.creation.bytes);
        ASSERT_NE(h, -1) << r.name;
        SurfaceData* d = SurfaceDataToRecord(h);
        EXPECT_EQ(d->software, 1) << r.name;
        EXPECT_EQ(d->creation[kCreateSystemMemory], 1) << r.name;
        EXPECT_EQ(d->creation[kCreateDrawValid], 1) << r.name;
        EXPECT_EQ(d->creation[kCreateAlphaTest], 0) << r.name;
        EXPECT_EQ(d->image.pixelType, r.pixelType) << r.name;
        if (r.formatIndex != 0) {
            EXPECT_EQ(d->formatIndex, r.formatIndex) << r.name;
        }
        EXPECT_EQ(d->image.format->bytesPerPixel, r.bytes) << r.name;
        EXPECT_EQ(d->image.width, 12);
        EXPECT_EQ(d->image.height, 9);
        ExpectCountedLocks(h);

        // Fill reaches software records too.
        ASSERT_EQ(FillSurfaceData(h, 0x80, 0x40, 0x20, 0xFF), 0) << r.name;
        uint32_t v = 0;
        std::memcpy(&v, d->image.pixels + 8 * d->image.pitch + 11 * r.bytes, r.bytes);
        EXPECT_EQ(v, RgbaToFormatValue(d->image.format, 0x80, 0x40, 0x20, 0xFF)) << r.name;

        // Locks that would leave the record are refused.
        const RECT outside[] = {{-1, 0, 4, 4}, {0, 0, 13, 9}, {0, 0, 12, 10}, {5, 5, 4, 6}};
        for (const RECT& rect : outside) {
            void* p = nullptr;
            EXPECT_EQ(LockSurfaceData(h, nullptr, &p, 0, &rect, nullptr), -1) << r.name;
        }
        int lost = 0;
        d->lostFlag = &lost;
        EXPECT_EQ(DeleteSurfaceData(h), 0);
        EXPECT_EQ(lost, 1);
        EXPECT_EQ(SurfaceDataToRecord(h), nullptr);
        EXPECT_EQ(DeleteSurfaceData(h), -1);
    }
}

TEST(SurfaceDataSoftware, ZBufferIsMadeOnceAndOnlyForDrawTargets) {
    const Creation c = Bytes2D(1, 0, 0, 32);
    const int h = CreateSurfaceData(1, 8, 8, 0, c.bytes);
    ASSERT_NE(h, -1);
    SurfaceData* d = SurfaceDataToRecord(h);
    ASSERT_EQ(SetSurfaceDataZBuffer(h, 1), 0);
    ASSERT_TRUE(IsMemImageValid(&d->zImage));
    EXPECT_EQ(d->zImage.pixelType, kMemImgDepth16);
    uint8_t* first = d->zImage.pixels;
    EXPECT_EQ(SetSurfaceDataZBuffer(h, 1), 0);
    EXPECT_EQ(d->zImage.pixels, first) << "a second request keeps the Z buffer there is";
    EXPECT_EQ(SetSurfaceDataZBuffer(h, 0), 0);
    EXPECT_FALSE(IsMemImageValid(&d->zImage));
    EXPECT_EQ(d->zBufferOn, 0u);
    // A record that cannot be drawn to gets no Z buffer.
    d->creation[kCreateDrawValid] = 0;
    EXPECT_EQ(SetSurfaceDataZBuffer(h, 1), -1);
    EXPECT_FALSE(IsMemImageValid(&d->zImage));
    EXPECT_EQ(DeleteSurfaceData(h), 0);
}

TEST(SurfaceDataSoftware, ReferencesCountWithoutDeleting) {
    const Creation c = Bytes2D(1, 0, 0, 16);
    const int h = CreateSurfaceData(2, 4, 4, 0, c.bytes);
    ASSERT_NE(h, -1);
    EXPECT_EQ(AddSurfaceDataRef(h), 3);
    EXPECT_EQ(ReleaseSurfaceDataRef(h), 2);
    EXPECT_EQ(ReleaseSurfaceDataRef(h), 1);
    EXPECT_EQ(ReleaseSurfaceDataRef(h), 0);
    EXPECT_NE(SurfaceDataToRecord(h), nullptr) << "the holders delete the record, not the count";
    EXPECT_EQ(DeleteSurfaceData(h), 0);
    EXPECT_EQ(AddSurfaceDataRef(h), -1);
}

TEST(SurfaceDataDirectDraw, StandardSurfacesLocksZAndSharedRecords) {
    DisplayWatchdog watchdog(120);
    ASSERT_EQ(StartRuntimeOn2DRoad(), 0);
    SetTransparentColor(0x00FF00);

    // Standard surfaces: video memory when they fit the display, system memory when wider.
    const Creation c = Bytes2D(0, 0, 0, 32);
    const int fits = CreateSurfaceData(1, 64, 32, 0x00FF00, c.bytes);
    const int wide = CreateSurfaceData(1, 700, 8, 0x00FF00, c.bytes);
    ASSERT_NE(fits, -1);
    ASSERT_NE(wide, -1);
    SurfaceData* f = SurfaceDataToRecord(fits);
    SurfaceData* w = SurfaceDataToRecord(wide);
    EXPECT_EQ(f->software, 0);
    ASSERT_NE(f->surface, nullptr);
    EXPECT_EQ(f->formatIndex, kSurfaceFormatScreen);
    EXPECT_EQ(IsSurfaceDataInVideoMemory(fits), 1);
    EXPECT_EQ(f->creation[kCreateSystemMemory], 0);
    EXPECT_EQ(IsSurfaceDataInVideoMemory(wide), 0);
    EXPECT_EQ(w->creation[kCreateSystemMemory], 1);
    // The colour key is the transparent colour in the screen's pixels, channel bits only.
    DDCOLORKEY key;
    ASSERT_EQ(f->surface->GetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
    EXPECT_EQ(key.dwColorSpaceLowValue, RgbToScreenPixelImpl(0, 0xFF, 0) & 0x00FFFFFFu);

    ExpectCountedLocks(fits);
    ASSERT_EQ(FillSurfaceData(fits, 0x11, 0x22, 0x33, 0xFF), 0);
    uint32_t v = 0;
    ASSERT_TRUE(ReadSurfacePixel(f->surface, 63, 31, &v, nullptr));
    EXPECT_EQ(v & 0xFFFFFF, 0x112233u);

    ASSERT_EQ(SetSurfaceDataZBuffer(fits, 1), 0);
    IDirectDrawSurface7* z = f->zSurface;
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(SetSurfaceDataZBuffer(fits, 1), 0);
    EXPECT_EQ(f->zSurface, z);
    EXPECT_EQ(DeleteSurfaceData(wide), 0);
    EXPECT_EQ(DeleteSurfaceData(fits), 0);

    // A derived graph shares its source's record; the record lives until the last piece lets it go.
    const int source = CreateEmptyGraphImpl(40, 30, 1);
    ASSERT_NE(source, -1);
    GraphRecord* derived = nullptr;
    const int child = AllocGraphHandle(10, 10, 0, &derived, 0, 0);
    ASSERT_EQ(DeriveGraphSurface2D(derived, 20, 15, 10, 10, GetGraphRecord(source)), 0);
    const Surface2D* childPiece = Surface2DToRecord(derived->pieces[0]);
    const int data = childPiece->surfaceData;
    EXPECT_EQ(data, Surface2DToRecord(GetGraphRecord(source)->pieces[0])->surfaceData);
    EXPECT_EQ(childPiece->x, 20);
    EXPECT_EQ(childPiece->y, 15);
    EXPECT_EQ(SurfaceDataToRecord(data)->refCount, 2);
    GraphRecord* outside = nullptr;
    const int tooFar = AllocGraphHandle(10, 10, 0, &outside, 0, 0);
    EXPECT_EQ(DeriveGraphSurface2D(outside, 35, 0, 10, 10, GetGraphRecord(source)), -1);
    EXPECT_EQ(ReleaseGraphImpl(tooFar, 0), 0);

    int lost = 0;
    SurfaceDataToRecord(data)->lostFlag = &lost;
    EXPECT_EQ(ReleaseGraphImpl(source, 0), 0);
    ASSERT_NE(SurfaceDataToRecord(data), nullptr);
    EXPECT_EQ(SurfaceDataToRecord(data)->refCount, 1);
    EXPECT_NE(SurfaceDataToRecord(data)->surface, nullptr);
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(FillGraphImpl(child, 1, 2, 3, 255), 0) << "the derived graph still has its pixels";
    EXPECT_EQ(ReleaseGraphImpl(child, 0), 0);
    EXPECT_EQ(SurfaceDataToRecord(data), nullptr);
    EXPECT_EQ(lost, 1);

    SetTransparentColor(0);
    EXPECT_EQ(ShutDownLibrary(), 0);
}

}  // namespace

// The tracked allocator: the list stays consistent through any order of allocations and frees,
// headers record where a block came from, damage to a header is found, refused requests never
// corrupt the list, and the dump lines read as the log's users expect.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "runtime/memory.h"
#include "tests/runtime/test_log_fixture.h"

namespace {

struct LiveBlock {
    unsigned char* data;
    size_t size;
};

// Small deterministic generator so the sequence is the same on every run.
uint32_t NextLcg(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

class TrackedSettingsScope {
   public:
    explicit TrackedSettingsScope(const TrackedAllocSettings& s) : saved_(GetTrackedAllocSettings()) {
        SetTrackedAllocSettings(s);
    }
    ~TrackedSettingsScope() { SetTrackedAllocSettings(saved_); }

   private:
    TrackedAllocSettings saved_;
};

}  // namespace

TEST(TrackedMemory, ListStaysConsistentThroughMixedAllocationsAndFrees) {
    const int baseCount = GetTrackedAllocCount();
    const int baseSize = GetTrackedAllocTotalSize();
    std::vector<LiveBlock> live;
    uint32_t rng = 12345;
    size_t liveBytes = 0;
    for (int step = 0; step < 3000; ++step) {
        bool allocate = live.empty() || (NextLcg(rng) % 100) < 55;
        if (allocate && live.size() < 200) {
            size_t size = NextLcg(rng) % 300;
            auto* p = static_cast<unsigned char*>(step % 3 ? TrackedAlloc(size, "mix.cpp", step)
                                                           : TrackedAllocZeroed(size, "mix.cpp", step));
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u) << "size " << size;
            memset(p, 0xA5, size);  // writing the whole block must not touch any header
            live.push_back({p, size});
            liveBytes += size;
        } else {
            // Free newest, oldest and middle blocks alike.
            size_t pick = NextLcg(rng) % live.size();
            liveBytes -= live[pick].size;
            ASSERT_EQ(TrackedFree(live[pick].data), 0);
            live.erase(live.begin() + (ptrdiff_t)pick);
        }
        ASSERT_EQ(CheckAllocations(), 0) << "step " << step;
        ASSERT_EQ(GetTrackedAllocCount(), baseCount + (int)live.size());
        ASSERT_EQ(GetTrackedAllocTotalSize(), baseSize + (int)liveBytes);
    }
    while (!live.empty()) {
        ASSERT_EQ(TrackedFree(live.back().data), 0);
        live.pop_back();
    }
    EXPECT_EQ(CheckAllocations(), 0);
    EXPECT_EQ(GetTrackedAllocCount(), baseCount);
    EXPECT_EQ(GetTrackedAllocTotalSize(), baseSize);
}

TEST(TrackedMemory, HeaderRecordsSourceTailLineSizeAndId) {
#if !defined(_WIN64)
    EXPECT_EQ(sizeof(TrackedBlockHeader), 64u);
#endif
    struct Case {
        const char* source;
        const char* storedTail;
    };
    const Case cases[] = {
        {"abcdefghijklmnopqrst", "fghijklmnopqrst"},  // 20 characters keep their last 15
        {"exactly15chars!", "exactly15chars!"},
        {"short.cpp", "short.cpp"},
        {"", ""},
        {nullptr, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source ? c.source : "(null)");
        void* a = TrackedAlloc(24, c.source, 1234);
        void* b = TrackedAlloc(8, c.source, 0xFFFF);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        const TrackedBlockHeader* ha = TrackedHeaderOf(a);
        const TrackedBlockHeader* hb = TrackedHeaderOf(b);
        EXPECT_STREQ(ha->f.sourceName, c.storedTail);
        EXPECT_EQ(ha->f.line, 1234);
        EXPECT_EQ(hb->f.line, 0xFFFF);
        EXPECT_EQ(ha->f.size, 24u);
        EXPECT_EQ((uint16_t)(ha->f.id + 1), hb->f.id);
        EXPECT_EQ(hb->f.older, ha);
        EXPECT_EQ(ha->f.newer, hb);
        EXPECT_EQ(hb->f.newer, nullptr);
        TrackedFree(b);
        TrackedFree(a);
    }
}

TEST(TrackedMemory, ZeroedBlocksAreZero) {
    // Dirty a block first so the heap is likely to hand the same bytes back.
    void* dirty = TrackedAlloc(4000, "z", 1);
    ASSERT_NE(dirty, nullptr);
    memset(dirty, 0xEE, 4000);
    TrackedFree(dirty);
    auto* p = static_cast<unsigned char*>(TrackedAllocZeroed(4000, "z", 2));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 4000; ++i) ASSERT_EQ(p[i], 0) << i;
    TrackedFree(p);
}

TEST_F(LogFileTest, RefusedRequestsLeaveTheListAlone) {
    const int baseCount = GetTrackedAllocCount();
    const int baseSize = GetTrackedAllocTotalSize();
    void* anchor = TrackedAlloc(128, "anchor", 1);
    ASSERT_NE(anchor, nullptr);

    EXPECT_EQ(TrackedFree(nullptr), 0);
    // Sizes whose header would wrap the size arithmetic, or that no header can record.
    const size_t hugeSizes[] = {SIZE_MAX, SIZE_MAX - 10, (size_t)0xFFFFFFFFu, (size_t)0xFFFFFFC0u, (size_t)0x80000000u};
    for (size_t size : hugeSizes) {
        EXPECT_EQ(TrackedAlloc(size, "huge", 2), nullptr) << size;
        EXPECT_EQ(TrackedAllocZeroed(size, "huge", 3), nullptr) << size;
    }
    // A pointer into the middle of a block is not a block.
    EXPECT_EQ(TrackedFree(static_cast<char*>(anchor) + 16), -1);

    EXPECT_EQ(CheckAllocations(), 0);
    EXPECT_EQ(GetTrackedAllocCount(), baseCount + 1);
    EXPECT_EQ(GetTrackedAllocTotalSize(), baseSize + 128);
    EXPECT_EQ(TrackedFree(anchor), 0);
    EXPECT_EQ(GetTrackedAllocCount(), baseCount);
    EXPECT_NE(ReadLog().find("メモリ確保サイズが大きすぎます"), std::string::npos);
}

TEST_F(LogFileTest, TestRefusalSwitchesRefuseOnlyWhatTheyName) {
    const int baseCount = GetTrackedAllocCount();
    {
        TrackedAllocSettings s = {};
        s.testRefuseBlockSize = 333;
        TrackedSettingsScope scope(s);
        EXPECT_EQ(TrackedAlloc(333, "sized", 1), nullptr);
        EXPECT_EQ(TrackedAllocZeroed(333, "sized", 2), nullptr);
        void* other = TrackedAlloc(334, "other", 3);
        EXPECT_NE(other, nullptr);
        TrackedFree(other);
    }
    {
        TrackedAllocSettings s = {};
        s.testRefuseAfter = 3;  // the third block from now is refused, and only that one
        TrackedSettingsScope scope(s);
        void* first = TrackedAlloc(8, "count", 4);
        void* second = TrackedAlloc(8, "count", 5);
        void* third = TrackedAlloc(8, "count", 6);
        void* fourth = TrackedAlloc(8, "count", 7);
        EXPECT_NE(first, nullptr);
        EXPECT_NE(second, nullptr);
        EXPECT_EQ(third, nullptr);
        EXPECT_NE(fourth, nullptr);
        EXPECT_EQ(GetTrackedAllocSettings().testRefuseAfter, 0);
        TrackedFree(first);
        TrackedFree(second);
        TrackedFree(fourth);
    }
    EXPECT_EQ(CheckAllocations(), 0);
    EXPECT_EQ(GetTrackedAllocCount(), baseCount);
    // A refusal reads in the log as the heap's own: the live blocks are dumped.
    EXPECT_NE(ReadLog().find("Alloc memory dump"), std::string::npos);
}

TEST_F(LogFileTest, DamagedHeaderIsReportedByTheCheck) {
    void* older = TrackedAlloc(4, "older", 10);
    void* block = TrackedAlloc(4, "victim", 11);
    void* newer = TrackedAlloc(4, "newer", 12);
    ASSERT_TRUE(older && block && newer);
    TrackedBlockHeader* h = TrackedHeaderOf(block);
    EXPECT_EQ(CheckAllocHeader(h), 0);

    uint16_t savedLine = h->f.line;
    h->f.line = 999;  // a stray write into the header
    EXPECT_EQ(CheckAllocHeader(h), -1);
    EXPECT_EQ(CheckAllocations(), -1);
    std::string log = ReadLog();
    EXPECT_NE(log.find("以下のメモリ確保情報が破損しました"), std::string::npos) << log;
    EXPECT_NE(log.find("file:victim  line:999"), std::string::npos) << log;
    // A damaged block is not unlinked by a free either.
    EXPECT_EQ(TrackedFree(block), -1);

    h->f.line = savedLine;
    EXPECT_EQ(CheckAllocations(), 0);
    EXPECT_EQ(TrackedFree(block), 0);
    EXPECT_EQ(TrackedFree(newer), 0);
    EXPECT_EQ(TrackedFree(older), 0);
    EXPECT_EQ(CheckAllocations(), 0);
}

TEST_F(LogFileTest, BlockLineShowsItsFirstBytesAsTextAndHex) {
    struct Case {
        const char* name;
        std::vector<unsigned char> bytes;
        std::string data;
    };
    std::vector<unsigned char> sixteenPlus;
    for (int i = 0; i < 20; ++i) sixteenPlus.push_back((unsigned char)(i == 3 ? 'Z' : i == 4 ? 0x80 : i + 0x60));
    const Case cases[] = {
        {"one letter", {0x41}, "data:<A> [41]\r\n"},
        {"control and high bytes", {0x1F, 0x20, 0x7F, 0x80, 0xFF}, "data:<. \x7f..> [1f 20 7f 80 ff]\r\n"},
        {"only the first 16 bytes", sixteenPlus,
         "data:<`abZ.efghijklmno> [60 61 62 5a 80 65 66 67 68 69 6a 6b 6c 6d 6e 6f]\r\n"},
        {"empty block", {}, "data:<> []\r\n"},
    };
    // Keep the allocator's own block logging (which covers empty blocks by default) out of the way.
    TrackedSettingsScope quiet({0, 12345, 0, 0});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetLog();
        auto* p = static_cast<unsigned char*>(TrackedAlloc(c.bytes.size(), "dump.cpp", 77));
        ASSERT_NE(p, nullptr);
        if (!c.bytes.empty()) memcpy(p, c.bytes.data(), c.bytes.size());
        int id = TrackedHeaderOf(p)->f.id;
        LogAllocBlock(TrackedHeaderOf(p));
        TrackedFree(p);
        char prefix[128];
        snprintf(prefix, sizeof(prefix), "\tsize:%d(%.3fkb)  file:dump.cpp  line:77  ID:%d  ", (int)c.bytes.size(),
                 c.bytes.size() / 1024.0, id);
        EXPECT_EQ(ReadLog(), std::string(prefix) + c.data);
    }
}

TEST_F(LogFileTest, DumpListsLiveBlocksNewestFirstWithTotals) {
    const int baseCount = GetTrackedAllocCount();
    const int baseSize = GetTrackedAllocTotalSize();
    void* first = TrackedAlloc(3, "first.cpp", 1);
    void* second = TrackedAlloc(2048, "second.cpp", 2);
    ResetLog();
    EXPECT_EQ(DumpAllocations(), 0);
    std::string log = ReadLog();
    // The heading is no line of its own: the newest block's line continues it.
    EXPECT_EQ(log.rfind("\r\nAlloc memory dump\tsize:2048(2.000kb)  file:second.cpp", 0), 0u) << log;
    size_t s = log.find("file:second.cpp");
    size_t f = log.find("file:first.cpp");
    ASSERT_NE(s, std::string::npos);
    ASSERT_NE(f, std::string::npos);
    EXPECT_LT(s, f);
    char totals[128];
    snprintf(totals, sizeof(totals), "\tTotal size:%d(%.3fkb)  Alloc num:%d\r\n\r\n", baseSize + 2051,
             (baseSize + 2051) / 1024.0, baseCount + 2);
    EXPECT_EQ(log.substr(log.size() - strlen(totals)), totals) << log;
    TrackedFree(first);
    TrackedFree(second);
}

TEST_F(LogFileTest, BlockLoggingFollowsTheSettings) {
    struct Case {
        TrackedAllocSettings settings;
        size_t size;
        bool logged;
    };
    const Case cases[] = {
        {{0, 0, 0, 0}, 5, false},
        {{0, 0, 0, 0}, 0, true},  // the default size filter is 0: empty blocks are logged
        {{0, -1, 0, 0}, 5, true},
        {{0, 5, 0, 0}, 5, true},
        {{0, 5, 0, 0}, 6, false},
        {{1, 5, 0, 0}, 6, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "every " << c.settings.logEveryBlock << " size " << c.settings.logBlockSize
                                        << " block " << c.size);
        ResetLog();
        {
            TrackedSettingsScope scope(c.settings);
            void* p = TrackedAlloc(c.size, "setting", 5);
            TrackedFree(p);
        }
        std::string log = ReadLog();
        EXPECT_EQ(log.find("mem alloc  \tsize:") != std::string::npos, c.logged) << log;
        EXPECT_EQ(log.find("mem free  \tsize:") != std::string::npos, c.logged) << log;
    }

    ResetLog();
    {
        TrackedSettingsScope scope({0, 1000, 1, 1});
        void* p = TrackedAlloc(10, "totals", 6);
        TrackedFree(p);
    }
    EXPECT_NE(ReadLog().find("\tTotal size:"), std::string::npos);
}

// The network ring buffer: additions, reads and peeks around the end of the block, growth that keeps the
// byte order, and refusals (short reads, negative counts, a refused growth) that leave the bytes in place.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "network/ring_buffer.h"
#include "runtime/memory.h"
#include "tests/runtime/test_log_fixture.h"

namespace {

struct Step {
    enum Kind { kAdd, kRead, kPeek } kind;
    int count;
    int result;
    // Expected fields afterwards.
    int read, write, held, capacity;
};

class RingBufferTest : public LogFileTest {
   protected:
    void TearDown() override {
        RingBufferFree(&ring_);
        EXPECT_EQ(CheckAllocations(), 0);
        LogFileTest::TearDown();
    }
    // Adds `count` bytes continuing the running byte counter, so every read can check order and content.
    int Add(int count) {
        std::vector<unsigned char> bytes((size_t)(count > 0 ? count : 0));
        for (auto& b : bytes) b = (unsigned char)(added_++ * 13);
        return RingBufferAdd(&ring_, bytes.data(), count);
    }
    int Read(int count, bool peek) {
        std::vector<unsigned char> out((size_t)(count > 0 ? count : 1), 0xEE);
        const int result = RingBufferRead(&ring_, out.data(), count, peek ? 1 : 0);
        if (result == 0) {
            for (int i = 0; i < count; ++i) {
                EXPECT_EQ(out[(size_t)i], (unsigned char)((taken_ + i) * 13)) << "byte " << i;
            }
            if (!peek) taken_ += count;
        }
        return result;
    }
    RingBuffer ring_{};
    int added_ = 0;
    int taken_ = 0;
};

}  // namespace

TEST_F(RingBufferTest, StepsAroundTheEndOfTheBlockKeepTheBytesInOrder) {
    const Step steps[] = {
        {Step::kAdd, 10, 0, 0, 10, 10, 1010},         // the first growth adds 1000 bytes of slack
        {Step::kAdd, 0, 0, 0, 10, 10, 1010},          // nothing added, nothing grown
        {Step::kRead, 11, -1, 0, 10, 10, 1010},       // more than held: refused, unchanged
        {Step::kPeek, 10, 0, 0, 10, 10, 1010},        // peeking takes nothing
        {Step::kRead, 10, 0, 10, 10, 0, 1010},        // an equal size empties it
        {Step::kAdd, 1000, 0, 10, 1010, 1000, 1010},  // up to the end exactly: no growth, write at the end
        {Step::kRead, 995, 0, 1005, 0, 5, 1010},      // the read normalises the write position to 0
        {Step::kAdd, 20, 0, 1005, 20, 25, 1010},
        {Step::kPeek, 25, 0, 1005, 20, 25, 1010},     // a peek across the end
        {Step::kRead, 8, 0, 3, 20, 17, 1010},         // a read across the end
        {Step::kAdd, 500, 0, 3, 520, 517, 1010},
        {Step::kRead, 500, 0, 503, 520, 17, 1010},
        {Step::kAdd, 600, 0, 503, 110, 617, 1010},    // the addition splits at the end
        {Step::kAdd, 1000, 0, 0, 1617, 1617, 2617},   // growth of a wrapped ring: offset 0, in order
        {Step::kRead, 1617, 0, 1617, 1617, 0, 2617},
    };
    int index = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "step " << index++);
        int result = 0;
        switch (s.kind) {
        case Step::kAdd: result = Add(s.count); break;
        case Step::kRead: result = Read(s.count, false); break;
        case Step::kPeek: result = Read(s.count, true); break;
        }
        EXPECT_EQ(result, s.result);
        EXPECT_EQ(ring_.readPosition, s.read);
        EXPECT_EQ(ring_.writePosition, s.write);
        EXPECT_EQ(ring_.heldCount, s.held);
        EXPECT_EQ(ring_.capacity, s.capacity);
    }
}

// A wrapped ring whose growth is refused keeps its block and bytes: a send queue must not lose a message
// whose header has already gone out.
TEST_F(RingBufferTest, RefusedGrowthKeepsTheHeldBytes) {
    ASSERT_EQ(Add(600), 0);
    ASSERT_EQ(Read(500, false), 0);
    ASSERT_EQ(Add(1200), 0);  // wraps: 1300 held in a 1600-byte block
    const RingBuffer before = ring_;
    ASSERT_GT(before.readPosition + before.heldCount, before.capacity) << "the fixture must wrap";

    TrackedAllocSettings settings = GetTrackedAllocSettings();
    settings.testRefuseAfter = 1;
    SetTrackedAllocSettings(settings);
    EXPECT_EQ(Add(2000), -1);
    settings.testRefuseAfter = 0;
    SetTrackedAllocSettings(settings);

    EXPECT_EQ(ring_.data, before.data);
    EXPECT_EQ(ring_.heldCount, before.heldCount);
    EXPECT_EQ(ring_.capacity, before.capacity);
    const std::string log = ReadLog();
    EXPECT_NE(log.find("リングバッファの再確保に失敗しました(確保しようとしたサイズ 4300 byte)"), std::string::npos) << log;
    EXPECT_NE(log.find("リングバッファへのデータの追加に失敗しました(追加する長さ 2000 byte)"), std::string::npos) << log;
    added_ -= 2000;  // the refused bytes never went in
    EXPECT_EQ(Read(1300, false), 0);  // every byte, in order
}

TEST_F(RingBufferTest, NegativeAndUnholdableCountsAreRefused) {
    ASSERT_EQ(Add(10), 0);
    const RingBuffer before = ring_;
    unsigned char scratch[16];
    EXPECT_EQ(RingBufferAdd(&ring_, scratch, -1), -1);
    EXPECT_EQ(RingBufferRead(&ring_, scratch, -1, 0), -1);
    EXPECT_EQ(RingBufferRead(&ring_, scratch, -1, 1), -1);
    EXPECT_EQ(RingBufferReserve(&ring_, -5), -1);
    // Held bytes plus the request plus the slack would pass INT32_MAX.
    EXPECT_EQ(RingBufferReserve(&ring_, INT32_MAX - 500), -1);
    EXPECT_EQ(ring_.data, before.data);
    EXPECT_EQ(ring_.heldCount, 10);
    EXPECT_EQ(ring_.capacity, before.capacity);
    EXPECT_EQ(Read(10, false), 0);
}

// A growth with a settling size: growing by half stops at that size (plus the slack) when the need fits in it,
// and goes on as usual past it; the held bytes keep their order either way.
TEST_F(RingBufferTest, SettlingGrowthStopsAtTheSettlingSize) {
    const struct {
        const char* name;
        int first, add, settle;  // `first` bytes added, half of them read, then room for `add` more
        int capacity;            // after the growth
    } cases[] = {
        {"growing by half would pass the settling size", 3000, 3000, 4500, 5500},
        {"growing by half stays within it", 1000, 2000, 5000, 3500},
        {"the need passes it: growing by half", 3000, 4000, 5000, 6500},
        {"the need alone passes growing by half", 1000, 9000, 20000, 10500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RingBufferFree(&ring_);
        added_ = taken_ = 0;
        ASSERT_EQ(Add(c.first), 0);
        ASSERT_EQ(Read(c.first / 2, false), 0);  // leaves the ring with a gap at its start
        ASSERT_EQ(ring_.capacity, c.first + kRingBufferSlack);
        ASSERT_EQ(RingBufferReserveSettling(&ring_, c.add, c.settle), 0);
        EXPECT_EQ(ring_.capacity, c.capacity);
        EXPECT_EQ(ring_.readPosition, 0);
        EXPECT_EQ(Read(c.first - c.first / 2, false), 0);  // every byte, in order
    }
}

// Handle tables on small instances: which slot a new record takes, when a handle is refused
// (stale after reuse, foreign type, out of range), how the high-water mark falls, the check-id
// wrap; and the handle chain's order and empty state.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/handle.h"
#include "runtime/memory.h"

namespace {

struct TestRecord {
    int checkId;
    int payload;
};

}  // namespace

TEST(HandleLayout, BitsOfAHandle) {
    struct Case {
        int type, checkId, slot;
        int handle;
    };
    const Case cases[] = {
        {1, 0, 0, 0x08000000},
        {2, 5, 3, 0x10050003},
        {11, 2047, 65535, 0x5FFFFFFF},
        {15, 2047, 65535, 0x7FFFFFFF},  // bit 31 always clear
    };
    for (const Case& c : cases) {
        int h = MakeHandle(c.type, c.checkId, c.slot);
        EXPECT_EQ(h, c.handle);
        EXPECT_GE(h, 0);
        EXPECT_EQ(HandleTypeOf(h), c.type);
        EXPECT_EQ(HandleCheckIdOf(h), c.checkId);
        EXPECT_EQ(HandleSlotOf(h), c.slot);
    }
}

TEST(HandleTableTest, NewRecordsTakeTheMarkAndAFullTableSearchesFromZero) {
    HandleTable<TestRecord> table(kHandleTypeSound, 4);
    std::vector<int> handles;
    for (int i = 0; i < 4; ++i) {
        int h = table.add();
        ASSERT_GE(h, 0);
        EXPECT_EQ(HandleTypeOf(h), kHandleTypeSound);
        EXPECT_EQ(HandleSlotOf(h), i);
        EXPECT_EQ(HandleCheckIdOf(h), i);
        EXPECT_EQ(table.get(h)->checkId, i);
        EXPECT_EQ(table.get(h)->payload, 0);  // records start zeroed
        table.get(h)->payload = 100 + i;
        handles.push_back(h);
    }
    EXPECT_EQ(table.add(), -1);  // full
    EXPECT_EQ(table.liveCount(), 4);

    // The mark stays at 4 after freeing slot 1, so the next record searches from 0.
    ASSERT_EQ(table.remove(handles[1]), 0);
    EXPECT_EQ(table.highWater(), 4);
    int reused = table.add();
    ASSERT_GE(reused, 0);
    EXPECT_EQ(HandleSlotOf(reused), 1);
    EXPECT_EQ(HandleCheckIdOf(reused), 4);
    EXPECT_EQ(table.get(handles[1]), nullptr) << "stale handle of the slot's previous record";
    EXPECT_EQ(table.get(handles[0])->payload, 100);
    EXPECT_EQ(table.get(handles[3])->payload, 103);
}

TEST(HandleTableTest, AFreeSlotBelowAnOpenMarkIsNotReusedYet) {
    HandleTable<TestRecord> table(kHandleTypeFont, 4);
    int a = table.add();
    table.add();
    table.add();
    ASSERT_EQ(table.remove(a), 0);
    int next = table.add();
    EXPECT_EQ(HandleSlotOf(next), 3);
    EXPECT_EQ(table.highWater(), 4);
}

TEST(HandleTableTest, HandlesThatAreRefused) {
    HandleTable<TestRecord> table(kHandleTypeSound, 4);
    int h = table.add();
    ASSERT_GE(h, 0);
    int slot = HandleSlotOf(h), id = HandleCheckIdOf(h);
    struct Case {
        const char* name;
        int handle;
    };
    const Case cases[] = {
        {"none", -1},
        {"negative", (int)0x90000000u},
        {"graph handle with the same slot and id", MakeHandle(kHandleTypeGraph, id, slot)},
        {"other check id", MakeHandle(kHandleTypeSound, id + 1, slot)},
        {"empty slot", MakeHandle(kHandleTypeSound, id, slot + 1)},
        {"slot beyond the table", MakeHandle(kHandleTypeSound, id, 4)},
        {"slot far beyond the table", MakeHandle(kHandleTypeSound, id, 0xFFFF)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(table.get(c.handle), nullptr);
        EXPECT_FALSE(table.isValid(c.handle));
        EXPECT_EQ(table.remove(c.handle), -1);
    }
    EXPECT_EQ(table.liveCount(), 1);
    EXPECT_NE(table.get(h), nullptr);
    ASSERT_EQ(table.remove(h), 0);
    EXPECT_EQ(table.get(h), nullptr);
    EXPECT_EQ(table.remove(h), -1) << "second release of the same handle";
}

TEST(HandleTableTest, FreeingTheHighestSlotLowersTheMarkPastEmptySlots) {
    HandleTable<TestRecord> table(kHandleTypeGraph, 6);
    int h[5];
    for (int& x : h) x = table.add();
    table.remove(h[1]);
    table.remove(h[2]);
    table.remove(h[3]);
    EXPECT_EQ(table.highWater(), 5);
    table.remove(h[4]);
    EXPECT_EQ(table.highWater(), 1);  // past slots 3, 2 and 1, down to live slot 0
    table.remove(h[0]);
    EXPECT_EQ(table.highWater(), 0);
    EXPECT_EQ(table.liveCount(), 0);
    EXPECT_EQ(HandleSlotOf(table.add()), 0);
}

TEST(HandleTableTest, CheckIdsCountTo2047AndWrap) {
    HandleTable<TestRecord> table(kHandleTypeMovie, 2);
    int first = table.add();
    EXPECT_EQ(HandleCheckIdOf(first), 0);
    table.remove(first);
    int last = -1;
    for (int i = 1; i < kHandleCheckIdCount; ++i) {
        last = table.add();
        ASSERT_EQ(HandleCheckIdOf(last), i);
        table.remove(last);
    }
    EXPECT_EQ(HandleCheckIdOf(last), 2047);
    int wrapped = table.add();
    EXPECT_EQ(HandleCheckIdOf(wrapped), 0);
    // Only after 2048 creations can an old handle name a new record again.
    EXPECT_EQ(wrapped, first);
}

TEST(HandleTableTest, RecordsAreTrackedAndClearReleasesEverything) {
    const int baseCount = GetTrackedAllocCount();
    {
        HandleTable<TestRecord> table(kHandleTypeSurfaceData, 8);
        int a = table.add(sizeof(TestRecord) + 100);  // a record with a tail
        table.add();
        EXPECT_EQ(GetTrackedAllocCount(), baseCount + 3);  // slot array and two records
        EXPECT_EQ(TrackedHeaderOf(table.get(a))->f.size, sizeof(TestRecord) + 100);

        std::vector<int> visited;
        table.forEach([&](int handle, TestRecord* r) {
            EXPECT_EQ(table.get(handle), r);
            visited.push_back(handle);
            table.remove(handle);  // removing the visited handle is allowed
        });
        EXPECT_EQ(visited.size(), 2u);
        EXPECT_EQ(table.liveCount(), 0);

        int b = table.add();
        table.clear();
        EXPECT_EQ(GetTrackedAllocCount(), baseCount);
        EXPECT_EQ(table.get(b), nullptr);
        // The counter keeps going after a clear, so old handles stay refused.
        EXPECT_EQ(HandleCheckIdOf(table.add()), 3);
    }
    EXPECT_EQ(GetTrackedAllocCount(), baseCount);
}

TEST(HandleChainTest, NewestFirstAndEmptyAgainAfterUnlinking) {
    HandleChainNode head, tail, n[3];
    HandleChainReset(&head, &tail);
    EXPECT_EQ(head.next, &tail);
    EXPECT_EQ(tail.prev, &head);
    EXPECT_EQ(head.prev, nullptr);
    EXPECT_EQ(tail.next, nullptr);
    EXPECT_EQ(head.handle, -1);
    EXPECT_EQ(tail.handle, -1);

    int data[3];
    for (int i = 0; i < 3; ++i) EXPECT_EQ(HandleChainLink(&head, &n[i], 10 + i, &data[i]), 0);
    std::vector<int> order;
    for (HandleChainNode* p = head.next; p != &tail; p = p->next) {
        EXPECT_EQ(p->next->prev, p);
        order.push_back(p->handle);
    }
    EXPECT_EQ(order, (std::vector<int>{12, 11, 10}));
    EXPECT_EQ(n[1].data, &data[1]);

    EXPECT_EQ(HandleChainUnlink(&n[1]), 0);
    EXPECT_EQ(n[2].next, &n[0]);
    EXPECT_EQ(n[0].prev, &n[2]);
    EXPECT_EQ(n[1].handle, 11);  // the unlinked node is left as it was
    HandleChainUnlink(&n[0]);
    HandleChainUnlink(&n[2]);
    EXPECT_EQ(head.next, &tail);
    EXPECT_EQ(tail.prev, &head);
}

// The API lock: recursion, first-come-first-served hand-over with late arrivals, the message thread's
// polling form that gives up on the quit flag, and the lock's teardown and rebuild around shutdown.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "runtime/api_lock.h"
#include "runtime/runtime.h"
#include "runtime/startup.h"
#include "runtime/window.h"
#include "tests/runtime/test_window_support.h"

namespace {

template <typename Condition>
bool WaitFor(Condition condition, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > milliseconds) return false;
        Sleep(1);
    }
    return true;
}

bool WaitForWaiters(int count) {
    return WaitFor([count] { return ApiLockWaiterCount() == count; }, 20000);
}

}  // namespace

TEST(ApiLock, RecursiveEntryIsHeldUntilTheLastLeave) {
    Watchdog dog("ApiLock recursion", 30);
    LockApi();
    LockApi();
    LockApi();
    EXPECT_EQ(ApiLockRecursion(), 3);
    EXPECT_EQ(ApiLockOwner(), GetCurrentThreadId());

    std::atomic<int> entered{0};
    std::thread other([&] {
        LockApi();
        entered = 1;
        UnlockApi();
    });
    ASSERT_TRUE(WaitForWaiters(1));
    UnlockApi();
    UnlockApi();
    Sleep(100);
    EXPECT_EQ(entered.load(), 0) << "the lock changed hands while the owner still held one level";
    UnlockApi();
    other.join();
    EXPECT_EQ(entered.load(), 1);
    EXPECT_EQ(ApiLockRecursion(), 0);
    EXPECT_EQ(ApiLockOwner(), 0xFFFFFFFFul);
}

TEST(ApiLock, QueuedThreadsRunInArrivalOrderBeforeLateArrivals) {
    Watchdog dog("ApiLock order", 60);
    for (int round = 0; round < 10; ++round) {
        std::string order;  // appended under the lock
        auto worker = [&order](char name) {
            LockApi();
            order.push_back(name);
            Sleep(2);
            UnlockApi();
        };
        LockApi();
        std::thread first(worker, 'A');
        ASSERT_TRUE(WaitForWaiters(1));
        std::thread second(worker, 'B');
        ASSERT_TRUE(WaitForWaiters(2));
        UnlockApi();
        // Two late arrivals once the lock is free: a new thread and the old owner itself.
        std::thread late(worker, 'C');
        worker('M');
        first.join();
        second.join();
        late.join();
        ASSERT_EQ(order.size(), 4u);
        EXPECT_EQ(order.substr(0, 2), "AB") << "round " << round << ": " << order;
        EXPECT_EQ(ApiLockWaiterCount(), 0);
    }
}

// Many threads entering and leaving at random moments: every entry is exclusive and nobody is left asleep
// on a wake-up that went to the wrong slot.
TEST(ApiLock, ManyThreadsNeitherInterleaveNorStall) {
    Watchdog dog("ApiLock contention", 120);
    constexpr int kThreads = 8;
    constexpr int kRounds = 1500;
    long inside = 0;  // written only under the lock
    long total = 0;
    int mostWaiting = 0;
    std::atomic<int> overlaps{0};
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            // All threads start together so that they really contend.
            ++ready;
            while (ready < kThreads) Sleep(0);
            for (int i = 0; i < kRounds; ++i) {
                LockApi();
                if (i % 3 == 0) LockApi();  // recursive entries mixed in
                if (++inside != 1) ++overlaps;
                ++total;
                if (i % 50 == 0) mostWaiting = std::max(mostWaiting, ApiLockWaiterCount());
                if ((i + t) % 7 == 0) Sleep(0);
                --inside;
                if (i % 3 == 0) UnlockApi();
                UnlockApi();
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(total, static_cast<long>(kThreads) * kRounds);
    EXPECT_GE(mostWaiting, 2) << "the threads never queued behind each other";
    EXPECT_EQ(ApiLockWaiterCount(), 0);
    EXPECT_EQ(ApiLockRecursion(), 0);
}

// Polling entrants that give up at random moments leave the queue from any position and come back later:
// every entry stays exclusive and every other waiter is still woken in turn.
TEST(ApiLock, RandomGiveUpsInTheQueueLeaveNobodyAsleep) {
    Watchdog dog("ApiLock give-ups", 120);
    constexpr int kLockers = 4;
    constexpr int kPollers = 3;
    constexpr int kRounds = 600;
    long inside = 0;
    std::atomic<int> overlaps{0};
    std::atomic<int> lockersDone{0};
    std::atomic<int> quitFlags[kPollers];
    for (auto& flag : quitFlags) flag = 0;

    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kLockers; ++t) {
        threads.emplace_back([&] {
            ++ready;
            while (ready < kLockers) Sleep(0);
            for (int i = 0; i < kRounds; ++i) {
                LockApi();
                if (++inside != 1) ++overlaps;
                Sleep(i % 5 == 0 ? 1 : 0);
                --inside;
                UnlockApi();
            }
            ++lockersDone;
        });
    }
    for (int p = 0; p < kPollers; ++p) {
        threads.emplace_back([&, p] {
            while (lockersDone < kLockers) {
                if (LockApiPolling(quitFlags[p]) == 0) {
                    if (++inside != 1) ++overlaps;
                    --inside;
                    UnlockApiNoYield();
                }
            }
            ApiLockLeaveQueue();
        });
    }
    // Flip the pollers' quit flags at irregular moments.
    unsigned seed = 12345;
    while (lockersDone < kLockers) {
        seed = seed * 1103515245u + 12345u;
        quitFlags[(seed >> 16) % kPollers] ^= 1;
        Sleep((seed >> 20) % 3);
    }
    for (auto& flag : quitFlags) flag = 1;
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(ApiLockWaiterCount(), 0);
    EXPECT_EQ(ApiLockOwner(), 0xFFFFFFFFul);
}

// The message thread's form waits in slices of at most a second and leaves the queue, from the middle of it,
// once the quit flag is set; the threads around it keep their order.
TEST(ApiLock, PollingFormGivesUpWithinASecondOfTheQuitFlag) {
    Watchdog dog("ApiLock polling", 60);
    std::atomic<int> quit{0};
    std::string order;
    auto worker = [&order](char name) {
        LockApi();
        order.push_back(name);
        UnlockApi();
    };

    LockApi();
    std::thread before(worker, 'B');
    ASSERT_TRUE(WaitForWaiters(1));
    std::atomic<int> pollResult{99};
    std::thread poller([&] {
        pollResult = LockApiPolling(quit);
        if (pollResult == 0) UnlockApiNoYield();
    });
    ASSERT_TRUE(WaitForWaiters(2));
    std::thread after(worker, 'C');
    ASSERT_TRUE(WaitForWaiters(3));

    Sleep(1300);  // the poller has been through at least one full wait slice
    EXPECT_EQ(pollResult.load(), 99);
    const DWORD start = GetTickCount();
    quit = 1;
    poller.join();
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(pollResult.load(), -1);
    // The lock is still held here: only the flag can have ended the wait. A poller that missed it would wait until
    // the lock was free; seconds allow for a busy machine, not for that.
    EXPECT_LT(elapsed, 10000u) << "the poller did not give up on the quit flag";
    EXPECT_EQ(ApiLockWaiterCount(), 2);

    UnlockApi();
    before.join();
    after.join();
    EXPECT_EQ(order, "BC");
    EXPECT_EQ(ApiLockWaiterCount(), 0);
}

TEST(ApiLock, ShutDownWithoutStartUpEndsAndTakesTheLockApart) {
    Watchdog dog("ShutDownLibrary without start-up", 30);
    ScratchDirectory scratch;
    LockApi();
    UnlockApi();
    ASSERT_EQ(ApiLockIsInitialised(), 1);
    EXPECT_EQ(ShutDownLibrary(), 0);
    EXPECT_EQ(ApiLockIsInitialised(), 0);
    EXPECT_EQ(GetMainHwnd(), nullptr);
    EXPECT_EQ(IsComStarted(), 0);
}

// The game releases its scenes after ShutDownLibrary: those calls build the lock again and fail harmlessly.
TEST(ApiLock, PublicCallsAfterShutDownRebuildTheLockAndFail) {
    Watchdog dog("calls after shutdown", 30);
    ScratchDirectory scratch;
    ASSERT_EQ(ShutDownLibrary(), 0);
    ASSERT_EQ(ApiLockIsInitialised(), 0);

    EXPECT_EQ(ProcessMessage(), -1);
    EXPECT_EQ(ApiLockIsInitialised(), 1);
    EXPECT_EQ(ReleaseGraph(0x08010005, 0), -1);
    EXPECT_EQ(ApiLockRecursion(), 0);

    // The rebuilt lock works across threads.
    std::atomic<int> entered{0};
    LockApi();
    std::thread other([&] {
        LockApi();
        entered = 1;
        UnlockApi();
    });
    ASSERT_TRUE(WaitForWaiters(1));
    UnlockApi();
    other.join();
    EXPECT_EQ(entered.load(), 1);
    ApiLockTearDown();
    EXPECT_EQ(ApiLockIsInitialised(), 0);
}

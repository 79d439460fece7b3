// The API lock behind every public runtime entry. A small critical section guards the lock's own fields
// only for a few instructions; threads that must wait queue up in arrival order, each sleeping on the
// manual-reset event of the slot it occupies, and a leaving owner wakes exactly the head of the queue.
#include "runtime/api_lock.h"

#include <windows.h>

namespace {

constexpr int kWaiterSlots = 4096;
constexpr DWORD kNoOwner = 0xFFFFFFFFu;

// Set-up states of the lock. The set-up is guarded so that a late public call racing another thread after
// a teardown cannot build the lock twice.
enum : int { kNotSetUp = 0, kBusy = 1, kReady = 2 };

struct WaiterSlot {
    DWORD threadId;
    HANDLE event;  // created on first use of the slot; travels with its waiter when the queue shifts
};

struct ApiLock {
    CRITICAL_SECTION guard;
    int locked;
    DWORD owner;
    int recursion;
    int waiterCount;  // slot 0 is the head of the queue
    WaiterSlot waiters[kWaiterSlots];
};

std::atomic<int> g_setUp{kNotSetUp};
ApiLock g_lock;

void EnsureSetUp() {
    for (;;) {
        int state = g_setUp.load(std::memory_order_acquire);
        if (state == kReady) return;
        if (state == kNotSetUp && g_setUp.compare_exchange_strong(state, kBusy, std::memory_order_acq_rel)) {
            InitializeCriticalSection(&g_lock.guard);
            g_lock.locked = 0;
            g_lock.owner = kNoOwner;
            g_lock.recursion = 0;
            g_lock.waiterCount = 0;
            for (WaiterSlot& slot : g_lock.waiters) slot = WaiterSlot{0, nullptr};
            g_setUp.store(kReady, std::memory_order_release);
            return;
        }
        Sleep(0);
    }
}

// All helpers below run inside the guard.

int FindWaiter(DWORD threadId) {
    for (int i = 0; i < g_lock.waiterCount; ++i) {
        if (g_lock.waiters[i].threadId == threadId) return i;
    }
    return -1;
}

// Appends the caller at the end of the queue; -1 when the queue is full or no event could be made.
int Enqueue(DWORD threadId) {
    if (g_lock.waiterCount >= kWaiterSlots) return -1;
    WaiterSlot& slot = g_lock.waiters[g_lock.waiterCount];
    if (slot.event == nullptr) {
        slot.event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (slot.event == nullptr) return -1;
    }
    slot.threadId = threadId;
    return g_lock.waiterCount++;
}

// Takes slot pos out of the queue: the slots behind it move down with their events and the freed event goes
// to the slot that became empty at the end, reset so that it cannot wake its next user by mistake.
void RemoveWaiterAt(int pos) {
    HANDLE freed = g_lock.waiters[pos].event;
    for (int i = pos; i + 1 < g_lock.waiterCount; ++i) g_lock.waiters[i] = g_lock.waiters[i + 1];
    --g_lock.waiterCount;
    g_lock.waiters[g_lock.waiterCount] = WaiterSlot{0, freed};
    if (freed != nullptr) ResetEvent(freed);
}

// The head of the queue is woken while the guard is held, so the event read is the one its waiter sleeps on.
void WakeHeadIfFree() {
    if (!g_lock.locked && g_lock.waiterCount > 0) SetEvent(g_lock.waiters[0].event);
}

// Decides whether the caller may take the lock now; removes it from the queue head when it does.
bool TryTake(DWORD me, int pos) {
    bool take;
    if (g_lock.locked) {
        take = (g_lock.owner == me);
    } else if (g_lock.waiterCount == 0) {
        take = true;
    } else if (pos == 0) {
        RemoveWaiterAt(0);
        take = true;
    } else {
        take = false;  // the lock is free but others queued first
    }
    if (take) {
        g_lock.locked = 1;
        g_lock.owner = me;
        ++g_lock.recursion;
    }
    return take;
}

// Leaves the lock; returns true when a waiter was woken.
bool Release() {
    if (g_setUp.load(std::memory_order_acquire) != kReady) return false;
    EnterCriticalSection(&g_lock.guard);
    bool woke = false;
    // A leave by a thread that does not own the lock is a caller error; ignoring it keeps the owner's
    // count intact instead of handing the lock away under the owner's feet.
    if (g_lock.locked && g_lock.owner == GetCurrentThreadId()) {
        if (g_lock.recursion == 1) {
            g_lock.locked = 0;
            g_lock.owner = kNoOwner;
            woke = g_lock.waiterCount > 0;
            WakeHeadIfFree();
        }
        --g_lock.recursion;
    }
    LeaveCriticalSection(&g_lock.guard);
    return woke;
}

// Enters the lock, queueing when it must wait. Without a quit flag the wait has no limit; with one, the event
// is polled and waited on at most 1000 ms at a time, and once the flag is set the caller leaves the queue and
// gives up (-1). 0 with the lock held.
int EnterLock(const std::atomic<int>* quitFlag) {
    EnsureSetUp();
    const DWORD me = GetCurrentThreadId();
    for (;;) {
        EnterCriticalSection(&g_lock.guard);
        int pos = FindWaiter(me);
        if (TryTake(me, pos)) {
            LeaveCriticalSection(&g_lock.guard);
            return 0;
        }
        if (quitFlag != nullptr && quitFlag->load()) {
            if (pos >= 0) {
                RemoveWaiterAt(pos);
                if (pos == 0) WakeHeadIfFree();
            }
            LeaveCriticalSection(&g_lock.guard);
            return -1;
        }
        if (pos < 0) pos = Enqueue(me);
        if (pos < 0) {  // queue full: retry every millisecond
            LeaveCriticalSection(&g_lock.guard);
            Sleep(1);
            continue;
        }
        HANDLE event = g_lock.waiters[pos].event;
        LeaveCriticalSection(&g_lock.guard);
        if (quitFlag == nullptr) {
            WaitForSingleObject(event, INFINITE);
        } else if (WaitForSingleObject(event, 0) != WAIT_OBJECT_0 && !quitFlag->load()) {
            WaitForSingleObject(event, 1000);
        }
        // The caller stays queued, so its event is still its own; the state is checked again after the reset.
        ResetEvent(event);
    }
}

}  // namespace

void LockApi() { EnterLock(nullptr); }

void UnlockApi() {
    if (Release()) Sleep(0);  // give the woken thread the processor
}

int LockApiPolling(const std::atomic<int>& quitFlag) { return EnterLock(&quitFlag); }

void UnlockApiNoYield() { Release(); }

void ApiLockLeaveQueue() {
    if (g_setUp.load(std::memory_order_acquire) != kReady) return;
    EnterCriticalSection(&g_lock.guard);
    const int pos = FindWaiter(GetCurrentThreadId());
    if (pos >= 0) {
        RemoveWaiterAt(pos);
        if (pos == 0) WakeHeadIfFree();
    }
    LeaveCriticalSection(&g_lock.guard);
}

void ApiLockTearDown() {
    if (g_setUp.load(std::memory_order_acquire) != kReady) return;
    EnterCriticalSection(&g_lock.guard);
    // Other threads still waiting or owning the lock would be left sleeping on closed events: keep the lock
    // then. In the runtime this never happens, as shutdown waits for the message thread first.
    const bool inUse = g_lock.waiterCount > 0 || (g_lock.locked && g_lock.owner != GetCurrentThreadId());
    int state = kReady;
    const bool mine = !inUse && g_setUp.compare_exchange_strong(state, kBusy, std::memory_order_acq_rel);
    LeaveCriticalSection(&g_lock.guard);
    if (!mine) return;
    for (WaiterSlot& slot : g_lock.waiters) {
        if (slot.event != nullptr) CloseHandle(slot.event);
        slot = WaiterSlot{0, nullptr};
    }
    DeleteCriticalSection(&g_lock.guard);
    g_lock.locked = 0;
    g_lock.owner = kNoOwner;
    g_lock.recursion = 0;
    g_lock.waiterCount = 0;
    g_setUp.store(kNotSetUp, std::memory_order_release);
}

int ApiLockIsInitialised() { return g_setUp.load(std::memory_order_acquire) == kReady ? 1 : 0; }

namespace {
template <typename F>
auto ReadUnderGuard(F read, decltype(read()) fallback) {
    if (g_setUp.load(std::memory_order_acquire) != kReady) return fallback;
    EnterCriticalSection(&g_lock.guard);
    auto value = read();
    LeaveCriticalSection(&g_lock.guard);
    return value;
}
}  // namespace

int ApiLockWaiterCount() {
    return ReadUnderGuard([] { return g_lock.waiterCount; }, 0);
}

int ApiLockRecursion() {
    return ReadUnderGuard([] { return g_lock.recursion; }, 0);
}

unsigned long ApiLockOwner() {
    return ReadUnderGuard([] { return static_cast<unsigned long>(g_lock.owner); }, 0xFFFFFFFFul);
}

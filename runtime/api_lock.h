// The runtime's one API lock: every public entry takes it around its Impl twin, so the game thread and the
// message thread never run inside the runtime at the same time. Recursive, first come first served, rebuilt
// on demand after ShutDownLibrary took it apart so that late release calls stay harmless.
#pragma once

#include <atomic>

// Enters the lock (recursive). Sets the lock up on first use.
void LockApi();
// Leaves the lock; the last matching leave hands it to the head of the queue.
void UnlockApi();

// The message thread's form of entering: waits in slices of at most 1000 ms and gives up as soon as
// quitFlag is non-zero. Returns 0 with the lock held, -1 when it gave up (the caller is then no longer queued).
int LockApiPolling(const std::atomic<int>& quitFlag);
// The message thread's form of leaving: like UnlockApi but without yielding the processor.
void UnlockApiNoYield();
// Removes the calling thread from wherever it stands in the waiter queue (no-op when not queued).
void ApiLockLeaveQueue();

// Takes the lock apart (events closed, guard deleted). Used after the shutdown sequence by ShutDownLibrary
// and by the fatal-error path. Safe to call when the lock was never set up.
void ApiLockTearDown();

// Read-only views, for diagnostics and tests.
int ApiLockIsInitialised();
int ApiLockWaiterCount();
int ApiLockRecursion();
unsigned long ApiLockOwner();  // thread id of the owner, 0xFFFFFFFF when free

// Scoped entry for the public wrappers: LockApi in the constructor, UnlockApi in the destructor.
class ApiLockScope {
public:
    ApiLockScope() { LockApi(); }
    ~ApiLockScope() { UnlockApi(); }
    ApiLockScope(const ApiLockScope&) = delete;
    ApiLockScope& operator=(const ApiLockScope&) = delete;
};

// Tracked heap allocator: every runtime block carries a sealed header and sits in one list,
// so shutdown can dump what is still live and a check can find overwritten headers.
// No lock of its own: callers hold the API lock or run during start-up/shutdown.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Header in front of every tracked block. The fields come first; the seal behind them is a
// copy of them, so any overwrite of a field is detected. 64 bytes on i686; on x86_64 the
// pointers are wider and the seal grows with them (80 bytes). User blocks are 16-aligned.
struct TrackedBlockFields {
    char sourceName[16];               // last 15 characters of the caller's source name + NUL
    uint16_t id;                       // allocation counter at allocation (wraps at 65536)
    uint16_t line;                     // caller's line (0xFFFF for the log's own buffers)
    uint32_t size;                     // caller's size in bytes
    struct TrackedBlockHeader* older;  // next older block (towards the sentinel)
    struct TrackedBlockHeader* newer;  // next newer block, null for the newest
};

struct TrackedBlockHeader {
    TrackedBlockFields f;
    unsigned char seal[sizeof(TrackedBlockFields)];
};

constexpr size_t kTrackedHeaderSize = sizeof(TrackedBlockHeader);

#if !defined(_WIN64)
static_assert(sizeof(TrackedBlockHeader) == 64, "the tracked header is 64 bytes on i686");
#endif
static_assert(sizeof(TrackedBlockHeader) % 16 == 0, "user blocks must stay 16-byte aligned");

// Returns a block of `size` bytes (not cleared) or null when the heap refuses (the live blocks
// are dumped to the log first) or size plus header would not fit in 32 bits.
void* TrackedAlloc(size_t size, const char* sourceName, int line);
// The same, filled with zero bytes.
void* TrackedAllocZeroed(size_t size, const char* sourceName, int line);
// Frees a tracked block. Null returns 0 and does nothing; else 0 on success, -1 when the
// heap refuses.
int TrackedFree(void* block);

// Convenience forms that record the calling file and line.
#define KV_ALLOC(size) TrackedAlloc((size), __FILE__, __LINE__)
#define KV_ALLOC_ZEROED(size) TrackedAllocZeroed((size), __FILE__, __LINE__)
#define KV_FREE(block) TrackedFree(block)

// Logs every live block (newest first) and the totals. Returns 0.
int DumpAllocations();
// Checks every live header against its seal; -1 at the first broken one (which is logged).
int CheckAllocations();
// "\tTotal size:%d(%.3fkb)  Alloc num:%d". Returns 0.
int LogAllocationTotals();
// One line describing the block: size, source, line, id and its first 16 bytes. Returns 0.
int LogAllocBlock(const TrackedBlockHeader* header);
void SealAllocHeader(TrackedBlockHeader* header);
// 0 when the header matches its seal; otherwise logs it and returns -1.
int CheckAllocHeader(const TrackedBlockHeader* header);

// The allocator's back end: HeapAlloc/HeapFree on the process heap, no flags.
void* RawHeapAlloc(size_t size);
int RawHeapFree(void* pointer);

// Header of a block handed out by TrackedAlloc.
TrackedBlockHeader* TrackedHeaderOf(void* block);

// Live block count and total live bytes.
int GetTrackedAllocCount();
int GetTrackedAllocTotalSize();

// Diagnostic settings, all 0 at load; the game never sets them.
struct TrackedAllocSettings {
    int logEveryBlock;      // 1: log every allocation and free
    int logBlockSize;       // <0: log every block; else log blocks of exactly this size
    int logTotalsEachTime;  // 1: log the totals after each allocation and free
    int checkEachTime;      // 1: check every header after each allocation and before each free
    // Test switches, never set outside tests: refusals that look to the caller like the heap saying no.
    int testRefuseBlockSize = 0;  // >0: refuse every block of exactly this size
    int testRefuseAfter = 0;      // >0: let testRefuseAfter - 1 blocks through, refuse the next, then switch off
};
TrackedAllocSettings GetTrackedAllocSettings();
void SetTrackedAllocSettings(const TrackedAllocSettings& settings);

// Tracked heap allocator: a sealed header in front of every block, all live blocks in one list
// from the newest back to a static sentinel, so leaks are dumped at shutdown and overwritten
// headers are found by CheckAllocations. Callers hold the API lock; no lock here.
#include "runtime/memory.h"

#include <windows.h>

#include <string.h>

#include "runtime/log.h"
#include "runtime/text.h"

namespace {

// Blocks are placed 1..kAlignPad bytes past the heap's pointer so the user block is 16-aligned
// on both targets; the distance is kept in the byte just before the header.
constexpr size_t kAlignPad = 16;
// Largest caller size: header and padding must fit, and the header keeps the size in 32 bits.
constexpr size_t kMaxBlockSize = 0x7FFFFFFFu - kTrackedHeaderSize - kAlignPad;

TrackedBlockHeader g_sentinel;
TrackedBlockHeader* g_newest = nullptr;
int g_totalSize = 0;
int g_liveCount = 0;
uint16_t g_nextId = 0;
TrackedAllocSettings g_settings = {};

bool ShouldLogBlock(uint32_t size) {
    return g_settings.logBlockSize < 0 || (uint32_t)g_settings.logBlockSize == size ||
           g_settings.logEveryBlock == 1;
}

void StoreSourceTail(char* out, const char* sourceName) {
    FillBytes(out, 0, 16);
    if (sourceName == nullptr) return;
    size_t length = strlen(sourceName);
    const char* tail = length > 15 ? sourceName + (length - 15) : sourceName;
    memcpy(out, tail, length > 15 ? 15 : length);
}

unsigned char* RawBaseOf(TrackedBlockHeader* header) {
    unsigned char* p = reinterpret_cast<unsigned char*>(header);
    return p - p[-1];
}

// A pointer passed to TrackedFree must name a live block: padding byte in range, seal intact,
// and the neighbours must point back at it. Anything else (double free, foreign pointer) is
// refused rather than unlinked, which would corrupt the list.
bool IsLiveBlock(TrackedBlockHeader* header) {
    unsigned char pad = reinterpret_cast<unsigned char*>(header)[-1];
    if (pad < 1 || pad > kAlignPad) return false;
    if (memcmp(&header->f, header->seal, sizeof(header->f)) != 0) return false;
    if (header->f.older == nullptr || header->f.older->f.newer != header) return false;
    if (header->f.newer == nullptr) return header == g_newest;
    return header->f.newer->f.older == header;
}

}  // namespace

void* RawHeapAlloc(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }

int RawHeapFree(void* pointer) { return HeapFree(GetProcessHeap(), 0, pointer) ? 0 : -1; }

TrackedBlockHeader* TrackedHeaderOf(void* block) {
    return reinterpret_cast<TrackedBlockHeader*>(static_cast<unsigned char*>(block) - kTrackedHeaderSize);
}

void SealAllocHeader(TrackedBlockHeader* header) { memcpy(header->seal, &header->f, sizeof(header->f)); }

int CheckAllocHeader(const TrackedBlockHeader* header) {
    if (memcmp(&header->f, header->seal, sizeof(header->f)) == 0) return 0;
    WriteLog("以下のメモリ確保情報が破損しました");
    LogAllocBlock(header);
    return -1;
}

int LogAllocBlock(const TrackedBlockHeader* header) {
    // sourceName may itself be damaged: print at most its 16 bytes.
    char source[17];
    memcpy(source, header->f.sourceName, 16);
    source[16] = '\0';
    uint32_t size = header->f.size;
    char line[400];
    FormatString(line, sizeof(line), "\tsize:%d(%.3fkb)  file:%s  line:%d  ID:%d  data:<", (int)size,
                 size / 1024.0, source, (int)header->f.line, (int)header->f.id);
    const unsigned char* data = reinterpret_cast<const unsigned char*>(header) + kTrackedHeaderSize;
    uint32_t shown = size < 16 ? size : 16;
    char* p = line + strlen(line);
    for (uint32_t i = 0; i < shown; ++i) *p++ = (data[i] < 32 || data[i] >= 128) ? '.' : (char)data[i];
    p = CopyText(p, "> [");
    for (uint32_t i = 0; i < shown; ++i) {
        FormatString(p, 4, "%02x ", data[i]);
        p += 3;
    }
    if (shown > 0) --p;  // the last blank becomes the closing bracket
    CopyText(p, "]\n");
    WriteLog(line);
    return 0;
}

int LogAllocationTotals() {
    WriteLogFormat("\tTotal size:%d(%.3fkb)  Alloc num:%d", g_totalSize, g_totalSize / 1024.0, g_liveCount);
    return 0;
}

int CheckAllocations() {
    for (TrackedBlockHeader* h = g_newest; h != nullptr && h != &g_sentinel; h = h->f.older) {
        if (CheckAllocHeader(h) != 0) return -1;
    }
    return 0;
}

int DumpAllocations() {
    WriteLog("\n");
    WriteLog("Alloc memory dump");
    for (TrackedBlockHeader* h = g_newest; h != nullptr && h != &g_sentinel; h = h->f.older) LogAllocBlock(h);
    LogAllocationTotals();
    WriteLog("\n");
    return 0;
}

namespace {

// The tests' refusal switches (see TrackedAllocSettings).
bool TestSwitchRefuses(size_t size) {
    if (g_settings.testRefuseBlockSize > 0 && size == (size_t)g_settings.testRefuseBlockSize) return true;
    if (g_settings.testRefuseAfter > 0 && --g_settings.testRefuseAfter == 0) return true;
    return false;
}

}  // namespace

void* TrackedAlloc(size_t size, const char* sourceName, int line) {
    if (size > kMaxBlockSize) {
        WriteLogFormat("メモリ確保サイズが大きすぎます( 確保しようとしたサイズ %llu バイト )",
                       (unsigned long long)size);
        return nullptr;
    }
    unsigned char* raw =
        TestSwitchRefuses(size) ? nullptr
                                : static_cast<unsigned char*>(RawHeapAlloc(size + kTrackedHeaderSize + kAlignPad));
    if (raw == nullptr) {
        DumpAllocations();
        return nullptr;
    }
    uintptr_t at = (reinterpret_cast<uintptr_t>(raw) + 1 + (kAlignPad - 1)) & ~(uintptr_t)(kAlignPad - 1);
    auto* header = reinterpret_cast<TrackedBlockHeader*>(at);
    reinterpret_cast<unsigned char*>(header)[-1] = (unsigned char)(at - reinterpret_cast<uintptr_t>(raw));

    StoreSourceTail(header->f.sourceName, sourceName);
    header->f.size = (uint32_t)size;
    header->f.line = (uint16_t)line;
    header->f.id = g_nextId++;

    if (g_newest == nullptr) g_newest = &g_sentinel;
    g_newest->f.newer = header;
    header->f.older = g_newest;
    header->f.newer = nullptr;
    g_newest = header;
    SealAllocHeader(header);
    SealAllocHeader(header->f.older);

    g_totalSize += (int)size;
    g_liveCount += 1;

    if (ShouldLogBlock((uint32_t)size)) {
        WriteLog("mem alloc  ");
        LogAllocBlock(header);
    }
    if (g_settings.logTotalsEachTime) LogAllocationTotals();
    if (g_settings.checkEachTime) CheckAllocations();
    return reinterpret_cast<unsigned char*>(header) + kTrackedHeaderSize;
}

void* TrackedAllocZeroed(size_t size, const char* sourceName, int line) {
    void* block = TrackedAlloc(size, sourceName, line);
    if (block != nullptr) FillBytes(block, 0, size);
    return block;
}

int TrackedFree(void* block) {
    if (block == nullptr) return 0;
    TrackedBlockHeader* header = TrackedHeaderOf(block);
    if (!IsLiveBlock(header)) {
        WriteLogFormat("確保されていないメモリを解放しようとしました( アドレス %p )", block);
        return -1;
    }
    g_totalSize -= (int)header->f.size;
    g_liveCount -= 1;
    if (g_settings.checkEachTime) CheckAllocations();

    TrackedBlockHeader* older = header->f.older;
    TrackedBlockHeader* newer = header->f.newer;
    older->f.newer = newer;
    if (newer != nullptr) newer->f.older = older;
    if (header == g_newest) g_newest = older;
    SealAllocHeader(older);
    if (newer != nullptr) SealAllocHeader(newer);

    if (ShouldLogBlock(header->f.size)) {
        WriteLog("mem free  ");
        LogAllocBlock(header);
    }
    if (g_settings.logTotalsEachTime) LogAllocationTotals();

    // Break the seal so that a second free of the same pointer is refused.
    header->seal[0] ^= 0xFF;
    return RawHeapFree(RawBaseOf(header));
}

int GetTrackedAllocCount() { return g_liveCount; }

int GetTrackedAllocTotalSize() { return g_totalSize; }

TrackedAllocSettings GetTrackedAllocSettings() { return g_settings; }

void SetTrackedAllocSettings(const TrackedAllocSettings& settings) { g_settings = settings; }

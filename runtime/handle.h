// Handles name every object the runtime hands out: bit 31 clear, type in bits 27-30, check id
// (0..2047) in bits 16-26, slot in bits 0-15. Each module keeps its own HandleTable following
// one scheme so stale or foreign handles are refused. HandleChain lists live objects in order.
#pragma once

#include <stddef.h>

#include "runtime/log.h"
#include "runtime/memory.h"

enum HandleType {
    kHandleTypeGraph = 1,
    kHandleTypeSound = 2,
    kHandleTypeMovie = 3,
    kHandleTypeFont = 4,
    kHandleTypeSurface2D = 5,
    kHandleTypeSurface3D = 6,
    kHandleTypeSurfaceData = 7,
    kHandleTypeMaskData = 8,
    kHandleTypeNetwork = 9,
    kHandleTypeKeyInput = 10,
    kHandleTypeMusic = 11,
};

constexpr int kHandleCheckIdCount = 2048;

inline int MakeHandle(int type, int checkId, int slot) {
    return (int)(((unsigned)(type & 0xF) << 27) | ((unsigned)(checkId & 0x7FF) << 16) |
                 (unsigned)(slot & 0xFFFF));
}
inline int HandleTypeOf(int handle) { return (handle >> 27) & 0xF; }
inline int HandleCheckIdOf(int handle) { return (handle >> 16) & 0x7FF; }
inline int HandleSlotOf(int handle) { return handle & 0xFFFF; }

// ---- Handle chain ----
struct HandleChainNode {
    int handle;
    void* data;
    HandleChainNode* prev;
    HandleChainNode* next;
};

// Empties the chain: head.next = tail, tail.prev = head, both handles -1, outer links null.
int HandleChainReset(HandleChainNode* head, HandleChainNode* tail);
// Fills the node and inserts it directly behind listNode (callers pass the head: newest first).
int HandleChainLink(HandleChainNode* listNode, HandleChainNode* node, int handle, void* data);
// Joins the node's neighbours; the node itself is left unchanged.
int HandleChainUnlink(HandleChainNode* node);

// ---- Handle table ----
// Untyped core of the table; use HandleTable<Record> below.
struct HandleTableCore {
    int type;
    int slotCount;
    int liveCount;
    int highWater;    // one past the highest slot in use
    int nextCheckId;  // 0..2047, wraps
    void** records;   // slotCount pointers, null = free slot (tracked memory)
};

int HandleTableCoreInit(HandleTableCore* table, int type, int slotCount);
void HandleTableCoreDestroy(HandleTableCore* table);
// Takes a slot for an already allocated record (whose first int receives the check id).
// Returns the handle, or -1 when the table is full or has no storage.
int HandleTableCoreAdd(HandleTableCore* table, void* record);
// The record a handle names, or null when the handle is negative, of another type, its slot
// out of range or empty, or its check id differs from the record's.
void* HandleTableCoreGet(const HandleTableCore* table, int handle);
// Empties the handle's slot and returns its record (null for an invalid handle); lowers the
// high-water mark past empty slots. The caller frees the record.
void* HandleTableCoreRemove(HandleTableCore* table, int handle);

// A module's table of Record pointers. Record must start with `int checkId`. The slot array
// is tracked memory made on the first add: a module's end function calls clear() so that the
// shutdown dump lists nothing of it.
//   HandleTable<GraphRecord> graphs(kHandleTypeGraph, 32768);
//   int h = graphs.add();                 // zeroed record in tracked memory, or -1 when full/no memory
//   GraphRecord* g = graphs.get(h);       // null when h is not a live graph handle
//   graphs.remove(h);                     // frees the record; -1 for an invalid handle
//   graphs.forEach([](int h, GraphRecord* g) { ... });  // removing the visited handle is allowed
template <typename Record>
class HandleTable {
   public:
    HandleTable(int type, int slotCount) : type_(type), slotCount_(slotCount) {
        core_.type = type;
        core_.slotCount = slotCount;
    }
    ~HandleTable() { clear(); }
    HandleTable(const HandleTable&) = delete;
    HandleTable& operator=(const HandleTable&) = delete;

    // Makes a zeroed record of `recordSize` bytes (at least sizeof(Record); for records with a
    // variable tail) and gives it a handle. -1 when the table is full or memory runs out: a
    // module that reports the two differently asks isFull() first.
    int add(size_t recordSize = sizeof(Record)) {
        static_assert(offsetof(Record, checkId) == 0, "records start with their check id");
        if (!ensureStorage()) return -1;
        if (core_.liveCount >= core_.slotCount) return -1;
        if (recordSize < sizeof(Record)) recordSize = sizeof(Record);
        void* record = TrackedAllocZeroed(recordSize, "handle.h", __LINE__);
        if (record == nullptr) return -1;
        int handle = HandleTableCoreAdd(&core_, record);
        if (handle < 0) TrackedFree(record);
        return handle;
    }
    Record* get(int handle) const { return static_cast<Record*>(HandleTableCoreGet(&core_, handle)); }
    bool isValid(int handle) const { return get(handle) != nullptr; }
    // Record in a slot (null when free), for modules that walk their slots directly.
    Record* atSlot(int slot) const {
        if (core_.records == nullptr || slot < 0 || slot >= core_.slotCount) return nullptr;
        return static_cast<Record*>(core_.records[slot]);
    }
    // The handle of a live slot, or -1.
    int handleAtSlot(int slot) const {
        Record* r = atSlot(slot);
        return r ? MakeHandle(type_, r->checkId, slot) : -1;
    }
    // Frees the record and empties the slot. 0, or -1 for an invalid handle.
    int remove(int handle) {
        void* record = HandleTableCoreRemove(&core_, handle);
        if (record == nullptr) return -1;
        TrackedFree(record);
        return 0;
    }
    template <typename Fn>
    void forEach(Fn fn) const {
        for (int slot = 0; slot < core_.highWater; ++slot) {
            Record* r = atSlot(slot);
            if (r) fn(MakeHandle(type_, r->checkId, slot), r);
        }
    }
    // Frees every record and the slot array; the check-id counter keeps counting.
    void clear() {
        if (core_.records == nullptr) return;
        for (int slot = 0; slot < core_.slotCount; ++slot) {
            if (core_.records[slot]) TrackedFree(core_.records[slot]);
        }
        int nextCheckId = core_.nextCheckId;
        HandleTableCoreDestroy(&core_);
        core_.nextCheckId = nextCheckId;
    }
    int type() const { return type_; }
    int slotCount() const { return slotCount_; }
    int liveCount() const { return core_.liveCount; }
    int highWater() const { return core_.highWater; }
    int nextCheckId() const { return core_.nextCheckId; }
    bool isFull() const { return core_.liveCount >= core_.slotCount; }

   private:
    bool ensureStorage() {
        if (core_.records) return true;
        int nextCheckId = core_.nextCheckId;
        if (HandleTableCoreInit(&core_, type_, slotCount_) != 0) return false;
        core_.nextCheckId = nextCheckId;
        return true;
    }
    int type_;
    int slotCount_;
    HandleTableCore core_{};
};

// The one handle scheme every module's table follows (slot at the high-water mark, check ids
// counting 0..2047, validation of type, slot and check id), and the handle chain: a doubly
// linked list between two sentinels that modules keep to walk their live objects, newest first.
#include "runtime/handle.h"

#include "runtime/text.h"

int HandleChainReset(HandleChainNode* head, HandleChainNode* tail) {
    head->handle = -1;
    head->data = nullptr;
    head->prev = nullptr;
    head->next = tail;
    tail->handle = -1;
    tail->data = nullptr;
    tail->prev = head;
    tail->next = nullptr;
    return 0;
}

int HandleChainLink(HandleChainNode* listNode, HandleChainNode* node, int handle, void* data) {
    node->handle = handle;
    node->data = data;
    node->prev = listNode;
    node->next = listNode->next;
    if (listNode->next != nullptr) listNode->next->prev = node;
    listNode->next = node;
    return 0;
}

int HandleChainUnlink(HandleChainNode* node) {
    if (node->prev != nullptr) node->prev->next = node->next;
    if (node->next != nullptr) node->next->prev = node->prev;
    return 0;
}

int HandleTableCoreInit(HandleTableCore* table, int type, int slotCount) {
    table->type = type;
    table->slotCount = slotCount;
    table->liveCount = 0;
    table->highWater = 0;
    table->nextCheckId = 0;
    table->records = nullptr;
    if (slotCount <= 0 || slotCount > 0x10000) return -1;
    table->records = static_cast<void**>(TrackedAllocZeroed(sizeof(void*) * (size_t)slotCount, "handle.cpp", __LINE__));
    return table->records != nullptr ? 0 : -1;
}

void HandleTableCoreDestroy(HandleTableCore* table) {
    if (table->records != nullptr) TrackedFree(table->records);
    table->records = nullptr;
    table->liveCount = 0;
    table->highWater = 0;
}

int HandleTableCoreAdd(HandleTableCore* table, void* record) {
    if (table->records == nullptr || record == nullptr || table->liveCount >= table->slotCount) return -1;
    int slot = table->highWater;
    if (slot >= table->slotCount) {
        // Only a full mark makes the table look for a hole from the start.
        for (slot = 0; slot < table->slotCount && table->records[slot] != nullptr; ++slot) {
        }
        if (slot >= table->slotCount) return -1;
    }
    int checkId = table->nextCheckId;
    table->nextCheckId = (checkId + 1) % kHandleCheckIdCount;
    *static_cast<int*>(record) = checkId;
    table->records[slot] = record;
    table->liveCount += 1;
    if (slot == table->highWater) table->highWater += 1;
    return MakeHandle(table->type, checkId, slot);
}

void* HandleTableCoreGet(const HandleTableCore* table, int handle) {
    if (handle < 0 || table->records == nullptr) return nullptr;
    if (HandleTypeOf(handle) != table->type) return nullptr;
    int slot = HandleSlotOf(handle);
    if (slot >= table->slotCount) return nullptr;
    void* record = table->records[slot];
    if (record == nullptr || *static_cast<int*>(record) != HandleCheckIdOf(handle)) return nullptr;
    return record;
}

void* HandleTableCoreRemove(HandleTableCore* table, int handle) {
    void* record = HandleTableCoreGet(table, handle);
    if (record == nullptr) return nullptr;
    int slot = HandleSlotOf(handle);
    table->records[slot] = nullptr;
    table->liveCount -= 1;
    if (slot == table->highWater - 1) {
        while (table->highWater > 0 && table->records[table->highWater - 1] == nullptr) table->highWater -= 1;
    }
    return record;
}

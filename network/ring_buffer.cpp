// Growable byte queue of the network layer. Bytes are made contiguous only when the block grows; a
// refused growth keeps the old block, since a send queue that lost its bytes would misframe the stream.
#include "network/ring_buffer.h"

#include "runtime/log.h"
#include "runtime/memory.h"
#include "runtime/text.h"

namespace {
unsigned long g_growths = 0;
}  // namespace

unsigned long GetRingBufferGrowthCount() { return g_growths; }

int RingBufferClear(RingBuffer* buffer) {
    buffer->data = nullptr;
    buffer->readPosition = 0;
    buffer->writePosition = 0;
    buffer->heldCount = 0;
    buffer->capacity = 0;
    return 0;
}

int RingBufferFree(RingBuffer* buffer) {
    TrackedFree(buffer->data);
    return RingBufferClear(buffer);
}

void RingBufferNormalise(RingBuffer* buffer) {
    if (buffer->readPosition == buffer->capacity) buffer->readPosition = 0;
    if (buffer->writePosition == buffer->capacity) buffer->writePosition = 0;
}

int RingBufferReserve(RingBuffer* buffer, int32_t add) { return RingBufferReserveSettling(buffer, add, INT32_MAX); }

namespace {

// Moves the held bytes, in order, to the start of a new block of `capacity` bytes and frees the old one.
void MoveToBlock(RingBuffer* buffer, unsigned char* block, int32_t capacity) {
    const int32_t held = buffer->heldCount;
    if (held > 0) {
        const int32_t first = buffer->capacity - buffer->readPosition;
        if (buffer->readPosition + (int64_t)held > buffer->capacity) {
            MoveBytes(block, buffer->data + buffer->readPosition, (size_t)first);
            MoveBytes(block + first, buffer->data, (size_t)(held - first));
        } else {
            MoveBytes(block, buffer->data + buffer->readPosition, (size_t)held);
        }
    }
    TrackedFree(buffer->data);
    buffer->data = block;
    buffer->capacity = capacity;
    buffer->readPosition = 0;
    buffer->writePosition = held;
}

}  // namespace

int RingBufferReserveSettling(RingBuffer* buffer, int32_t add, int32_t settle) {
    RingBufferNormalise(buffer);
    if (add < 0) return -1;
    const int64_t need = (int64_t)buffer->heldCount + add;
    if (buffer->capacity >= need) return 0;
    // Growing by half keeps growth amortised when a backlog builds up one message at a time (the slack alone
    // would copy the whole backlog again every 1000 bytes), and keeps a grown block within half again of what
    // it holds. A growth past INT32_MAX falls back to the need.
    int64_t wanted = need + kRingBufferSlack;
    int64_t grown = (int64_t)buffer->capacity + buffer->capacity / 2;
    if (need <= settle && grown > (int64_t)settle + kRingBufferSlack) grown = (int64_t)settle + kRingBufferSlack;
    if (grown > wanted && grown <= INT32_MAX) wanted = grown;
    unsigned char* block = nullptr;
    if (wanted <= INT32_MAX) block = static_cast<unsigned char*>(TrackedAlloc((size_t)wanted, "", 0));
    if (block == nullptr) {
        // The size cannot be shown as a positive int when it passes INT32_MAX; the line then shows the
        // 32-bit wrap of it, which is as much as the format can say.
        WriteLogFormat("リングバッファの再確保に失敗しました(確保しようとしたサイズ %d byte)", (int)(uint32_t)wanted);
        return -1;
    }
    MoveToBlock(buffer, block, (int32_t)wanted);
    ++g_growths;
    return 0;
}

int RingBufferShrink(RingBuffer* buffer, int32_t keep) {
    RingBufferNormalise(buffer);
    if (keep < buffer->heldCount) keep = buffer->heldCount;
    if (keep >= buffer->capacity) return 0;
    if (keep == 0) return RingBufferFree(buffer);
    auto* block = static_cast<unsigned char*>(TrackedAlloc((size_t)keep, "", 0));
    if (block == nullptr) return -1;  // the larger block still serves
    MoveToBlock(buffer, block, keep);
    return 0;
}

int RingBufferAdd(RingBuffer* buffer, const void* data, int32_t length) {
    RingBufferNormalise(buffer);
    if (length < 0) {
        WriteLogFormat("リングバッファへのデータの追加に失敗しました(追加する長さ %d byte)", length);
        return -1;
    }
    if (RingBufferReserve(buffer, length) != 0) {
        WriteLogFormat("リングバッファへのデータの追加に失敗しました(追加する長さ %d byte)", length);
        return -1;
    }
    if (length == 0) return 0;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    const int32_t room = buffer->capacity - buffer->writePosition;
    if (length > room) {
        MoveBytes(buffer->data + buffer->writePosition, bytes, (size_t)room);
        MoveBytes(buffer->data, bytes + room, (size_t)(length - room));
        buffer->writePosition = length - room;
    } else {
        MoveBytes(buffer->data + buffer->writePosition, bytes, (size_t)length);
        buffer->writePosition += length;
    }
    buffer->heldCount += length;
    return 0;
}

int RingBufferRead(RingBuffer* buffer, void* destination, int32_t size, int peek) {
    if (size < 0 || buffer->heldCount < size) return -1;
    RingBufferNormalise(buffer);
    if (size == 0) return 0;
    unsigned char* out = static_cast<unsigned char*>(destination);
    const int32_t first = buffer->capacity - buffer->readPosition;
    if (size > first) {
        MoveBytes(out, buffer->data + buffer->readPosition, (size_t)first);
        MoveBytes(out + first, buffer->data, (size_t)(size - first));
        if (!peek) buffer->readPosition = size - first;
    } else {
        MoveBytes(out, buffer->data + buffer->readPosition, (size_t)size);
        if (!peek) buffer->readPosition += size;
    }
    if (!peek) buffer->heldCount -= size;
    return 0;
}

int RingBufferHeldCount(const RingBuffer* buffer) { return buffer->heldCount; }

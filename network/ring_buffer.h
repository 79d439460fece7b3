// The network layer's growable byte queue: one per direction of a length-prefixed connection. The pumps
// fill and empty the block in place through the fields, so the field set is part of the contract.
#pragma once

#include <stdint.h>

struct RingBuffer {
    unsigned char* data;    // tracked block; null while the capacity is 0
    int32_t readPosition;   // oldest held byte
    int32_t writePosition;  // where the next byte goes; held bytes after the read position, wrapping
    int32_t heldCount;
    int32_t capacity;
};

// Every growth adds at least this much beyond the need, so small additions grow the block rarely.
constexpr int32_t kRingBufferSlack = 1000;

// Both set all fields to 0; Free also releases the block. 0.
int RingBufferClear(RingBuffer* buffer);
int RingBufferFree(RingBuffer* buffer);
// A position left equal to the capacity by a copy that ended at the block's end becomes 0.
void RingBufferNormalise(RingBuffer* buffer);
// Room for `add` more bytes: a growth takes the larger of need + slack and one and a half times the old
// capacity, so a queue that grows by small steps copies each byte a bounded number of times. 0, or -1 (logged) when the
// block cannot grow or the total would pass INT32_MAX; the old block and its bytes stay as they were. A
// negative count is refused with -1.
int RingBufferReserve(RingBuffer* buffer, int32_t add);
// As RingBufferReserve, but a growth by half stops at `settle` + slack when the need fits in `settle`: a queue
// that settles at a known size grows to it instead of past it.
int RingBufferReserveSettling(RingBuffer* buffer, int32_t add, int32_t settle);
// Gives back memory: the block becomes `keep` bytes (at least the held count; none when that is 0), the held
// bytes in order from offset 0. 0, or -1 when the smaller block cannot be had (the old one stays).
int RingBufferShrink(RingBuffer* buffer, int32_t keep);
// Appends the bytes, growing when needed. 0, or -1 (logged) with the buffer unchanged.
int RingBufferAdd(RingBuffer* buffer, const void* data, int32_t length);
// Copies `size` bytes out; unless peeking they are taken. -1 when fewer are held or size is negative.
int RingBufferRead(RingBuffer* buffer, void* destination, int32_t size, int peek);
int RingBufferHeldCount(const RingBuffer* buffer);

// Growths made by every ring since the process started (diagnostics for tests and benchmarks).
unsigned long GetRingBufferGrowthCount();

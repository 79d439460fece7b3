// Streams that the image readers and audio decoders read through: six operations plus an opaque stream handle.
// One table reads through the low-level file layer (runtime/file.h), the other reads a block of memory.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Opaque stream handle; for file streams it is the file layer's handle, for memory streams a MemoryStream*.
typedef uintptr_t StreamHandle;

// The six stream operations, in slot order.
struct StreamFunctionTable {
    int (*tell)(StreamHandle stream);                                          // position
    int (*seek)(StreamHandle stream, int offset, int origin);                  // 0 (origin 0 set, 1 current, 2 end)
    size_t (*read)(void* buffer, size_t size, size_t count, StreamHandle stream);  // elements read
    int (*eof)(StreamHandle stream);                                           // non-zero at the end
    int (*idleCheck)(StreamHandle stream);                                     // 1 when ready
    int (*close)(StreamHandle stream);                                         // 0
};

// A read cursor over a caller's block of memory (tracked record; the data is not owned).
struct MemoryStream {
    const void* data;
    int size;
    int position;
    int endFlag;
};
#if !defined(_WIN64)
static_assert(sizeof(MemoryStream) == 16, "the memory stream record is 16 bytes on i686");
#endif

// Fills the two tables (start-up). Returns 0.
int InitStreamFunctionTables();
// File streams: {FileLayerTell, FileLayerSeek, FileLayerRead, FileLayerEof, FileLayerIdleCheck, FileLayerClose}.
const StreamFunctionTable* GetFileStreamFunctions();
// Memory streams: {MemoryStreamTell, MemoryStreamSeek, MemoryStreamRead, MemoryStreamEof, always ready,
// CloseMemoryStream}.
const StreamFunctionTable* GetMemoryStreamFunctions();

// A stream over size bytes at data, or 0 when the record cannot be allocated (or size is negative).
StreamHandle OpenMemoryStream(const void* data, int size);
// Frees the record (not the data). Returns 0.
int CloseMemoryStream(StreamHandle stream);
int MemoryStreamTell(StreamHandle stream);
// The target position is clamped to 0..size; the end flag is cleared. Returns 0.
int MemoryStreamSeek(StreamHandle stream, int offset, int origin);
// Whole elements while they remain; a tail shorter than one element is copied and counted as one element.
// At the end: sets the end flag and returns 0.
size_t MemoryStreamRead(void* buffer, size_t size, size_t count, StreamHandle stream);
int MemoryStreamEof(StreamHandle stream);
int MemoryStreamIdleCheck(StreamHandle stream);  // always 1

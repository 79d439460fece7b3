// The two stream tables (over the file layer and over memory) and the memory stream itself.
#include "runtime/stream.h"

#include <limits.h>
#include <string.h>

#include "runtime/file.h"
#include "runtime/memory.h"

namespace {

StreamFunctionTable g_fileStream;
StreamFunctionTable g_memoryStream;
bool g_filled = false;

void Fill() {
    // StreamHandle and FileHandle are the same integer type, so the dispatchers are the file stream's slots.
    static_assert(sizeof(StreamHandle) == sizeof(FileHandle), "stream and file handles share one type");
    g_fileStream = {FileLayerTell, FileLayerSeek, FileLayerRead, FileLayerEof, FileLayerIdleCheck, FileLayerClose};
    g_memoryStream = {MemoryStreamTell,      MemoryStreamSeek, MemoryStreamRead, MemoryStreamEof,
                      MemoryStreamIdleCheck, CloseMemoryStream};
    g_filled = true;
}

MemoryStream* AsMemory(StreamHandle s) { return reinterpret_cast<MemoryStream*>(s); }

}  // namespace

int InitStreamFunctionTables() {
    Fill();
    return 0;
}

const StreamFunctionTable* GetFileStreamFunctions() {
    if (!g_filled) Fill();
    return &g_fileStream;
}

const StreamFunctionTable* GetMemoryStreamFunctions() {
    if (!g_filled) Fill();
    return &g_memoryStream;
}

StreamHandle OpenMemoryStream(const void* data, int size) {
    if (size < 0 || (data == nullptr && size != 0)) return 0;
    MemoryStream* s = static_cast<MemoryStream*>(TrackedAllocZeroed(sizeof(MemoryStream), "", __LINE__));
    if (s == nullptr) return 0;
    s->data = data;
    s->size = size;
    return reinterpret_cast<StreamHandle>(s);
}

int CloseMemoryStream(StreamHandle stream) {
    TrackedFree(AsMemory(stream));
    return 0;
}

int MemoryStreamTell(StreamHandle stream) { return stream ? AsMemory(stream)->position : -1; }

int MemoryStreamSeek(StreamHandle stream, int offset, int origin) {
    MemoryStream* s = AsMemory(stream);
    if (s == nullptr) return -1;
    long long target;
    switch (origin) {
        case 0: target = offset; break;
        case 1: target = (long long)s->position + offset; break;
        case 2: target = (long long)s->size + offset; break;
        default: return -1;
    }
    if (target < 0) target = 0;
    if (target > s->size) target = s->size;
    s->position = (int)target;
    s->endFlag = 0;
    return 0;
}

size_t MemoryStreamRead(void* buffer, size_t size, size_t count, StreamHandle stream) {
    MemoryStream* s = AsMemory(stream);
    if (s == nullptr || buffer == nullptr || size == 0 || count == 0) return 0;
    if (s->position >= s->size) {
        s->endFlag = 1;
        return 0;
    }
    size_t remaining = (size_t)(s->size - s->position);
    const unsigned char* from = static_cast<const unsigned char*>(s->data) + s->position;
    if (count > remaining / size) count = remaining / size;
    if (count > 0) {
        memcpy(buffer, from, size * count);
        s->position += (int)(size * count);
        s->endFlag = 0;
        return count;
    }
    // Less than one element remains: it is handed out as a last, short element.
    memcpy(buffer, from, remaining);
    s->position = s->size;
    s->endFlag = 0;
    return 1;
}

int MemoryStreamEof(StreamHandle stream) { return stream ? AsMemory(stream)->endFlag : -1; }

int MemoryStreamIdleCheck(StreamHandle) { return 1; }

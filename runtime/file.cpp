// The low-level file table and its dispatchers: one copy of the selected back end's twelve operations, through which
// every file read of the runtime passes.
#include "runtime/file.h"

#include "runtime/archive/archive.h"

namespace {

LowLevelFileTable g_table;
bool g_selected = false;
int g_directDisk = 0;

const LowLevelFileTable& Table() {
    if (!g_selected) SelectFileBackEnd(nullptr);
    return g_table;
}

}  // namespace

int SelectFileBackEnd(const LowLevelFileTable* table) {
    if (table != nullptr)
        g_table = *table;
    else if (g_directDisk == 1)
        g_table = *GetWin32FileFunctions();
    else
        g_table = *GetArchiveFileFunctions();
    g_selected = true;
    return 0;
}

const LowLevelFileTable* GetFileBackEnd() { return &Table(); }

void SetDirectDiskFileAccess(int flag) { g_directDisk = flag; }
int GetDirectDiskFileAccess() { return g_directDisk; }

// A caller's table may leave slots empty; such a slot reports failure instead of jumping to null.
FileHandle FileLayerOpen(const char* path, int threadFlag, int unused) {
    return Table().open ? Table().open(path, threadFlag, unused) : 0;
}
int FileLayerClose(FileHandle file) { return Table().close ? Table().close(file) : -1; }
int FileLayerTell(FileHandle file) { return Table().tell ? Table().tell(file) : -1; }
int FileLayerSeek(FileHandle file, int offset, int origin) {
    return Table().seek ? Table().seek(file, offset, origin) : -1;
}
size_t FileLayerRead(void* buffer, size_t size, size_t count, FileHandle file) {
    return Table().read ? Table().read(buffer, size, count, file) : 0;
}
int FileLayerEof(FileHandle file) { return Table().eof ? Table().eof(file) : -1; }
int FileLayerIdleCheck(FileHandle file) { return Table().idleCheck ? Table().idleCheck(file) : 1; }
int FileLayerSetDir(const char* path) { return Table().setDir ? Table().setDir(path) : 0; }
int FileLayerGetDir(char* buffer) { return Table().getDir ? Table().getDir(buffer) : 0; }

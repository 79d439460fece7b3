// The archive-aware file layer, the runtime's default LowLevelFileTable: a file of a folder that has an archive
// beside it is read from the archive, any other file from the disk. Handles are slots of a 512-entry table tagged
// with 0xF0000000; listings are records on a list of live listings, so stale handles are refused.
#include <string.h>

#include "runtime/archive/archive.h"
#include "runtime/log.h"
#include "runtime/memory.h"

namespace {

struct VfsFileRecord {
    int inArchive;
    FileHandle disk;
    int archiveSlot;
    ArchiveFileRecord archiveFile;
};

VfsFileRecord* g_files[kVfsFileSlots];
int g_fileCount = 0;

struct VfsFindRecord {
    int inArchive;
    FindHandle disk;
    int archiveSlot;
    ArchiveFindState state;
    VfsFindRecord* prev;
    VfsFindRecord* next;
};

VfsFindRecord* g_finds = nullptr;

VfsFileRecord* Lookup(FileHandle handle, int* slotOut = nullptr) {
    if ((handle & ~(FileHandle)0x0FFFFFFF) != kVfsHandleTag) return nullptr;
    FileHandle slot = handle & 0x0FFFFFFF;
    if (slot >= (FileHandle)kVfsFileSlots) return nullptr;
    if (slotOut) *slotOut = (int)slot;
    return g_files[slot];
}

VfsFindRecord* LookupFind(FindHandle handle) {
    for (VfsFindRecord* f = g_finds; f; f = f->next)
        if ((FindHandle)f == handle) return f;
    return nullptr;
}

}  // namespace

void VfsCloseAll() {
    for (int i = 0; i < kVfsFileSlots; ++i)
        if (g_files[i]) VfsClose((FileHandle)i | kVfsHandleTag);
    while (g_finds) VfsFindClose((FindHandle)g_finds);
}

int VfsOpenFileCount() { return g_fileCount; }

FileHandle VfsOpen(const char* path, int threadFlag, int unused) {
    if (path == nullptr) return 0;
    if (g_fileCount >= kVfsFileSlots) {
        WriteLog("同時に開けるファイルの数が限界を超えました\n");
        return 0;
    }
    int slot = 0;
    while (g_files[slot]) ++slot;
    VfsFileRecord* record = static_cast<VfsFileRecord*>(TrackedAllocZeroed(sizeof(VfsFileRecord), "", __LINE__));
    if (record == nullptr) {
        WriteLog("ファイルの情報を格納するメモリの確保に失敗しました\n");
        return 0;
    }
    int archiveSlot;
    char inner[kFilePathMax];
    if (ArchiveFindForPath(path, &archiveSlot, nullptr, inner) == 0) {
        // A file that the archive of its folder lacks is not looked for on the disk.
        if (ArchiveFileOpen(&record->archiveFile, ArchiveTableRecord(archiveSlot), inner) != 0) {
            WriteLog("ＱＶＡファイルの中に指定のファイルは見つかりませんでした\n");
            ArchiveRelease(archiveSlot);
            TrackedFree(record);
            return 0;
        }
        record->inArchive = 1;
        record->archiveSlot = archiveSlot;
    } else {
        // A file its folder's listing shows missing (the image loader's "_a" companions, mostly) is not asked for.
        record->disk = ArchiveDiskMayHold(path) ? Win32FileOpen(path, threadFlag, unused) : 0;
        if (record->disk == 0) {
            TrackedFree(record);
            return 0;
        }
    }
    g_files[slot] = record;
    ++g_fileCount;
    return (FileHandle)slot | kVfsHandleTag;
}

int VfsClose(FileHandle file) {
    int slot;
    VfsFileRecord* record = Lookup(file, &slot);
    if (record == nullptr) return -1;
    int result = 0;
    if (record->inArchive) {
        ArchiveFileClose(&record->archiveFile);
        ArchiveRelease(record->archiveSlot);
    } else {
        result = Win32FileClose(record->disk);
    }
    TrackedFree(record);
    g_files[slot] = nullptr;
    --g_fileCount;
    return result;
}

int VfsTell(FileHandle file) {
    VfsFileRecord* record = Lookup(file);
    if (record == nullptr) return -1;
    return record->inArchive ? ArchiveFileTell(&record->archiveFile) : Win32FileTell(record->disk);
}

int VfsSeek(FileHandle file, int offset, int origin) {
    VfsFileRecord* record = Lookup(file);
    if (record == nullptr) return -1;
    return record->inArchive ? ArchiveFileSeek(&record->archiveFile, offset, origin)
                             : Win32FileSeek(record->disk, offset, origin);
}

size_t VfsRead(void* buffer, size_t size, size_t count, FileHandle file) {
    VfsFileRecord* record = Lookup(file);
    if (record == nullptr) return 0;
    if (!record->inArchive) return Win32FileRead(buffer, size, count, record->disk);
    // Archive files count whole elements exactly like disk files: a tail shorter than one element stays unread.
    ArchiveFileRecord* f = &record->archiveFile;
    if (buffer == nullptr || size == 0 || count == 0) return 0;
    if (f->position >= f->entry.size) {
        f->endFlag = 1;
        return 0;
    }
    size_t remaining = f->entry.size - f->position;
    if (count > remaining / size) {
        count = remaining / size;
        if (count == 0) {
            f->endFlag = 1;
            return 0;
        }
    }
    f->endFlag = 0;  // whole elements remain: an earlier short tail must not hide them
    int got = ArchiveFileRead(f, buffer, size * count);
    return got > 0 ? (size_t)got / size : 0;
}

int VfsEof(FileHandle file) {
    VfsFileRecord* record = Lookup(file);
    if (record == nullptr) return -1;
    return record->inArchive ? ArchiveFileEof(&record->archiveFile) : Win32FileEof(record->disk);
}

int VfsIsReady(FileHandle) { return 1; }

int VfsSetCurrentDir(const char* path) { return path ? SetCurrentDirectoryA(path) : 0; }

int VfsGetCurrentDir(char* buffer) { return buffer ? (int)GetCurrentDirectoryA(256, buffer) : 0; }

FindHandle VfsFindFirst(const char* pattern, FindRecord* out) {
    if (pattern == nullptr || out == nullptr) return -1;
    VfsFindRecord* find = static_cast<VfsFindRecord*>(TrackedAllocZeroed(sizeof(VfsFindRecord), "", __LINE__));
    if (find == nullptr) return -1;
    int archiveSlot;
    char inner[kFilePathMax];
    if (ArchiveFindForPath(pattern, &archiveSlot, nullptr, inner) == 0) {
        if (ArchiveFindFirst(ArchiveTableRecord(archiveSlot), inner, &find->state, out) != 0) {
            ArchiveRelease(archiveSlot);
            TrackedFree(find);
            return -1;
        }
        find->inArchive = 1;
        find->archiveSlot = archiveSlot;
    } else {
        find->disk = Win32FindFirst(pattern, out);
        if (find->disk == -1) {
            TrackedFree(find);
            return -1;
        }
    }
    find->next = g_finds;
    if (g_finds) g_finds->prev = find;
    g_finds = find;
    return (FindHandle)find;
}

int VfsFindNext(FindHandle handle, FindRecord* out) {
    VfsFindRecord* find = LookupFind(handle);
    if (find == nullptr || out == nullptr) return -1;
    return find->inArchive ? ArchiveFindNext(&find->state, out) : Win32FindNext(find->disk, out);
}

int VfsFindClose(FindHandle handle) {
    VfsFindRecord* find = LookupFind(handle);
    if (find == nullptr) return -1;
    if (find->prev)
        find->prev->next = find->next;
    else
        g_finds = find->next;
    if (find->next) find->next->prev = find->prev;
    int result = 0;
    if (find->inArchive)
        ArchiveRelease(find->archiveSlot);
    else
        result = Win32FindClose(find->disk);
    TrackedFree(find);
    return result;
}

const LowLevelFileTable* GetArchiveFileFunctions() {
    static const LowLevelFileTable table = {
        VfsOpen,          VfsClose,        VfsTell,      VfsSeek,          VfsRead,
        VfsEof,           VfsIsReady,      VfsSetCurrentDir, VfsGetCurrentDir,
        VfsFindFirst,     VfsFindNext,     VfsFindClose,
    };
    return &table;
}

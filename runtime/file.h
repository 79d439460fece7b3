// The runtime's low-level file layer: every file read goes through one 12-slot table of file operations, filled at
// start-up with either the archive-aware set (runtime/archive/archive.h) or the plain Win32 back end declared here, so image
// and sound readers never know whether a file lies on the disk or inside a packed archive.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#include "runtime/text.h"  // DateTimeRecord

// Opaque file handle of a back end; 0 means none.
typedef uintptr_t FileHandle;
// Handle of a directory listing; -1 means none.
typedef intptr_t FindHandle;

// Longest path text the layer handles, NUL included.
constexpr int kFilePathMax = 260;

// One entry of a directory listing.
struct FindRecord {
    char name[260];
    int isDirectory;
    uint32_t sizeLow;
    uint32_t sizeHigh;
    DateTimeRecord creationTime;   // local time
    DateTimeRecord lastWriteTime;  // local time
};

// The twelve file operations, in slot order.
struct LowLevelFileTable {
    // path, thread flag, a third value no back end reads -> handle or 0
    FileHandle (*open)(const char* path, int threadFlag, int unused);
    int (*close)(FileHandle file);                                           // 0 / -1
    int (*tell)(FileHandle file);                                            // position
    int (*seek)(FileHandle file, int offset, int origin);                    // origin 0 set, 1 current, 2 end
    size_t (*read)(void* buffer, size_t size, size_t count, FileHandle file);  // whole elements read
    int (*eof)(FileHandle file);                                             // non-zero at the end
    int (*idleCheck)(FileHandle file);                                       // 1 when no background work pends
    int (*setDir)(const char* path);                                         // non-zero on success
    int (*getDir)(char* buffer);                                             // buffer of 260 -> length
    FindHandle (*findFirst)(const char* pattern, FindRecord* out);           // handle or -1
    int (*findNext)(FindHandle find, FindRecord* out);                       // 0, or -1 at the end
    int (*findClose)(FindHandle find);                                       // 0 / -1
};

// Copies a caller's table in; null selects the default: the Win32 back end when the direct-disk setting is 1,
// otherwise the archive-aware layer. Returns 0.
int SelectFileBackEnd(const LowLevelFileTable* table);
// The table in use (what the find operations are reached through).
const LowLevelFileTable* GetFileBackEnd();
// Direct-disk setting (0 at load; the game never sets it): read the disk only, ignoring archives.
void SetDirectDiskFileAccess(int flag);
int GetDirectDiskFileAccess();

// Dispatchers through the selected table, one per slot. Before any selection they behave as the default table.
FileHandle FileLayerOpen(const char* path, int threadFlag, int unused);
int FileLayerClose(FileHandle file);
int FileLayerTell(FileHandle file);
int FileLayerSeek(FileHandle file, int offset, int origin);
size_t FileLayerRead(void* buffer, size_t size, size_t count, FileHandle file);
int FileLayerEof(FileHandle file);
int FileLayerIdleCheck(FileHandle file);
int FileLayerSetDir(const char* path);
int FileLayerGetDir(char* buffer);

// ---- The plain Win32 back end ----
// A file may be served by a file-access thread of its own with a 128 KB read-ahead buffer (thread flag 1).
// Reads return whole elements; a tail shorter than one element is left unread. A seek may go past the end, after
// which reads report the end of the file.
FileHandle Win32FileOpen(const char* path, int threadFlag, int unused);
int Win32FileClose(FileHandle file);
int Win32FileTell(FileHandle file);
int Win32FileSeek(FileHandle file, int offset, int origin);
size_t Win32FileRead(void* buffer, size_t size, size_t count, FileHandle file);
int Win32FileEof(FileHandle file);  // -1 at the end, else 0
int Win32FileIdleCheck(FileHandle file);
// Size in bytes of an open Win32 file (the archive layer checks offsets against it).
int Win32FileSize(FileHandle file);
int Win32SetCurrentDir(const char* path);
int Win32GetCurrentDir(char* buffer);
FindHandle Win32FindFirst(const char* pattern, FindRecord* out);
int Win32FindNext(FindHandle find, FindRecord* out);
int Win32FindClose(FindHandle find);
// The plain back end as a table (also what the direct-disk setting selects).
const LowLevelFileTable* GetWin32FileFunctions();

// Fills a FindRecord from a system directory entry.
void FindDataToFindRecord(const WIN32_FIND_DATAA* data, FindRecord* out);

// A new empty file in the system's temporary folder, opened for writing; its absolute name is copied to nameOut
// (260 bytes) when given. Returns the handle, or 0.
HANDLE CreateTempFile(char* nameOut);

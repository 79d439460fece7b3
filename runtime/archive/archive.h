// Folder runtime/archive/: packed archives (format, reader, writer, the archive-aware file layer) and the LZ packer
// and unpacker. It may call the runtime core's file layer, memory, log and text helpers.
//
// Packed archives in the runtime: a folder DATA may be replaced by an archive DATA.<ext> beside it, and the
// archive-aware file layer (the default LowLevelFileTable) serves files of the folder from it. Holds the open
// archives, the open-file table of the archive-aware layer, directory walks, listings and the path helpers.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "runtime/archive/archive_format.h"
#include "runtime/file.h"

constexpr int kArchiveTableSlots = 512;
constexpr int kVfsFileSlots = 512;
constexpr uint32_t kVfsHandleTag = 0xF0000000u;
constexpr int kArchiveExtensionMax = 64;  // extension texts must be shorter

// One open archive.
struct ArchiveRecord {
    ArchiveHeader header;
    FileHandle file;     // the archive file, through the plain Win32 back end without a thread
    uint32_t fileSize;
    unsigned char* index;  // the descrambled index block (tracked)
    ArchiveIndexView view;   // name, file and directory tables inside the index
    ArchiveDirInfo currentDir;
    unsigned char key[kArchiveKeySize];
};

// One file of an archive, open for reading.
struct ArchiveFileRecord {
    ArchiveRecord* archive;
    ArchiveEntry entry;
    unsigned char* unpacked;  // the whole file for packed entries (tracked), else null
    int endFlag;
    uint32_t position;
};

// ---- Settings ----
// Texts of 64 characters or more, null or empty restore the default "QVA"; otherwise the text is kept (without the
// dot). Returns 0.
int ArchiveSetExtensionImpl(const char* text);
const char* ArchiveGetExtension();
// Key text for the archives opened from now on (null: none, the built-in filler). The game never sets it.
int ArchiveSetKey(const char* keyText);

// ---- One archive ----
// Opens the archive file and reads its header and index. 0, or -1 (the record is then empty).
int ArchiveOpen(ArchiveRecord* record, const char* path, const char* keyText);
int ArchiveClose(ArchiveRecord* record);
// Walks the current directory along a path ("." stays, "\\" root, ".." parent, a leading "\\" starts at the root).
// 0 on success; -1 when a component is missing or not a directory: the directory reached stays current and, when
// failedName is given, the failing component's search key is stored there.
int ArchiveChangeDir(ArchiveRecord* record, const char* path, ArchiveNameKey* failedName);
// The file entry at the path (relative to the current directory), or -1 when there is none or the path names a
// directory. The current directory is left as it was.
int ArchiveLocateEntry(ArchiveRecord* record, const char* path, ArchiveEntry* out);
// Opens a file of the archive; packed entries are unpacked whole. 0 / -1.
int ArchiveFileOpen(ArchiveFileRecord* file, ArchiveRecord* archive, const char* path);
int ArchiveFileClose(ArchiveFileRecord* file);
// Up to `bytes` bytes from the position; returns the count (0 at the end, which sets the end flag; -1 when the
// archive file cannot be read).
int ArchiveFileRead(ArchiveFileRecord* file, void* buffer, size_t bytes);
// Origin 0/1/2; the position is clamped to 0..size and the end flag cleared. Returns 0.
int ArchiveFileSeek(ArchiveFileRecord* file, int offset, int origin);
int ArchiveFileTell(const ArchiveFileRecord* file);
int ArchiveFileEof(const ArchiveFileRecord* file);  // -1 with the end flag, else 0

// Listing state of ArchiveFindFirst / ArchiveFindNext.
struct ArchiveFindState {
    ArchiveRecord* archive;
    ArchiveDirInfo dir;
    char pattern[kFilePathMax];  // upper-cased name pattern
    int index;                   // -2 ".", -1 "..", then entry numbers
};
// Lists the entries of the folder part of the pattern that match its name part: ".", then ".." below the root,
// then the entries. 0 and the first record, or -1.
int ArchiveFindFirst(ArchiveRecord* archive, const char* pattern, ArchiveFindState* state, FindRecord* out);
int ArchiveFindNext(ArchiveFindState* state, FindRecord* out);

// ---- The archive table ----
// Empties the table (start-up): every archive and every archive-aware file still open is closed. Returns 0.
int ArchiveTableClear();
// Slot of the open archive at the path (use count + 1), opening it when needed; -1 when it cannot be opened or the
// table stays full. The hint slot is checked first.
int ArchiveTableEntry(const char* archivePath, int slotHint);
// Lowers the use count. 0, or -1 for an empty slot or a count already 0.
int ArchiveRelease(int slot);
// Closes every archive whose use count is 0. Returns 0.
int ArchiveReleaseUnused();
// Shutdown: closes every unused archive and forgets the cached lookup. Returns 0.
int ArchiveReleaseAll();
// Finds the archive that covers a path: the shallowest folder of the canonical path with an archive beside it.
// 0 with the slot (use count + 1); prefixOut gets the folder (kFilePathMax) and innerOut the path inside the
// archive (kFilePathMax), either may be null. -1 when no archive covers the path.
int ArchiveFindForPath(const char* path, int* slotOut, char* prefixOut, char* innerOut);
// The open archive in a slot, or null.
ArchiveRecord* ArchiveTableRecord(int slot);
// Use count of a slot (0 for an empty one) and the number of open archives.
int ArchiveTableUseCount(int slot);
int ArchiveTableOpenCount();

// ---- Archives known per folder ----
// Whether a folder holds an archive file of a name, answered from a listing of the folder that is kept while the
// folder's last-write time (read through a handle kept open) stays as it was. folder is the canonical path ("X:\\"
// for a drive's root), systemFolder the same folder in the caller's own case (what the system is asked with, so that
// it need not search for the case), upperName the upper-cased file name. Unknown when the folder cannot be listed
// or only the system can settle the name; the caller then asks the system.
enum ArchivePresence { kArchiveAbsent = 0, kArchivePresent = 1, kArchiveUnknown = 2 };
ArchivePresence ArchiveFolderHolds(const char* folder, const char* systemFolder, const char* upperName);
// True when a file (not a folder) is at the path; a look-up by name, counted.
bool ArchiveFileExists(const char* path);
// Whether the disk may hold a file at the path: false only when the listing of its folder, kept as above, shows no
// file of its name there, so that the system need not be asked; true (the system is asked, and that is counted)
// otherwise.
bool ArchiveDiskMayHold(const char* path);
// Forgets every folder's listing and closes the folder handles.
void ArchiveFolderCacheClear();
// System calls made by archive look-ups since the program started: look-ups of a path by name (each may read whole
// directories), reads of a folder's time through its handle, and files of the disk asked of the system to be opened.
struct ArchiveProbeCounts {
    int nameLookups;
    int folderChecks;
    int diskOpens;
};
ArchiveProbeCounts ArchiveGetProbeCounts();
// Tests only: how long a folder must have kept still before its listing is trusted (-1: the default, two seconds).
void ArchiveSetFolderSettleTimeForTest(int milliseconds);

// ---- The archive-aware file layer (slots of LowLevelFileTable) ----
const LowLevelFileTable* GetArchiveFileFunctions();
// Handle = slot | 0xF0000000, or 0.
FileHandle VfsOpen(const char* path, int threadFlag, int unused);
int VfsClose(FileHandle file);
int VfsTell(FileHandle file);
int VfsSeek(FileHandle file, int offset, int origin);
// Whole elements, for disk files and archive files alike.
size_t VfsRead(void* buffer, size_t size, size_t count, FileHandle file);
int VfsEof(FileHandle file);
int VfsIsReady(FileHandle file);  // always 1
int VfsSetCurrentDir(const char* path);
int VfsGetCurrentDir(char* buffer);
FindHandle VfsFindFirst(const char* pattern, FindRecord* out);
int VfsFindNext(FindHandle find, FindRecord* out);
int VfsFindClose(FindHandle find);
// Number of open archive-aware files.
int VfsOpenFileCount();

// ---- Path helpers ----
// Makes relative absolute against base (null: the file layer's current directory). A leading "\\" keeps the base's
// drive, "X:" starts from that drive; "." is skipped, ".." removes a component (never the drive). An empty
// component, or a result that does not fit kFilePathMax, gives -1. out holds kFilePathMax bytes.
int BuildAbsolutePath(const char* relative, char* out, const char* base);
// The absolute path, "/" read as "\\", upper-cased. 0 / -1; out holds kFilePathMax bytes.
int MakeCanonicalFullPath(const char* path, char* out);
// The same absolute path in the caller's own case.
int MakeFullPath(const char* path, char* out);

// One open archive in the runtime: its file (through the plain Win32 back end), the descrambled index, directory
// walks, entry lookup, reading entries (packed ones are unpacked whole on open) and listings. Every offset taken
// from the archive is checked before use, so a damaged archive fails to open a file instead of crashing.
#include <string.h>

#include "runtime/archive/archive.h"
#include "runtime/log.h"
#include "runtime/archive/lz.h"
#include "runtime/memory.h"

namespace {

// Reads bytes at an absolute archive offset and descrambles them; seeks only when the file is elsewhere.
int ArchiveReadDescrambled(ArchiveRecord* archive, uint64_t offset, void* buffer, size_t bytes) {
    if (offset + bytes > archive->fileSize || bytes > (size_t)INT32_MAX) return -1;
    if ((uint64_t)Win32FileTell(archive->file) != offset && Win32FileSeek(archive->file, (int)offset, 0) != 0)
        return -1;
    if (bytes != 0 && Win32FileRead(buffer, 1, bytes, archive->file) != bytes) return -1;
    ArchiveScramble(buffer, bytes, offset, archive->key);
    return 0;
}

inline size_t CharLength(const char* p) {
    if (*p == 0) return 0;
    return (ArchiveIsLeadByte((unsigned char)p[0]) && p[1] != 0) ? 2 : 1;
}

// The last "\\" outside double-byte characters, or null.
const char* LastSeparator(const char* path) {
    const char* last = nullptr;
    for (const char* p = path; *p; p += CharLength(p))
        if (*p == '\\') last = p;
    return last;
}

void FileTimeValueToDateTime(uint64_t value, DateTimeRecord* out) {
    FILETIME time;
    time.dwLowDateTime = (DWORD)value;
    time.dwHighDateTime = (DWORD)(value >> 32);
    memset(out, 0, sizeof(*out));
    FileTimeToDateTime(&time, out);
}

int FillFindRecord(const char* name, const ArchiveEntry* entry, FindRecord* out) {
    size_t length = strlen(name);
    if (length >= sizeof(out->name)) return -1;
    memset(out, 0, sizeof(*out));
    memcpy(out->name, name, length + 1);
    if (entry == nullptr) {  // "." and ".."
        out->isDirectory = 1;
        return 0;
    }
    out->isDirectory = entry->IsDirectory() ? 1 : 0;
    out->sizeLow = entry->IsDirectory() ? 0 : entry->size;
    FileTimeValueToDateTime(entry->creationTime, &out->creationTime);
    FileTimeValueToDateTime(entry->writeTime, &out->lastWriteTime);
    return 0;
}

}  // namespace

int ArchiveOpen(ArchiveRecord* record, const char* path, const char* keyText) {
    if (record == nullptr || path == nullptr) return -1;
    memset(record, 0, sizeof(*record));
    FileHandle file = Win32FileOpen(path, 0, 0);
    if (file == 0) return -1;
    record->file = file;
    int size = Win32FileSize(file);
    unsigned char raw[kArchiveHeaderSize];
    unsigned char key[kArchiveKeySize];
    ArchiveMakeKey(keyText, key);
    if (size < (int)kArchiveHeaderSize || Win32FileRead(raw, 1, sizeof(raw), file) != sizeof(raw) ||
        ArchiveDecodeHeaderWithKeys(raw, key, &record->header, record->key) != 0 ||
        ArchiveCheckHeader(record->header, (uint64_t)size) != 0) {
        Win32FileClose(file);
        memset(record, 0, sizeof(*record));
        return -1;
    }
    record->fileSize = (uint32_t)size;
    uint32_t indexSize = record->header.indexSize;
    record->index = static_cast<unsigned char*>(TrackedAlloc(indexSize ? indexSize : 1, "", __LINE__));
    if (record->index == nullptr || ArchiveReadDescrambled(record, record->header.indexOffset, record->index, indexSize) != 0 ||
        ArchiveIndexInit(&record->view, record->header, record->index) != 0 ||
        ArchiveReadRootDir(record->view, &record->currentDir) != 0) {
        ArchiveClose(record);
        return -1;
    }
    return 0;
}

int ArchiveClose(ArchiveRecord* record) {
    if (record == nullptr) return -1;
    if (record->file) Win32FileClose(record->file);
    TrackedFree(record->index);
    memset(record, 0, sizeof(*record));
    return 0;
}

int ArchiveChangeDir(ArchiveRecord* record, const char* path, ArchiveNameKey* failedName) {
    if (record == nullptr || record->index == nullptr || path == nullptr) return -1;
    const char* p = path;
    if (*p == '\\') {
        if (ArchiveReadRootDir(record->view, &record->currentDir) != 0) return -1;
        ++p;
    }
    while (*p) {
        const char* start = p;
        while (*p && *p != '\\') p += CharLength(p);
        size_t length = (size_t)(p - start);
        if (*p == '\\') ++p;
        if (length == 0 || (length == 1 && start[0] == '.')) continue;
        if (length == 2 && start[0] == '.' && start[1] == '.') {
            ArchiveDirInfo parent;
            if (record->currentDir.parent == kArchiveNoParent ||
                ArchiveReadDir(record->view, record->currentDir.parent, &parent) != 0) {
                if (failedName) ArchiveMakeNameKey(start, length, failedName);
                return -1;
            }
            record->currentDir = parent;
            continue;
        }
        ArchiveNameKey key;
        ArchiveEntry entry;
        ArchiveDirInfo next;
        if (ArchiveMakeNameKey(start, length, &key) != 0 ||
            ArchiveFindInDir(record->view, record->currentDir, key, 1, &entry) != 0 ||
            ArchiveReadDir(record->view, entry.dataOffset, &next) != 0) {
            if (failedName) {
                if (ArchiveMakeNameKey(start, length, failedName) != 0) memset(failedName, 0, sizeof(*failedName));
            }
            return -1;
        }
        record->currentDir = next;
    }
    return 0;
}

int ArchiveLocateEntry(ArchiveRecord* record, const char* path, ArchiveEntry* out) {
    if (record == nullptr || record->index == nullptr || path == nullptr || out == nullptr) return -1;
    ArchiveDirInfo saved = record->currentDir;
    const char* name = path;
    const char* separator = LastSeparator(path);
    int result = -1;
    if (separator != nullptr) {
        // Every folder before the name must be walked; a file standing where a folder is named fails the lookup.
        size_t length = (size_t)(separator - path);
        char folder[kFilePathMax];
        if (length >= sizeof(folder)) return -1;
        memcpy(folder, path, length);
        folder[length] = 0;
        if (length == 0) {
            folder[0] = '\\';
            folder[1] = 0;
        }
        if (ArchiveChangeDir(record, folder, nullptr) != 0) {
            record->currentDir = saved;
            return -1;
        }
        name = separator + 1;
    }
    ArchiveNameKey key;
    if (ArchiveMakeNameKey(name, strlen(name), &key) == 0 &&
        ArchiveFindInDir(record->view, record->currentDir, key, 0, out) == 0)
        result = 0;
    record->currentDir = saved;
    return result;
}

int ArchiveFileOpen(ArchiveFileRecord* file, ArchiveRecord* archive, const char* path) {
    if (file == nullptr || archive == nullptr) return -1;
    memset(file, 0, sizeof(*file));
    ArchiveEntry entry;
    if (ArchiveLocateEntry(archive, path, &entry) != 0) return -1;
    if (ArchiveCheckEntryData(archive->header, entry, archive->fileSize) != 0) return -1;
    file->archive = archive;
    file->entry = entry;
    if (!entry.IsPacked()) return 0;

    // The packed stream's own header must agree with the entry before anything is allocated for it.
    uint64_t at = (uint64_t)archive->header.dataOffset + entry.dataOffset;
    unsigned char* packed = static_cast<unsigned char*>(TrackedAlloc(entry.packedSize, "", __LINE__));
    if (packed == nullptr) return -1;
    PackedDataHeader header;
    if (ArchiveReadDescrambled(archive, at, packed, entry.packedSize) != 0 ||
        LzReadHeader(packed, entry.packedSize, &header) != 0 || header.unpackedSize != entry.size) {
        TrackedFree(packed);
        memset(file, 0, sizeof(*file));
        return -1;
    }
    file->unpacked = static_cast<unsigned char*>(TrackedAlloc(entry.size ? entry.size : 1, "", __LINE__));
    if (file->unpacked == nullptr ||
        ArchiveUnpack(packed, entry.packedSize, file->unpacked, entry.size) != (int64_t)entry.size) {
        TrackedFree(packed);
        TrackedFree(file->unpacked);
        memset(file, 0, sizeof(*file));
        return -1;
    }
    TrackedFree(packed);
    return 0;
}

int ArchiveFileClose(ArchiveFileRecord* file) {
    if (file == nullptr) return -1;
    TrackedFree(file->unpacked);
    memset(file, 0, sizeof(*file));
    return 0;
}

int ArchiveFileRead(ArchiveFileRecord* file, void* buffer, size_t bytes) {
    if (file == nullptr || file->archive == nullptr || (buffer == nullptr && bytes != 0)) return -1;
    if (file->endFlag) return 0;
    uint32_t size = file->entry.size;
    if (file->position >= size) {
        file->endFlag = 1;
        return 0;
    }
    size_t n = size - file->position;
    if (bytes < n) n = bytes;
    if (n > (size_t)INT32_MAX) n = (size_t)INT32_MAX;
    if (file->unpacked) {
        memcpy(buffer, file->unpacked + file->position, n);
    } else {
        uint64_t at = (uint64_t)file->archive->header.dataOffset + file->entry.dataOffset + file->position;
        if (ArchiveReadDescrambled(file->archive, at, buffer, n) != 0) return -1;
    }
    file->position += (uint32_t)n;
    file->endFlag = 0;
    return (int)n;
}

int ArchiveFileSeek(ArchiveFileRecord* file, int offset, int origin) {
    if (file == nullptr) return -1;
    long long target;
    switch (origin) {
        case 0: target = offset; break;
        case 1: target = (long long)file->position + offset; break;
        case 2: target = (long long)file->entry.size + offset; break;
        default: return -1;
    }
    if (target < 0) target = 0;
    if (target > (long long)file->entry.size) target = file->entry.size;
    file->position = (uint32_t)target;
    file->endFlag = 0;
    return 0;
}

int ArchiveFileTell(const ArchiveFileRecord* file) { return file ? (int)file->position : -1; }

int ArchiveFileEof(const ArchiveFileRecord* file) {
    if (file == nullptr) return -1;
    return file->endFlag ? -1 : 0;
}

int ArchiveFindFirst(ArchiveRecord* archive, const char* pattern, ArchiveFindState* state, FindRecord* out) {
    if (archive == nullptr || archive->index == nullptr || pattern == nullptr || state == nullptr || out == nullptr)
        return -1;
    char folder[kFilePathMax];
    char name[kFilePathMax];
    if (SplitDirAndName(pattern, folder, name, sizeof(folder)) != 0) return -1;
    ArchiveUpperCaseName(folder, strlen(folder), folder);
    ArchiveUpperCaseName(name, strlen(name), name);
    ArchiveDirInfo saved = archive->currentDir;
    if (folder[0] != 0 && ArchiveChangeDir(archive, folder, nullptr) != 0) {
        archive->currentDir = saved;
        return -1;
    }
    memset(state, 0, sizeof(*state));
    state->archive = archive;
    state->dir = archive->currentDir;
    archive->currentDir = saved;
    memcpy(state->pattern, name, strlen(name) + 1);
    state->index = -2;
    return ArchiveFindNext(state, out);
}

int ArchiveFindNext(ArchiveFindState* state, FindRecord* out) {
    if (state == nullptr || state->archive == nullptr || out == nullptr) return -1;
    const ArchiveIndexView& view = state->archive->view;
    if (state->index == -2) {
        state->index = -1;
        if (CompareNameMb(".", state->pattern) == 0) return FillFindRecord(".", nullptr, out);
    }
    if (state->index == -1) {
        state->index = 0;
        if (state->dir.parent != kArchiveNoParent && CompareNameMb("..", state->pattern) == 0)
            return FillFindRecord("..", nullptr, out);
    }
    while ((uint32_t)state->index < state->dir.count) {
        ArchiveEntry entry;
        ArchiveNameRecord name;
        if (ArchiveReadEntry(view, state->dir, (uint32_t)state->index, &entry) != 0) return -1;
        ++state->index;
        if (ArchiveReadName(view, entry.nameOffset, &name) != 0) continue;  // a damaged record is skipped
        if (CompareNameMb(name.upper, state->pattern) != 0) continue;
        if (FillFindRecord(name.stored, &entry, out) == 0) return 0;
    }
    return -1;
}

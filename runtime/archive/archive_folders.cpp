// Which archives lie in a folder, remembered between opens. Every open asks, for each folder above the file, whether
// an archive stands beside the next folder down; asked of the system by name each time, that costs a directory scan
// per level under Wine. A folder's answer is kept with a handle to the folder and the folder's last-write time at
// listing, which changes whenever an entry is added, removed or renamed in it; one read of that time through the
// handle (no path lookup) tells whether the listing still holds. The records are static: a cache that lives until
// shutdown stays out of the tracked allocations.
#include <windows.h>
#include <string.h>

#include "runtime/archive/archive.h"
#include "runtime/text.h"

namespace {

constexpr int kFolderRecords = 64;
constexpr int kNamesSize = 512;
// A folder changed this recently may change again within the same tick of its clock, leaving the time as it was;
// its listing is only trusted once the folder has kept still this long (FILETIME units: two seconds).
constexpr ULONGLONG kDefaultSettleTime = 2ull * 10000000ull;

struct FolderRecord {
    HANDLE handle;  // null: a free record
    uint32_t hash;
    size_t length;
    char path[kFilePathMax];  // canonical (upper-cased), "X:\\" for a drive's root, else without a separator
    FILETIME listedTime;  // the folder's last-write time when it was listed
    int keepsTimes;       // the volume updates folder times (else every open lists the folder again)
    int trusted;          // the listing may answer while that time is unchanged
    int overflow;         // more archives than the names hold: a name not among them is left to the system
    char names[kNamesSize];  // upper-cased archive names, each with its NUL, an empty one last
};

FolderRecord g_records[kFolderRecords];
ULONGLONG g_settleTime = kDefaultSettleTime;
ArchiveProbeCounts g_counts;

uint32_t HashText(const char* text, size_t length) {
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < length; ++i) hash = (hash ^ (unsigned char)text[i]) * 16777619u;
    return hash;
}

ULONGLONG AsNumber(const FILETIME& time) { return ((ULONGLONG)time.dwHighDateTime << 32) | time.dwLowDateTime; }

void DropRecord(FolderRecord* record) {
    CloseHandle(record->handle);
    record->handle = nullptr;
}

// A changed folder may have had a subfolder replaced: the handles below it may name folders no longer in the tree.
void DropRecordsBelow(const FolderRecord* folder) {
    for (FolderRecord& r : g_records) {
        if (r.handle == nullptr || &r == folder || r.length <= folder->length) continue;
        if (strncmp(r.path, folder->path, folder->length) != 0) continue;
        if (folder->path[folder->length - 1] == '\\' || r.path[folder->length] == '\\') DropRecord(&r);
    }
}

// Whether the folder's volume keeps folder times up to date: FAT and its kin leave a folder's time as it was made.
// Asked through the folder's handle where the system can, so a volume mounted inside a drive answers for itself.
bool VolumeKeepsFolderTimes(const char* folder, HANDLE handle) {
    typedef BOOL(WINAPI * ByHandle)(HANDLE, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD, LPWSTR, DWORD);
    static ByHandle byHandle =
        (ByHandle)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetVolumeInformationByHandleW");
    if (byHandle) {
        wchar_t name[32];
        return byHandle(handle, nullptr, 0, nullptr, nullptr, nullptr, name, 32) &&
               (lstrcmpiW(name, L"NTFS") == 0 || lstrcmpiW(name, L"ReFS") == 0);
    }
    const char root[4] = {folder[0], ':', '\\', 0};
    char name[32];
    return GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, nullptr, name, sizeof(name)) &&
           (lstrcmpiA(name, "NTFS") == 0 || lstrcmpiA(name, "ReFS") == 0);
}

bool EndsWithExtension(const char* upperName, size_t length, const char* upperExtension, size_t extensionLength) {
    return length > extensionLength + 1 && upperName[length - extensionLength - 1] == '.' &&
           memcmp(upperName + length - extensionLength, upperExtension, extensionLength) == 0;
}

// Lists the archives of the folder into the record (its handle open). False when the folder cannot be listed.
bool ListFolder(FolderRecord* record, const char* systemFolder) {
    record->names[0] = 0;
    record->overflow = 0;
    // The time is read before the listing, so a change during the listing leaves a later time behind it.
    ++g_counts.folderChecks;
    if (!GetFileTime(record->handle, nullptr, nullptr, &record->listedTime)) return false;

    char extension[kArchiveExtensionMax];
    strcpy(extension, ArchiveGetExtension());
    UpperCaseMb(extension);
    const size_t extensionLength = strlen(extension);
    char pattern[kFilePathMax + kArchiveExtensionMax + 4];
    size_t folderLength = strlen(systemFolder);
    memcpy(pattern, systemFolder, folderLength);
    if (systemFolder[folderLength - 1] != '\\') pattern[folderLength++] = '\\';
    pattern[folderLength] = '*';
    pattern[folderLength + 1] = '.';
    strcpy(pattern + folderLength + 2, ArchiveGetExtension());

    ++g_counts.nameLookups;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern, &data);
    if (find == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES) return false;
    } else {
        size_t used = 0;
        do {
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            // The system also matches on short names and on longer extensions: the name itself must end so.
            UpperCaseMb(data.cFileName);
            const size_t length = strlen(data.cFileName);
            if (!EndsWithExtension(data.cFileName, length, extension, extensionLength)) continue;
            if (used + length + 2 > sizeof(record->names)) {
                record->overflow = 1;
                continue;
            }
            memcpy(record->names + used, data.cFileName, length + 1);
            used += length + 1;
            record->names[used] = 0;
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }

    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG listed = AsNumber(record->listedTime);
    record->trusted = record->keepsTimes && listed <= AsNumber(now) &&
                      AsNumber(now) - listed >= g_settleTime;
    return true;
}

bool HoldsDoubleByte(const char* text) {
    for (; *text; ++text)
        if (ArchiveIsLeadByte((unsigned char)*text)) return true;
    return false;
}

ArchivePresence Answer(const FolderRecord* record, const char* upperName) {
    const size_t length = strlen(upperName);
    for (const char* name = record->names; *name; name += strlen(name) + 1) {
        if (strcmp(name, upperName) == 0) return kArchivePresent;
        // The system folds the case of some double-byte letters as well; such a near match is left to it.
        if (strlen(name) == length && (HoldsDoubleByte(name) || HoldsDoubleByte(upperName))) return kArchiveUnknown;
    }
    return record->overflow ? kArchiveUnknown : kArchiveAbsent;
}

}  // namespace

ArchivePresence ArchiveFolderHolds(const char* folder, const char* systemFolder, const char* upperName) {
    const size_t length = strlen(folder);
    if (length == 0 || length >= (size_t)kFilePathMax || strlen(systemFolder) != length) return kArchiveUnknown;
    const uint32_t hash = HashText(folder, length);
    FolderRecord* record = nullptr;
    FolderRecord* empty = nullptr;
    for (FolderRecord& r : g_records) {
        if (r.handle == nullptr) {
            if (empty == nullptr) empty = &r;
        } else if (r.hash == hash && r.length == length && memcmp(r.path, folder, length) == 0) {
            record = &r;
            break;
        }
    }

    if (record) {
        FILETIME now;
        ++g_counts.folderChecks;
        if (GetFileTime(record->handle, nullptr, nullptr, &now)) {
            const bool unchanged = CompareFileTime(&now, &record->listedTime) == 0;
            if (unchanged && record->trusted) return Answer(record, upperName);
            if (!unchanged) DropRecordsBelow(record);
            if (ListFolder(record, systemFolder)) return Answer(record, upperName);
        }
        DropRecordsBelow(record);
        DropRecord(record);
        return kArchiveUnknown;
    }

    if (empty == nullptr) {  // full: start again rather than keep score of which folders matter
        ArchiveFolderCacheClear();
        empty = &g_records[0];
    }
    ++g_counts.nameLookups;
    HANDLE handle = CreateFileA(systemFolder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return kArchiveUnknown;
    record = empty;
    record->handle = handle;
    record->hash = hash;
    record->length = length;
    memcpy(record->path, folder, length + 1);
    record->keepsTimes = VolumeKeepsFolderTimes(folder, handle);
    if (!ListFolder(record, systemFolder)) {
        DropRecord(record);
        return kArchiveUnknown;
    }
    return Answer(record, upperName);
}

bool ArchiveFileExists(const char* path) {
    ++g_counts.nameLookups;
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void ArchiveFolderCacheClear() {
    for (FolderRecord& r : g_records)
        if (r.handle) DropRecord(&r);
}

ArchiveProbeCounts ArchiveGetProbeCounts() { return g_counts; }

void ArchiveSetFolderSettleTimeForTest(int milliseconds) {
    g_settleTime = milliseconds < 0 ? kDefaultSettleTime : (ULONGLONG)milliseconds * 10000ull;
}

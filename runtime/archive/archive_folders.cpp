// What a folder holds, remembered between opens. Every open asks, for each folder above the file, whether an archive
// stands beside the next folder down, and, when the file is read from the disk, whether its own folder has it at
// all (the image loader asks for an "_a" companion of every image, most of which do not exist); asked of the system
// by name each time, each answer costs a directory scan under Wine. A folder's listing is kept with a handle to the
// folder and the folder's last-write time at listing, which changes whenever an entry is added, removed or renamed
// in it; one read of that time through the handle (no path lookup) tells whether the listing still holds. The
// records are static and their listings come from the process heap: a cache that lives until shutdown stays out of
// the tracked allocations.
#include <windows.h>
#include <string.h>

#include "runtime/archive/archive.h"
#include "runtime/text.h"

namespace {

constexpr int kFolderRecords = 256;
// A listing's bytes, at most (some 2,500 names of 20 characters; all records together stay within 16 MB of a 32-bit
// process); a folder with more keeps the first ones, and a name not among them is left to the system.
constexpr size_t kListingMax = 64 * 1024;
// A folder changed this recently may change again within the same tick of its clock, leaving the time as it was;
// its listing is only trusted once the folder has kept still this long (FILETIME units: two seconds).
constexpr ULONGLONG kDefaultSettleTime = 2ull * 10000000ull;

// A listing is a run of entries, each: its name's hash (4 bytes), its length (2 bytes), 'F' for a file or 'D' for a
// folder, the upper-cased name and its NUL; a zero length ends the run.
constexpr size_t kEntryHead = 7;

struct FolderRecord {
    HANDLE handle;  // null: a free record
    uint32_t hash;
    size_t length;
    char path[kFilePathMax];  // canonical (upper-cased), "X:\\" for a drive's root, else without a separator
    FILETIME listedTime;  // the folder's last-write time when it was listed
    int keepsTimes;       // the volume updates folder times (else every open lists the folder again)
    int trusted;          // the listing may answer while that time is unchanged
    int overflow;         // more names than the listing holds: a name not among them is left to the system
    char* listing;        // process heap, or null before the first listing
    size_t capacity;
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
    if (record->listing) HeapFree(GetProcessHeap(), 0, record->listing);
    record->listing = nullptr;
    record->capacity = 0;
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

// Makes room for `needed` bytes of listing; false when the listing would grow past its limit.
bool Reserve(FolderRecord* record, size_t needed) {
    if (needed <= record->capacity) return true;
    if (needed > kListingMax) return false;
    size_t capacity = record->capacity ? record->capacity : 4096;
    while (capacity < needed) capacity *= 2;
    if (capacity > kListingMax) capacity = kListingMax;
    HANDLE heap = GetProcessHeap();
    char* grown = static_cast<char*>(record->listing ? HeapReAlloc(heap, 0, record->listing, capacity)
                                                     : HeapAlloc(heap, 0, capacity));
    if (grown == nullptr) return false;
    record->listing = grown;
    record->capacity = capacity;
    return true;
}

// Ends the listing behind its first `used` bytes.
void EndListing(FolderRecord* record, size_t used) { memset(record->listing + used, 0, kEntryHead); }

// Appends an entry to the record's listing and ends the listing behind it; false when the listing is full (it then
// ends behind the entries before).
bool AddEntry(FolderRecord* record, size_t* used, const char* upperName, bool folder) {
    const size_t length = strlen(upperName);
    const size_t size = kEntryHead + length + 1;
    if (length > 0xFFFF || !Reserve(record, *used + size + kEntryHead)) return false;
    char* entry = record->listing + *used;
    const uint32_t hash = HashText(upperName, length);
    const uint16_t length16 = (uint16_t)length;
    memcpy(entry, &hash, 4);
    memcpy(entry + 4, &length16, 2);
    entry[6] = folder ? 'D' : 'F';
    memcpy(entry + kEntryHead, upperName, length + 1);
    *used += size;
    EndListing(record, *used);
    return true;
}

// Lists the folder into the record (its handle open). False when the folder cannot be listed.
bool ListFolder(FolderRecord* record, const char* systemFolder) {
    record->overflow = 0;
    if (!Reserve(record, kEntryHead)) return false;
    EndListing(record, 0);
    // The time is read before the listing, so a change during the listing leaves a later time behind it.
    ++g_counts.folderChecks;
    if (!GetFileTime(record->handle, nullptr, nullptr, &record->listedTime)) return false;

    char pattern[kFilePathMax + 2];
    size_t folderLength = strlen(systemFolder);
    memcpy(pattern, systemFolder, folderLength);
    if (systemFolder[folderLength - 1] != '\\') pattern[folderLength++] = '\\';
    pattern[folderLength] = '*';
    pattern[folderLength + 1] = 0;

    ++g_counts.nameLookups;
    size_t used = 0;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern, &data);
    if (find == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES) return false;
    } else {
        do {
            if (strcmp(data.cFileName, ".") == 0 || strcmp(data.cFileName, "..") == 0) continue;
            UpperCaseMb(data.cFileName);
            if (!AddEntry(record, &used, data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0))
                record->overflow = 1;
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

bool HoldsHighByte(const char* text) {
    for (; *text; ++text)
        if ((unsigned char)*text >= 0x80) return true;
    return false;
}

// What the listing says of a file (not a folder) of the name.
ArchivePresence Answer(const FolderRecord* record, const char* upperName) {
    const size_t length = strlen(upperName);
    const uint32_t hash = HashText(upperName, length);
    const bool highByte = HoldsHighByte(upperName);
    for (const char* entry = record->listing;;) {
        uint32_t entryHash;
        uint16_t entryLength;
        memcpy(&entryHash, entry, 4);
        memcpy(&entryLength, entry + 4, 2);
        if (entryLength == 0) break;
        const char* name = entry + kEntryHead;
        if (entryLength == length) {
            if (entryHash == hash && memcmp(name, upperName, length) == 0)
                return entry[6] == 'F' ? kArchivePresent : kArchiveUnknown;
            // The system also folds the case of letters beyond ASCII (double-byte ones, and accented ones of other
            // code pages), which upper-casing here leaves alone: such a near match is left to it.
            if (highByte && HoldsHighByte(name)) return kArchiveUnknown;
        }
        entry += kEntryHead + entryLength + 1;
    }
    return record->overflow ? kArchiveUnknown : kArchiveAbsent;
}

// The record of the folder, listed and current, or null when the folder cannot be watched (the caller then asks the
// system). A record whose listing is not trusted is listed again; with keptTimesOnly, a folder whose volume does not
// keep folder times is left to the system instead, as a listing made afresh for every open would cost more than
// the one name it settles.
FolderRecord* CurrentRecord(const char* folder, const char* systemFolder, bool keptTimesOnly) {
    const size_t length = strlen(folder);
    if (length == 0 || length >= (size_t)kFilePathMax || strlen(systemFolder) != length) return nullptr;
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
        if (keptTimesOnly && !record->keepsTimes) return nullptr;
        FILETIME now;
        ++g_counts.folderChecks;
        if (GetFileTime(record->handle, nullptr, nullptr, &now)) {
            const bool unchanged = CompareFileTime(&now, &record->listedTime) == 0;
            if (unchanged && record->trusted) return record;
            if (!unchanged) DropRecordsBelow(record);
            if (ListFolder(record, systemFolder)) return record;
        }
        DropRecordsBelow(record);
        DropRecord(record);
        return nullptr;
    }

    if (empty == nullptr) {  // full: start again rather than keep score of which folders matter
        ArchiveFolderCacheClear();
        empty = &g_records[0];
    }
    ++g_counts.nameLookups;
    HANDLE handle = CreateFileA(systemFolder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    record = empty;
    record->handle = handle;
    record->hash = hash;
    record->length = length;
    memcpy(record->path, folder, length + 1);
    record->keepsTimes = VolumeKeepsFolderTimes(folder, handle);
    if (keptTimesOnly && !record->keepsTimes) {
        // Kept unlisted, so that the volume is not asked again; a look-up for archives lists it.
        record->listedTime = FILETIME{0, 0};
        record->trusted = 0;
        return nullptr;
    }
    if (!ListFolder(record, systemFolder)) {
        DropRecord(record);
        return nullptr;
    }
    return record;
}

// Whether the listing may settle a name the caller opens: a plain name, which the system resolves only by looking
// for it in the folder. Left to the system: names that are not plain ASCII (their case folding is the system's),
// short-name aliases ("~"), device names, streams and wildcards, and names the system trims (a trailing dot or
// space).
bool ListingCanSettle(const char* name) {
    const size_t length = strlen(name);
    if (length == 0 || name[length - 1] == '.' || name[length - 1] == ' ') return false;
    for (const char* c = name; *c; ++c) {
        const unsigned char b = (unsigned char)*c;
        if (b < 0x20 || b >= 0x80 || strchr("\"*:<>?|~/\\", b)) return false;
    }
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    const char* dot = strchr(name, '.');
    const size_t stem = dot ? (size_t)(dot - name) : length;
    for (const char* device : kDevices)
        if (strlen(device) == stem && _strnicmp(name, device, stem) == 0) return false;
    if (stem == 4 && (_strnicmp(name, "COM", 3) == 0 || _strnicmp(name, "LPT", 3) == 0) && name[3] >= '0' &&
        name[3] <= '9')
        return false;
    return true;
}

}  // namespace

ArchivePresence ArchiveFolderHolds(const char* folder, const char* systemFolder, const char* upperName) {
    const FolderRecord* record = CurrentRecord(folder, systemFolder, false);
    return record ? Answer(record, upperName) : kArchiveUnknown;
}

bool ArchiveDiskMayHold(const char* path) {
    char full[kFilePathMax];
    if (path != nullptr && MakeFullPath(path, full) == 0 && full[0] != 0 && full[1] == ':' && full[2] == '\\') {
        const char* slash = nullptr;  // the last separator, outside double-byte characters
        for (const char* c = full; *c; ++c) {
            if (ArchiveIsLeadByte((unsigned char)*c) && c[1])
                ++c;
            else if (*c == '\\')
                slash = c;
        }
        if (slash && ListingCanSettle(slash + 1)) {
            const size_t folderLength = slash == full + 2 ? 3 : (size_t)(slash - full);
            char systemFolder[kFilePathMax], folder[kFilePathMax];
            memcpy(systemFolder, full, folderLength);
            systemFolder[folderLength] = 0;
            strcpy(folder, systemFolder);
            UpperCaseMb(folder);
            char name[kFilePathMax];
            strcpy(name, slash + 1);
            UpperCaseMb(name);
            const FolderRecord* record = CurrentRecord(folder, systemFolder, true);
            if (record && Answer(record, name) == kArchiveAbsent) return false;
        }
    }
    ++g_counts.diskOpens;
    return true;
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

// The table of open archives (512 slots with use counts), the archive extension and key settings, and the lookup of
// the archive that covers a path: the shallowest folder of the path with an archive beside it serves the whole
// subtree. The last folder found is cached; it serves a later path only when that path continues at a separator.
// Whether a folder has an archive beside it is answered from the listings of archive_folders.cpp, not asked of the
// system anew at every level of every open.
#include <windows.h>
#include <string.h>

#include "runtime/archive/archive.h"
#include "runtime/memory.h"
#include "runtime/text.h"

namespace {

constexpr int kArchivePathMax = kFilePathMax + kArchiveExtensionMax + 1;
constexpr int kKeyTextMax = 256;

struct ArchiveTableSlot {
    int useCount;
    ArchiveRecord record;
    char path[kArchivePathMax];
};

ArchiveTableSlot* g_slots[kArchiveTableSlots];
int g_openCount = 0;

char g_extension[kArchiveExtensionMax];  // empty: the default
int g_keySet = 0;
char g_keyText[kKeyTextMax];

// The last folder served by an archive: its canonical path, the archive path and the slot.
char g_cachePrefix[kFilePathMax];
size_t g_cachePrefixLength = 0;
char g_cacheArchive[kArchivePathMax];
int g_cacheSlot = -1;

void ForgetCache() {
    g_cachePrefix[0] = 0;
    g_cachePrefixLength = 0;
    g_cacheArchive[0] = 0;
    g_cacheSlot = -1;
}

bool ValidSlot(int slot) { return slot >= 0 && slot < kArchiveTableSlots && g_slots[slot] != nullptr; }

void CloseSlot(int slot) {
    ArchiveClose(&g_slots[slot]->record);
    TrackedFree(g_slots[slot]);
    g_slots[slot] = nullptr;
    --g_openCount;
}

// Fills the outputs of ArchiveFindForPath for a path continuing behind a prefix of prefixLength bytes.
void FillLookupResult(const char* canonical, size_t prefixLength, char* prefixOut, char* innerOut) {
    if (prefixOut) {
        memcpy(prefixOut, canonical, prefixLength);
        prefixOut[prefixLength] = 0;
    }
    if (innerOut) strcpy(innerOut, canonical + prefixLength + 1);
}

// The open archive at the path, its use count raised; the hint slot is checked first. -1 when none is open.
int UseOpenSlot(const char* archivePath, int slotHint) {
    if (ValidSlot(slotHint) && strcmp(g_slots[slotHint]->path, archivePath) == 0) {
        ++g_slots[slotHint]->useCount;
        return slotHint;
    }
    for (int i = 0; i < kArchiveTableSlots; ++i) {
        if (g_slots[i] && strcmp(g_slots[i]->path, archivePath) == 0) {
            ++g_slots[i]->useCount;
            return i;
        }
    }
    return -1;
}

// Opens the archive at the path into a free slot (use count 1); -1 when it cannot be opened or the table stays full.
int OpenIntoTable(const char* archivePath) {
    if (g_openCount >= kArchiveTableSlots) {
        ArchiveReleaseUnused();
        if (g_openCount >= kArchiveTableSlots) return -1;
    }
    int slot = 0;
    while (g_slots[slot]) ++slot;
    ArchiveTableSlot* entry =
        static_cast<ArchiveTableSlot*>(TrackedAllocZeroed(sizeof(ArchiveTableSlot), "", __LINE__));
    if (entry == nullptr) return -1;
    if (ArchiveOpen(&entry->record, archivePath, g_keySet ? g_keyText : nullptr) != 0) {
        TrackedFree(entry);
        return -1;
    }
    strcpy(entry->path, archivePath);
    entry->useCount = 1;
    g_slots[slot] = entry;
    ++g_openCount;
    return slot;
}

}  // namespace

// Defined in archive_vfs.cpp: closes every archive-aware file still open.
void VfsCloseAll();

int ArchiveSetExtensionImpl(const char* text) {
    if (text == nullptr || text[0] == 0 || strlen(text) >= (size_t)kArchiveExtensionMax)
        g_extension[0] = 0;
    else
        strcpy(g_extension, text);
    ForgetCache();
    ArchiveFolderCacheClear();  // the listings hold archives of the old extension
    return 0;
}

const char* ArchiveGetExtension() { return g_extension[0] ? g_extension : "QVA"; }

int ArchiveSetKey(const char* keyText) {
    if (keyText == nullptr) {
        g_keySet = 0;
        g_keyText[0] = 0;
    } else {
        g_keySet = 1;
        size_t length = strlen(keyText);
        if (length >= (size_t)kKeyTextMax) length = kKeyTextMax - 1;
        memcpy(g_keyText, keyText, length);
        g_keyText[length] = 0;
    }
    return 0;
}

int ArchiveTableClear() {
    VfsCloseAll();
    for (int i = 0; i < kArchiveTableSlots; ++i)
        if (g_slots[i]) CloseSlot(i);
    g_openCount = 0;
    ForgetCache();
    ArchiveFolderCacheClear();
    return 0;
}

int ArchiveTableEntry(const char* archivePath, int slotHint) {
    if (archivePath == nullptr || strlen(archivePath) >= (size_t)kArchivePathMax) return -1;
    int slot = UseOpenSlot(archivePath, slotHint);
    if (slot >= 0) return slot;
    // Most candidates (every folder above a plain file) name no archive: a look at the attributes settles that
    // without the open, which costs far more, most of all under Wine.
    return ArchiveFileExists(archivePath) ? OpenIntoTable(archivePath) : -1;
}

int ArchiveRelease(int slot) {
    if (!ValidSlot(slot) || g_slots[slot]->useCount <= 0) return -1;
    --g_slots[slot]->useCount;
    return 0;
}

int ArchiveReleaseUnused() {
    for (int i = 0; i < kArchiveTableSlots; ++i)
        if (g_slots[i] && g_slots[i]->useCount == 0) CloseSlot(i);
    return 0;
}

int ArchiveReleaseAll() {
    ArchiveReleaseUnused();
    ForgetCache();
    ArchiveFolderCacheClear();
    return 0;
}

ArchiveRecord* ArchiveTableRecord(int slot) { return ValidSlot(slot) ? &g_slots[slot]->record : nullptr; }

int ArchiveTableUseCount(int slot) { return ValidSlot(slot) ? g_slots[slot]->useCount : 0; }

int ArchiveTableOpenCount() { return g_openCount; }

int ArchiveFindForPath(const char* path, int* slotOut, char* prefixOut, char* innerOut) {
    // The folders are asked of the system in the caller's own case, so it need not search for a differently cased
    // name; the canonical (upper-cased) form, byte for byte as long, names them in the tables.
    char full[kFilePathMax];
    char canonical[kFilePathMax];
    if (path == nullptr || MakeFullPath(path, full) != 0) return -1;
    strcpy(canonical, full);
    UpperCaseMb(canonical);

    // The cached folder serves paths that continue behind it at a separator ("RES" must not serve "RESX\\A").
    if (g_cachePrefixLength > 0 && strncmp(canonical, g_cachePrefix, g_cachePrefixLength) == 0 &&
        canonical[g_cachePrefixLength] == '\\' && canonical[g_cachePrefixLength + 1] != 0) {
        int slot = ArchiveTableEntry(g_cacheArchive, g_cacheSlot);
        if (slot >= 0) {
            g_cacheSlot = slot;
            if (slotOut) *slotOut = slot;
            FillLookupResult(canonical, g_cachePrefixLength, prefixOut, innerOut);
            return 0;
        }
    }

    // Walk the folders from the front, behind the drive's root; the file name itself is never a candidate.
    const char* extension = ArchiveGetExtension();
    char upperExtension[kArchiveExtensionMax];
    strcpy(upperExtension, extension);
    UpperCaseMb(upperExtension);
    const bool hasDrive = canonical[0] != 0 && canonical[1] == ':' && canonical[2] == '\\';
    const size_t start = hasDrive ? 3 : 0;
    size_t componentStart = start;
    for (size_t i = start; canonical[i];) {
        if (ArchiveIsLeadByte((unsigned char)canonical[i]) && canonical[i + 1]) {
            i += 2;
            continue;
        }
        if (canonical[i] != '\\') {
            ++i;
            continue;
        }
        if (i == start || canonical[i - 1] == '\\' || canonical[i + 1] == 0) return -1;  // empty component
        char candidate[kArchivePathMax];
        if (i + 1 + strlen(extension) + 1 > sizeof(candidate)) return -1;
        memcpy(candidate, canonical, i);
        candidate[i] = '.';
        strcpy(candidate + i + 1, extension);
        int slot = UseOpenSlot(candidate, -1);
        if (slot < 0) {
            ArchivePresence presence = kArchiveUnknown;
            if (hasDrive) {
                // The folder the candidate would lie in; a drive's root keeps its separator.
                const size_t folderLength = componentStart == start ? start : componentStart - 1;
                char folder[kFilePathMax], systemFolder[kFilePathMax], name[kArchivePathMax];
                memcpy(folder, canonical, folderLength);
                folder[folderLength] = 0;
                memcpy(systemFolder, full, folderLength);
                systemFolder[folderLength] = 0;
                strcpy(name, candidate + componentStart);
                strcpy(name + (i - componentStart) + 1, upperExtension);
                presence = ArchiveFolderHolds(folder, systemFolder, name);
            }
            if (presence == kArchivePresent)
                slot = OpenIntoTable(candidate);
            else if (presence == kArchiveUnknown)
                slot = ArchiveFileExists(candidate) ? OpenIntoTable(candidate) : -1;
        }
        if (slot >= 0) {
            memcpy(g_cachePrefix, canonical, i);
            g_cachePrefix[i] = 0;
            g_cachePrefixLength = i;
            strcpy(g_cacheArchive, candidate);
            g_cacheSlot = slot;
            if (slotOut) *slotOut = slot;
            FillLookupResult(canonical, i, prefixOut, innerOut);
            return 0;
        }
        ++i;
        componentStart = i;
    }
    return -1;
}

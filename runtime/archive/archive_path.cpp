// Absolute and canonical paths for the archive lookup. Separators are found outside Shift-JIS double-byte
// characters, so a name whose trail byte is 0x5C ("\\") stays one component. The same fixed lead-byte test as the
// archive's name records is used, so paths and records always split alike.
#include <string.h>

#include "runtime/archive/archive.h"
#include "runtime/text.h"

namespace {

inline bool IsSeparator(char c) { return c == '\\' || c == '/'; }
inline bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Appends text of `length` bytes to out (holding *used bytes); false when the result would not fit.
bool Append(char* out, size_t* used, const char* text, size_t length) {
    if (*used + length + 1 > (size_t)kFilePathMax) return false;
    memcpy(out + *used, text, length);
    *used += length;
    out[*used] = 0;
    return true;
}

// Removes the last component, never the drive ("X:").
void DropLastComponent(char* out, size_t* used, size_t floor) {
    size_t cut = floor;
    for (size_t i = floor; i < *used;) {
        if (out[i] == '\\') cut = i;
        i += (IsShiftJisLeadByte((unsigned char)out[i]) && i + 1 < *used) ? 2 : 1;
    }
    *used = cut;
    out[cut] = 0;
}

}  // namespace

int BuildAbsolutePath(const char* relative, char* out, const char* base) {
    if (relative == nullptr || out == nullptr) return -1;
    char baseBuffer[kFilePathMax];
    if (base == nullptr) {
        baseBuffer[0] = 0;
        int length = FileLayerGetDir(baseBuffer);
        // A directory too long for the buffer comes back as the size it would need, with the buffer untouched.
        if (length <= 0 || length >= kFilePathMax || strlen(baseBuffer) != (size_t)length) return -1;
        base = baseBuffer;
    }
    bool baseHasDrive = IsDriveLetter(base[0]) && base[1] == ':';

    char work[kFilePathMax];
    size_t used = 0;
    size_t floor = 0;  // the drive part that ".." never removes
    const char* r = relative;
    work[0] = 0;
    if (IsSeparator(r[0])) {
        if (IsSeparator(r[1]) || !baseHasDrive) return -1;  // no network paths
        Append(work, &used, base, 2);
        floor = 2;
        ++r;
    } else if (IsDriveLetter(r[0]) && r[1] == ':') {
        Append(work, &used, r, 2);
        floor = 2;
        r += 2;
        if (IsSeparator(*r)) ++r;
    } else {
        size_t length = strlen(base);
        while (length > 0 && IsSeparator(base[length - 1])) {
            // A trailing separator goes, unless it is a lead byte's trail byte.
            bool trail = length >= 2 && IsShiftJisLeadByte((unsigned char)base[length - 2]);
            if (trail) break;
            --length;
        }
        if (!Append(work, &used, base, length)) return -1;
        floor = baseHasDrive ? 2 : 0;
    }

    while (*r) {
        const char* start = r;
        while (*r && !IsSeparator(*r)) r += (IsShiftJisLeadByte((unsigned char)*r) && r[1]) ? 2 : 1;
        size_t length = (size_t)(r - start);
        if (length == 0) return -1;  // two separators in a row
        if (IsSeparator(*r)) ++r;    // a single trailing separator ends the path
        if (length == 1 && start[0] == '.') continue;
        if (length == 2 && start[0] == '.' && start[1] == '.') {
            DropLastComponent(work, &used, floor);
            continue;
        }
        if (!Append(work, &used, "\\", 1) || !Append(work, &used, start, length)) return -1;
    }
    if (used == floor && floor == 2 && !Append(work, &used, "\\", 1)) return -1;  // just a drive: its root
    memcpy(out, work, used + 1);
    return 0;
}

int MakeFullPath(const char* path, char* out) {
    if (path == nullptr || out == nullptr) return -1;
    size_t length = strlen(path);
    if (length >= (size_t)kFilePathMax) return -1;
    char work[kFilePathMax];
    for (size_t i = 0; i <= length;) {
        if (IsShiftJisLeadByte((unsigned char)path[i]) && path[i + 1] != 0) {
            work[i] = path[i];
            work[i + 1] = path[i + 1];
            i += 2;
            continue;
        }
        work[i] = path[i] == '/' ? '\\' : path[i];
        ++i;
    }
    return BuildAbsolutePath(work, out, nullptr);
}

int MakeCanonicalFullPath(const char* path, char* out) {
    if (MakeFullPath(path, out) != 0) return -1;
    UpperCaseMb(out);
    return 0;
}

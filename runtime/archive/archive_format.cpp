// Archive format helpers shared by the runtime, the writer and the packing tool: header coding, the scrambling key,
// name records, and index accessors that check every offset and count against the index before reading through it.
#include "runtime/archive/archive_format.h"

#include <string.h>

namespace {

// The two built-in 12-byte values (filler for archives without a key text, and the fallback key) are made by one
// small generator at run time, so neither stands in the program as plain bytes. Both seeds live here and only here.
constexpr uint32_t kFillerSeed = 0x4B61766Fu;
constexpr uint32_t kFallbackSeed = 0x72696E51u;

void BuildFixedBytes(uint32_t seed, unsigned char out[kArchiveKeySize]) {
    uint32_t x = seed;
    for (int i = 0; i < kArchiveKeySize; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = (unsigned char)(x >> 11);
    }
}

inline unsigned char SwapNibbles(unsigned char b) { return (unsigned char)((b << 4) | (b >> 4)); }
inline unsigned char RotateRight(unsigned char b, int n) { return (unsigned char)((b >> n) | (b << (8 - n))); }

// One character's length at p: 2 for a Shift-JIS lead byte followed by a trail byte, else 1 (0 at the end).
inline size_t CharLength(const char* p) {
    if (*p == 0) return 0;
    return (ArchiveIsLeadByte((unsigned char)p[0]) && p[1] != 0) ? 2 : 1;
}

}  // namespace

void ArchiveDecodeHeader(const unsigned char raw[kArchiveHeaderSize], ArchiveHeader* out) {
    out->magic = ArchiveGetU16(raw + 0);
    out->version = ArchiveGetU16(raw + 2);
    out->indexSize = ArchiveGetU32(raw + 4);
    out->dataOffset = ArchiveGetU32(raw + 8);
    out->indexOffset = ArchiveGetU32(raw + 12);
    out->fileTableOffset = ArchiveGetU32(raw + 16);
    out->dirTableOffset = ArchiveGetU32(raw + 20);
}

void ArchiveEncodeHeader(const ArchiveHeader& h, unsigned char raw[kArchiveHeaderSize]) {
    ArchivePutU16(raw + 0, h.magic);
    ArchivePutU16(raw + 2, h.version);
    ArchivePutU32(raw + 4, h.indexSize);
    ArchivePutU32(raw + 8, h.dataOffset);
    ArchivePutU32(raw + 12, h.indexOffset);
    ArchivePutU32(raw + 16, h.fileTableOffset);
    ArchivePutU32(raw + 20, h.dirTableOffset);
}

int ArchiveCheckHeader(const ArchiveHeader& h, uint64_t fileSize) {
    if (h.magic != kArchiveMagic || h.version > kArchiveMaxVersion) return -1;
    if ((uint64_t)h.indexOffset + h.indexSize > fileSize) return -1;
    if (h.dataOffset > fileSize) return -1;
    if (h.fileTableOffset > h.indexSize) return -1;
    if ((uint64_t)h.dirTableOffset + kArchiveDirRecordSize > h.indexSize) return -1;
    return 0;
}

void ArchiveMakeKey(const char* keyText, unsigned char key[kArchiveKeySize]) {
    size_t length = keyText ? strlen(keyText) : 0;
    if (length == 0) {
        BuildFixedBytes(kFillerSeed, key);
    } else {
        for (int i = 0; i < kArchiveKeySize; ++i) key[i] = (unsigned char)keyText[(size_t)i % length];
    }
    key[0] = (unsigned char)~key[0];
    key[1] = SwapNibbles(key[1]);
    key[2] ^= 0x8A;
    key[3] = (unsigned char)~SwapNibbles(key[3]);
    key[4] = (unsigned char)~key[4];
    key[5] ^= 0xAC;
    key[6] = (unsigned char)~key[6];
    key[7] = (unsigned char)~RotateRight(key[7], 3);
    key[8] = RotateRight(key[8], 5);
    key[9] ^= 0x7F;
    key[10] = (unsigned char)(SwapNibbles(key[10]) ^ 0xD6);
    key[11] ^= 0xCC;
}

void ArchiveFallbackKey(unsigned char key[kArchiveKeySize]) { BuildFixedBytes(kFallbackSeed, key); }

unsigned ArchiveScramble(void* buffer, size_t length, uint64_t position, const unsigned char key[kArchiveKeySize]) {
    unsigned char* p = static_cast<unsigned char*>(buffer);
    unsigned phase = (unsigned)(position % kArchiveKeySize);
    // The key rotated to the starting phase, so whole 12-byte groups go as three 32-bit XORs.
    unsigned char rotated[kArchiveKeySize];
    for (int i = 0; i < kArchiveKeySize; ++i) rotated[i] = key[(phase + (unsigned)i) % kArchiveKeySize];
    uint32_t words[3];
    memcpy(words, rotated, sizeof(words));
    size_t i = 0;
    for (; i + kArchiveKeySize <= length; i += kArchiveKeySize) {
        uint32_t v[3];
        memcpy(v, p + i, sizeof(v));
        v[0] ^= words[0];
        v[1] ^= words[1];
        v[2] ^= words[2];
        memcpy(p + i, v, sizeof(v));
    }
    for (size_t j = 0; i < length; ++i, ++j) p[i] ^= rotated[j];
    return (unsigned)((position + length) % kArchiveKeySize);
}

int ArchiveDecodeHeaderWithKeys(const unsigned char raw[kArchiveHeaderSize], const unsigned char key[kArchiveKeySize],
                                ArchiveHeader* out, unsigned char usedKey[kArchiveKeySize]) {
    unsigned char keys[2][kArchiveKeySize];
    memcpy(keys[0], key, kArchiveKeySize);
    ArchiveFallbackKey(keys[1]);
    for (int k = 0; k < 2; ++k) {
        unsigned char work[kArchiveHeaderSize];
        memcpy(work, raw, kArchiveHeaderSize);
        ArchiveScramble(work, kArchiveHeaderSize, 0, keys[k]);
        ArchiveHeader header;
        ArchiveDecodeHeader(work, &header);
        if (header.magic == kArchiveMagic) {
            *out = header;
            memcpy(usedKey, keys[k], kArchiveKeySize);
            return 0;
        }
    }
    return -1;
}

void ArchiveUpperCaseName(const char* in, size_t length, char* out) {
    size_t i = 0;
    while (i < length) {
        unsigned char c = (unsigned char)in[i];
        if (ArchiveIsLeadByte(c) && i + 1 < length) {
            out[i] = in[i];
            out[i + 1] = in[i + 1];
            i += 2;
            continue;
        }
        out[i] = (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : (char)c;
        ++i;
    }
}

void ArchiveWriteNameRecord(const char* name, size_t length, unsigned char* out) {
    uint32_t units = ArchiveNameUnits(length);
    size_t padded = 4 * (size_t)units;
    memset(out, 0, 4 + 2 * padded);
    char* upper = reinterpret_cast<char*>(out + 4);
    ArchiveUpperCaseName(name, length, upper);
    uint32_t sum = 0;
    for (size_t i = 0; i < length; ++i) sum += (unsigned char)upper[i];
    memcpy(out + 4 + padded, name, length);
    ArchivePutU16(out, (uint16_t)units);
    ArchivePutU16(out + 2, (uint16_t)sum);
}

int ArchiveMakeNameKey(const char* name, size_t length, ArchiveNameKey* out) {
    if (name == nullptr || length == 0 || length > kArchiveMaxNameBytes) return -1;
    uint32_t units = ArchiveNameUnits(length);
    memset(out->upper, 0, 4 * (size_t)units);
    ArchiveUpperCaseName(name, length, reinterpret_cast<char*>(out->upper));
    uint32_t sum = 0;
    for (size_t i = 0; i < length; ++i) sum += out->upper[i];
    out->units = (uint16_t)units;
    out->sum = (uint16_t)sum;
    return 0;
}

int ArchiveIndexInit(ArchiveIndexView* view, const ArchiveHeader& header, const unsigned char* index) {
    if (index == nullptr && header.indexSize != 0) return -1;
    if (header.fileTableOffset > header.indexSize) return -1;
    if ((uint64_t)header.dirTableOffset + kArchiveDirRecordSize > header.indexSize) return -1;
    view->index = index;
    view->size = header.indexSize;
    view->fileTable = header.fileTableOffset;
    view->dirTable = header.dirTableOffset;
    view->version = header.version;
    view->entrySize = header.version >= kArchiveFirstPackingVersion ? kArchiveEntrySizeV2 : kArchiveEntrySizeV0;
    return 0;
}

int ArchiveReadDir(const ArchiveIndexView& view, uint32_t dirOffset, ArchiveDirInfo* out) {
    uint64_t at = (uint64_t)view.dirTable + dirOffset;
    if (at + kArchiveDirRecordSize > view.size) return -1;
    const unsigned char* p = view.index + at;
    ArchiveDirInfo dir;
    dir.offset = dirOffset;
    dir.parent = ArchiveGetU32(p + 4);
    dir.count = ArchiveGetU32(p + 8);
    dir.firstEntry = ArchiveGetU32(p + 12);
    uint64_t end = (uint64_t)view.fileTable + dir.firstEntry + (uint64_t)dir.count * view.entrySize;
    if (end > view.size) return -1;
    *out = dir;
    return 0;
}

int ArchiveReadEntry(const ArchiveIndexView& view, const ArchiveDirInfo& dir, uint32_t i, ArchiveEntry* out) {
    if (i >= dir.count) return -1;
    uint64_t offset = (uint64_t)dir.firstEntry + (uint64_t)i * view.entrySize;
    uint64_t at = (uint64_t)view.fileTable + offset;
    if (at + view.entrySize > view.size) return -1;
    const unsigned char* p = view.index + at;
    out->offset = (uint32_t)offset;
    out->nameOffset = ArchiveGetU32(p + 0);
    out->attributes = ArchiveGetU32(p + 4);
    out->creationTime = ArchiveGetU64(p + 8);
    out->accessTime = ArchiveGetU64(p + 16);
    out->writeTime = ArchiveGetU64(p + 24);
    out->dataOffset = ArchiveGetU32(p + 32);
    out->size = ArchiveGetU32(p + 36);
    out->packedSize = view.version >= kArchiveFirstPackingVersion ? ArchiveGetU32(p + 40) : kArchiveNotPacked;
    return 0;
}

int ArchiveReadName(const ArchiveIndexView& view, uint32_t nameOffset, ArchiveNameRecord* out) {
    if ((uint64_t)nameOffset + 4 > view.size) return -1;
    const unsigned char* p = view.index + nameOffset;
    uint32_t units = ArchiveGetU16(p);
    if (units == 0) return -1;
    uint64_t padded = 4 * (uint64_t)units;
    if ((uint64_t)nameOffset + 4 + 2 * padded > view.size) return -1;
    // Each half must end in NUL, so both names are terminated inside the record.
    if (p[4 + padded - 1] != 0 || p[4 + 2 * padded - 1] != 0) return -1;
    out->units = units;
    out->sum = ArchiveGetU16(p + 2);
    out->upper = reinterpret_cast<const char*>(p + 4);
    out->stored = reinterpret_cast<const char*>(p + 4 + padded);
    return 0;
}

int ArchiveFindInDir(const ArchiveIndexView& view, const ArchiveDirInfo& dir, const ArchiveNameKey& name, int want,
                     ArchiveEntry* out) {
    for (uint32_t i = 0; i < dir.count; ++i) {
        ArchiveEntry entry;
        if (ArchiveReadEntry(view, dir, i, &entry) != 0) return -1;
        if (want == 1 && !entry.IsDirectory()) continue;
        if (want == 0 && entry.IsDirectory()) continue;
        uint64_t at = entry.nameOffset;
        if (at + 4 > view.size) continue;
        const unsigned char* p = view.index + at;
        if (ArchiveGetU16(p) != name.units || ArchiveGetU16(p + 2) != name.sum) continue;
        if (at + 4 + 4 * (uint64_t)name.units > view.size) continue;
        if (memcmp(p + 4, name.upper, 4 * (size_t)name.units) != 0) continue;
        *out = entry;
        return 0;
    }
    return -1;
}

int ArchiveCheckEntryData(const ArchiveHeader& header, const ArchiveEntry& entry, uint64_t fileSize) {
    if (entry.IsDirectory()) return -1;
    if (entry.IsPacked() && entry.packedSize < kArchivePackedHeaderSize) return -1;
    uint64_t start = (uint64_t)header.dataOffset + entry.dataOffset;
    if (start + ArchiveStoredSize(entry) > fileSize) return -1;
    return 0;
}

int SplitDirAndName(const char* path, char* dirOut, char* nameOut, size_t outSize) {
    const char* last = nullptr;  // the last separator
    for (const char* p = path; *p;) {
        if (*p == '\\' || *p == '/' || *p == ':') last = p;
        p += CharLength(p);
    }
    const char* name = last ? last + 1 : path;
    size_t nameLength = strlen(name);
    size_t dirLength = last ? (size_t)(last - path) : 0;
    bool keepColon = last && *last == ':';
    bool root = last && !keepColon && dirLength == 0;
    size_t dirBytes = keepColon ? dirLength + 1 : (root ? 1 : dirLength);
    if (nameLength + 1 > outSize || dirBytes + 1 > outSize) return -1;
    if (dirOut) {
        if (root) {
            dirOut[0] = '\\';
        } else {
            memcpy(dirOut, path, dirBytes);
        }
        dirOut[dirBytes] = 0;
    }
    if (nameOut) memcpy(nameOut, name, nameLength + 1);
    return 0;
}

int CompareNameMb(const char* name, const char* pattern) {
    const char* n = name;
    const char* p = pattern;
    const char* starPattern = nullptr;  // pattern just behind the last run of '*'
    const char* starName = nullptr;     // where that run's match currently ends in the name
    while (*n) {
        if (*p == '*') {
            while (*p == '*') ++p;
            if (*p == 0) return 0;
            starPattern = p;
            starName = n;
            continue;
        }
        size_t nl = CharLength(n);
        if (*p == '?') {
            ++p;
            n += nl;
            continue;
        }
        size_t pl = CharLength(p);
        if (pl != 0 && pl == nl && memcmp(p, n, nl) == 0) {
            p += pl;
            n += nl;
            continue;
        }
        if (starPattern == nullptr) return -1;
        // Let the last '*' take one more character and try again from there.
        starName += CharLength(starName);
        n = starName;
        p = starPattern;
    }
    while (*p == '*') ++p;
    return *p == 0 ? 0 : -1;
}

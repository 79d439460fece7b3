// The packed archive format as bytes: header, scrambling key, name records and bounds-checked views of the index
// tables. Portable C++ without windows.h: the runtime's archive layer, the archive writer and the packing tool
// (built for Windows and natively) all read archives through these functions.
#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr uint32_t kArchiveHeaderSize = 24;
constexpr uint16_t kArchiveMagic = 'Q' | ('V' << 8);  // the two characters "QV"
constexpr int kArchiveMaxVersion = 3;
constexpr int kArchiveFirstPackingVersion = 2;  // entries carry a packed size from this version on
constexpr int kArchiveKeySize = 12;
constexpr uint32_t kArchiveEntrySizeV0 = 40;  // versions 0 and 1
constexpr uint32_t kArchiveEntrySizeV2 = 44;  // versions 2 and later
constexpr uint32_t kArchiveDirRecordSize = 16;
constexpr uint32_t kArchiveAttrDirectory = 0x10;
constexpr uint32_t kArchiveNotPacked = 0xFFFFFFFFu;
constexpr uint32_t kArchiveNoParent = 0xFFFFFFFFu;
constexpr uint32_t kArchivePackedHeaderSize = 9;  // u32 unpacked size, u32 packed size, escape byte
// Longest name (one path component) in bytes that a lookup handles.
constexpr uint32_t kArchiveMaxNameBytes = 1023;

// Little-endian field access on unaligned bytes.
inline uint16_t ArchiveGetU16(const unsigned char* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t ArchiveGetU32(const unsigned char* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline uint64_t ArchiveGetU64(const unsigned char* p) {
    return (uint64_t)ArchiveGetU32(p) | ((uint64_t)ArchiveGetU32(p + 4) << 32);
}
inline void ArchivePutU16(unsigned char* p, uint16_t v) {
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
}
inline void ArchivePutU32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = (unsigned char)(v >> (8 * i));
}
inline void ArchivePutU64(unsigned char* p, uint64_t v) {
    ArchivePutU32(p, (uint32_t)v);
    ArchivePutU32(p + 4, (uint32_t)(v >> 32));
}

// Shift-JIS lead byte: 0x81-0x9F or 0xE0-0xFC; the byte after it is a trail byte, never a character of its own.
inline bool ArchiveIsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

struct ArchiveHeader {
    uint16_t magic;
    uint16_t version;
    uint32_t indexSize;        // bytes
    uint32_t dataOffset;       // file offset of the data area
    uint32_t indexOffset;      // file offset of the index
    uint32_t fileTableOffset;  // within the index
    uint32_t dirTableOffset;   // within the index
};

void ArchiveDecodeHeader(const unsigned char raw[kArchiveHeaderSize], ArchiveHeader* out);
void ArchiveEncodeHeader(const ArchiveHeader& header, unsigned char raw[kArchiveHeaderSize]);
// 0 when the magic and version are right and the index (with a root directory record) lies inside a file of
// fileSize bytes; -1 otherwise.
int ArchiveCheckHeader(const ArchiveHeader& header, uint64_t fileSize);

// ---- Scrambling ----
// The 12-byte key made from a key text: a text of 12 characters or fewer is repeated to fill 12 bytes, a longer one
// gives its first 12; no text (or an empty one) takes the built-in filler. Each byte is then transformed by its
// position.
void ArchiveMakeKey(const char* keyText, unsigned char key[kArchiveKeySize]);
// The fixed key tried when the header does not read right under the first key.
void ArchiveFallbackKey(unsigned char key[kArchiveKeySize]);
// XORs byte i of the buffer with key[(position + i) mod 12], position being the byte's absolute offset in the archive
// file; scrambling and descrambling are the same operation. Returns the key phase after the buffer.
unsigned ArchiveScramble(void* buffer, size_t length, uint64_t position, const unsigned char key[kArchiveKeySize]);
// Descrambles a raw header read from offset 0, first with the key, then with the fallback key. On success the
// decoded header and the key that worked are stored and 0 is returned; -1 when neither gives the magic.
int ArchiveDecodeHeaderWithKeys(const unsigned char raw[kArchiveHeaderSize], const unsigned char key[kArchiveKeySize],
                                ArchiveHeader* out, unsigned char usedKey[kArchiveKeySize]);

// ---- Names ----
// A name record: u16 length L in 4-byte units, u16 sum of the upper-cased bytes, the upper-cased name NUL-padded to
// L*4 bytes, then the stored name padded the same way. L = (bytes + 4) / 4, so at least one NUL follows each name.
inline uint32_t ArchiveNameUnits(size_t nameBytes) { return (uint32_t)((nameBytes + 4) / 4); }
inline size_t ArchiveNameRecordSize(size_t nameBytes) { return 4 + 8 * (size_t)ArchiveNameUnits(nameBytes); }
// Upper-cases a-z only; Shift-JIS double-byte characters are copied unchanged. out may equal in.
void ArchiveUpperCaseName(const char* in, size_t length, char* out);
// Writes the name record of a name of `length` bytes to out (ArchiveNameRecordSize(length) bytes).
void ArchiveWriteNameRecord(const char* name, size_t length, unsigned char* out);

// The searchable form of one path component: units, sum and padded upper-cased bytes.
struct ArchiveNameKey {
    uint16_t units;
    uint16_t sum;
    unsigned char upper[4 * ((kArchiveMaxNameBytes + 4) / 4)];
};
// -1 when the component is empty or longer than kArchiveMaxNameBytes.
int ArchiveMakeNameKey(const char* name, size_t length, ArchiveNameKey* out);

// ---- Index views; every accessor checks offsets and counts against the index size ----
struct ArchiveIndexView {
    const unsigned char* index;
    uint32_t size;
    uint32_t fileTable;  // offset of the file table within the index
    uint32_t dirTable;   // offset of the directory table within the index
    uint32_t entrySize;  // 40 or 44
    int version;
};

struct ArchiveDirInfo {
    uint32_t offset;      // of this record within the directory table
    uint32_t parent;      // kArchiveNoParent for the root
    uint32_t count;       // entries
    uint32_t firstEntry;  // offset of the first entry within the file table
};

// A file-table record (40 bytes in versions 0 and 1, 44 from version 2) as read from the index.
struct ArchiveEntry {
    uint32_t offset;  // of this entry within the file table
    uint32_t nameOffset;
    uint32_t attributes;
    uint64_t creationTime;  // FILETIME values
    uint64_t accessTime;
    uint64_t writeTime;
    uint32_t dataOffset;  // file: within the data area; directory: its record within the directory table
    uint32_t size;        // unpacked
    uint32_t packedSize;  // kArchiveNotPacked when stored
    bool IsDirectory() const { return (attributes & kArchiveAttrDirectory) != 0; }
    bool IsPacked() const { return packedSize != kArchiveNotPacked; }
};

// A name record of the name table as read from the index.
struct ArchiveNameRecord {
    uint32_t units;
    uint16_t sum;
    const char* upper;   // NUL-terminated within the record
    const char* stored;  // NUL-terminated within the record
};

// 0, or -1 when the header's table offsets do not fit the index or no root record exists.
int ArchiveIndexInit(ArchiveIndexView* view, const ArchiveHeader& header, const unsigned char* index);
// Directory record at an offset within the directory table; -1 when it or its run of entries lies outside.
int ArchiveReadDir(const ArchiveIndexView& view, uint32_t dirOffset, ArchiveDirInfo* out);
inline int ArchiveReadRootDir(const ArchiveIndexView& view, ArchiveDirInfo* out) { return ArchiveReadDir(view, 0, out); }
// Entry i of a directory read by ArchiveReadDir; -1 when i is out of range.
int ArchiveReadEntry(const ArchiveIndexView& view, const ArchiveDirInfo& dir, uint32_t i, ArchiveEntry* out);
// Name record at an offset within the name table; -1 when it lies outside or a name has no terminating NUL.
int ArchiveReadName(const ArchiveIndexView& view, uint32_t nameOffset, ArchiveNameRecord* out);
// Looks the name up among a directory's entries. want: 1 directories only, 0 files only, -1 either.
// 0 and the entry when found, else -1.
int ArchiveFindInDir(const ArchiveIndexView& view, const ArchiveDirInfo& dir, const ArchiveNameKey& name, int want,
                     ArchiveEntry* out);
// Checks that a file entry's stored bytes lie inside the archive file: 0 or -1. Packed entries must carry at least
// a packed-data header.
int ArchiveCheckEntryData(const ArchiveHeader& header, const ArchiveEntry& entry, uint64_t fileSize);
// Bytes of the entry as stored in the data area (packed size for packed entries).
inline uint32_t ArchiveStoredSize(const ArchiveEntry& entry) {
    return entry.IsPacked() ? entry.packedSize : entry.size;
}

// ---- Path text helpers (Shift-JIS aware) ----
// Splits at the last "\\", "/" or ":" outside double-byte characters. dirOut gets the part before the separator
// (with a ":" kept, so "C:" stays a drive), nameOut the rest; either may be null. Buffers of outSize bytes.
// Returns 0, or -1 when a part does not fit.
int SplitDirAndName(const char* path, char* dirOut, char* nameOut, size_t outSize);
// 0 when the name matches the pattern, -1 otherwise: double-byte characters match exactly, "?" one character,
// a run of "*" at the end the rest, a run of "*" before a character c skips to the first c (no backtracking).
int CompareNameMb(const char* name, const char* pattern);

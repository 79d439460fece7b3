// Whole-archive reader over an ArchiveSource: the same header keys, bounds checks and unpacker as the runtime's file
// layer, with a depth-first walk that refuses folder cycles in a damaged index.
#include "runtime/archive/archive_reader.h"

#include <string.h>

#include <unordered_set>

#include "runtime/archive/lz.h"

namespace {

constexpr int kMaxDepth = 256;

}  // namespace

bool ArchiveMemorySource::ReadAt(uint64_t offset, void* buffer, size_t size) {
    if (offset > size_ || size > size_ - offset) return false;
    if (size) memcpy(buffer, data_ + offset, size);
    return true;
}

int ArchiveReader::Open(ArchiveSource* source, const char* keyText) {
    source_ = source;
    index_.clear();
    if (source == nullptr || source->Size() < kArchiveHeaderSize) return -1;
    unsigned char raw[kArchiveHeaderSize];
    if (!source->ReadAt(0, raw, sizeof(raw))) return -1;
    unsigned char key[kArchiveKeySize];
    ArchiveMakeKey(keyText, key);
    if (ArchiveDecodeHeaderWithKeys(raw, key, &header_, key_) != 0) return -1;
    if (ArchiveCheckHeader(header_, source->Size()) != 0) return -1;
    index_.resize(header_.indexSize);
    if (!source->ReadAt(header_.indexOffset, index_.data(), index_.size())) return -1;
    ArchiveScramble(index_.data(), index_.size(), header_.indexOffset, key_);
    return ArchiveIndexInit(&view_, header_, index_.data());
}

int ArchiveReader::Locate(const char* path, ArchiveEntry* out) const {
    if (index_.empty() || path == nullptr) return -1;
    ArchiveDirInfo dir;
    if (ArchiveReadRootDir(view_, &dir) != 0) return -1;
    const char* p = path;
    while (*p == '\\' || *p == '/') ++p;
    if (*p == 0) return -1;
    for (;;) {
        const char* start = p;
        while (*p && *p != '\\' && *p != '/') p += (ArchiveIsLeadByte((unsigned char)*p) && p[1]) ? 2 : 1;
        ArchiveNameKey key;
        if (ArchiveMakeNameKey(start, (size_t)(p - start), &key) != 0) return -1;
        bool last = *p == 0;
        ArchiveEntry entry;
        if (ArchiveFindInDir(view_, dir, key, last ? -1 : 1, &entry) != 0) return -1;
        if (last) {
            *out = entry;
            return 0;
        }
        if (ArchiveReadDir(view_, entry.dataOffset, &dir) != 0) return -1;
        ++p;
        if (*p == 0) {
            *out = entry;  // a trailing separator names the folder itself
            return 0;
        }
    }
}

int ArchiveReader::ReadFile(const ArchiveEntry& entry, std::vector<unsigned char>* out) {
    if (source_ == nullptr || ArchiveCheckEntryData(header_, entry, source_->Size()) != 0) return -1;
    uint64_t at = (uint64_t)header_.dataOffset + entry.dataOffset;
    std::vector<unsigned char> stored(ArchiveStoredSize(entry));
    if (!source_->ReadAt(at, stored.data(), stored.size())) return -1;
    ArchiveScramble(stored.data(), stored.size(), at, key_);
    if (!entry.IsPacked()) {
        out->swap(stored);
        return 0;
    }
    PackedDataHeader packed;
    if (LzReadHeader(stored.data(), stored.size(), &packed) != 0 || packed.unpackedSize != entry.size) return -1;
    out->resize(entry.size);
    if (ArchiveUnpack(stored.data(), stored.size(), out->data(), out->size()) != (int64_t)entry.size) return -1;
    return 0;
}

int ArchiveReader::Walk(const std::function<int(const std::string&, const ArchiveEntry&)>& visit) const {
    if (index_.empty()) return -1;
    std::unordered_set<uint32_t> seen;  // directory records entered so far
    struct Level {
        ArchiveDirInfo dir;
        uint32_t next;
        std::string prefix;
    };
    std::vector<Level> stack(1);
    if (ArchiveReadRootDir(view_, &stack[0].dir) != 0) return -1;
    stack[0].next = 0;
    seen.insert(0);
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.next >= level.dir.count) {
            stack.pop_back();
            continue;
        }
        ArchiveEntry entry;
        if (ArchiveReadEntry(view_, level.dir, level.next++, &entry) != 0) return -1;
        ArchiveNameRecord name;
        if (ArchiveReadName(view_, entry.nameOffset, &name) != 0) return -1;
        std::string path = level.prefix + name.stored;
        int result = visit(path, entry);
        if (result != 0) return result;
        if (!entry.IsDirectory()) continue;
        if (!seen.insert(entry.dataOffset).second || stack.size() >= (size_t)kMaxDepth) return -1;
        Level child;
        if (ArchiveReadDir(view_, entry.dataOffset, &child.dir) != 0) return -1;
        child.next = 0;
        child.prefix = path + "\\";
        stack.push_back(child);
    }
    return 0;
}

// Archive writer. Layout: the 24-byte header at offset 0, the data area from offset 24, the index behind the data.
// The index holds the name table, then the file table (each folder's entries one after another, folders in
// breadth-first order), then the directory table (the root's record first).
#include "runtime/archive/archive_writer.h"

#include <string.h>

#include "runtime/archive/lz.h"

namespace {

constexpr uint32_t kFileAttributes = 0x20;  // what the system reports for an ordinary file
constexpr size_t kScrambleChunk = 1 << 16;

}  // namespace

bool ArchiveMemorySink::WriteAt(uint64_t offset, const void* data, size_t size) {
    if (offset + size > bytes.max_size()) return false;
    if (bytes.size() < offset + size) bytes.resize((size_t)(offset + size));
    if (size) memcpy(bytes.data() + offset, data, size);
    return true;
}

ArchiveWriter::ArchiveWriter(ArchiveSink* sink, const ArchiveWriterOptions& options)
    : sink_(sink), options_(options) {
    if (options_.fallbackKey)
        ArchiveFallbackKey(key_);
    else
        ArchiveMakeKey(options_.keyText, key_);
    nodes_.emplace_back();
    nodes_[0].directory = true;
}

int ArchiveWriter::Fail(const std::string& message) {
    error_ = message;
    return -1;
}

int ArchiveWriter::FindChild(size_t parent, const std::string& upper) const {
    for (size_t child : nodes_[parent].children)
        if (nodes_[child].upper == upper) return (int)child;
    return -1;
}

int ArchiveWriter::WalkToParent(const char* path, size_t* parent, std::string* leaf) {
    if (path == nullptr) return Fail("no path");
    // Components between separators; one leading and one trailing separator are tolerated.
    std::vector<std::string> parts(1);
    for (const char* p = path; *p; ++p) {
        unsigned char c = (unsigned char)*p;
        if (c == '\\' || c == '/') {
            parts.emplace_back();
            continue;
        }
        parts.back() += (char)c;
        if (ArchiveIsLeadByte(c) && p[1] != 0) parts.back() += *++p;
    }
    if (parts.size() > 1 && parts.front().empty()) parts.erase(parts.begin());
    if (parts.size() > 1 && parts.back().empty()) parts.pop_back();
    for (const std::string& part : parts)
        if (part.empty()) return Fail(std::string("empty component in \"") + path + "\"");
    for (const std::string& part : parts) {
        if (part == "." || part == "..") return Fail(std::string("relative component in ") + path);
        if (part.size() > kArchiveMaxNameBytes) return Fail(std::string("name too long in ") + path);
    }
    size_t node = 0;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        std::string upper(parts[i].size(), '\0');
        ArchiveUpperCaseName(parts[i].data(), parts[i].size(), &upper[0]);
        int child = FindChild(node, upper);
        if (child < 0) {
            Node dir;
            dir.name = parts[i];
            dir.upper = upper;
            dir.directory = true;
            nodes_.push_back(dir);
            child = (int)nodes_.size() - 1;
            nodes_[node].children.push_back((size_t)child);
        } else if (!nodes_[child].directory) {
            return Fail(std::string("a file stands where a folder is needed: ") + path);
        }
        node = (size_t)child;
    }
    *parent = node;
    *leaf = parts.back();
    return 0;
}

int ArchiveWriter::AddDirectory(const char* path, const ArchiveTimes& times) {
    if (finished_) return Fail("archive already finished");
    size_t parent;
    std::string leaf;
    if (WalkToParent(path, &parent, &leaf) != 0) return -1;
    std::string upper(leaf.size(), '\0');
    ArchiveUpperCaseName(leaf.data(), leaf.size(), &upper[0]);
    int existing = FindChild(parent, upper);
    if (existing >= 0) {
        if (!nodes_[existing].directory) return Fail(std::string("a file of that name exists: ") + path);
        nodes_[existing].times = times;
        return 0;
    }
    Node dir;
    dir.name = leaf;
    dir.upper = upper;
    dir.directory = true;
    dir.times = times;
    nodes_.push_back(dir);
    nodes_[parent].children.push_back(nodes_.size() - 1);
    return 0;
}

bool ArchiveWriter::WriteScrambled(uint64_t offset, const unsigned char* data, size_t size) {
    std::vector<unsigned char> chunk;
    for (size_t done = 0; done < size;) {
        size_t n = size - done < kScrambleChunk ? size - done : kScrambleChunk;
        chunk.assign(data + done, data + done + n);
        ArchiveScramble(chunk.data(), n, offset + done, key_);
        if (!sink_->WriteAt(offset + done, chunk.data(), n)) return false;
        done += n;
    }
    return true;
}

int ArchiveWriter::AddFile(const char* path, const void* data, size_t size, const ArchiveTimes& times) {
    if (finished_) return Fail("archive already finished");
    if (data == nullptr && size != 0) return Fail("no data");
    if (size > 0xFFFFFFFFu) return Fail(std::string("file too large: ") + path);
    size_t parent;
    std::string leaf;
    if (WalkToParent(path, &parent, &leaf) != 0) return -1;
    std::string upper(leaf.size(), '\0');
    ArchiveUpperCaseName(leaf.data(), leaf.size(), &upper[0]);
    if (FindChild(parent, upper) >= 0) return Fail(std::string("duplicate name: ") + path);

    Node file;
    file.name = leaf;
    file.upper = upper;
    file.times = times;
    file.size = (uint32_t)size;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    size_t storedSize = size;
    std::vector<unsigned char> packed;
    if (options_.pack && options_.version >= kArchiveFirstPackingVersion && size > 0) {
        if (ArchivePack(data, size, &packed, options_.level) == 0 && packed.size() < size) {
            bytes = packed.data();
            storedSize = packed.size();
            file.packedSize = (uint32_t)packed.size();
            ++packedFiles_;
        }
    }
    uint64_t dataOffset = dataEnd_ - kArchiveHeaderSize;
    if (dataEnd_ + storedSize > 0xFFFFFFFFu) return Fail("archive would exceed 4 GB");
    if (!WriteScrambled(dataEnd_, bytes, storedSize)) return Fail("cannot write the archive");
    file.dataOffset = (uint32_t)dataOffset;
    dataEnd_ += storedSize;
    bytesIn_ += size;
    nodes_.push_back(file);
    nodes_[parent].children.push_back(nodes_.size() - 1);
    return 0;
}

int ArchiveWriter::Finish() {
    if (finished_) return Fail("archive already finished");
    if (options_.version < 0 || options_.version > kArchiveMaxVersion) return Fail("unknown version");
    finished_ = true;
    const uint32_t entrySize =
        options_.version >= kArchiveFirstPackingVersion ? kArchiveEntrySizeV2 : kArchiveEntrySizeV0;

    // Folders in breadth-first order; entries of each folder follow one another in that order.
    std::vector<size_t> folders{0};
    for (size_t i = 0; i < folders.size(); ++i)
        for (size_t child : nodes_[folders[i]].children)
            if (nodes_[child].directory) folders.push_back(child);
    std::vector<uint32_t> dirRecord(nodes_.size(), 0);   // record offset of each folder
    std::vector<uint32_t> entryOffset(nodes_.size(), kArchiveNoParent);  // file-table offset of each entry
    std::vector<uint32_t> firstEntry(nodes_.size(), 0);
    std::vector<uint32_t> parentRecord(nodes_.size(), kArchiveNoParent);
    std::vector<size_t> order;  // entries in file-table order
    for (size_t i = 0; i < folders.size(); ++i) dirRecord[folders[i]] = (uint32_t)(i * kArchiveDirRecordSize);
    for (size_t folder : folders) {
        firstEntry[folder] = (uint32_t)(order.size() * entrySize);
        for (size_t child : nodes_[folder].children) {
            entryOffset[child] = (uint32_t)(order.size() * entrySize);
            parentRecord[child] = dirRecord[folder];
            order.push_back(child);
        }
    }

    uint64_t namesSize = 0;
    for (size_t node : order) namesSize += ArchiveNameRecordSize(nodes_[node].name.size());
    uint64_t fileTableSize = (uint64_t)order.size() * entrySize;
    uint64_t dirTableSize = (uint64_t)folders.size() * kArchiveDirRecordSize;
    uint64_t indexSize = namesSize + fileTableSize + dirTableSize;
    if (dataEnd_ + indexSize > 0xFFFFFFFFu) return Fail("archive would exceed 4 GB");

    std::vector<unsigned char> index((size_t)indexSize, 0);
    uint32_t nameAt = 0;
    const uint32_t fileTable = (uint32_t)namesSize;
    const uint32_t dirTable = (uint32_t)(namesSize + fileTableSize);
    for (size_t k = 0; k < order.size(); ++k) {
        const Node& n = nodes_[order[k]];
        ArchiveWriteNameRecord(n.name.data(), n.name.size(), index.data() + nameAt);
        unsigned char* e = index.data() + fileTable + k * entrySize;
        ArchivePutU32(e + 0, nameAt);
        ArchivePutU32(e + 4, n.directory ? kArchiveAttrDirectory : kFileAttributes);
        ArchivePutU64(e + 8, n.times.creation);
        ArchivePutU64(e + 16, n.times.access);
        ArchivePutU64(e + 24, n.times.write);
        ArchivePutU32(e + 32, n.directory ? dirRecord[order[k]] : n.dataOffset);
        ArchivePutU32(e + 36, n.directory ? 0 : n.size);
        if (entrySize == kArchiveEntrySizeV2) ArchivePutU32(e + 40, n.directory ? kArchiveNotPacked : n.packedSize);
        nameAt += (uint32_t)ArchiveNameRecordSize(n.name.size());
    }
    for (size_t folder : folders) {
        unsigned char* d = index.data() + dirTable + dirRecord[folder];
        // The first field (the folder's own entry in the file table) is not read back by the runtime.
        ArchivePutU32(d + 0, entryOffset[folder]);
        ArchivePutU32(d + 4, parentRecord[folder]);
        ArchivePutU32(d + 8, (uint32_t)nodes_[folder].children.size());
        ArchivePutU32(d + 12, firstEntry[folder]);
    }

    ArchiveHeader header;
    header.magic = kArchiveMagic;
    header.version = (uint16_t)options_.version;
    header.indexSize = (uint32_t)indexSize;
    header.dataOffset = kArchiveHeaderSize;
    header.indexOffset = (uint32_t)dataEnd_;
    header.fileTableOffset = fileTable;
    header.dirTableOffset = dirTable;
    if (!WriteScrambled(dataEnd_, index.data(), index.size())) return Fail("cannot write the archive");
    unsigned char raw[kArchiveHeaderSize];
    ArchiveEncodeHeader(header, raw);
    if (!WriteScrambled(0, raw, sizeof(raw))) return Fail("cannot write the archive");
    return 0;
}

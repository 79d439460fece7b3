// Archive files through stdio, with 64-bit seeks on both platforms.
#include "tools/arcpack/fs.h"

namespace {

int Seek64(FILE* file, uint64_t offset) {
#if defined(_WIN32)
    return _fseeki64(file, (long long)offset, SEEK_SET);
#else
    return fseeko(file, (off_t)offset, SEEK_SET);
#endif
}

}  // namespace

FileArchiveSink::~FileArchiveSink() {
    if (file_) fclose(file_);
}

bool FileArchiveSink::Open(const std::string& path) {
    file_ = fopen(path.c_str(), "wb");
    position_ = 0;
    return file_ != nullptr;
}

bool FileArchiveSink::WriteAt(uint64_t offset, const void* data, size_t size) {
    if (file_ == nullptr) return false;
    if (offset != position_ && Seek64(file_, offset) != 0) return false;
    if (size != 0 && fwrite(data, 1, size, file_) != size) return false;
    position_ = offset + size;
    return true;
}

bool FileArchiveSink::Close() {
    if (file_ == nullptr) return false;
    bool ok = fclose(file_) == 0;
    file_ = nullptr;
    return ok;
}

FileArchiveSource::~FileArchiveSource() {
    if (file_) fclose(file_);
}

bool FileArchiveSource::Open(const std::string& path) {
    file_ = fopen(path.c_str(), "rb");
    if (file_ == nullptr) return false;
#if defined(_WIN32)
    if (_fseeki64(file_, 0, SEEK_END) != 0) return false;
    long long end = _ftelli64(file_);
#else
    if (fseeko(file_, 0, SEEK_END) != 0) return false;
    long long end = (long long)ftello(file_);
#endif
    if (end < 0) return false;
    size_ = (uint64_t)end;
    position_ = size_;
    return true;
}

bool FileArchiveSource::ReadAt(uint64_t offset, void* buffer, size_t size) {
    if (file_ == nullptr || offset > size_ || size > size_ - offset) return false;
    if (offset != position_ && Seek64(file_, offset) != 0) return false;
    if (size != 0 && fread(buffer, 1, size, file_) != size) return false;
    position_ = offset + size;
    return true;
}

// LZ packer for archive entries (format in lz.h): a hash-chain match finder over a 1 MB window with one step of
// lazy evaluation, choosing between matches by the bytes they save, and checking the previous distance first since
// a repeated distance costs no distance field. The escape byte is the input's least frequent byte.
#include "runtime/archive/lz_pack.h"

#include <string.h>

#include "runtime/archive/lz.h"

namespace {

constexpr int kHashBits = 18;
constexpr uint32_t kWindowBits = 20;
constexpr uint32_t kWindowSize = 1u << kWindowBits;
constexpr uint32_t kNone = 0xFFFFFFFFu;

struct Match {
    uint32_t length = 0;
    uint32_t distance = 0;
    int gain = 0;  // bytes saved against sending the same bytes as literals
};

inline uint32_t Read32(const unsigned char* p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

inline uint32_t HashAt(const unsigned char* p) { return (Read32(p) * 2654435761u) >> (32 - kHashBits); }

// Length of the common run of a and b, at most limit bytes.
inline uint32_t CommonLength(const unsigned char* a, const unsigned char* b, uint32_t limit) {
    uint32_t n = 0;
    while (n + 8 <= limit) {
        uint64_t x, y;
        memcpy(&x, a + n, 8);
        memcpy(&y, b + n, 8);
        uint64_t diff = x ^ y;
        if (diff != 0) return n + (uint32_t)(__builtin_ctzll(diff) >> 3);
        n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

inline uint32_t DistanceBytes(uint32_t distance) {
    if (distance <= 0x100) return 1;
    if (distance <= 0x10000) return 2;
    return 3;
}

class Packer {
public:
    Packer(const unsigned char* data, uint32_t size, int level, std::vector<unsigned char>* out)
        : data_(data), size_(size), out_(out) {
        if (level < 1) level = 1;
        if (level > 9) level = 9;
        static const int kChain[10] = {0, 4, 8, 12, 16, 24, 32, 64, 128, 512};
        maxChain_ = kChain[level];
        lazy_ = level >= 3;
        skipAfter_ = level >= 9 ? 0xFFFFFFFFu : (uint32_t)(16 << level);
        nice_ = level >= 8 ? kLzMaxMatch : (uint32_t)(32 + 32 * level);
    }

    void Run() {
        escape_ = ChooseEscape();
        head_.assign(1u << kHashBits, kNone);
        prev_.assign(size_ < kWindowSize ? size_ : kWindowSize, kNone);

        uint32_t pos = 0;
        uint32_t misses = 0;  // positions searched in a row without a useful match
        Match pending;
        bool havePending = false;
        while (pos < size_) {
            Match m = havePending ? pending : FindBest(pos);
            havePending = false;
            if (m.gain <= 0) {
                EmitLiteral(data_[pos]);
                Insert(pos);
                ++pos;
                // Data that keeps finding nothing (already-compressed files) is skipped through faster: the
                // positions stepped over are sent as literals without a search.
                ++misses;
                if (misses > skipAfter_) {
                    uint32_t skip = (misses - skipAfter_) >> 4;
                    if (skip > 32) skip = 32;
                    for (; skip > 0 && pos < size_; --skip) EmitLiteral(data_[pos++]);
                }
                continue;
            }
            misses = 0;
            if (lazy_ && m.length < nice_ && pos + 1 < size_) {
                Insert(pos);
                Match next = FindBest(pos + 1);
                if (next.gain > m.gain) {
                    EmitLiteral(data_[pos]);
                    ++pos;
                    pending = next;
                    havePending = true;
                    continue;
                }
                EmitMatch(m);
                InsertRange(pos + 1, pos + m.length);
            } else {
                EmitMatch(m);
                InsertRange(pos, pos + m.length);
            }
            pos += m.length;
        }
    }

    unsigned char escape() const { return escape_; }

private:
    unsigned char ChooseEscape() const {
        uint32_t counts[256] = {};
        for (uint32_t i = 0; i < size_; ++i) ++counts[data_[i]];
        unsigned best = 0;
        for (unsigned b = 1; b < 256; ++b)
            if (counts[b] < counts[best]) best = b;
        return (unsigned char)best;
    }

    // Cost in stream bytes of a match token.
    uint32_t Cost(uint32_t length, uint32_t distance) const {
        uint32_t cost = 2 + (length > kLzMaxShortMatch ? 1 : 0);
        bool repeat = distance == lastDistance_ && !(length > kLzMaxShortMatch && ((length - kLzMinMatch) & 31) == 31);
        return repeat ? cost : cost + DistanceBytes(distance);
    }

    void Consider(Match* best, uint32_t length, uint32_t distance) const {
        if (length < kLzMinMatch) return;
        int gain = (int)length - (int)Cost(length, distance);
        if (gain > best->gain || (gain == best->gain && length > best->length)) {
            best->length = length;
            best->distance = distance;
            best->gain = gain;
        }
    }

    Match FindBest(uint32_t pos) const {
        Match best;
        uint32_t limit = size_ - pos;
        if (limit > kLzMaxMatch) limit = kLzMaxMatch;
        if (limit < kLzMinMatch) return best;
        const unsigned char* here = data_ + pos;
        if (lastDistance_ != 0 && lastDistance_ <= pos)
            Consider(&best, CommonLength(here, here - lastDistance_, limit), lastDistance_);
        if (best.length >= nice_) return best;

        uint32_t candidate = head_[HashAt(here)];
        int steps = maxChain_;
        while (candidate != kNone && candidate < pos && steps-- > 0) {
            uint32_t distance = pos - candidate;
            if (distance > kWindowSize - 1) break;
            const unsigned char* there = data_ + candidate;
            if (best.length < limit && there[best.length] == here[best.length] && Read32(there) == Read32(here)) {
                uint32_t length = CommonLength(here, there, limit);
                Consider(&best, length, distance);
                if (length >= nice_ || length == limit) break;
            }
            uint32_t next = prev_[candidate & (kWindowSize - 1)];
            if (next >= candidate) break;  // the slot was reused by a newer position
            candidate = next;
        }
        return best;
    }

    void Insert(uint32_t pos) {
        if (pos + 4 > size_) return;
        uint32_t h = HashAt(data_ + pos);
        prev_[pos & (kWindowSize - 1)] = head_[h];
        head_[h] = pos;
    }

    void InsertRange(uint32_t from, uint32_t to) {
        for (uint32_t p = from; p < to; ++p) Insert(p);
    }

    void EmitLiteral(unsigned char b) {
        out_->push_back(b);
        if (b == escape_) out_->push_back(b);
    }

    void EmitMatch(const Match& m) {
        uint32_t length = m.length;
        uint32_t distance = m.distance;
        bool extended = length > kLzMaxShortMatch;
        uint32_t value = length - kLzMinMatch;
        uint32_t low = extended ? (value & 31) : value;
        uint32_t type;
        // Code 255 (low 31, extended, repeat) would collide with the escape arithmetic: send the distance instead.
        if (distance == lastDistance_ && !(extended && low == 31))
            type = 3;
        else
            type = DistanceBytes(distance) - 1;
        uint32_t code = (low << 3) | (extended ? 4u : 0u) | type;
        unsigned char c = (unsigned char)(code < escape_ ? code : code + 1);
        out_->push_back(escape_);
        out_->push_back(c);
        if (extended) out_->push_back((unsigned char)(value >> 5));
        if (type != 3) {
            uint32_t field = distance - 1;
            for (uint32_t i = 0; i <= type; ++i) out_->push_back((unsigned char)(field >> (8 * i)));
        }
        lastDistance_ = distance;
    }

    const unsigned char* data_;
    uint32_t size_;
    std::vector<unsigned char>* out_;
    int maxChain_ = 32;
    bool lazy_ = true;
    uint32_t skipAfter_ = 1024;
    uint32_t nice_ = 258;
    unsigned char escape_ = 0;
    uint32_t lastDistance_ = 0;
    std::vector<uint32_t> head_;
    std::vector<uint32_t> prev_;
};

}  // namespace

int ArchivePack(const void* data, size_t size, std::vector<unsigned char>* out, int level) {
    if (out == nullptr || (data == nullptr && size != 0) || size > 0xFFFFFFFFu) return -1;
    out->clear();
    out->reserve(kLzHeaderSize + size + size / 64 + 16);
    out->resize(kLzHeaderSize);
    Packer packer(static_cast<const unsigned char*>(data), (uint32_t)size, level, out);
    packer.Run();
    if (out->size() > 0xFFFFFFFFu) return -1;
    PackedDataHeader header;
    header.unpackedSize = (uint32_t)size;
    header.packedSize = (uint32_t)out->size();
    header.escape = packer.escape();
    LzWriteHeader(header, out->data());
    return 0;
}

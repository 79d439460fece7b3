// LZ unpacker for archive entries (format in lz.h). Literal runs are found by a block scan and copied whole; matches
// copy in 16-byte steps where the distance allows, so unpacking runs at memory speed on typical game data. Every
// token is checked against both buffers before it is applied.
#include "runtime/archive/lz.h"

#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

int LzReadHeader(const void* packed, size_t available, PackedDataHeader* out) {
    if (packed == nullptr || available < kLzHeaderSize) return -1;
    const unsigned char* p = static_cast<const unsigned char*>(packed);
    PackedDataHeader h;
    h.unpackedSize = (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
    h.packedSize = (uint32_t)p[4] | ((uint32_t)p[5] << 8) | ((uint32_t)p[6] << 16) | ((uint32_t)p[7] << 24);
    h.escape = p[8];
    if (h.packedSize < kLzHeaderSize || h.packedSize > available) return -1;
    uint64_t streamBytes = h.packedSize - kLzHeaderSize;
    if ((uint64_t)h.unpackedSize > streamBytes * kLzMaxExpansion) return -1;
    if (out) *out = h;
    return 0;
}

void LzWriteHeader(const PackedDataHeader& header, unsigned char out[kLzHeaderSize]) {
    for (int i = 0; i < 4; ++i) {
        out[i] = (unsigned char)(header.unpackedSize >> (8 * i));
        out[4 + i] = (unsigned char)(header.packedSize >> (8 * i));
    }
    out[8] = header.escape;
}

namespace {

// The first escape byte in [p, end), or null. The system's memchr is slow on some C libraries, and literal runs are
// most of the stream for already-compressed data, so the scan is done here 16 bytes at a time.
inline const unsigned char* FindEscape(const unsigned char* p, const unsigned char* end, unsigned char escape) {
#if defined(__SSE2__)
    const __m128i pattern = _mm_set1_epi8((char)escape);
    while (end - p >= 16) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(block, pattern));
        if (mask != 0) return p + __builtin_ctz((unsigned)mask);
        p += 16;
    }
#else
    const uint64_t pattern = 0x0101010101010101ull * escape;
    while (end - p >= 8) {
        uint64_t v;
        memcpy(&v, p, 8);
        v ^= pattern;  // escape bytes become zero bytes
        uint64_t zero = (v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull;
        if (zero != 0) return p + (__builtin_ctzll(zero) >> 3);  // the lowest flag is always a true zero byte
        p += 8;
    }
#endif
    for (; p < end; ++p)
        if (*p == escape) return p;
    return nullptr;
}

// Copies a match whose source lies `distance` bytes behind dst. The caller has checked both ends.
inline void CopyMatch(unsigned char* dst, size_t distance, size_t length, const unsigned char* outEnd) {
    const unsigned char* src = dst - distance;
    if (distance >= 16 && (size_t)(outEnd - dst) >= length + 16) {
        // Each 16-byte step reads only bytes already written, so overrunning the match end by up to 15 bytes
        // (inside the output, overwritten later) is harmless.
        unsigned char* end = dst + length;
        do {
            memcpy(dst, src, 16);
            dst += 16;
            src += 16;
        } while (dst < end);
        return;
    }
    if (distance >= length) {
        memcpy(dst, src, length);
        return;
    }
    if (distance == 1) {
        memset(dst, *src, length);
        return;
    }
    for (size_t i = 0; i < length; ++i) dst[i] = src[i];
}

}  // namespace

int64_t ArchiveUnpack(const void* packed, size_t available, void* output, size_t outputCapacity) {
    PackedDataHeader header;
    if (LzReadHeader(packed, available, &header) != 0) return -1;
    if (output == nullptr) return header.unpackedSize;
    if (outputCapacity < header.unpackedSize) return -1;

    const unsigned char* in = static_cast<const unsigned char*>(packed) + kLzHeaderSize;
    const unsigned char* const inEnd = static_cast<const unsigned char*>(packed) + header.packedSize;
    unsigned char* const outStart = static_cast<unsigned char*>(output);
    unsigned char* out = outStart;
    unsigned char* const outEnd = outStart + header.unpackedSize;
    const unsigned char escape = header.escape;
    size_t previousDistance = 0;  // 0: no match yet

    while (in < inEnd) {
        const unsigned char* mark = FindEscape(in, inEnd, escape);
        size_t run = (size_t)((mark ? mark : inEnd) - in);
        if (run > (size_t)(outEnd - out)) return -1;
        memcpy(out, in, run);
        out += run;
        in += run;
        if (mark == nullptr) break;

        ++in;  // the escape
        if (in >= inEnd) return -1;
        unsigned c = *in++;
        if (c == escape) {
            if (out >= outEnd) return -1;
            *out++ = escape;
            continue;
        }
        unsigned code = c > escape ? c - 1 : c;
        size_t length = code >> 3;
        if (code & 4) {
            if (in >= inEnd) return -1;
            length |= (size_t)*in++ << 5;
        }
        length += kLzMinMatch;

        size_t distance;
        switch (code & 3) {
            case 0:
                if (inEnd - in < 1) return -1;
                distance = (size_t)in[0] + 1;
                in += 1;
                break;
            case 1:
                if (inEnd - in < 2) return -1;
                distance = ((size_t)in[0] | ((size_t)in[1] << 8)) + 1;
                in += 2;
                break;
            case 2:
                if (inEnd - in < 3) return -1;
                distance = ((size_t)in[0] | ((size_t)in[1] << 8) | ((size_t)in[2] << 16)) + 1;
                in += 3;
                break;
            default:
                // The previous match's distance again, unchanged; before any match there is none.
                if (previousDistance == 0) return -1;
                distance = previousDistance;
                break;
        }
        previousDistance = distance;
        if (distance > (size_t)(out - outStart) || length > (size_t)(outEnd - out)) return -1;
        CopyMatch(out, distance, length, outEnd);
        out += length;
    }
    if (out != outEnd) return -1;
    return header.unpackedSize;
}

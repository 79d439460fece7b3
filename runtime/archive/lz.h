// The LZ-type packing of archive entries, reading side. Portable C++ without windows.h (shared by the runtime and the
// packing tool). A packed entry is a 9-byte header (u32 unpacked size, u32 packed size including the header, one
// escape byte) followed by a byte stream:
//   any byte other than the escape      a literal
//   escape, escape                      the escape byte as a literal
//   escape, c (c != escape)             a match; code = c - 1 when c is above the escape, else c
//     length = code >> 3; when code bit 2 is set one more byte x follows and length |= x << 5; length += 4
//     code bits 0-1 select the distance: 0 one byte, 1 u16, 2 u16 then a byte as bits 16-23; distance = field + 1
//     code bits 0-1 equal to 3: no field; the match reuses the previous match's distance unchanged
//   The match copies length bytes from distance bytes back in the output, byte by byte in order, so a distance
//   shorter than the length repeats the pattern.
// The reader checks everything: a match before any other match with bits 0-1 equal to 3, a match reaching before
// the start of the output or past the declared size, a stream that ends inside a token or short of the declared
// size, and a declared size the stream could never produce are all rejected.
#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr size_t kLzHeaderSize = 9;
constexpr uint32_t kLzMinMatch = 4;
constexpr uint32_t kLzMaxShortMatch = 35;  // longest match without the extra length byte
constexpr uint32_t kLzMaxMatch = 8195;
constexpr uint32_t kLzMaxDistance = 1u << 24;
// Most output bytes one stream byte can yield: a three-byte token makes at most kLzMaxMatch bytes.
constexpr uint32_t kLzMaxExpansion = (kLzMaxMatch + 2) / 3;

// The 9 bytes at the start of a packed entry.
struct PackedDataHeader {
    uint32_t unpackedSize;
    uint32_t packedSize;  // including the 9 header bytes
    unsigned char escape;
};

// Reads and checks the header of a packed stream of `available` bytes: 0, or -1 when the data is shorter than the
// header, the declared packed size is below 9 or above `available`, or the declared unpacked size is more than the
// stream could produce.
int LzReadHeader(const void* packed, size_t available, PackedDataHeader* out);
void LzWriteHeader(const PackedDataHeader& header, unsigned char out[kLzHeaderSize]);

// Unpacks a packed stream of `available` bytes into output (outputCapacity bytes). With a null output only the
// header is checked and the unpacked size returned. Returns the unpacked size, or -1 for a malformed stream or an
// output too small; it never reads outside packed[0, available) nor writes outside output[0, unpacked size).
int64_t ArchiveUnpack(const void* packed, size_t available, void* output, size_t outputCapacity);

// The LZ-type packing of archive entries, writing side (format in runtime/archive/lz.h). Portable C++ without windows.h:
// used by the archive writer, which serves both the packing tool and the tests' fixtures.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

// Effort of the match search: 1 fastest, 9 smallest output.
constexpr int kLzDefaultLevel = 6;

// Packs size bytes into *out (header included). Returns 0, or -1 when the input or the packed stream would not fit
// the header's 32-bit sizes. The result may be larger than the input: callers store such data unpacked.
int ArchivePack(const void* data, size_t size, std::vector<unsigned char>* out, int level = kLzDefaultLevel);

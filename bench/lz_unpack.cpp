// LZ unpack throughput of archive entries on a game-data mix (already-compressed images, WAV audio, script text),
// side by side with memcpy of the same bytes and with zlib's inflate of the same data deflated at level 6; also the
// packer's size against zlib level 6. Prints figures only. Portable: builds for Windows with the project, or natively:
//   g++ -O2 -std=c++17 -I. bench/lz_unpack.cpp runtime/archive/lz_pack.cpp runtime/archive/lz_unpack.cpp -lz
#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "runtime/archive/lz.h"
#include "runtime/archive/lz_pack.h"

#include "bench/bench_timing.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Image files hold deflated pixels: a smooth gradient with sprite-like noise, deflated as a PNG would be.
Bytes Images(size_t size, std::mt19937& rng) {
    Bytes out;
    while (out.size() < size) {
        Bytes pixels(256 * 256 * 4);
        for (size_t i = 0; i < pixels.size(); i += 4) {
            size_t x = (i / 4) % 256, y = (i / 4) / 256;
            pixels[i] = (unsigned char)(x + (rng() % 8));
            pixels[i + 1] = (unsigned char)(y + (rng() % 8));
            pixels[i + 2] = (unsigned char)((x ^ y) + (rng() % 4));
            pixels[i + 3] = (x + y) % 64 < 4 ? 0 : 255;
        }
        uLongf packedSize = compressBound((uLong)pixels.size());
        Bytes packed(packedSize);
        compress2(packed.data(), &packedSize, pixels.data(), (uLong)pixels.size(), 9);
        const char signature[] = "\x89PNG\r\n\x1a\n";
        out.insert(out.end(), signature, signature + 8);
        out.insert(out.end(), packed.begin(), packed.begin() + packedSize);
    }
    out.resize(size);
    return out;
}

// 16-bit stereo effects and music: tones with envelopes and a little noise.
Bytes Wave(size_t size, std::mt19937& rng) {
    Bytes out(size);
    double phase1 = 0, phase2 = 0;
    double step1 = 0.03, step2 = 0.011;
    for (size_t i = 0; i + 4 <= size; i += 4) {
        if ((i / 4) % 22050 == 0) {
            step1 = 0.01 + (rng() % 100) * 0.0005;
            step2 = 0.005 + (rng() % 100) * 0.0003;
        }
        double envelope = 1.0 - ((i / 4) % 22050) / 22050.0;
        phase1 += step1;
        phase2 += step2;
        int left = (int)(9000 * envelope * std::sin(phase1)) + (int)(rng() % 32) - 16;
        int right = (int)(7000 * envelope * std::sin(phase2)) + (int)(rng() % 32) - 16;
        out[i] = (unsigned char)left;
        out[i + 1] = (unsigned char)(left >> 8);
        out[i + 2] = (unsigned char)right;
        out[i + 3] = (unsigned char)(right >> 8);
    }
    return out;
}

// Conversation scripts: Shift-JIS lines with commands and names.
Bytes Text(size_t size, std::mt19937& rng) {
    const char* pieces[] = {"\x82\xa0\x82\xe8\x82\xaa\x82\xc6\x81\x42", "\x8e\x9f\x82\xcd", "\x83\x4c\x83\x83\x83\x89",
                            "Kessa: ", "Pelun: ", "face 3\r\n", "wait 60\r\n", "\x81\x75", "\x81\x76\r\n",
                            "\x95\x5c\x8e\xa6", "page\r\n", " "};
    std::string s;
    while (s.size() < size) s += pieces[rng() % (sizeof(pieces) / sizeof(pieces[0]))];
    s.resize(size);
    return Bytes(s.begin(), s.end());
}

// Best rate of `work` in MB/s of `bytes` per call, over three rounds of at least 0.2 s each (short mode: one call).
double Rate(size_t bytes, const std::function<void()>& work) {
    double best = 0;
    const double minimum = ShortRun() ? 0.0 : 0.2;
    for (int round = 0; round < Repeats(3, 1); ++round) {
        auto start = std::chrono::steady_clock::now();
        int calls = 0;
        double seconds = 0;
        do {
            work();
            ++calls;
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        } while (seconds < minimum);
        double rate = (double)bytes * calls / seconds / 1e6;
        if (rate > best) best = rate;
    }
    return best;
}

Bytes Deflate(const Bytes& data) {
    uLongf size = compressBound((uLong)data.size());
    Bytes out(size);
    compress2(out.data(), &size, data.data(), (uLong)data.size(), 6);
    out.resize(size);
    return out;
}

bool Inflate(const Bytes& packed, Bytes* out) {
    uLongf size = (uLongf)out->size();
    return uncompress(out->data(), &size, packed.data(), (uLong)packed.size()) == Z_OK && size == out->size();
}

}  // namespace

int main(int argc, char** argv) {
    ReadBenchArguments(argc, argv);
    std::mt19937 rng(2024);
    const size_t mb = ShortRun() ? (1 << 20) / 8 : (1 << 20);
    struct Set {
        const char* name;
        Bytes data;
    } sets[] = {
        {"images", Images(6 * mb, rng)},
        {"wav", Wave(6 * mb, rng)},
        {"text", Text(2 * mb, rng)},
        {"mix", {}},
    };
    for (int i = 0; i < 3; ++i) sets[3].data.insert(sets[3].data.end(), sets[i].data.begin(), sets[i].data.end());

    printf("%-7s %9s | %8s %8s | %9s %9s %9s | %8s %8s | %8s\n", "data", "MB", "lz size", "zlib6", "lz MB/s",
           "inflate", "memcpy", "lz/infl", "lz/mcpy", "pack MB/s");
    for (const Set& set : sets) {
        const Bytes& data = set.data;
        Bytes packed;
        double packRate = Rate(data.size(), [&] { ArchivePack(data.data(), data.size(), &packed); });
        Bytes deflated = Deflate(data);
        Bytes out(data.size());
        if (ArchiveUnpack(packed.data(), packed.size(), out.data(), out.size()) != (int64_t)data.size() || out != data ||
            !Inflate(deflated, &out) || out != data) {
            printf("%s: round trip failed\n", set.name);
            return 1;
        }
        volatile unsigned char sink = 0;
        double lz = Rate(data.size(), [&] {
            ArchiveUnpack(packed.data(), packed.size(), out.data(), out.size());
            sink = sink + out[out.size() / 2];
        });
        double inflate = Rate(data.size(), [&] {
            Inflate(deflated, &out);
            sink = sink + out[out.size() / 3];
        });
        double copy = Rate(data.size(), [&] {
            memcpy(out.data(), data.data(), data.size());
            sink = sink + out[out.size() / 4];
        });
        printf("%-7s %9.2f | %7.1f%% %7.1f%% | %9.0f %9.0f %9.0f | %7.2fx %7.2fx | %8.1f\n", set.name,
               data.size() / 1e6, 100.0 * packed.size() / data.size(), 100.0 * deflated.size() / data.size(), lz,
               inflate, copy, lz / inflate, lz / copy, packRate);
    }
    printf("sizes are of the original; rates are MB/s of unpacked output; the ratio lz/infl above 1 means faster than "
           "inflate\n");
    return 0;
}

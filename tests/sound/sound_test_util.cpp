// Helpers of the sound tests (see sound_test_util.h).
#include "sound/sound_test_util.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <gtest/gtest.h>

#include "runtime/memory.h"
#include "runtime/stream.h"
#include "sound/audio_decoder.h"

std::string FixturePath(const char* name) {
    const char* root = getenv("KAVORIN_FIXTURES");
    if (root == nullptr || *root == 0) return std::string();
    return std::string(root) + "\\sound\\" + name;
}

Bytes ReadFileBytes(const std::string& path) {
    Bytes bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) return bytes;
    uint8_t chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    fclose(file);
    return bytes;
}

Bytes LoadFixture(const char* name) {
    std::string path = FixturePath(name);
    Bytes bytes = path.empty() ? Bytes() : ReadFileBytes(path);
    if (bytes.empty()) {
        ADD_FAILURE() << "fixture " << name << " missing: run tests/sound/make_fixtures.sh with KAVORIN_FIXTURES set ("
                      << (path.empty() ? "unset" : path) << ")";
    }
    return bytes;
}

void PutLe16(Bytes& out, uint16_t value) {
    out.push_back((uint8_t)value);
    out.push_back((uint8_t)(value >> 8));
}

void PutLe32(Bytes& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back((uint8_t)(value >> (8 * i)));
}

void PutTag(Bytes& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

Bytes MakeRiff(const std::vector<RiffChunk>& chunks) {
    Bytes body;
    PutTag(body, "WAVE");
    for (const RiffChunk& chunk : chunks) {
        PutTag(body, chunk.tag.c_str());
        PutLe32(body, chunk.declaredSize == 0xFFFFFFFFu ? (uint32_t)chunk.body.size() : chunk.declaredSize);
        body.insert(body.end(), chunk.body.begin(), chunk.body.end());
        if (chunk.body.size() & 1) body.push_back(0);
    }
    Bytes out;
    PutTag(out, "RIFF");
    PutLe32(out, (uint32_t)body.size());
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes PcmFormatBody(int channels, int rate, int bits, int length, uint16_t cbSize) {
    Bytes body;
    int block = channels * bits / 8;
    PutLe16(body, WAVE_FORMAT_PCM);
    PutLe16(body, (uint16_t)channels);
    PutLe32(body, (uint32_t)rate);
    PutLe32(body, (uint32_t)(rate * block));
    PutLe16(body, (uint16_t)block);
    PutLe16(body, (uint16_t)bits);
    if (length >= 18) PutLe16(body, cbSize);
    while ((int)body.size() < length) body.push_back(0);
    return body;
}

Bytes MakePcmWav(int channels, int rate, int bits, const Bytes& pcm) {
    return MakeRiff({{"fmt ", PcmFormatBody(channels, rate, bits), 0xFFFFFFFFu}, {"data", pcm, 0xFFFFFFFFu}});
}

bool ParsePcmWav(const Bytes& file, PcmWav* out) {
    if (file.size() < 12 || memcmp(file.data(), "RIFF", 4) != 0 || memcmp(file.data() + 8, "WAVE", 4) != 0)
        return false;
    bool haveFormat = false;
    size_t pos = 12;
    while (pos + 8 <= file.size()) {
        uint32_t size = file[pos + 4] | (file[pos + 5] << 8) | (file[pos + 6] << 16) | ((uint32_t)file[pos + 7] << 24);
        size_t body = pos + 8;
        size_t available = file.size() - body;
        if (memcmp(&file[pos], "fmt ", 4) == 0) {
            memset(&out->format, 0, sizeof(out->format));
            memcpy(&out->format, &file[body], size < 16 ? size : 16);
            haveFormat = true;
        } else if (memcmp(&file[pos], "data", 4) == 0 && haveFormat) {
            size_t take = size < available ? size : available;
            out->data.assign(file.begin() + body, file.begin() + body + take);
            return true;
        }
        pos = body + size + (size & 1);
    }
    return false;
}

Decoded DecodeImage(const Bytes& image) {
    Decoded result;
    StreamHandle stream = OpenMemoryStream(image.data(), (int)image.size());
    if (stream == 0) return result;
    AudioDecoder* decoder = new AudioDecoder();
    result.openResult = AudioDecoderOpen(GetMemoryStreamFunctions(), stream, decoder);
    if (result.openResult == 0) {
        result.kind = decoder->kind;
        result.dataStart = decoder->dataStart;
        result.pcmSizeQuery = AudioDecoderGetPcmSize(decoder);
        void* pcm = nullptr;
        DWORD size = 0;
        result.readResult = AudioDecoderReadAll(decoder, &result.format, &pcm, &size);
        if (pcm) {
            result.pcm.assign((uint8_t*)pcm, (uint8_t*)pcm + size);
            TrackedFree(pcm);
        }
        AudioDecoderClose(decoder);
    }
    delete decoder;
    CloseMemoryStream(stream);
    return result;
}

std::vector<int16_t> Samples16(const Bytes& pcm) {
    std::vector<int16_t> samples(pcm.size() / 2);
    if (!samples.empty()) memcpy(samples.data(), pcm.data(), samples.size() * 2);
    return samples;
}

double ToneFrequency(const std::vector<int16_t>& samples, int channels, int channel, int rate) {
    size_t frames = samples.size() / (size_t)channels;
    size_t first = frames / 4, last = frames * 3 / 4;
    int crossings = 0;
    size_t firstCrossing = 0, lastCrossing = 0;
    for (size_t i = first + 1; i < last; ++i) {
        int a = samples[(i - 1) * channels + channel], b = samples[i * channels + channel];
        if (a < 0 && b >= 0) {
            if (crossings == 0) firstCrossing = i;
            lastCrossing = i;
            ++crossings;
        }
    }
    if (crossings < 2) return 0.0;
    return (double)(crossings - 1) * rate / (double)(lastCrossing - firstCrossing);
}

int MaxSampleDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t* compared) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    int worst = 0;
    for (size_t i = 0; i < n; ++i) {
        int d = abs((int)a[i] - (int)b[i]);
        if (d > worst) worst = d;
    }
    if (compared) *compared = n;
    return worst;
}

double MeanSampleDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    if (n == 0) return 0.0;
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) sum += abs((int)a[i] - (int)b[i]);
    return sum / (double)n;
}

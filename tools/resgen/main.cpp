// resgen: writes the game's stand-in resources into a folder: a picture for every file of the image entries
// (sizes and cell grids from picture_table.cpp, looks from paint.cpp), short distinct WAV effects and looping MP3
// tracks (encoded with lame). Runs on the build machine; the same inputs always give the same bytes.
//
//     resgen OUTDIR        writes OUTDIR/res/... and OUTDIR/add/...
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "game/shell/resource_paths.h"
#include "tools/resgen/paint.h"
#include "tools/resgen/picture_table.h"

namespace fs = std::filesystem;

namespace {

bool WritePng(const std::string& path, const Canvas& canvas, bool alpha) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, canvas.width, canvas.height, 8, alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> line(static_cast<size_t>(canvas.width) * 4);
    for (int y = 0; y < canvas.height; ++y) {
        const uint8_t* src = &canvas.rgba[static_cast<size_t>(y) * canvas.width * 4];
        size_t n = 0;
        for (int x = 0; x < canvas.width; ++x) {
            line[n++] = src[4 * x];
            line[n++] = src[4 * x + 1];
            line[n++] = src[4 * x + 2];
            if (alpha) line[n++] = src[4 * x + 3];
        }
        png_write_row(png, line.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

bool WriteJpeg(const std::string& path, const Canvas& canvas) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = canvas.width;
    cinfo.image_height = canvas.height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    // No chroma subsampling: flat cell colours stay true up to the cell edges.
    for (int i = 0; i < cinfo.num_components; ++i) {
        cinfo.comp_info[i].h_samp_factor = 1;
        cinfo.comp_info[i].v_samp_factor = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> line(static_cast<size_t>(canvas.width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const uint8_t* src = &canvas.rgba[static_cast<size_t>(cinfo.next_scanline) * canvas.width * 4];
        for (int x = 0; x < canvas.width; ++x) {
            line[3 * x] = src[4 * x];
            line[3 * x + 1] = src[4 * x + 1];
            line[3 * x + 2] = src[4 * x + 2];
        }
        JSAMPROW rowPointer = line.data();
        jpeg_write_scanlines(&cinfo, &rowPointer, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0;
}

void PutLe(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

bool WriteWav(const std::string& path, const std::vector<int16_t>& samples, int rate) {
    std::vector<uint8_t> out;
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    PutLe(out, 36 + dataBytes, 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLe(out, 16, 4);
    PutLe(out, 1, 2);  // PCM
    PutLe(out, 1, 2);  // mono
    PutLe(out, rate, 4);
    PutLe(out, rate * 2, 4);
    PutLe(out, 2, 2);
    PutLe(out, 16, 2);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    PutLe(out, dataBytes, 4);
    for (int16_t s : samples) PutLe(out, static_cast<uint16_t>(s), 2);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return std::fclose(file) == 0 && ok;
}

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

// A short tone: its pitch and its two-note shape follow the effect's number, so every effect sounds different.
std::vector<int16_t> Effect(int index) {
    const double f1 = 330.0 * std::pow(2.0, (index % 24) / 12.0);
    const double f2 = f1 * (index % 2 == 0 ? 1.5 : 0.75);
    const int n = kRate * (120 + 10 * (index % 5)) / 1000;
    std::vector<int16_t> out(n);
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double f = i < n / 2 ? f1 : f2;
        const double envelope = std::exp(-4.0 * i / n) * std::min(1.0, i / 40.0);
        out[i] = static_cast<int16_t>(std::lround(9000.0 * envelope * std::sin(2 * kPi * f * t)));
    }
    return out;
}

// A looping melody of eight notes from a pentatonic scale, the order chosen by the track number; every note
// starts and ends at silence, so the loop point does not click.
std::vector<int16_t> Track(int index) {
    static const double kScale[] = {261.63, 293.66, 329.63, 392.00, 440.00, 523.25, 587.33, 659.25};
    const int noteSamples = kRate * 3 / 8;  // 8 notes in 3 s
    std::vector<int16_t> out;
    for (int k = 0; k < 8; ++k) {
        const double f = kScale[(index * 3 + k * (index % 5 + 1)) % 8] * (index % 2 == 0 ? 1.0 : 0.5);
        for (int i = 0; i < noteSamples; ++i) {
            const double t = static_cast<double>(i) / kRate;
            const double envelope = std::min(1.0, std::min(i, noteSamples - 1 - i) / 200.0);
            const double wave = std::sin(2 * kPi * f * t) + 0.3 * std::sin(4 * kPi * f * t);
            out.push_back(static_cast<int16_t>(std::lround(7000.0 * envelope * wave)));
        }
    }
    return out;
}

bool WriteMp3(const std::string& path, const std::vector<int16_t>& samples) {
    const std::string wav = path + ".tmp.wav";
    if (!WriteWav(wav, samples, kRate)) return false;
    const std::string command = "lame --quiet --noreplaygain -m m -b 64 '" + wav + "' '" + path + "'";
    const int rc = std::system(command.c_str());
    fs::remove(wav);
    return rc == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: resgen OUTDIR\n");
        return 2;
    }
    const fs::path out = argv[1];
    int failures = 0;
    for (int i = 0; i < kPictureRowCount; ++i) {
        const PictureRow& row = kPictureRows[i];
        const fs::path path = out / row.path;
        fs::create_directories(path.parent_path());
        const Canvas canvas = Paint(row);
        const bool ok = PictureIsJpeg(row)
                            ? WriteJpeg(path.string(), canvas)
                            : WritePng(path.string(), canvas, (row.flags & kPictureTransparent) != 0);
        if (!ok) {
            std::fprintf(stderr, "resgen: cannot write %s\n", path.string().c_str());
            ++failures;
        }
    }
    for (int s = 0; s < kSoundEntryCount; ++s) {
        const fs::path path = out / kSoundPaths[s];
        fs::create_directories(path.parent_path());
        const bool music = path.extension() == ".mp3";
        const bool ok = music ? WriteMp3(path.string(), Track(s)) : WriteWav(path.string(), Effect(s), kRate);
        if (!ok) {
            std::fprintf(stderr, "resgen: cannot write %s\n", path.string().c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

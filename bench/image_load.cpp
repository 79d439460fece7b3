// Image loading speed: milliseconds per megapixel for a PNG and a JPEG photo-like picture, through the runtime's
// loaders (the file layer and the reader chain; and the graph loader when the runtime can start) side by side with
// a bare libpng / libjpeg decode of the same files in the same run, and the overhead ratio of each.
#include <windows.h>
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "graphics/graph.h"
#include "graphics/graphics.h"
#include "graphics/image/image.h"
#include "runtime/archive/archive.h"
#include "runtime/file.h"
#include "runtime/log.h"
#include "runtime/runtime.h"
#include "runtime/stream.h"
#include "runtime/window.h"

#include "bench/bench_timing.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 960;
int kRounds = 9;  // 1 in short mode

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

// A picture with smooth gradients, edges and some noise, so both codecs work as on real artwork.
std::vector<uint8_t> MakeRgb() {
    std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
    uint32_t noise = 12345;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            noise = noise * 1103515245u + 12345u;
            const int n = static_cast<int>((noise >> 16) & 15) - 8;
            const bool band = ((x / 64) + (y / 48)) & 1;
            uint8_t* p = &rgb[(static_cast<size_t>(y) * kWidth + x) * 3];
            p[0] = static_cast<uint8_t>(std::clamp(x * 255 / kWidth + n, 0, 255));
            p[1] = static_cast<uint8_t>(std::clamp(y * 255 / kHeight + (band ? 40 : 0) + n, 0, 255));
            p[2] = static_cast<uint8_t>(std::clamp(((x + y) & 255) / 2 + 60 + n, 0, 255));
        }
    }
    return rgb;
}

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void PngFlush(png_structp) {}

bool EncodePng(const std::vector<uint8_t>& rgb, std::vector<uint8_t>* out, std::vector<png_bytep>* rows) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, PngWrite, PngFlush);
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < kHeight; ++y) (*rows)[y] = const_cast<png_bytep>(&rgb[static_cast<size_t>(y) * kWidth * 3]);
    png_write_image(png, rows->data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

std::vector<uint8_t> EncodeJpeg(const std::vector<uint8_t>& rgb) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = kWidth;
    cinfo.image_height = kHeight;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[static_cast<size_t>(cinfo.next_scanline) * kWidth * 3]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    free(buffer);
    return out;
}

std::vector<uint8_t> ReadWholeFile(const char* path) {
    std::vector<uint8_t> bytes;
    FILE* f = fopen(path, "rb");
    if (f == nullptr) return bytes;
    fseek(f, 0, SEEK_END);
    bytes.resize(static_cast<size_t>(ftell(f)));
    fseek(f, 0, SEEK_SET);
    if (fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) bytes.clear();
    fclose(f);
    return bytes;
}

// ---- Bare decodes: the file read with stdio, then the library with the same output layout as the readers ----
struct PngMemory {
    const uint8_t* data;
    size_t size, position;
};
void PngRead(png_structp png, png_bytep out, png_size_t length) {
    PngMemory* m = static_cast<PngMemory*>(png_get_io_ptr(png));
    if (m->position + length > m->size) png_error(png, "short");
    memcpy(out, m->data + m->position, length);
    m->position += length;
}

bool BarePngDecode(const char* path, std::vector<uint8_t>* pixels, std::vector<png_bytep>* rows) {
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    PngMemory m = {bytes.data(), bytes.size(), 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &m, PngRead);
    png_read_info(png, info);
    png_set_strip_16(png);
    png_set_packing(png);
    png_set_bgr(png);
    png_read_update_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    pixels->resize(rowBytes * height);
    rows->resize(height);
    for (png_uint_32 y = 0; y < height; ++y) (*rows)[y] = pixels->data() + rowBytes * y;
    png_read_image(png, rows->data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

bool BareJpegDecode(const char* path, std::vector<uint8_t>* pixels) {
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    const size_t stride = static_cast<size_t>(cinfo.output_width) * 3;
    pixels->resize(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels->data() + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

template <typename F>
double BestMs(F&& run) {
    std::vector<double> times;
    for (int i = 0; i < kRounds; ++i) {
        const double start = Now();
        if (!run()) return -1.0;
        times.push_back(Now() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];  // the median
}

void Report(const char* what, double bare, double ours) {
    const double mp = kWidth * kHeight / 1e6;
    if (bare <= 0 || ours <= 0) {
        printf("  %-34s failed\n", what);
        return;
    }
    printf("  %-34s %8.2f ms/MP   bare decoder %8.2f ms/MP   ratio %.3f (overhead %+.1f%%)\n", what, ours / mp,
           bare / mp, ours / bare, (ours / bare - 1.0) * 100.0);
}

}  // namespace

int main(int argc, char** argv) {
    ReadBenchArguments(argc, argv);
    kRounds = Repeats(9, 1);
    char temp[MAX_PATH];
    GetTempPathA(sizeof(temp), temp);
    const std::string png = std::string(temp) + "kv_bench_image.png";
    const std::string jpg = std::string(temp) + "kv_bench_image.jpg";
    const std::vector<uint8_t> rgb = MakeRgb();
    std::vector<uint8_t> pngBytes;
    std::vector<png_bytep> rows(kHeight);
    if (!EncodePng(rgb, &pngBytes, &rows)) return 1;
    const std::vector<uint8_t> jpgBytes = EncodeJpeg(rgb);
    const std::pair<const std::string*, const std::vector<uint8_t>*> files[] = {{&png, &pngBytes}, {&jpg, &jpgBytes}};
    for (const auto& f : files) {
        FILE* out = fopen(f.first->c_str(), "wb");
        if (out == nullptr) return 1;
        fwrite(f.second->data(), 1, f.second->size(), out);
        fclose(out);
    }
    printf("image_load: %d x %d (%.2f MP), PNG %zu bytes, JPEG %zu bytes, median of %d runs\n", kWidth, kHeight,
           kWidth * kHeight / 1e6, pngBytes.size(), jpgBytes.size(), kRounds);

    // A fresh output block each time, as the loaders have.
    const double barePng = BestMs([&] {
        std::vector<uint8_t> pixels;
        std::vector<png_bytep> pointers;
        return BarePngDecode(png.c_str(), &pixels, &pointers);
    });
    const double bareJpg = BestMs([&] {
        std::vector<uint8_t> pixels;
        return BareJpegDecode(jpg.c_str(), &pixels);
    });

    // The decode layer alone: file layer, stream, reader chain, tracked pixel block.
    ArchiveTableClear();
    SelectFileBackEnd(nullptr);
    InitStreamFunctionTables();
    auto loadImage = [](const std::string& path) {
        GraphImage image;
        if (LoadGraphImage(path.c_str(), nullptr, 0, &image) != 0) return false;
        ReleaseGraphImage(&image);
        return true;
    };
    printf("decoded images (LoadGraphImage):\n");
    Report("PNG", barePng, BestMs([&] { return loadImage(png); }));
    Report("JPEG", bareJpg, BestMs([&] { return loadImage(jpg); }));

    // The whole graph loader, when the runtime can start here (a window and a display).
    SetLogFileEnabled(0);
    ChangeWindowMode(1);
    if (StartUpLibrary() == 0) {
        // The loader waits while the application is inactive: let the new window become active first.
        for (int i = 0; i < 300 && !IsAppActive(); ++i) {
            ProcessMessage();
            Sleep(10);
        }
        auto loadGraph = [](const std::string& path) {
            const int graph = LoadGraphFromFile(path.c_str(), 0);
            if (graph == -1) return false;
            ReleaseGraph(graph, 0);
            return true;
        };
        printf("graphs (LoadGraphFromFile, pixels uploaded into the graph):\n");
        Report("PNG", barePng, BestMs([&] { return loadGraph(png); }));
        Report("JPEG", bareJpg, BestMs([&] { return loadGraph(jpg); }));
        // Where the graph loader's time beyond decoding goes: the image with its companion looked for, and making
        // the graph and uploading a decoded image.
        const double mp = kWidth * kHeight / 1e6;
        const double withCompanion = BestMs([&] {
            GraphImage image, alpha;
            if (LoadImageWithAlphaFile(jpg.c_str(), nullptr, 0, nullptr, 0, 0, &image, &alpha) < 0) return false;
            ReleaseGraphImage(&image);
            ReleaseGraphImage(&alpha);
            return true;
        });
        printf("  JPEG and its missing companion     %8.2f ms/MP (LoadImageWithAlphaFile)\n", withCompanion / mp);
        GraphImage decoded;
        if (LoadGraphImage(jpg.c_str(), nullptr, 0, &decoded) == 0) {
            int texture = -1;
            const double upload = BestMs([&] {
                const int graph = MakeGraphFromGraphImage(&decoded);
                if (graph == -1) return false;
                texture = GetGraphRecord(graph)->creation[kCreateTexture];
                ReleaseGraph(graph, 0);
                return true;
            });
            const double creation = BestMs([&] {
                const int graph = CheckGraphImagePair(&decoded, nullptr, 1);
                if (graph == -1) return false;
                ReleaseGraph(graph, 0);
                return true;
            });
            printf("  graph made from a decoded image    %8.2f ms/MP (graph layer: creation and upload, %s)\n",
                   upload / mp, texture == 1 ? "Direct3D textures" : "2D surfaces");
            printf("    of which the graph's creation    %8.2f ms/MP (an empty graph of the size, released again)\n",
                   creation / mp);
            ReleaseGraphImage(&decoded);
        }
        ShutDownLibrary();
    } else {
        printf("graphs: the runtime did not start here; LoadGraphFromFile not measured\n");
    }
    DeleteFileA(png.c_str());
    DeleteFileA(jpg.c_str());
    return 0;
}

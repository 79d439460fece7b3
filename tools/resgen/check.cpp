// resgen_check: checks a generated folder tree against the tables: exactly the files of the path table, no name
// that the image loader would take for an alpha companion, and every picture decoding to its row's size.
//
//     resgen_check TREE     prints each problem; exit code 0 when there is none
#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include <jpeglib.h>
#include <png.h>

#include "game/shell/resource_paths.h"
#include "tools/resgen/picture_table.h"

namespace fs = std::filesystem;

namespace {

bool PngSize(const std::string& path, int* width, int* height) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);  // decodes every row, not just the header
    *width = static_cast<int>(png_get_image_width(png, info));
    *height = static_cast<int>(png_get_image_height(png, info));
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return true;
}

struct JpegError {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

bool JpegSize(const std::string& path, int* width, int* height) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    jpeg_decompress_struct cinfo;
    JpegError error;
    cinfo.err = jpeg_std_error(&error.base);
    error.base.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1); };
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::fclose(file);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    std::string line(static_cast<size_t>(cinfo.output_width) * cinfo.output_components, '\0');
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(&line[0]);
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    *width = static_cast<int>(cinfo.output_width);
    *height = static_cast<int>(cinfo.output_height);
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: resgen_check TREE\n");
        return 2;
    }
    const fs::path tree = argv[1];
    int problems = 0;
    auto problem = [&](const std::string& text) {
        std::fprintf(stderr, "resgen_check: %s\n", text.c_str());
        ++problems;
    };

    std::set<std::string> expected;
    for (int i = 0; i < 3; ++i) expected.insert(kLoadingImagePaths[i]);
    for (int i = 3; i < kImageEntryCount; ++i) expected.insert(kImagePaths[i]);
    for (int i = 0; i < kSoundEntryCount; ++i) expected.insert(kSoundPaths[i]);
    if (static_cast<int>(expected.size()) != kPictureRowCount + kSoundEntryCount) {
        problem("the picture table has " + std::to_string(kPictureRowCount) + " rows for " +
                std::to_string(expected.size() - kSoundEntryCount) + " image files");
    }

    std::set<std::string> found;
    for (const auto& item : fs::recursive_directory_iterator(tree)) {
        if (!item.is_regular_file()) continue;
        const std::string relative = fs::relative(item.path(), tree).generic_string();
        found.insert(relative);
        const std::string stem = item.path().stem().string();
        if (stem.size() >= 2 && stem.compare(stem.size() - 2, 2, "_a") == 0) {
            problem(relative + " would be taken for an alpha companion");
        }
    }
    for (const std::string& name : expected) {
        if (!found.count(name)) problem("missing " + name);
    }
    for (const std::string& name : found) {
        if (!expected.count(name)) problem("not in the path table: " + name);
    }

    for (int i = 0; i < kPictureRowCount; ++i) {
        const PictureRow& row = kPictureRows[i];
        if (!FindPictureRowForEntry(row.entry) || row.columns * row.cellWidth > row.width ||
            row.rows * row.cellHeight > row.height) {
            problem(std::string("row of ") + row.path + " has cells outside the picture");
        }
        const std::string path = (tree / row.path).string();
        int width = 0, height = 0;
        const bool decoded = PictureIsJpeg(row) ? JpegSize(path, &width, &height) : PngSize(path, &width, &height);
        if (!decoded) {
            problem(std::string("cannot decode ") + row.path);
        } else if (width != row.width || height != row.height) {
            problem(std::string(row.path) + " is " + std::to_string(width) + "x" + std::to_string(height) +
                    ", the table says " + std::to_string(row.width) + "x" + std::to_string(row.height));
        }
    }
    std::printf("resgen_check: %zu files, %d problems\n", found.size(), problems);
    return problems == 0 ? 0 : 1;
}

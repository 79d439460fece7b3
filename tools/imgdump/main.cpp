// imgdump: decodes one image through the runtime's reader chain (BMP, JPEG, PNG, "BGRA", TGA, DDS) and writes its
// pixels as a PAM file (RGB, or RGB_ALPHA when the decoded layout has alpha). The file is opened through the
// runtime's file layer, so a path whose folder is packed into an archive beside it is read from that archive.
//
//   imgdump [-e EXT] [-q] IMAGE OUT.pam
//     -e EXT  extension of the archives that stand for folders (default QVA; the game uses Qzm)
//     -q      no summary line on standard output
#include <stdio.h>

#include <vector>

#include "graphics/color/color_convert.h"
#include "graphics/image/image.h"
#include "tools/common/dump_tool.h"

namespace {

int Usage() {
    fprintf(stderr, "usage: imgdump [-e EXT] [-q] IMAGE OUT.pam\n");
    return 2;
}

// The decoded image as A8R8G8B8 through the runtime's own conversion.
bool ToArgb(const GraphImage& image, std::vector<uint32_t>* out) {
    ColorFormat argb;
    SetColorFormatFromMasksImpl(&argb, 32, 0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u);
    out->assign(static_cast<size_t>(image.width) * image.height, 0);
    const RECT rect = {0, 0, image.width, image.height};
    return ColorFormatConvertBlt(out->data(), image.width * 4, &argb, image.pixels, image.pitch, &image.format,
                                 nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, kDitherNone, 0, 0, 0) >= 0;
}

bool WritePam(const char* path, const GraphImage& image, const std::vector<uint32_t>& argb, bool alpha) {
    FILE* f = fopen(path, "wb");
    if (f == nullptr) return false;
    fprintf(f, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL 255\nTUPLTYPE %s\nENDHDR\n", image.width, image.height,
            alpha ? 4 : 3, alpha ? "RGB_ALPHA" : "RGB");
    std::vector<unsigned char> row;
    bool ok = true;
    for (int y = 0; y < image.height && ok; ++y) {
        row.clear();
        for (int x = 0; x < image.width; ++x) {
            const uint32_t c = argb[static_cast<size_t>(y) * image.width + x];
            row.push_back(static_cast<unsigned char>(c >> 16));
            row.push_back(static_cast<unsigned char>(c >> 8));
            row.push_back(static_cast<unsigned char>(c));
            if (alpha) row.push_back(static_cast<unsigned char>(c >> 24));
        }
        ok = fwrite(row.data(), 1, row.size(), f) == row.size();
    }
    return fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    DumpToolArguments args;
    if (ParseDumpToolArguments(argc, argv, &args) != 0) return Usage();
    StartDumpToolFileLayer(args.extension);

    GraphImage image;
    int result = 1;
    if (LoadGraphImage(args.input, nullptr, 0, &image) != 0) {
        fprintf(stderr, "imgdump: %s: no reader accepts it (or it cannot be opened)\n", args.input);
    } else {
        std::vector<uint32_t> argb;
        const bool alpha = image.format.alphaMask != 0;
        if (!ToArgb(image, &argb)) {
            fprintf(stderr, "imgdump: %s: the decoded layout cannot be converted\n", args.input);
        } else if (!WritePam(args.output, image, argb, alpha)) {
            fprintf(stderr, "imgdump: %s: cannot write\n", args.output);
        } else {
            if (!args.quiet) {
                printf("%s: %d x %d, %d bits, masks R %08X G %08X B %08X A %08X, pitch %d\n", args.input, image.width,
                       image.height, image.format.bitDepth, image.format.redMask, image.format.greenMask,
                       image.format.blueMask, image.format.alphaMask, image.pitch);
            }
            result = 0;
        }
        ReleaseGraphImage(&image);
    }
    EndDumpToolFileLayer();
    return result;
}

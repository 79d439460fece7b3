// PNG reader over libpng with a read function on the runtime's stream. Palette images keep their indices (unless
// a transparency chunk makes them RGBA), true colour becomes 24-bit or A8R8G8B8 in blue-green-red order, grey
// becomes the grey ramp (grey with alpha a 16-bit layout whose colour reads the grey byte).
// libpng reports errors by longjmp: nothing with a destructor lives in the functions it jumps across, and every
// block it could strand is held in the context record that the jump target frees.
#include <setjmp.h>
#include <string.h>

#include <png.h>

#include "graphics/image/image_reader.h"
#include "runtime/memory.h"

namespace {

struct PngReadContext {
    const ImageStream* stream;
    int64_t remaining;  // bytes from the current position to the end of the stream
    uint8_t* pixels;    // tracked; handed to the image on success
    png_bytep* rows;    // tracked
};

void PngStreamRead(png_structp png, png_bytep data, png_size_t length) {
    PngReadContext* ctx = static_cast<PngReadContext*>(png_get_io_ptr(png));
    if (static_cast<int64_t>(length) > ctx->remaining || !ImageStreamReadExact(ctx->stream, data, length)) {
        png_error(png, "Read Error");
    }
    ctx->remaining -= static_cast<int64_t>(length);
}

// Errors go straight back to the reader's jump point without printing anything.
void PngErrorExit(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void PngSetStreamReader(png_structp png, PngReadContext* ctx) {
    ctx->remaining = ImageStreamRemaining(ctx->stream);
    if (ctx->remaining < 0) ctx->remaining = 0;
    png_set_read_fn(png, ctx, PngStreamRead);
}

// Everything after the jump point is set; fills the image or raises a libpng error.
void DecodePng(png_structp png, png_infop info, PngReadContext* ctx, GraphImage* image) {
    PngSetStreamReader(png, ctx);
    png_set_user_limits(png, kImageMaxDimension, kImageMaxDimension);
    png_set_sig_bytes(png, 0);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);

    png_set_strip_16(png);
    png_set_packing(png);
    png_set_packswap(png);
    const bool expanded = (colorType == PNG_COLOR_TYPE_GRAY && bitDepth <= 8) ||
                          png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (expanded) png_set_expand(png);
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const png_size_t rowBytes = png_get_rowbytes(png, info);
    const int channels = png_get_channels(png, info);

    if (!ImageSizeIsSane(width, height, static_cast<int64_t>(rowBytes))) png_error(png, "Image too large");
    ctx->pixels = static_cast<uint8_t*>(AllocImagePixels(width, height, static_cast<int64_t>(rowBytes)));
    ctx->rows = static_cast<png_bytep*>(KV_ALLOC(sizeof(png_bytep) * height));
    if (ctx->pixels == nullptr || ctx->rows == nullptr) png_error(png, "Out of memory");
    for (png_uint_32 y = 0; y < height; ++y) ctx->rows[y] = ctx->pixels + static_cast<size_t>(y) * rowBytes;
    png_read_image(png, ctx->rows);
    png_read_end(png, nullptr);

    ColorFormat* f = &image->format;
    if (colorType == PNG_COLOR_TYPE_PALETTE && !expanded) {
        SetPaletteColorFormat(f);
        memset(f->palette, 0, sizeof(f->palette));
        png_colorp palette = nullptr;
        int count = 0;
        if (png_get_PLTE(png, info, &palette, &count) != 0) {
            for (int i = 0; i < count && i < 256; ++i) {
                f->palette[i] = ColorPaletteEntry{palette[i].blue, palette[i].green, palette[i].red, 0};
            }
        }
    } else if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        if (channels == 1) {
            SetGreyPaletteColorFormat(f);
        } else {
            SetColorFormatFromMasksImpl(f, 16, 0xFF, 0xFF, 0xFF, 0);  // the alpha byte lands in the none mask
        }
    } else if (channels == 4) {
        SetColorFormatFromMasksImpl(f, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
    } else if (channels == 3) {
        SetRgb24ColorFormat(f);
    } else {
        png_error(png, "Unexpected layout");
    }
    image->width = static_cast<int>(width);
    image->height = static_cast<int>(height);
    image->pitch = static_cast<int>(rowBytes);
    image->pixels = ctx->pixels;
    ctx->pixels = nullptr;
}

}  // namespace

int ReadPngImage(const ImageStream* stream, GraphImage* image) {
    // Not a PNG signature: leave without setting libpng up.
    png_byte signature[8];
    if (!ImageStreamReadExact(stream, signature, sizeof(signature)) || png_sig_cmp(signature, 0, 8) != 0) return -1;
    if (!ImageStreamSeek(stream, 0)) return -1;

    PngReadContext ctx;
    memset(&ctx, 0, sizeof(ctx));
    ctx.stream = stream;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngErrorExit, PngWarning);
    if (png == nullptr) return -1;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return -1;
    }
    PngReadContext* volatile context = &ctx;
    if (setjmp(png_jmpbuf(png))) {
        if (context->pixels != nullptr) KV_FREE(context->pixels);
        if (context->rows != nullptr) KV_FREE(context->rows);
        png_destroy_read_struct(&png, &info, nullptr);
        memset(image, 0, sizeof(*image));
        return -1;
    }
    DecodePng(png, info, context, image);
    KV_FREE(context->rows);
    png_destroy_read_struct(&png, &info, nullptr);
    return 0;
}

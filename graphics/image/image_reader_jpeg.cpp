// JPEG reader over libjpeg with a source manager on the runtime's stream: a 4096-byte buffer, and an inserted
// end-of-image marker when the data ends early, so a file cut short still decodes (its missing part stays as the
// decoder leaves it); an empty stream is an error. Grey images become the grey ramp, colour ones 24-bit BGR.
// libjpeg reports errors by longjmp: nothing with a destructor lives in the functions it jumps across, and the
// blocks it could strand are held in the context record that the jump target frees.
#include <setjmp.h>
#include <stdio.h>
#include <string.h>

#include "graphics/image/image_reader.h"
#include "runtime/log.h"
#include "runtime/memory.h"

// The library's configuration shares the Windows headers' boolean, so they come first (image_reader.h).
#include <jpeglib.h>
#include <jerror.h>

namespace {

constexpr size_t kSourceBufferSize = 4096;
// The decoder's own working memory (whole-image buffers of progressive files) stays below this.
constexpr long kDecoderMemoryLimit = 512L * 1024 * 1024;

struct JpegContext {
    struct jpeg_decompress_struct cinfo;
    struct jpeg_error_mgr error;
    jmp_buf jump;
    const ImageStream* stream;
    int64_t remaining;  // stream bytes not yet taken into the buffer
    int startOfFile;    // nothing has been read yet
    uint8_t* pixels;    // tracked; handed to the image on success
};

struct JpegSource {
    struct jpeg_source_mgr pub;
    JpegContext* context;
    JOCTET* buffer;
};

JpegContext* ContextOf(j_common_ptr cinfo) {
    return static_cast<JpegContext*>(cinfo->client_data);
}

void JpegOutputMessage(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    WriteLogFormat("JPEG: %s", text);
}

void JpegErrorExit(j_common_ptr cinfo) {
    (*cinfo->err->output_message)(cinfo);
    longjmp(ContextOf(cinfo)->jump, 1);
}

void JpegInitSource(j_decompress_ptr cinfo) {
    ContextOf(reinterpret_cast<j_common_ptr>(cinfo))->startOfFile = 1;
}

boolean JpegFillInputBuffer(j_decompress_ptr cinfo) {
    JpegSource* source = reinterpret_cast<JpegSource*>(cinfo->src);
    JpegContext* ctx = source->context;
    size_t n = ctx->remaining < static_cast<int64_t>(kSourceBufferSize) ? static_cast<size_t>(ctx->remaining)
                                                                        : kSourceBufferSize;
    if (n > 0 && !ImageStreamReadExact(ctx->stream, source->buffer, n)) n = 0;
    if (n == 0) {
        if (ctx->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        n = 2;
        ctx->remaining = 0;
    } else {
        ctx->remaining -= static_cast<int64_t>(n);
    }
    source->pub.next_input_byte = source->buffer;
    source->pub.bytes_in_buffer = n;
    ctx->startOfFile = 0;
    return TRUE;
}

void JpegSkipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    struct jpeg_source_mgr* src = cinfo->src;
    while (count > static_cast<long>(src->bytes_in_buffer)) {
        count -= static_cast<long>(src->bytes_in_buffer);
        JpegFillInputBuffer(cinfo);
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= static_cast<size_t>(count);
}

void JpegTermSource(j_decompress_ptr) {}

void JpegSetStreamSource(JpegContext* ctx) {
    j_common_ptr common = reinterpret_cast<j_common_ptr>(&ctx->cinfo);
    JpegSource* source = static_cast<JpegSource*>(
        (*ctx->cinfo.mem->alloc_small)(common, JPOOL_PERMANENT, sizeof(JpegSource)));
    source->buffer = static_cast<JOCTET*>(
        (*ctx->cinfo.mem->alloc_small)(common, JPOOL_PERMANENT, kSourceBufferSize));
    source->context = ctx;
    source->pub.init_source = JpegInitSource;
    source->pub.fill_input_buffer = JpegFillInputBuffer;
    source->pub.skip_input_data = JpegSkipInputData;
    source->pub.resync_to_restart = jpeg_resync_to_restart;
    source->pub.term_source = JpegTermSource;
    source->pub.bytes_in_buffer = 0;
    source->pub.next_input_byte = nullptr;
    ctx->cinfo.src = &source->pub;
    ctx->remaining = ImageStreamRemaining(ctx->stream);
    if (ctx->remaining < 0) ctx->remaining = 0;
}

// Everything after the jump point is set; fills the image or raises a libjpeg error.
void DecodeJpeg(JpegContext* ctx, GraphImage* image) {
    struct jpeg_decompress_struct* cinfo = &ctx->cinfo;
    jpeg_CreateDecompress(cinfo, JPEG_LIB_VERSION, sizeof(struct jpeg_decompress_struct));
    cinfo->mem->max_memory_to_use = kDecoderMemoryLimit;
    JpegSetStreamSource(ctx);
    jpeg_read_header(cinfo, TRUE);
    if (cinfo->num_components == 1) {
        cinfo->out_color_space = JCS_GRAYSCALE;
    } else if (cinfo->num_components == 3 &&
               (cinfo->jpeg_color_space == JCS_YCbCr || cinfo->jpeg_color_space == JCS_RGB)) {
        cinfo->out_color_space = JCS_EXT_BGR;  // stored blue, green, red
    } else {
        ERREXIT(cinfo, JERR_CONVERSION_NOTIMPL);
    }
    const int64_t components = cinfo->num_components;
    if (!ImageSizeIsSane(cinfo->image_width, cinfo->image_height, components * cinfo->image_width)) {
        ERREXIT(cinfo, JERR_IMAGE_TOO_BIG);
    }
    jpeg_start_decompress(cinfo);
    const int64_t stride = static_cast<int64_t>(cinfo->output_components) * cinfo->output_width;
    ctx->pixels = static_cast<uint8_t*>(AllocImagePixels(cinfo->output_width, cinfo->output_height, stride));
    if (ctx->pixels == nullptr) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = ctx->pixels + static_cast<size_t>(cinfo->output_scanline) * stride;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);

    if (cinfo->output_components == 1) {
        SetGreyPaletteColorFormat(&image->format);
    } else {
        SetRgb24ColorFormat(&image->format);
    }
    image->width = static_cast<int>(cinfo->output_width);
    image->height = static_cast<int>(cinfo->output_height);
    image->pitch = static_cast<int>(stride);
    image->pixels = ctx->pixels;
    ctx->pixels = nullptr;
}

}  // namespace

int ReadJpegImage(const ImageStream* stream, GraphImage* image) {
    // Not a JPEG start-of-image marker: leave without setting libjpeg up.
    uint8_t marker[2];
    if (!ImageStreamReadExact(stream, marker, 2) || marker[0] != 0xFF || marker[1] != 0xD8) return -1;
    if (!ImageStreamSeek(stream, 0)) return -1;

    JpegContext* ctx = static_cast<JpegContext*>(KV_ALLOC_ZEROED(sizeof(JpegContext)));
    if (ctx == nullptr) return -1;
    ctx->stream = stream;
    ctx->cinfo.err = jpeg_std_error(&ctx->error);
    ctx->error.error_exit = JpegErrorExit;
    ctx->error.output_message = JpegOutputMessage;
    ctx->cinfo.client_data = ctx;
    JpegContext* volatile context = ctx;
    if (setjmp(ctx->jump)) {
        if (context->pixels != nullptr) KV_FREE(context->pixels);
        jpeg_destroy_decompress(&context->cinfo);
        KV_FREE(context);
        memset(image, 0, sizeof(*image));
        return -1;
    }
    DecodeJpeg(context, image);
    jpeg_destroy_decompress(&context->cinfo);
    KV_FREE(context);
    return 0;
}

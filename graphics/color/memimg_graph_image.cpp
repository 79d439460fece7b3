// The software-image copies that take or give a decoded GraphImage: uploading a picture (with its alpha picture)
// into a software image, and turning a software image back into a picture.
#include "graphics/image/image.h"
#include "graphics/color/memimg.h"

int TransferImageToMemImg(const GraphImage* image, const GraphImage* alphaImage, MEMIMG* dst, int srcX, int srcY,
                          int width, int height, int dstX, int dstY, int keyToAlpha) {
    if (image == nullptr) return -1;
    // The destination is checked by the pixel transfer; the pictures' own sizes are known only here.
    if (CopyRectLeavesImage(srcX, srcY, width, height, image->width, image->height) ||
        (alphaImage != nullptr &&
         CopyRectLeavesImage(srcX, srcY, width, height, alphaImage->width, alphaImage->height))) {
        if (dst != nullptr) dst->premultipliedValid = dst->runTableValid = 0;
        return RefuseCopyRect();
    }
    return TransferPixelsToMemImg(&image->format, image->pixels, image->pitch,
                                  alphaImage != nullptr ? &alphaImage->format : nullptr,
                                  alphaImage != nullptr ? alphaImage->pixels : nullptr,
                                  alphaImage != nullptr ? alphaImage->pitch : 0, dst, srcX, srcY, width, height, dstX,
                                  dstY, keyToAlpha);
}

void BltMemImageToImage(GraphImage* dst, const MEMIMG* src, int srcX, int srcY, int width, int height, int dstX,
                        int dstY, uint32_t colorKey, int skipKey) {
    if (dst == nullptr) return;
    if (CopyRectLeavesImage(dstX, dstY, width, height, dst->width, dst->height)) {
        RefuseCopyRect();
        return;
    }
    BltMemImageToPixels(dst->pixels, dst->pitch, &dst->format, src, srcX, srcY, width, height, dstX, dstY, colorKey,
                        skipKey);
}

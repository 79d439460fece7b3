// The software-image copies that take or give a decoded GraphImage: uploading a picture (with its alpha picture)
// into a software image, and turning a software image back into a picture.
#include "graphics/image.h"
#include "graphics/memimg.h"

int TransferImageToMemImg(const GraphImage* image, const GraphImage* alphaImage, MEMIMG* dst, int srcX, int srcY,
                          int width, int height, int dstX, int dstY, int keyToAlpha) {
    if (image == nullptr) return -1;
    return TransferPixelsToMemImg(&image->format, image->pixels, image->pitch,
                                  alphaImage != nullptr ? &alphaImage->format : nullptr,
                                  alphaImage != nullptr ? alphaImage->pixels : nullptr,
                                  alphaImage != nullptr ? alphaImage->pitch : 0, dst, srcX, srcY, width, height, dstX,
                                  dstY, keyToAlpha);
}

void BltMemImageToImage(GraphImage* dst, const MEMIMG* src, int srcX, int srcY, int width, int height, int dstX,
                        int dstY, uint32_t colorKey, int skipKey) {
    if (dst == nullptr) return;
    BltMemImageToPixels(dst->pixels, dst->pitch, &dst->format, src, srcX, srcY, width, height, dstX, dstY, colorKey,
                        skipKey);
}

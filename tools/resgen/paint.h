// Painting the stand-in pictures: each picture says what it is and fits where the game draws it (menus carry
// their words, blocks look like blocks, frames and figures leave the fields clear). Pure functions of the picture
// row, so every run paints the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/resgen/picture_table.h"

struct Canvas {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;  // 4 bytes a pixel; alpha 0 is transparent
    Canvas(int w, int h) : width(w), height(h), rgba(static_cast<size_t>(w) * h * 4, 0) {}
    void set(int x, int y, uint32_t rgb, uint8_t alpha = 255);
    void fill(int x, int y, int w, int h, uint32_t rgb, uint8_t alpha = 255);
    void outline(int x, int y, int w, int h, uint32_t rgb, int thickness = 1);
};

// The picture of one row, all its cells.
Canvas Paint(const PictureRow& row);

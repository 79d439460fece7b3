// A 5x7 bitmap font for the generated pictures' labels: digits, capital letters (small letters draw as capitals)
// and a few marks. Enough for a screenshot to tell which picture and cell is where.
#pragma once

// Calls plot(x, y) for every set pixel of `text` drawn with its top left at (x, y), `scale` pixels per font
// pixel, 6 font pixels a character. Characters without a glyph draw as blanks.
template <typename Plot>
void DrawTinyText(const char* text, int x, int y, int scale, Plot plot);

// The 7 row masks of a character (bit 4 is the leftmost column), or null.
const unsigned char* TinyGlyph(char c);

template <typename Plot>
void DrawTinyText(const char* text, int x, int y, int scale, Plot plot) {
    for (int i = 0; text[i] != 0; ++i) {
        const unsigned char* g = TinyGlyph(text[i]);
        if (g == nullptr) continue;
        for (int row = 0; row < 7; ++row) {
            for (int col = 0; col < 5; ++col) {
                if (!(g[row] & (0x10 >> col))) continue;
                for (int sy = 0; sy < scale; ++sy) {
                    for (int sx = 0; sx < scale; ++sx) plot(x + (i * 6 + col) * scale + sx, y + row * scale + sy);
                }
            }
        }
    }
}

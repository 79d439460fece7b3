// Font handles and string drawing as the rest of the runtime calls them (type-4 handles, 40 slots): the on-screen
// log makes its font here, graphics start-up, shutdown and restore drive the table, and the string entries of the
// graphics layer draw through it. The module's own records are in font/font_internal.h.
#pragma once

// Makes a font. faceName null (or empty) means the default face; -1 in size, thickness, fontType, charSet and
// edgeSize means their defaults, slot -1 the lowest free slot and checkId -1 the next check id. Returns the font
// handle or -1.
int CreateFontToHandle(const char* faceName, int size, int thickness, int fontType, int charSet, int edgeSize,
                       int italic, int slot, int checkId);
// Stores the pointer in the font record and sets *flag to 0; the font module sets it to 1 when
// the font is deleted. 0, or -1 for an invalid handle.
int SetFontDeletedFlagPtr(int fontHandle, int* flag);
// 0, or -1 for an invalid handle.
int DeleteFontHandle(int fontHandle);
// Non-zero when the handle names a live font.
int IsFontHandleValid(int fontHandle);
int GetBaseFontHandle();
int GetFontInfoToHandle(int fontHandle, char* faceName, int* size, int* thickness);
int SetBaseFontSize(const char* faceName, int size, int thickness);
int GetFontHandleHeight(int fontHandle);
int ResetFonts();
int EndFonts();
int RecreateAllFonts();
int MakeFontCacheGraph(int fontHandle);
// 1 when the font keeps its glyphs in textures (its strings go to the Direct3D string drawing), else 0.
int IsFontCachedAsTexture(int fontHandle);
// 1 when the byte begins a double-byte character of the character-set kind (2: code page 949, where every byte
// with its top bit set leads; else Shift-JIS), else 0.
int IsLeadByte(const unsigned char* byte, int charSetKind);

// Font handles and string drawing as the rest of the runtime calls them (type-4 handles,
// 40 slots). The font subsystem implements these; font_entries_pending.cpp holds minimal
// stand-ins until it lands.
#pragma once

// Makes a font. faceName null means the default face; charSet, edgeSize and the two trailing
// values -1 mean their defaults. Returns the font handle or -1.
int CreateFontToHandle(const char* faceName, int size, int thickness, int fontType, int charSet, int edgeSize,
                       int italic, int reserved1, int reserved2);
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
// 1 when the byte begins a double-byte character of the character-set kind, else 0.
int IsLeadByte(const unsigned char* byte, int charSetKind);

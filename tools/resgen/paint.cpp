// The stand-in pictures, painted from their rows. Where the game draws a picture decides its look: the match's
// blocks, previews, frames and figures, the menus' words and the extra scene's windows have painters of their
// own; every other picture is a flat colour per cell with its name and a small entry tag for debugging. Each
// painter keeps the row's sample point (picture_table.cpp) on the cell's own flat colour, which the tests read.
#include "tools/resgen/paint.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

#include "game/match/block.h"
#include "tools/resgen/tiny_font.h"

namespace fs = std::filesystem;

void Canvas::set(int x, int y, uint32_t rgb, uint8_t alpha) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
    p[0] = static_cast<uint8_t>(rgb >> 16);
    p[1] = static_cast<uint8_t>(rgb >> 8);
    p[2] = static_cast<uint8_t>(rgb);
    p[3] = alpha;
}

void Canvas::fill(int x, int y, int w, int h, uint32_t rgb, uint8_t alpha) {
    for (int yy = std::max(0, y); yy < std::min(height, y + h); ++yy) {
        for (int xx = std::max(0, x); xx < std::min(width, x + w); ++xx) set(xx, yy, rgb, alpha);
    }
}

void Canvas::outline(int x, int y, int w, int h, uint32_t rgb, int thickness) {
    fill(x, y, w, thickness, rgb);
    fill(x, y + h - thickness, w, thickness, rgb);
    fill(x, y, thickness, h, rgb);
    fill(x + w - thickness, y, thickness, h, rgb);
}

namespace {

constexpr uint32_t kInk = 0x202020;       // words on light colours: dark, but never the black colour key
constexpr uint32_t kLightInk = 0xF0F0F0;  // words on dark colours
constexpr uint32_t kOutline = 0x303030;   // outlines and rims

const char* const kCharacterFolders[] = {"Kessa", "Pelun", "Fiora", "Vellis", "Obren", "Quen", "Wix"};
const char* const kCharacterNames[] = {"KESSA", "PELUN", "FIORA", "VELLIS", "OBREN", "QUEN", "WIX"};
const char* const kSkillNames[7][3] = {
    {"ORRANT", "SAISEN", "DORVEL"}, {"VINTREL", "CORVANE", "GRAKEL"}, {"POBB", "SALK", "QUILLOW"},
    {"DOLL", "TRICK", "SQUARE"},    {"TELVIX", "OSSIVE", "DOUBLES"},  {"WIND", "COPY", "MANBO"},
    {"BAKA", "ICE", "DEAD"},
};
// The title menu's items in the order the title cuts them.
const char* const kTitleItems[] = {"VERSUS", "VS COMPUTER", "STORY", "EXTRA", "OPTIONS", "EXIT"};
// The extra scene's main menu (entry n leads to the scene's state n) and its sub-menu.
const char* const kExtraItems[] = {"TEXT A", "TEXT B", "LONG TEXTS", "MUSIC ROOM",
                                   "GALLERY", "CHIME GAME", "TEXT G", "LEAVE"};
const char* const kExtraSubItems[] = {"LONG TEXT 1", "LONG TEXT 2", "LONG TEXT 3", "BACK"};
// The music room's eleven tracks, sound entries 0-10.
const char* const kTracks[] = {"TITLE", "KESSA", "PELUN", "FIORA", "VELLIS", "OBREN",
                               "QUEN",  "WIX",   "TALK",  "BOOK",  "ENDING"};

uint32_t Mix(uint32_t a, uint32_t b, int t) {  // t of 256 toward b
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int ca = static_cast<int>((a >> shift) & 0xFF), cb = static_cast<int>((b >> shift) & 0xFF);
        out |= static_cast<uint32_t>(ca + (cb - ca) * t / 256) << shift;
    }
    return out;
}
uint32_t Lighter(uint32_t c) { return Mix(c, 0xFFFFFF, 110); }
uint32_t Darker(uint32_t c) { return Mix(c, 0x000000, 110); }

uint32_t InkOn(uint32_t c) {
    const int luminance = static_cast<int>(((c >> 16) & 0xFF) * 3 + ((c >> 8) & 0xFF) * 6 + (c & 0xFF)) / 10;
    return luminance < 110 ? kLightInk : kInk;
}

std::string Upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

// "skillWait" -> "SKILL WAIT", "skillName_a_kessa1" -> "SKILL NAME A KESSA1".
std::string Humanise(const std::string& stem) {
    std::string out;
    for (size_t i = 0; i < stem.size(); ++i) {
        const char c = stem[i];
        if (c == '_') {
            out += ' ';
            continue;
        }
        if (c >= 'A' && c <= 'Z' && i > 0 && stem[i - 1] >= 'a' && stem[i - 1] <= 'z') out += ' ';
        out += c;
    }
    return Upper(out);
}

int TextWidth(const std::string& s, int scale) { return s.empty() ? 0 : (static_cast<int>(s.size()) * 6 - 1) * scale; }

// The largest scale up to `most` at which the text fits `width`; 1 at least.
int FitScale(const std::string& s, int width, int most) {
    for (int scale = most; scale > 1; --scale) {
        if (TextWidth(s, scale) <= width) return scale;
    }
    return 1;
}

struct Clip {
    int x0, y0, x1, y1;  // inclusive left/top, exclusive right/bottom
};

void Text(Canvas& c, const std::string& s, int x, int y, int scale, uint32_t rgb, Clip clip = {0, 0, 1 << 20, 1 << 20}) {
    DrawTinyText(s.c_str(), x, y, scale, [&](int px, int py) {
        if (px >= clip.x0 && py >= clip.y0 && px < clip.x1 && py < clip.y1) c.set(px, py, rgb);
    });
}

void TextCentred(Canvas& c, const std::string& s, int cx, int y, int scale, uint32_t rgb) {
    Text(c, s, cx - TextWidth(s, scale) / 2, y, scale, rgb);
}

// The same text mirrored left-right about its own middle: what a picture drawn mirrored shows as `Text`.
void TextMirrored(Canvas& c, const std::string& s, int x, int y, int scale, uint32_t rgb,
                  Clip clip = {0, 0, 1 << 20, 1 << 20}) {
    const int right = x + TextWidth(s, scale) - 1;
    DrawTinyText(s.c_str(), x, y, scale, [&](int px, int py) {
        const int mx = x + right - px;
        if (mx >= clip.x0 && py >= clip.y0 && mx < clip.x1 && py < clip.y1) c.set(mx, py, rgb);
    });
}

// Words on a picture that the game draws mirrored as well as plain: the text as is and, right below it, mirrored,
// so one of the two reads either way. Centred on `cx`; returns the height the pair takes.
int TextBothWays(Canvas& c, const std::string& s, int cx, int y, int scale, uint32_t rgb,
                 Clip clip = {0, 0, 1 << 20, 1 << 20}) {
    const int x = cx - TextWidth(s, scale) / 2;
    Text(c, s, x, y, scale, rgb, clip);
    TextMirrored(c, s, x, y + 8 * scale, scale, rgb, clip);
    return 16 * scale;
}

// A filled disc; centre and radius in half pixels, so discs can centre between pixels.
void Disc(Canvas& c, int cx2, int cy2, int r2, uint32_t rgb) {
    for (int y = (cy2 - r2) / 2 - 1; y <= (cy2 + r2) / 2 + 1; ++y) {
        for (int x = (cx2 - r2) / 2 - 1; x <= (cx2 + r2) / 2 + 1; ++x) {
            const int dx = 2 * x + 1 - cx2, dy = 2 * y + 1 - cy2;
            if (dx * dx + dy * dy <= r2 * r2) c.set(x, y, rgb);
        }
    }
}

// A block: its colour in the middle, a light edge top and left and a dark edge bottom and right.
void Bevel(Canvas& c, int x, int y, int w, int h, uint32_t colour, int edge) {
    c.fill(x, y, w, h, colour);
    c.fill(x, y, w, edge, Lighter(colour));
    c.fill(x, y, edge, h, Lighter(colour));
    c.fill(x, y + h - edge, w, edge, Darker(colour));
    c.fill(x + w - edge, y + edge, edge, h - edge, Darker(colour));
}

// The skill chip's mark on a block: a white ring with a dark dot, so a chip reads as a chip at any size.
void ChipMark(Canvas& c, int x, int y, int size) {
    const int cx2 = 2 * x + size, cy2 = 2 * y + size;
    Disc(c, cx2, cy2, size * 7 / 10, kOutline);
    Disc(c, cx2, cy2, size * 5 / 10, 0xFFFFFF);
    Disc(c, cx2, cy2, size * 2 / 10, 0xE0A000);
}

std::string Tag(const PictureRow& row, int index) {
    std::string tag = "#" + std::to_string(row.entry);
    if (row.otherEntry >= 0) tag += "/" + std::to_string(row.otherEntry);
    if (row.indexKind == 'y') tag += " y=" + std::to_string(index * row.cellHeight);
    else if (row.indexKind != 0) tag += std::string(" ") + row.indexKind + std::to_string(index);
    return tag;
}

std::string Stem(const PictureRow& row) { return fs::path(row.path).stem().string(); }
std::string Folder(const PictureRow& row) { return fs::path(row.path).parent_path().filename().string(); }

int CharacterOfFolder(const std::string& folder) {
    for (int i = 0; i < 7; ++i) {
        if (folder == kCharacterFolders[i]) return i;
    }
    return -1;
}

// What a picture is, in words, for the pictures without a painter of their own.
std::string Caption(const PictureRow& row, int index) {
    const int e = row.entry;
    if (e == 0) return "LOADING";
    if (e == 2) return "NOW LOADING";
    if (e == 37) return "PAUSE";
    if (e >= 95 && e <= 109) return Humanise(Stem(row));
    if (e >= 198 && e <= 204) return kCharacterNames[e - 198] + std::string(index == 0 ? " WINS" : " BEATS ") +
                                     (index == 0 ? "" : kCharacterNames[(index - 1) % 7]);
    if (e >= 291 && e <= 318) return kCharacterNames[(e - 291) / 4] + std::string(" PAUSE LV") +
                                     std::to_string((e - 291) % 4);
    if (e == 319) return "PAUSE GRAVE";
    if (e >= 320 && e <= 326) return std::string("MUSIC: ") + kCharacterNames[e - 320] + " THEME";
    if (e >= 31 && e <= 36) return kCharacterNames[e - 31] + std::string(" TALK BACKGROUND");
    if (e == 391) return "TEXT WINDOW";
    if (e == 411) return "CHARACTER SELECT";
    if (e == 412) return "1P SIDE";
    if (e == 413) return "2P SIDE";
    if (e == 421) return "OPTIONS";
    const int character = CharacterOfFolder(Folder(row));
    const std::string name = Humanise(Stem(row));
    return character >= 0 ? kCharacterNames[character] + (" " + name) : name;
}

// The cell's rectangle inside its transparent (or, on JPEG sheets, black) surround.
struct Box {
    int x, y, w, h;
};

Box CellBox(const PictureRow& row, int c, int r) {
    const bool sheet = PictureIsJpeg(row) && (row.indexKind == 'p' || row.indexKind == 'r');
    // The full-screen frames with holes cover the whole screen; other sprites keep a transparent surround.
    const bool transparent =
        (row.flags & kPictureTransparent) != 0 && !(row.flags & (kPictureFieldHoles | kPictureChoiceHoles));
    int inset = 0;
    if (transparent) inset = std::min(6, std::max(1, std::min(row.cellWidth, row.cellHeight) / 8));
    if (sheet) inset = 4;
    return {c * row.cellWidth + inset, r * row.cellHeight + inset, row.cellWidth - 2 * inset,
            row.cellHeight - 2 * inset};
}

// Pictures that the game draws mirrored as well as plain, besides the figures and the chime: the skills'
// pictures face the rival, so side 0 sees them mirrored.
bool DrawnBothWays(const PictureRow& row) { return row.entry >= 327 && row.entry <= 369; }

// Flat colour, outline, the picture's name and its entry tag, all in the top left (centred and written both ways
// on pictures drawn mirrored too) so the sample point at three quarters stays clear.
void PaintPlainCell(Canvas& canvas, const PictureRow& row, int c, int r, int index) {
    const uint32_t colour = PictureCellColour(row, index);
    const Box b = CellBox(row, c, r);
    if (PictureIsJpeg(row) && (row.indexKind == 'p' || row.indexKind == 'r')) {
        canvas.fill(c * row.cellWidth, r * row.cellHeight, row.cellWidth, row.cellHeight, 0x000000);
    }
    canvas.fill(b.x, b.y, b.w, b.h, colour);
    if (b.w >= 24 && b.h >= 24) canvas.outline(b.x, b.y, b.w, b.h, kOutline);
    if (b.h < 20 || b.w < 30) return;
    const uint32_t ink = InkOn(colour);
    const Clip clip{b.x, b.y, b.x + b.w - 2, b.y + b.h - 2};
    const std::string caption = Caption(row, index);
    const std::string tag = Tag(row, index);
    if (DrawnBothWays(row)) {
        const int cx = b.x + b.w / 2;
        const int y = b.y + 4 + TextBothWays(canvas, caption, cx, b.y + 4, FitScale(caption, b.w - 8, 2), ink, clip);
        TextBothWays(canvas, tag, cx, y, 1, ink, clip);
        return;
    }
    if (b.h >= 34) {
        const int scale = FitScale(caption, b.w - 8, 2);
        Text(canvas, caption, b.x + 4, b.y + 4, scale, ink, clip);
        Text(canvas, tag, b.x + 4, b.y + 6 + 7 * scale, 1, ink, clip);
    } else {
        Text(canvas, tag + " " + caption, b.x + 3, b.y + 3, 1, ink, clip);
    }
}

// ---- The match ----

// Stage picture: the stage's name above the fields, a dark rim around each hole so the fields stand out.
void PaintStage(Canvas& canvas, const PictureRow& row) {
    const uint32_t colour = PictureCellColour(row, 0);
    canvas.fill(0, 0, row.width, row.height, colour);
    const int character = (row.entry - 3) / 4;
    const uint32_t ink = InkOn(colour);
    Text(canvas, std::string(kCharacterNames[character]) + " STAGE", 8, 8, 2, ink);
    Text(canvas, Tag(row, 0), 8, 462, 1, ink);
    TextCentred(canvas, "1P", 200, 10, 2, ink);
    TextCentred(canvas, "2P", 440, 10, 2, ink);
    const Box holes[] = {{110, 32, 180, 420}, {350, 32, 180, 420}, {290, 20, 60, 180}};
    for (const Box& h : holes) canvas.outline(h.x - 3, h.y - 3, h.w + 6, h.h + 6, kOutline, 3);
    // The fields (180 x 420 at x 110 and 350, y 32) and the next-piece column (60 x 180 at (290, 20)) show
    // through the stage.
    for (const Box& h : holes) canvas.fill(h.x, h.y, h.w, h.h, 0, 0);
}

// Field and next-piece backdrops: dark, with a dot at every cell corner so columns can be counted.
void PaintBackdrop(Canvas& canvas, const PictureRow& row) {
    const uint32_t colour = PictureCellColour(row, 0);
    canvas.fill(0, 0, row.width, row.height, colour);
    const uint32_t dot = Mix(colour, 0xFFFFFF, 60);
    if (row.width == 180) {
        // The field's rows start 24 pixels down (the window above the field is the top of the backdrop).
        for (int y = 24; y <= row.height; y += 18) {
            for (int x = 0; x <= row.width; x += 18) canvas.fill(x - 1, y - 1, 2, 2, dot);
        }
    }
    // The next-piece column's word stands at its top; its tag goes to the bottom.
    Text(canvas, Tag(row, 0), 3, row.width == 180 ? 3 : row.height - 10, 1, Mix(colour, 0xFFFFFF, 90));
}

// A frame that is open inside: a rim of `thickness` along the given sides.
void PaintOpenFrame(Canvas& canvas, const PictureRow& row, int w, int h, bool bottom, int thickness) {
    const uint32_t colour = PictureCellColour(row, 0);
    canvas.fill(0, 0, w, thickness, colour);
    canvas.fill(0, 0, thickness, h, colour);
    canvas.fill(w - thickness, 0, thickness, h, colour);
    if (bottom) canvas.fill(0, h - thickness, w, thickness, colour);
}

void PaintChip(Canvas& canvas, const PictureRow& row) {
    const uint32_t colour = PictureCellColour(row, 0);
    Bevel(canvas, 0, 0, row.width, row.height, colour, 2);
    canvas.outline(0, 0, row.width, row.height, Mix(colour, 0x000000, 170));
    if (row.entry == 131) {  // stopped time: two pause bars in the upper left, clear of the sample point
        canvas.fill(4, 4, 2, 6, kOutline);
        canvas.fill(8, 4, 2, 6, kOutline);
    }
    if (row.entry == 134 || row.entry == 135) {  // garbage on its way: a dark slash
        for (int i = 3; i < 9; ++i) canvas.set(i, 11 - i, kOutline), canvas.set(i + 1, 11 - i, kOutline);
    }
}

void PaintPreview(Canvas& canvas, const PictureRow& row) {
    const int kind = row.entry - 110;
    int gx = 0, gy = 0;
    PreviewGridOrigin(kind, &gx, &gy);
    const uint32_t colour = PictureCellColour(row, 0);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const int cell = pieceCell(kind, 0, r, c);
            if (cell == kCellEmpty) continue;
            const int x = gx + c * kPreviewBlock, y = gy + r * kPreviewBlock;
            Bevel(canvas, x, y, kPreviewBlock, kPreviewBlock, colour, 1);
            if (cell == kCellChip) ChipMark(canvas, x, y, kPreviewBlock);
        }
    }
}

void PaintRoundMark(Canvas& canvas, const PictureRow& row) {
    const uint32_t colour = PictureCellColour(row, 0);
    const int w = row.width;
    Disc(canvas, w, w, w - 1, kOutline);
    Disc(canvas, w, w, w - 4, colour);
    Disc(canvas, w * 2 / 3, w * 2 / 3, w / 5, Mix(colour, 0xFFFFFF, 180));  // the shine, upper left
}

void PaintLamp(Canvas& canvas, const PictureRow& row) {
    const uint32_t colour = PictureCellColour(row, 0);
    // Only the left 64 pixels: side 0's lamps stand at x 40, left of the field at 110.
    canvas.fill(1, 1, 62, 18, colour);
    canvas.outline(1, 1, 62, 18, kOutline, 2);
    Text(canvas, "SKILL", 6, 6, 1, kInk);
}

// A word on a plate: the ready letters, start, winner and loser signs, skill names and banners.
void PaintSign(Canvas& canvas, const PictureRow& row, int c, int r, int index, const std::string& word, int most) {
    const uint32_t colour = PictureCellColour(row, index);
    const Box b = CellBox(row, c, r);
    canvas.fill(b.x, b.y, b.w, b.h, colour);
    canvas.outline(b.x, b.y, b.w, b.h, kOutline, b.h >= 40 ? 2 : 1);
    const int scale = FitScale(word, b.w - 12, most);
    // A little above the middle, so the sample point at three quarters stays on the plate.
    const int y = b.y + std::max(2, (b.h - 7 * scale) / 2 - b.h / 10);
    TextCentred(canvas, word, b.x + b.w / 2, y, scale, InkOn(colour));
}

// A figure of the match, the pause and the conversations: 160 x 256 cells, a head and a body with the name and
// the pose written on it, each both ways, since side 0's figures and the left conversation slots are drawn
// mirrored. The figure keeps to columns 34-138: the match draws side 1's figure from x 500 and side 0's mirrored
// to end at x 140, so the first 30 columns lie over a field and stay transparent.
void PaintFigure(Canvas& canvas, const PictureRow& row, int c, int index, const std::string& name,
                 const std::string& pose) {
    const uint32_t colour = PictureCellColour(row, index);
    const int x0 = c * row.cellWidth;
    const int cx = x0 + 86;
    // Conversation portraits stand lower: the talk window covers the top 104 rows of a portrait beside it. The
    // pause draws side 0's figure 40 pixels above the screen's top, so the others keep their head below row 40.
    const int drop = PictureIsTalkPortrait(row) ? 68 : 10;
    const int headY = 58 + drop - (index % 2) * 4;  // the two frames of a pose: the head bobs
    const int bodyTop = 86 + drop;
    auto body = [&](int grow, uint32_t rgb) {
        for (int y = bodyTop - grow; y < 250 + grow; ++y) {
            const int half = std::min(42, 30 + (y - bodyTop) / 2) + grow;
            canvas.fill(cx - half, y, 2 * half, 1, rgb);
        }
    };
    body(2, kOutline);
    body(0, colour);
    Disc(canvas, 2 * cx, 2 * headY, 2 * 26, kOutline);
    Disc(canvas, 2 * cx, 2 * headY, 2 * 24, Mix(colour, 0xFFFFFF, 70));
    Disc(canvas, 2 * (cx - 8), 2 * (headY - 2), 5, kOutline);
    Disc(canvas, 2 * (cx + 8), 2 * (headY - 2), 5, kOutline);
    const uint32_t ink = InkOn(colour);
    int y = bodyTop + 12 + TextBothWays(canvas, name, cx, bodyTop + 12, FitScale(name, 76, 2), ink);
    if (!pose.empty()) y += 2 + TextBothWays(canvas, pose, cx, y + 2, 1, ink);
    TextBothWays(canvas, Tag(row, index), cx, y + 2, 1, ink);
}

bool IsFigureRow(const PictureRow& row) {
    const std::string path = row.path;
    // The skills' own figures (res/Effect/) stand where the caster's figure stands.
    return PictureIsTalkPortrait(row) ||
           (row.cellWidth == 160 && row.cellHeight == 256 &&
            (path.rfind("res/Character/", 0) == 0 || path.rfind("res/Effect/", 0) == 0));
}

void FigureWords(const PictureRow& row, std::string* name, std::string* pose) {
    const std::string stem = Stem(row);
    const int character = CharacterOfFolder(Folder(row));
    if (row.entry == 289) {
        *name = "GRAVE";
        *pose = "";
        return;
    }
    if (character >= 0) {
        *name = kCharacterNames[character];
        *pose = Humanise(stem);
        return;
    }
    // Conversation portraits and skill figures: "kessaNormal", "fioCrisis", "drevo", "knifeVellis".
    size_t split = 0;
    while (split < stem.size() && !(stem[split] >= 'A' && stem[split] <= 'Z')) ++split;
    *name = Upper(stem.substr(0, split));
    if (*name == "FIO") *name = "FIORA";
    *pose = Humanise(stem.substr(split));
}

// The level plate under each field (180 x 25 at y 455, down to the screen's bottom); the skill's name plate
// covers its left 160 pixels once the side has a level.
void PaintLevelPlate(Canvas& canvas, const PictureRow& row) {
    const uint32_t colour = PictureCellColour(row, 0);
    canvas.fill(0, 0, row.width, row.height, colour);
    canvas.outline(0, 0, row.width, row.height, kOutline);
    Text(canvas, "NO SKILL " + Tag(row, 0), 5, 9, 1, InkOn(colour));
}

// ---- Conversations ----

// A conversation's background: its name inside the talk frame's rim, above where the window can stand.
void PaintTalkBackground(Canvas& canvas, const PictureRow& row) {
    const uint32_t colour = PictureCellColour(row, 0);
    canvas.fill(0, 0, row.width, row.height, colour);
    const uint32_t ink = InkOn(colour);
    Text(canvas, Caption(row, 0), 20, 20, 2, ink);
    Text(canvas, Tag(row, 0), 20, 38, 1, ink);
}

// The conversation's frame lies over the character's background: a rim round the screen, open inside, with its
// name in the bottom rim where no portrait or window reaches.
void PaintTalkFrame(Canvas& canvas, const PictureRow& row) {
    constexpr int kRim = 12;
    PaintOpenFrame(canvas, row, row.width, row.height, true, kRim);
    canvas.outline(kRim - 2, kRim - 2, row.width - 2 * (kRim - 2), row.height - 2 * (kRim - 2), kOutline, 2);
    const std::string tag = Tag(row, 0) + " TALK FRAME";
    Text(canvas, tag, row.width - kRim - TextWidth(tag, 1), row.height - 9, 1, InkOn(PictureCellColour(row, 0)));
}

// The talk window: a balloon whose middle the page text covers (12 pixels in from the sides, 5 from the top,
// 15 from the bottom), so it carries no words; its tail points down to the left speaker, and to the right one
// when the window is drawn mirrored.
void PaintTalkWindow(Canvas& canvas, const PictureRow& row) {
    const uint32_t colour = PictureCellColour(row, 0);
    const int bottom = row.height - 10;
    canvas.fill(0, 0, row.width, bottom, kOutline);
    canvas.fill(2, 2, row.width - 4, bottom - 4, Darker(colour));
    canvas.fill(6, 6, row.width - 12, bottom - 12, colour);
    for (int y = bottom - 2; y < row.height; ++y) {
        const int half = (row.height - y) * 10 / 12;
        canvas.fill(56 - half - 1, y, 2 * half + 2, 1, kOutline);
        if (half > 1) canvas.fill(56 - half + 1, y, 2 * half - 2, 1, colour);
    }
}

// The prologue's thrown item: a small round parcel.
void PaintThrownItem(Canvas& canvas, const PictureRow& row) {
    const uint32_t colour = PictureCellColour(row, 0);
    const int w = row.width;
    Disc(canvas, w, w, w - 1, kOutline);
    Disc(canvas, w, w, w - 4, colour);
    canvas.fill(w / 2 - 1, 3, 2, w - 6, kOutline);  // the string round it
    canvas.fill(3, w / 2 - 1, w - 6, 2, kOutline);
}

// A twelve-pointed burst filling the box, outlined.
void Burst(Canvas& canvas, int x0, int y0, int w, int h, uint32_t colour) {
    const double radius = std::min(w, h) / 2.0 - 4;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double dx = x + 0.5 - w / 2.0, dy = y + 0.5 - h / 2.0;
            const double reach = radius * (0.8 + 0.2 * std::cos(12 * std::atan2(dy, dx)));
            const double d = std::sqrt(dx * dx + dy * dy);
            if (d <= reach) canvas.set(x0 + x, y0 + y, d >= reach - 3 ? kOutline : colour);
        }
    }
}

// The versus flash: the talk scene draws both 256 x 256 halves over each other, mirrored on the left and plain
// on the right, so each half is a burst with the word in the same place, as is and mirrored. The portraits are
// drawn over the flash with their heads from its row 100 on: the words stay above.
void PaintFlash(Canvas& canvas, const PictureRow& row) {
    for (int c = 0; c < row.columns; ++c) {
        const uint32_t colour = PictureCellColour(row, c);
        const int x0 = c * row.cellWidth;
        Burst(canvas, x0, 0, row.cellWidth, row.cellHeight, colour);
        TextBothWays(canvas, "FIRE", x0 + row.cellWidth / 2, 38, 4, InkOn(colour));
    }
}

// The prologue's light, drawn whole at (150, 170) between the figures for a moment.
void PaintLight(Canvas& canvas, const PictureRow& row) {
    const uint32_t colour = PictureCellColour(row, 0);
    Burst(canvas, 0, 0, row.width, row.height, colour);
    TextCentred(canvas, "LIGHT", row.width / 2, row.height / 2 - 14, 4, InkOn(colour));
    TextCentred(canvas, Tag(row, 0), row.width / 2, row.height / 2 + 18, 1, InkOn(colour));
}

// ---- The extra scene's chimes ----

// The chime game's bell; the scene turns it about while it rings, so its words stand both ways.
void PaintChime(Canvas& canvas, const PictureRow& row) {
    const uint32_t colour = PictureCellColour(row, 0);
    const int cx = row.width / 2;
    for (int grow = 2; grow >= 0; grow -= 2) {
        const uint32_t rgb = grow ? kOutline : colour;
        Disc(canvas, 2 * cx, 2 * 18, 2 * (14 + grow), rgb);
        for (int y = 18 - grow; y < 66 + grow; ++y) {
            const int half = 14 + (y - 8) * 12 / 58 + grow;
            canvas.fill(cx - half, y, 2 * half, 1, rgb);
        }
        canvas.fill(2 - grow, 64 - grow, row.width - 4 + 2 * grow, 6 + 2 * grow, rgb);
    }
    Disc(canvas, 2 * cx, 2 * 74, 10, kOutline);  // the clapper
    const uint32_t ink = InkOn(colour);
    TextBothWays(canvas, "CHIME", cx, 24, 1, ink);
    TextBothWays(canvas, Tag(row, 0), cx, 42, 1, ink);
}

// ---- Menus ----

void PaintTitle(Canvas& canvas, const PictureRow& row) {
    const uint32_t colour = PictureCellColour(row, 0);
    canvas.fill(0, 0, row.width, row.height, colour);
    const uint32_t ink = InkOn(colour);
    TextCentred(canvas, "KAVORIN", 320, 40, 8, ink);
    TextCentred(canvas, "TWO-PLAYER FALLING-BLOCK VERSUS", 320, 110, 2, ink);
    // A small pile of the seven pieces, lower left (the menu slides in on the right).
    const int block = 24, left = 100, floor = 456;
    const int pile[][3] = {{0, 0, 0}, {1, 4, 0}, {2, 1, 1}, {5, 3, 1}, {4, 0, 2}, {3, 3, 2}, {6, 1, 3}};
    for (const auto& p : pile) {
        const uint32_t kindColour = PictureCellColour(*FindPictureRowForEntry(124 + p[0]), 0);
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                if (pieceCell(p[0], 0, r, c) == kCellEmpty) continue;
                Bevel(canvas, left + (p[1] + c) * block, floor - (p[2] * 2 + 3 - r) * block, block, block,
                      kindColour, 3);
            }
        }
    }
    Text(canvas, Tag(row, 0), 8, 466, 1, ink);
}

void PaintMenuItems(Canvas& canvas, const PictureRow& row) {
    for (int r = 0; r < row.rows; ++r) {
        const uint32_t colour = PictureCellColour(row, r);
        const int y = r * row.cellHeight;
        canvas.fill(4, y + 4, row.width - 8, row.cellHeight - 8, colour);
        canvas.outline(4, y + 4, row.width - 8, row.cellHeight - 8, kOutline, 2);
        const uint32_t ink = InkOn(colour);
        Text(canvas, kTitleItems[r], 16, y + 12, 3, ink);
        Text(canvas, Tag(row, r), 16, y + 37, 1, ink);
    }
}

// The turning cursor of the title and the options: a four-pointed star about the middle.
void PaintStarCursor(Canvas& canvas, const PictureRow& row) {
    const uint32_t colour = PictureCellColour(row, 0);
    const int n = row.width;
    for (int grow = 2; grow >= 0; grow -= 2) {
        const uint32_t rgb = grow ? kOutline : colour;
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) {
                const int dx = std::abs(2 * x + 1 - n), dy = std::abs(2 * y + 1 - n);
                // Two thin diamonds crossed, and a round middle.
                const bool arm = dx * 6 + dy <= (n - 4 + 2 * grow) || dy * 6 + dx <= (n - 4 + 2 * grow);
                if (arm || dx * dx + dy * dy <= (22 + 2 * grow) * (22 + 2 * grow)) canvas.set(x, y, rgb);
            }
        }
    }
}

void PaintPortraits(Canvas& canvas, const PictureRow& row) {
    for (int c = 0; c < row.columns; ++c) {
        const uint32_t colour = PictureCellColour(row, c);
        const Box b = CellBox(row, c, 0);
        canvas.fill(b.x, b.y, b.w, b.h, colour);
        canvas.outline(b.x, b.y, b.w, b.h, kOutline);
        const int cx = c * row.cellWidth + row.cellWidth / 2;
        const uint32_t shade = Mix(colour, 0x000000, 80);
        // Head and shoulders in a deeper shade, above the flat band at the bottom.
        Disc(canvas, 2 * cx, 2 * 112, 2 * 38, shade);
        for (int y = 160; y < 282; ++y) {
            const int half = std::min(78, 40 + (y - 160));
            canvas.fill(cx - half, y, 2 * half, 1, shade);
        }
        const uint32_t ink = InkOn(colour);
        TextCentred(canvas, kCharacterNames[c], cx, 18, 3, ink);
        Text(canvas, Tag(row, c), b.x + 6, 312, 1, ink);
    }
}

void PaintNameRows(Canvas& canvas, const PictureRow& row) {
    for (int r = 0; r < row.rows; ++r) {
        const uint32_t colour = PictureCellColour(row, r);
        const Box b = CellBox(row, 0, r);
        canvas.fill(b.x, b.y, b.w, b.h, colour);
        canvas.outline(b.x, b.y, b.w, b.h, kOutline);
        const uint32_t ink = InkOn(colour);
        Text(canvas, kCharacterNames[r], b.x + 8, b.y + 10, 3, ink);
        const std::string tag = Tag(row, r);
        Text(canvas, tag, b.x + b.w - 4 - TextWidth(tag, 1), b.y + 3, 1, ink);
    }
}

// The "choose here" mark at the top of a portrait that is still being chosen: a badge and a pointer.
void PaintSelectMark(Canvas& canvas, const PictureRow& row) {
    const uint32_t colour = PictureCellColour(row, 0);
    canvas.fill(2, 2, 60, 18, colour);
    canvas.outline(2, 2, 60, 18, kOutline);
    Text(canvas, "SELECT", 6, 4, 1, InkOn(colour));
    for (int i = 0; i < 10; ++i) canvas.fill(22 + i, 20 + i, 20 - 2 * i, 1, colour);
}

void PaintOptionBackground(Canvas& canvas, const PictureRow& row) {
    const uint32_t colour = PictureCellColour(row, 0);
    canvas.fill(0, 0, row.width, row.height, colour);
    const uint32_t ink = InkOn(colour);
    // Each row's name beside the cursor, level with the row's choices.
    const char* const names[] = {"CPU LEVEL", "DISPLAY", "SPECIAL PIECES", "SKILL CUT-IN", "VOLUME", "BACK"};
    for (int r = 0; r < 6; ++r) {
        const int y = 110 + 50 * r + (r == 4 ? 5 : 0) + (r == 5 ? 11 : 0);
        Text(canvas, names[r], r == 5 ? 110 : 80, y - 7, 2, ink);
    }
    Text(canvas, "UP/DOWN: ROW   LEFT/RIGHT: CHANGE", 80, 420, 1, ink);
    Text(canvas, Tag(row, 0), 8, 466, 1, ink);
}

void PaintOptionLabel(Canvas& canvas, const PictureRow& row) {
    const char* word = "";
    switch (row.entry) {
        case 423: word = "1"; break;
        case 424: word = "2"; break;
        case 425: word = "3"; break;
        case 426: word = "FULL"; break;
        case 427: word = "WINDOW"; break;
        case 428: word = "RANDOM"; break;
        case 429: word = "EVERY 5TH"; break;
        case 430: word = "ON"; break;
        case 431: word = "OFF"; break;
        default: break;
    }
    const uint32_t colour = PictureCellColour(row, 0);
    canvas.fill(1, 1, row.width - 2, row.height - 2, colour);
    canvas.outline(1, 1, row.width - 2, row.height - 2, kOutline);
    Text(canvas, word, 5, 5, FitScale(word, row.width - 10, 2), InkOn(colour));
}

// The choice screen's two banners are drawn centred at one height and sway past each other, never more than 40
// pixels apart: the first keeps to the top half and the second to the bottom half, so they read one above the other.
void PaintChoiceBanner(Canvas& canvas, const PictureRow& row, const char* word, bool top) {
    const uint32_t colour = PictureCellColour(row, 0);
    const int h = row.height / 2 - 4, y = top ? 2 : row.height / 2 + 2;
    canvas.fill(8, y, row.width - 16, h, colour);
    canvas.outline(8, y, row.width - 16, h, kOutline);
    TextCentred(canvas, word, row.width / 2 - 6, y + (h - 14) / 2, 2, InkOn(colour));
}

// ---- The extra scene ----

// The menu windows, drawn whole at (170, 116): the scene's highlight box runs over x 24-276 of the window and
// over y 33 + 26n to 55 + 26n for entry n.
void PaintExtraWindow(Canvas& canvas, const PictureRow& row, const char* heading, const char* const* items,
                      int count) {
    const uint32_t colour = PictureCellColour(row, 0);
    canvas.fill(0, 0, row.width, row.height, colour);
    canvas.outline(0, 0, row.width, row.height, kOutline, 3);
    const uint32_t ink = InkOn(colour);
    Text(canvas, heading, 10, 10, 2, ink);
    for (int n = 0; n < count; ++n) {
        const int y = 33 + 26 * n;
        canvas.outline(24, y, 252, 23, Mix(colour, 0x000000, 60));
        Text(canvas, items[n], 34, y + 5, 2, ink);
    }
    const std::string tag = Tag(row, 0);
    Text(canvas, tag, row.width - 8 - TextWidth(tag, 1), row.height - 12, 1, ink);
}

// The music room's list, drawn over the whole screen: the eleven tracks beside the room's cursor.
void PaintMusicList(Canvas& canvas, const PictureRow& row) {
    const uint32_t colour = PictureCellColour(row, 0);
    canvas.fill(172, 4, 300, 346, colour);
    canvas.outline(172, 4, 300, 346, kOutline, 2);
    const uint32_t ink = InkOn(colour);
    Text(canvas, "MUSIC ROOM", 182, 12, 2, ink);
    for (int i = 0; i < 11; ++i) Text(canvas, std::to_string(i + 1) + " " + kTracks[i], 182, 32 + 28 * i + 12, 2, ink);
    const std::string tag = Tag(row, 0);
    Text(canvas, tag, 466 - TextWidth(tag, 1), 340, 1, ink);
}

// The music room's cursor: a pointer at its top left.
void PaintPointer(Canvas& canvas, const PictureRow& row) {
    const uint32_t colour = PictureCellColour(row, 0);
    for (int x = 2; x < 22; ++x) {
        const int half = 12 - (x - 2) * 12 / 20;
        canvas.fill(x, 14 - half, 1, 2 * half, colour);
    }
}

}  // namespace

Canvas Paint(const PictureRow& row) {
    Canvas canvas(row.width, row.height);
    const int e = row.entry;
    if (row.flags & kPictureFieldHoles) {
        PaintStage(canvas, row);
        return canvas;
    }
    if (PictureIsFieldBackdrop(row)) {
        PaintBackdrop(canvas, row);
        return canvas;
    }
    switch (e) {
        case 38: PaintOpenFrame(canvas, row, row.width, row.height, true, 3); return canvas;
        case 39:
            PaintOpenFrame(canvas, row, row.width, row.height, true, 3);
            TextCentred(canvas, "NEXT", row.width / 2, 6, 1, kLightInk);
            return canvas;
        case 40: PaintOpenFrame(canvas, row, 88, 24, false, 3); return canvas;  // the window above the field
        case 41: PaintRoundMark(canvas, row); return canvas;
        case 42: PaintLamp(canvas, row); return canvas;
        case 47: PaintRoundMark(canvas, row); return canvas;
        case 408: PaintTitle(canvas, row); return canvas;
        case 409: PaintMenuItems(canvas, row); return canvas;
        case 410: PaintStarCursor(canvas, row); return canvas;
        case 414:
        case 415:
        case 416: PaintPortraits(canvas, row); return canvas;
        case 417: PaintNameRows(canvas, row); return canvas;
        case 418: PaintSelectMark(canvas, row); return canvas;
        case 419: PaintChoiceBanner(canvas, row, "CHOOSE", true); return canvas;
        case 420: PaintChoiceBanner(canvas, row, "YOUR FIGHTER", false); return canvas;
        case 421: PaintOptionBackground(canvas, row); return canvas;
        case 375: PaintExtraWindow(canvas, row, "EXTRA", kExtraItems, 8); return canvas;
        case 376: PaintExtraWindow(canvas, row, "LONG TEXTS", kExtraSubItems, 4); return canvas;
        case 405: PaintMusicList(canvas, row); return canvas;
        case 136: PaintTalkFrame(canvas, row); return canvas;
        case 137: PaintTalkWindow(canvas, row); return canvas;
        case 196: PaintThrownItem(canvas, row); return canvas;
        case 48: PaintFlash(canvas, row); return canvas;
        case 51: PaintLevelPlate(canvas, row); return canvas;
        case 407: PaintChime(canvas, row); return canvas;
        case 197: PaintLight(canvas, row); return canvas;
        case 422: {  // the options screen's sliding heading
            const uint32_t colour = PictureCellColour(row, 0);
            canvas.fill(0, 2, row.width, row.height - 4, colour);
            Text(canvas, "OPTIONS", 12, 9, 3, InkOn(colour));
            Text(canvas, Tag(row, 0), 150, 9, 1, InkOn(colour));
            return canvas;
        }
        case 432: canvas.fill(0, 0, row.width, row.height, PictureCellColour(row, 0)); return canvas;  // volume bar
        case 406: PaintPointer(canvas, row); return canvas;
        default: break;
    }
    if (e >= 110 && e <= 123) {
        PaintPreview(canvas, row);
        return canvas;
    }
    if (e >= 124 && e <= 135) {
        PaintChip(canvas, row);
        return canvas;
    }
    if (e >= 31 && e <= 36) {
        PaintTalkBackground(canvas, row);
        return canvas;
    }
    if (e >= 423 && e <= 431) {
        PaintOptionLabel(canvas, row);
        return canvas;
    }
    if (IsFigureRow(row)) {
        std::string name, pose;
        FigureWords(row, &name, &pose);
        for (int c = 0; c < row.columns; ++c) PaintFigure(canvas, row, c, c, name, pose);
        return canvas;
    }
    for (int r = 0; r < row.rows; ++r) {
        for (int c = 0; c < row.columns; ++c) {
            const int index = row.columns > 1 ? c : r;
            if (e == 43) {
                PaintSign(canvas, row, c, r, index, std::string(1, "READY"[index]), 6);
            } else if (e == 49 || e == 50) {
                PaintSign(canvas, row, c, r, index, e == 49 ? "BACK TO TITLE" : "BACK TO GAME", 2);
            } else if (e >= 44 && e <= 46) {
                PaintSign(canvas, row, c, r, index, e == 44 ? "START" : e == 45 ? "WINNER" : "LOSER", 4);
            } else if (e >= 53 && e <= 73) {
                const int character = (e - 53) / 3, level = (e - 53) % 3 + 1;
                const Box b = CellBox(row, c, r);
                canvas.fill(b.x, b.y, b.w, b.h, PictureCellColour(row, index));
                Text(canvas, "LV" + std::to_string(level) + " " + kSkillNames[character][level - 1], b.x + 4,
                     b.y + 2, 2, InkOn(PictureCellColour(row, index)));
            } else if (e >= 74 && e <= 94) {
                const int character = (e - 74) / 3, level = (e - 74) % 3 + 1;
                PaintSign(canvas, row, c, r, index,
                          std::string(kCharacterNames[character]) + " - LV" + std::to_string(level) + " " +
                              kSkillNames[character][level - 1],
                          4);
            } else {
                PaintPlainCell(canvas, row, c, r, index);
            }
        }
    }
    if (row.flags & kPictureChoiceHoles) {
        const uint32_t ink = InkOn(PictureCellColour(row, 0));
        TextCentred(canvas, "1P", 175, 74, 2, ink);
        TextCentred(canvas, "2P", 465, 74, 2, ink);
        // The panels (210 x 342 at x 70 and 360, y 90) show through the frame, as they do through the real one,
        // and on them the portraits (210 x 328) or the story's name list (174 x 300 at (80, 132)).
        canvas.fill(70, 90, 210, 342, 0, 0);
        canvas.fill(360, 90, 210, 342, 0, 0);
    }
    return canvas;
}

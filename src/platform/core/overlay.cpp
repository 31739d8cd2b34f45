// The overlay line and the player's panel: drawn into a copy of the page with palette entries of their
// own, so neither the page nor the display palette is touched. Their text is "sans-serif" (the desktop's
// fonts; a glyph file gives its own face for it).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/overlay.h"
#include "platform/text.h"

namespace {
constexpr int WIDTH = 640, HEIGHT = 480, LINE = 20, MAX_LINES = 6, MARGIN = 6;
constexpr PaletteEntry BAND_COLOUR = {150, 0, 0, 0}, TEXT_COLOUR = {255, 255, 255, 0};

struct OverlayRecord {
    std::string text;
    int band;                   // rows of the band: LINE per line and a little margin
    std::vector<uint8_t> mask;  // WIDTH x band, 1 = text; empty until drawn
};
OverlayRecord overlay;

// Draws `text` white on black at (MARGIN, y) of the scratch surface (cleared first when asked); the
// rightmost column inked, or -1.
int DrawLine(Surface* scratch, int scratchWidth, int y, const std::string& text, bool clear) {
    int pitch = 0;
    if (clear)
        if (uint8_t* pixels = LockSurface(scratch, &pitch)) {
            for (int row = 0; row < LINE + 4; ++row) std::memset(pixels + size_t(row) * pitch, 0, size_t(scratchWidth));
            UnlockSurface(scratch);
        }
    Font* font = CreateTextFont("sans-serif", 16, 700, 0);
    DrawContext* dc = GetSurfaceDC(scratch);
    SelectTextFont(dc, font);
    SetTransparentBackground(dc);
    SetTextColour(dc, 0xFFFFFF);
    PaintText(dc, MARGIN, y, text.c_str(), int(text.size()));
    ReleaseSurfaceDC(scratch, dc);
    DeleteTextFont(font);
    int right = -1;
    if (const uint8_t* pixels = LockSurface(scratch, &pitch)) {
        for (int row = 0; row < LINE + 4; ++row)
            for (int x = scratchWidth - 1; x > right; --x)
                if (pixels[size_t(row) * pitch + x]) right = x;
        UnlockSurface(scratch);
    }
    return right;
}

// The text broken into lines at spaces so that each fits the width (a word longer than a line is cut).
std::vector<std::string> WrapText(Surface* scratch, int scratchWidth) {
    std::vector<std::string> lines;
    std::string rest = overlay.text;
    while (!rest.empty() && int(lines.size()) < MAX_LINES) {
        size_t take = rest.size();
        while (take > 1 && DrawLine(scratch, scratchWidth, 2, rest.substr(0, take), true) >= WIDTH - MARGIN) {
            size_t space = rest.rfind(' ', take - 1);
            take = space != std::string::npos && space > 0 ? space : take - 1;
            while (take > 1 && (uint8_t(rest[take]) & 0xC0) == 0x80) --take;  // not inside a character
        }
        lines.push_back(rest.substr(0, take));
        rest.erase(0, take);
        while (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    }
    return lines;
}

// Draws the text once, white on black, on a scratch surface of the display device.
void DrawMask() {
    constexpr int SCRATCH_WIDTH = 2 * WIDTH;
    Surface* measure = CreateSurface(SCRATCH_WIDTH, LINE + 4);
    std::vector<std::string> lines;
    if (measure) lines = WrapText(measure, SCRATCH_WIDTH);
    if (measure) ReleaseSurface(measure);
    overlay.band = int(std::max<size_t>(1, lines.size())) * LINE + 2;
    overlay.mask.assign(size_t(WIDTH) * overlay.band, 0);
    Surface* scratch = CreateSurface(WIDTH, overlay.band);
    if (!scratch) return;
    for (size_t i = 0; i < lines.size(); ++i) DrawLine(scratch, 0, 3 + LINE * int(i), lines[i], false);
    int pitch = 0;
    if (const uint8_t* pixels = LockSurface(scratch, &pitch)) {
        for (int y = 0; y < overlay.band; ++y)
            for (int x = 0; x < WIDTH; ++x) overlay.mask[size_t(y) * WIDTH + x] = pixels[y * pitch + x] != 0;
        UnlockSurface(scratch);
    }
    ReleaseSurface(scratch);
}

int Distance(const PaletteEntry& a, const PaletteEntry& b) {
    int r = a.red - b.red, g = a.green - b.green, bl = a.blue - b.blue;
    return r * r + g * g + bl * bl;
}
}  // namespace

void ShowOverlayLine(const char* text) {
    std::string line = text ? text : "";
    if (line == overlay.text) return;
    overlay.text = line;
    overlay.mask.clear();
}

namespace {
// The line over the page (or over the panel already composed into outPage: page == outPage).
int ComposeLine(const uint8_t* page, int pitch, const PaletteEntry* palette, uint8_t* outPage,
                PaletteEntry* outPalette) {
    if (overlay.mask.empty()) DrawMask();
    const int BAND = overlay.band;
    for (int i = 0; i < 256; ++i) outPalette[i] = palette ? palette[i] : PaletteEntry{0, 0, 0, 0};
    if (page != outPage)
        for (int y = 0; y < HEIGHT; ++y) std::memcpy(outPage + size_t(y) * WIDTH, page + size_t(y) * pitch, WIDTH);
    // Two entries for the band: the least used below it; pixels below that use them take the nearest
    // colour among the others.
    long counts[256] = {};
    for (size_t i = size_t(BAND) * WIDTH; i < size_t(WIDTH) * HEIGHT; ++i) counts[outPage[i]]++;
    int chosen[2] = {-1, -1};
    for (int pick = 0; pick < 2; ++pick)
        for (int i = 255; i >= 0; --i)
            if (i != chosen[0] && (chosen[pick] < 0 || counts[i] < counts[chosen[pick]])) chosen[pick] = i;
    uint8_t remap[256];
    for (int i = 0; i < 256; ++i) remap[i] = uint8_t(i);
    for (int c : chosen) {
        if (!counts[c]) continue;
        int best = -1;
        for (int i = 0; i < 256; ++i)
            if (i != chosen[0] && i != chosen[1] &&
                (best < 0 || Distance(outPalette[i], outPalette[c]) < Distance(outPalette[best], outPalette[c])))
                best = i;
        remap[c] = uint8_t(best);
    }
    if (counts[chosen[0]] || counts[chosen[1]])
        for (size_t i = size_t(BAND) * WIDTH; i < size_t(WIDTH) * HEIGHT; ++i) outPage[i] = remap[outPage[i]];
    outPalette[chosen[0]] = BAND_COLOUR;
    outPalette[chosen[1]] = TEXT_COLOUR;
    for (size_t i = 0; i < size_t(WIDTH) * BAND; ++i) outPage[i] = uint8_t(overlay.mask[i] ? chosen[1] : chosen[0]);
    return 1;
}
}  // namespace

// The player's panel: the page around it dimmed (its palette halved), the panel drawn in four entries of
// the palette's own, the least used around it (pixels there that use them take the nearest other colour).
namespace {
constexpr int PANEL_LEFT = 32, PANEL_TOP = 24, PANEL_WIDTH = WIDTH - 2 * PANEL_LEFT, PANEL_HEIGHT = HEIGHT - 2 * PANEL_TOP;
constexpr int PANEL_MARGIN = 12, TITLE_TOP = 6, LINES_TOP = 34, PANEL_LINE = 20, FOOTER_TOP = PANEL_HEIGHT - 24;
enum PanelClass : uint8_t { OUTSIDE = 0, PANEL_BACK, PANEL_HIGHLIGHT, PANEL_TEXT, PANEL_ACCENT, PANEL_CLASSES };
constexpr PaletteEntry PANEL_COLOURS[PANEL_CLASSES] = {
    {0, 0, 0, 0}, {16, 20, 40, 0}, {52, 72, 130, 0}, {255, 255, 255, 0}, {250, 214, 120, 0}};

struct PanelRecord {
    bool shown = false;
    std::string title, footer;
    std::vector<std::string> lines;
    int highlighted = -1;
    std::vector<uint8_t> mask;  // PANEL_WIDTH x PANEL_HEIGHT classes; empty until drawn
};
PanelRecord panel;

// The next character of UTF-8 text from *at; a byte that starts no whole character is U+FFFD.
uint32_t NextCharacter(const std::string& text, size_t* at) {
    uint8_t lead = uint8_t(text[*at]);
    int extra = lead >= 0xF0 && lead < 0xF5 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 && lead < 0xE0 ? 1 : 0;
    if (lead < 0x80 || extra == 0 || *at + extra >= text.size()) {  // ASCII, or no whole character here
        ++*at;
        return lead < 0x80 ? lead : 0xFFFD;
    }
    uint32_t code = lead & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
        uint8_t next = uint8_t(text[*at + i]);
        if ((next & 0xC0) != 0x80) {
            ++*at;
            return 0xFFFD;
        }
        code = code << 6 | (next & 0x3F);
    }
    *at += size_t(extra) + 1;
    return code;
}

// The text from the left of the surface, character by character, until it passes the right edge.
void PaintUtf8(DrawContext* dc, const std::string& text, int width) {
    int x = 0;
    for (size_t at = 0; at < text.size() && x < width;) x += PaintCodePoint(dc, x, 0, NextCharacter(text, &at));
}

// Draws the text's ink into the mask as `ink` at (x, y) of the panel, cut at the panel's inner edge.
void InkText(Surface* scratch, const std::string& text, int x, int y, int weight, uint8_t ink) {
    if (text.empty()) return;
    int pitch = 0, width = SurfaceWidth(scratch), height = SurfaceHeight(scratch);
    if (uint8_t* pixels = LockSurface(scratch, &pitch)) {
        for (int row = 0; row < height; ++row) std::memset(pixels + size_t(row) * pitch, 0, size_t(width));
        UnlockSurface(scratch);
    }
    Font* font = CreateTextFont("sans-serif", 16, weight, 0);
    DrawContext* dc = GetSurfaceDC(scratch);
    SelectTextFont(dc, font);
    SetTransparentBackground(dc);
    SetTextColour(dc, 0xFFFFFF);
    PaintUtf8(dc, text, width);
    ReleaseSurfaceDC(scratch, dc);
    DeleteTextFont(font);
    if (const uint8_t* pixels = LockSurface(scratch, &pitch)) {
        for (int row = 0; row < height && y + row < PANEL_HEIGHT; ++row)
            for (int col = 0; col < width && x + col < PANEL_WIDTH - PANEL_MARGIN / 2; ++col)
                if (pixels[size_t(row) * pitch + col]) panel.mask[size_t(y + row) * PANEL_WIDTH + x + col] = ink;
        UnlockSurface(scratch);
    }
}

// A line as the rows it takes at the panel's width: broken at the last space that fits (or, in a word
// wider than a row, at the last character that fits). A face wider than the desktop's (a glyph file's)
// thus wraps a story's line rather than losing its end.
void WrapLine(Font* font, const std::string& line, int width, std::vector<std::string>* rows) {
    size_t start = 0;
    while (start < line.size()) {
        int x = 0;
        size_t at = start, fits = start, space = std::string::npos;
        while (at < line.size()) {
            size_t next = at;
            uint32_t code = NextCharacter(line, &next);
            x += font ? TextAdvanceOf(font, code) : 8;
            if (x > width && at > start) break;
            if (code == ' ') space = at;
            at = fits = next;
        }
        size_t end = at >= line.size() ? line.size() : space != std::string::npos && space > start ? space : fits;
        rows->push_back(line.substr(start, end - start));
        start = end;
        while (start < line.size() && line[start] == ' ') ++start;
    }
    if (line.empty()) rows->push_back("");
}

void DrawPanel() {
    panel.mask.assign(size_t(PANEL_WIDTH) * PANEL_HEIGHT, PANEL_BACK);
    for (int x = 0; x < PANEL_WIDTH; ++x) {  // a rule under the title and over the footer
        panel.mask[size_t(LINES_TOP - 5) * PANEL_WIDTH + x] = PANEL_ACCENT;
        panel.mask[size_t(FOOTER_TOP - 4) * PANEL_WIDTH + x] = PANEL_ACCENT;
    }
    // The rows of the lines; where wrapping pushes the highlighted line down out of view, the rows above
    // go first.
    std::vector<std::string> rows;
    int highlightFrom = -1, highlightTo = -1;
    Font* font = CreateTextFont("sans-serif", 16, 400, 0);  // the lines' face, as InkText draws them
    for (size_t i = 0; i < panel.lines.size(); ++i) {
        if (rows.size() >= size_t(2 * OVERLAY_PANEL_LINES) && int(i) > panel.highlighted) break;  // out of view
        if (int(i) == panel.highlighted) highlightFrom = int(rows.size());
        WrapLine(font, panel.lines[i], PANEL_WIDTH - 2 * PANEL_MARGIN, &rows);
        if (int(i) == panel.highlighted) highlightTo = int(rows.size());
    }
    if (font) DeleteTextFont(font);
    int first = highlightTo > OVERLAY_PANEL_LINES ? std::min(highlightFrom, highlightTo - OVERLAY_PANEL_LINES) : 0;
    int shown = std::min<int>(int(rows.size()) - first, OVERLAY_PANEL_LINES);
    for (int r = std::max(highlightFrom, first); r >= 0 && r < highlightTo && r - first < shown; ++r)
        for (int row = 0; row < PANEL_LINE; ++row)
            std::memset(panel.mask.data() + size_t(LINES_TOP + (r - first) * PANEL_LINE + row) * PANEL_WIDTH + 4,
                        PANEL_HIGHLIGHT, size_t(PANEL_WIDTH - 8));
    Surface* scratch = CreateSurface(PANEL_WIDTH, PANEL_LINE + 8);
    if (!scratch) return;
    InkText(scratch, panel.title, PANEL_MARGIN, TITLE_TOP, 700, PANEL_ACCENT);
    for (int i = 0; i < shown; ++i)
        InkText(scratch, rows[size_t(first + i)], PANEL_MARGIN, LINES_TOP + i * PANEL_LINE, 400, PANEL_TEXT);
    InkText(scratch, panel.footer, PANEL_MARGIN, FOOTER_TOP, 400, PANEL_ACCENT);
    ReleaseSurface(scratch);
}

int ComposePanel(const uint8_t* page, int pitch, const PaletteEntry* palette, uint8_t* outPage,
                 PaletteEntry* outPalette) {
    if (panel.mask.empty()) DrawPanel();
    for (int y = 0; y < HEIGHT; ++y) std::memcpy(outPage + size_t(y) * WIDTH, page + size_t(y) * pitch, WIDTH);
    auto inside = [](size_t i) {
        int x = int(i % WIDTH), y = int(i / WIDTH);
        return x >= PANEL_LEFT && x < PANEL_LEFT + PANEL_WIDTH && y >= PANEL_TOP && y < PANEL_TOP + PANEL_HEIGHT;
    };
    // The entries the panel takes: the least used around it.
    long counts[256] = {};
    for (size_t i = 0; i < size_t(WIDTH) * HEIGHT; ++i)
        if (!inside(i)) counts[outPage[i]]++;
    int chosen[PANEL_CLASSES] = {-1, -1, -1, -1, -1};
    bool taken[256] = {};
    for (int pick = PANEL_BACK; pick < PANEL_CLASSES; ++pick) {
        for (int i = 255; i >= 0; --i)
            if (!taken[i] && (chosen[pick] < 0 || counts[i] < counts[chosen[pick]])) chosen[pick] = i;
        taken[chosen[pick]] = true;
    }
    PaletteEntry original[256];
    for (int i = 0; i < 256; ++i) original[i] = palette ? palette[i] : PaletteEntry{0, 0, 0, 0};
    uint8_t remap[256];
    for (int i = 0; i < 256; ++i) remap[i] = uint8_t(i);
    for (int pick = PANEL_BACK; pick < PANEL_CLASSES; ++pick) {
        int c = chosen[pick], best = -1;
        if (!counts[c]) continue;
        for (int i = 0; i < 256; ++i)
            if (!taken[i] && (best < 0 || Distance(original[i], original[c]) < Distance(original[best], original[c])))
                best = i;
        remap[c] = uint8_t(best);
    }
    for (int i = 0; i < 256; ++i)
        outPalette[i] = {uint8_t(original[i].red / 2), uint8_t(original[i].green / 2), uint8_t(original[i].blue / 2), 0};
    for (int pick = PANEL_BACK; pick < PANEL_CLASSES; ++pick) outPalette[chosen[pick]] = PANEL_COLOURS[pick];
    for (int y = 0; y < HEIGHT; ++y)
        for (int x = 0; x < WIDTH; ++x) {
            uint8_t& pixel = outPage[size_t(y) * WIDTH + x];
            bool in = x >= PANEL_LEFT && x < PANEL_LEFT + PANEL_WIDTH && y >= PANEL_TOP && y < PANEL_TOP + PANEL_HEIGHT;
            pixel = in ? uint8_t(chosen[panel.mask[size_t(y - PANEL_TOP) * PANEL_WIDTH + x - PANEL_LEFT]]) : remap[pixel];
        }
    return 1;
}
}  // namespace

void ShowOverlayPanel(const OverlayPanel* shown) {
    if (!shown) {
        if (panel.shown) panel = PanelRecord{};
        return;
    }
    PanelRecord next;
    next.shown = true;
    next.title = shown->title ? shown->title : "";
    next.footer = shown->footer ? shown->footer : "";
    int count = std::clamp(shown->lineCount, 0, OVERLAY_PANEL_LINES);
    for (int i = 0; shown->lines && i < count; ++i) next.lines.push_back(shown->lines[i] ? shown->lines[i] : "");
    next.highlighted = shown->highlighted;
    if (panel.shown && next.title == panel.title && next.footer == panel.footer && next.lines == panel.lines &&
        next.highlighted == panel.highlighted)
        return;  // the same panel as the frame before: the mask drawn stays
    panel = std::move(next);
}

int ComposeOverlay(const uint8_t* page, int pitch, const PaletteEntry* palette, uint8_t* outPage,
                   PaletteEntry* outPalette) {
    if (!page) return 0;
    int composed = 0;
    if (panel.shown) {
        composed = ComposePanel(page, pitch, palette, outPage, outPalette);
        page = outPage, pitch = WIDTH, palette = outPalette;
    }
    if (!overlay.text.empty()) composed = ComposeLine(page, pitch, palette, outPage, outPalette);
    return composed;
}

// Drawing a picture program with cairo onto an index image.
//
// The drawing surface is RGB24; the palette index of a shape is written as its red channel (green and
// blue stay 0), and anti-aliasing is off, so every pixel ends up holding exactly one index.
#include <cairo.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "art.h"

namespace {

constexpr int kMaxUseDepth = 16;
constexpr long kMaxPlacements = 20000;
// "pixels": at most one row of the widest picture a line, and at most 16 times the picture's pixels in
// all (a def placed many times counts each time).
constexpr int kMaxPixelsLine = 4096;
constexpr long kPixelDataLayers = 16;

struct CairoDeleter {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using CairoPtr = std::unique_ptr<cairo_t, CairoDeleter>;
using SurfacePtr = std::unique_ptr<cairo_surface_t, CairoDeleter>;

struct Painter {
    const Program& program;
    cairo_t* cr;
    std::string fontFamily = "VL PGothic";
    bool fontBold = false;
    int depth = 0;
    long placements = 0;
    long pixelData = 0;   // pixels painted by "pixels" lines
    long pixelBudget = 0;  // and how many they may paint
    double cost = 0;       // the drawing so far (MAX_PICTURE_DRAWING_COST)
    std::map<std::string, int> aliases;  // "colour NAME COLOUR": a name that stands for a colour in defs
};

[[noreturn]] void Fail(const Command& c, const std::string& what) { throw ArtError(c.where + ": " + what); }

thread_local const std::atomic<bool>* stopFlag = nullptr;

// Counts `pixels` painted by the command `c` (and what the command costs itself) against the picture's
// budget.
void Spend(Painter& p, const Command& c, double pixels) {
    p.cost += pixels;
    if (!(p.cost <= MAX_PICTURE_DRAWING_COST))  // also NaN
        Fail(c, "too much drawing: more than " + std::to_string(long(MAX_PICTURE_DRAWING_COST)) +
                    " pixels painted in all (a command counts the pixels its shape covers, and " +
                    std::to_string(long(MAX_PICTURE_COMMAND_COST)) + " more; a def each time it is placed)");
}

// The pixels of the picture inside the box (x0, y0)-(x1, y1) of the current user space.
double DeviceArea(cairo_t* cr, double x0, double y0, double x1, double y1) {
    double xs[4] = {x0, x1, x0, x1}, ys[4] = {y0, y0, y1, y1};
    for (int k = 0; k < 4; ++k) cairo_user_to_device(cr, &xs[k], &ys[k]);
    cairo_surface_t* target = cairo_get_target(cr);
    double w = cairo_image_surface_get_width(target), h = cairo_image_surface_get_height(target);
    double bx0 = std::clamp(*std::min_element(xs, xs + 4), 0.0, w), bx1 = std::clamp(*std::max_element(xs, xs + 4), 0.0, w);
    double by0 = std::clamp(*std::min_element(ys, ys + 4), 0.0, h), by1 = std::clamp(*std::max_element(ys, ys + 4), 0.0, h);
    double area = (bx1 - bx0) * (by1 - by0);
    return area >= 0 ? area : w * h;  // NaN: all of it
}

double FillArea(cairo_t* cr) {
    double x0, y0, x1, y1;
    cairo_fill_extents(cr, &x0, &y0, &x1, &y1);
    return DeviceArea(cr, x0, y0, x1, y1);
}

double StrokeArea(cairo_t* cr) {
    double x0, y0, x1, y1;
    cairo_stroke_extents(cr, &x0, &y0, &x1, &y1);
    return DeviceArea(cr, x0, y0, x1, y1);
}

double Num(const Command& c, size_t i) {
    if (i >= c.words.size()) Fail(c, "'" + c.words[0] + "' needs more numbers");
    const std::string& w = c.words[i];
    char* end = nullptr;
    double v = std::strtod(w.c_str(), &end);
    if (w.empty() || *end != '\0' || !std::isfinite(v) || std::fabs(v) > 1e6)
        Fail(c, "expected a number, found '" + w + "'");
    return v;
}

int Colour(const Painter& p, const Command& c, size_t i) {
    if (i >= c.words.size()) Fail(c, "'" + c.words[0] + "' needs a colour");
    const std::string& w = c.words[i];
    auto alias = p.aliases.find(w);
    if (alias != p.aliases.end()) return alias->second;
    auto it = p.program.palette->names.find(w);
    if (it != p.program.palette->names.end()) return it->second;
    char* end = nullptr;
    long v = std::strtol(w.c_str(), &end, 10);
    if (!w.empty() && *end == '\0' && v >= 0 && v <= 255) return int(v);
    Fail(c, "unknown colour '" + w + "'");
}

void SetIndex(cairo_t* cr, int index) { cairo_set_source_rgb(cr, index / 255.0, 0, 0); }

// A round pen of that width (never quite zero) for the strokes that follow.
void SetPen(cairo_t* cr, double width) {
    cairo_set_line_width(cr, std::max(width, 0.01));
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
}

// SVG-style path data as read: numbers apart by spaces or commas, and command letters.
struct PathData {
    const Command& c;
    std::string d;
    size_t pos = 0;

    void Skip() {
        while (pos < d.size() && (d[pos] == ' ' || d[pos] == ',')) ++pos;
    }
    double Number() {
        Skip();
        const char* start = d.c_str() + pos;
        char* end = nullptr;
        double v = std::strtod(start, &end);
        if (end == start || !std::isfinite(v) || std::fabs(v) > 1e6) Fail(c, "bad number in path data");
        pos += size_t(end - start);
        return v;
    }
    bool HasNumber() {
        Skip();
        return pos < d.size() && (std::isdigit((unsigned char)d[pos]) || d[pos] == '-' || d[pos] == '+' || d[pos] == '.');
    }
};

// Where a path stands: the current point, the start of the subpath, the last control point and the
// command before.
struct PathPen {
    double cx = 0, cy = 0, sx = 0, sy = 0, lcx = 0, lcy = 0;
    char lastCmd = 0;
    bool any = false;  // a segment was drawn
};

// The curves C S Q T (upper case; `ox`, `oy` the origin of their numbers). A quadratic curve is drawn as
// the cubic one it equals.
void CurveSegment(cairo_t* cr, PathData& in, PathPen& pen, char up, double ox, double oy) {
    if (up == 'C' || up == 'S') {
        double x1 = pen.cx, y1 = pen.cy;
        if (up == 'C') {
            x1 = in.Number() + ox;
            y1 = in.Number() + oy;
        } else if (pen.lastCmd == 'C' || pen.lastCmd == 'S') {
            x1 = 2 * pen.cx - pen.lcx;
            y1 = 2 * pen.cy - pen.lcy;
        }
        double x2 = in.Number() + ox, y2 = in.Number() + oy, x = in.Number() + ox, y = in.Number() + oy;
        cairo_curve_to(cr, x1, y1, x2, y2, x, y);
        pen.lcx = x2;
        pen.lcy = y2;
        pen.cx = x;
        pen.cy = y;
        return;
    }
    double qx = pen.cx, qy = pen.cy;
    if (up == 'Q') {
        qx = in.Number() + ox;
        qy = in.Number() + oy;
    } else if (pen.lastCmd == 'Q' || pen.lastCmd == 'T') {
        qx = 2 * pen.cx - pen.lcx;
        qy = 2 * pen.cy - pen.lcy;
    }
    double cx = pen.cx, cy = pen.cy;
    double x = in.Number() + ox, y = in.Number() + oy;
    cairo_curve_to(cr, cx + 2.0 / 3 * (qx - cx), cy + 2.0 / 3 * (qy - cy), x + 2.0 / 3 * (qx - x),
                   y + 2.0 / 3 * (qy - y), x, y);
    pen.lcx = qx;
    pen.lcy = qy;
    pen.cx = x;
    pen.cy = y;
}

// One segment of the command letter `cmd` (lower case: its numbers relative to the current point).
void PathSegment(cairo_t* cr, PathData& in, PathPen& pen, char cmd) {
    bool rel = std::islower((unsigned char)cmd);
    char up = char(std::toupper((unsigned char)cmd));
    double ox = rel ? pen.cx : 0, oy = rel ? pen.cy : 0;
    switch (up) {
        case 'M': {
            double x = in.Number() + ox, y = in.Number() + oy;
            cairo_move_to(cr, x, y);
            pen.cx = pen.sx = x;
            pen.cy = pen.sy = y;
            break;
        }
        case 'L': {
            double x = in.Number() + ox, y = in.Number() + oy;
            if (!pen.any) cairo_move_to(cr, x, y);
            else cairo_line_to(cr, x, y);
            pen.cx = x;
            pen.cy = y;
            break;
        }
        case 'H':
            pen.cx = in.Number() + ox;
            cairo_line_to(cr, pen.cx, pen.cy);
            break;
        case 'V':
            pen.cy = in.Number() + oy;
            cairo_line_to(cr, pen.cx, pen.cy);
            break;
        case 'C':
        case 'S':
        case 'Q':
        case 'T':
            CurveSegment(cr, in, pen, up, ox, oy);
            break;
        case 'Z':
            cairo_close_path(cr);
            pen.cx = pen.sx;
            pen.cy = pen.sy;
            break;
        default:
            Fail(in.c, std::string("unknown path command '") + cmd + "'");
    }
    pen.any = true;
    pen.lastCmd = up;
}

// SVG-style path data: M L H V C S Q T Z (upper case absolute, lower case relative).
void BuildSvgPath(cairo_t* cr, const Command& c, size_t from) {
    PathData in{c, ""};
    for (size_t i = from; i < c.words.size(); ++i) in.d += c.words[i] + " ";
    PathPen pen;
    char cmd = 0;
    for (;;) {
        in.Skip();
        if (in.pos >= in.d.size()) break;
        if (std::isalpha((unsigned char)in.d[in.pos])) {
            cmd = in.d[in.pos++];
        } else if (cmd == 0) {
            Fail(c, "path data must start with a command letter");
        }
        PathSegment(cr, in, pen, cmd);
        if (pen.lastCmd == 'M') cmd = std::islower((unsigned char)cmd) ? 'l' : 'L';  // further pairs are lines
        if (pen.lastCmd == 'Z') {
            cmd = 0;
            if (in.HasNumber()) Fail(c, "numbers after Z");
        } else if (!in.HasNumber()) {
            in.Skip();
            if (in.pos < in.d.size() && !std::isalpha((unsigned char)in.d[in.pos])) Fail(c, "bad path data");
        }
    }
}

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    r = std::min({r, w / 2, h / 2});
    if (r <= 0) {
        cairo_rectangle(cr, x, y, w, h);
        return;
    }
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

// Builds the shape named by word `i` and its arguments as the current path.
void BuildShape(Painter& p, const Command& c, size_t i) {
    cairo_t* cr = p.cr;
    cairo_new_path(cr);
    if (i >= c.words.size()) Fail(c, "missing shape");
    const std::string& s = c.words[i];
    if (s == "rect") {
        double x = Num(c, i + 1), y = Num(c, i + 2), w = Num(c, i + 3), h = Num(c, i + 4);
        double r = c.words.size() > i + 5 ? Num(c, i + 5) : 0;
        RoundedRect(cr, x, y, w, h, r);
    } else if (s == "circle") {
        double r = Num(c, i + 3);
        cairo_new_sub_path(cr);
        cairo_arc(cr, Num(c, i + 1), Num(c, i + 2), std::fabs(r), 0, 2 * M_PI);
        cairo_close_path(cr);
    } else if (s == "ellipse") {
        double x = Num(c, i + 1), y = Num(c, i + 2), rx = std::fabs(Num(c, i + 3)), ry = std::fabs(Num(c, i + 4));
        double angle = c.words.size() > i + 5 ? Num(c, i + 5) : 0;
        if (rx <= 0 || ry <= 0) return;
        cairo_save(cr);
        cairo_translate(cr, x, y);
        cairo_rotate(cr, angle * M_PI / 180);
        cairo_scale(cr, rx, ry);
        cairo_new_sub_path(cr);
        cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
        cairo_close_path(cr);
        cairo_restore(cr);
    } else if (s == "poly" || s == "line") {
        size_t n = c.words.size() - (i + 1);
        if (n < 4 || n % 2) Fail(c, s + " needs pairs of x y");
        for (size_t k = i + 1; k + 1 < c.words.size(); k += 2) {
            if (k == i + 1) cairo_move_to(cr, Num(c, k), Num(c, k + 1));
            else cairo_line_to(cr, Num(c, k), Num(c, k + 1));
        }
        if (s == "poly") cairo_close_path(cr);
    } else if (s == "path") {
        BuildSvgPath(cr, c, i + 1);
    } else if (s == "text") {
        // text X Y SIZE ANCHOR(l|c|r) "STRING": (X, Y) is the baseline point of the anchor.
        double x = Num(c, i + 1), y = Num(c, i + 2), size = Num(c, i + 3);
        if (c.words.size() != i + 6) Fail(c, "usage: text X Y SIZE l|c|r \"STRING\"");
        const std::string& anchor = c.words[i + 4];
        const std::string& str = c.words[i + 5];
        std::string substitute = SubstitutedFontFamily(p.fontFamily, p.fontBold);
        if (!substitute.empty())
            Fail(c, "the font \"" + p.fontFamily + "\" is not installed (fontconfig would draw this text in \"" +
                        substitute + "\" instead)");
        cairo_select_font_face(cr, p.fontFamily.c_str(), CAIRO_FONT_SLANT_NORMAL,
                               p.fontBold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, std::clamp(size, 1.0, 1000.0));
        cairo_text_extents_t ext;
        cairo_text_extents(cr, str.c_str(), &ext);
        double left = x - ext.x_bearing;
        if (anchor == "c") left = x - ext.x_bearing - ext.width / 2;
        else if (anchor == "r") left = x - ext.x_bearing - ext.width;
        else if (anchor != "l") Fail(c, "text anchor must be l, c or r");
        cairo_move_to(cr, left, y);
        cairo_text_path(cr, str.c_str());
    } else {
        Fail(c, "unknown shape '" + s + "'");
    }
}

void Run(Painter& p, const std::vector<Command>& commands);

void Use(Painter& p, const Command& c, const std::string& name, double dx, double dy, double sx, double sy,
         double rot) {
    auto it = p.program.defs.find(name);
    if (it == p.program.defs.end()) Fail(c, "no def named '" + name + "'");
    if (p.depth >= kMaxUseDepth) Fail(c, "defs used too deeply (a def that uses itself?)");
    if (++p.placements > kMaxPlacements) Fail(c, "too many placements");
    Spend(p, c, MAX_PICTURE_COMMAND_COST);
    cairo_save(p.cr);
    cairo_translate(p.cr, dx, dy);
    cairo_rotate(p.cr, rot * M_PI / 180);
    cairo_scale(p.cr, sx == 0 ? 1e-6 : sx, sy == 0 ? 1e-6 : sy);
    ++p.depth;
    std::string font = p.fontFamily;
    bool bold = p.fontBold;
    std::map<std::string, int> aliases = p.aliases;
    Run(p, *it->second);
    p.fontFamily = font;
    p.fontBold = bold;
    p.aliases = std::move(aliases);
    --p.depth;
    cairo_restore(p.cr);
}

// A small fixed generator so scattered things land in the same places on every build.
struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}
    double Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return double(state >> 11) / double(1ull << 53);
    }
};

const int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// Device coordinates beyond this (after every scale and move) are refused: they are far off any picture,
// and the pixel loops count in int.
constexpr double kMaxDevice = 1e7;

// A dithered gradient through the colours `cols` over the device box (x0, y0)-(x1, y1): `at(x, y)` gives
// the position 0..1 of a device pixel.
template <class At>
void Gradient(Painter& p, const Command& c, double x0, double y0, double x1, double y1, const std::vector<int>& cols,
              At at) {
    for (double v : {x0, y0, x1, y1})
        if (!(std::fabs(v) <= kMaxDevice))  // also NaN
            Fail(c, "the gradient is out of range: with the scales and moves before it, it reaches " +
                        std::to_string(v) + " pixels (at most " + std::to_string(long(kMaxDevice)) + ")");
    cairo_surface_t* target = cairo_get_target(p.cr);
    int w = cairo_image_surface_get_width(target), h = cairo_image_surface_get_height(target);
    int ix0 = std::max(0, int(std::floor(x0))), iy0 = std::max(0, int(std::floor(y0)));
    int ix1 = std::min(w, int(std::ceil(x1))), iy1 = std::min(h, int(std::ceil(y1)));
    if (ix1 <= ix0 || iy1 <= iy0) return;  // off the picture
    Spend(p, c, double(ix1 - ix0) * (iy1 - iy0));
    // The layer covers the box only.
    SurfacePtr layer(cairo_image_surface_create(CAIRO_FORMAT_RGB24, ix1 - ix0, iy1 - iy0));
    if (cairo_surface_status(layer.get()) != CAIRO_STATUS_SUCCESS) throw ArtError("out of memory");
    cairo_surface_flush(layer.get());
    uint8_t* data = cairo_image_surface_get_data(layer.get());
    int stride = cairo_image_surface_get_stride(layer.get());
    int n = int(cols.size());
    for (int y = iy0; y < iy1; ++y) {
        if ((y - iy0) % 64 == 63) ArtStopPoint();
        uint32_t* row = reinterpret_cast<uint32_t*>(data + size_t(y - iy0) * stride) - ix0;
        for (int x = ix0; x < ix1; ++x) {
            double t = std::clamp(at(x + 0.5, y + 0.5), 0.0, 1.0) * (n - 1);
            int seg = std::min(int(t), n - 2);
            double frac = t - seg;
            int idx = (frac * 16 > kBayer[y & 3][x & 3] + 0.5) ? cols[seg + 1] : cols[seg];
            row[x] = uint32_t(idx) << 16;
        }
    }
    cairo_surface_mark_dirty(layer.get());
    cairo_save(p.cr);
    cairo_identity_matrix(p.cr);
    cairo_rectangle(p.cr, ix0, iy0, ix1 - ix0, iy1 - iy0);
    cairo_clip(p.cr);
    cairo_set_source_surface(p.cr, layer.get(), ix0, iy0);
    cairo_pattern_set_filter(cairo_get_source(p.cr), CAIRO_FILTER_NEAREST);
    cairo_paint(p.cr);
    cairo_restore(p.cr);
}

// pixels X Y DATA...: palette indexes painted left to right from (X, Y), one pixel each. A word of DATA
// is pairs of hex digits, one index each ("0a" is 10), and may end in "*COUNT": its last index COUNT times
// in all ("09*40").
void Pixels(Painter& p, const Command& c) {
    if (c.words.size() < 4) Fail(c, "usage: pixels X Y DATA (two hex digits an index, INDEX*COUNT a run)");
    double x = Num(c, 1), y = Num(c, 2);
    std::vector<uint32_t> row;
    auto hex = [](char ch) {
        if (ch >= '0' && ch <= '9') return ch - '0';
        if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
        if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
        return -1;
    };
    for (size_t i = 3; i < c.words.size(); ++i) {
        const std::string& word = c.words[i];
        const std::string w = word.size() > 24 ? word.substr(0, 20) + "..." : word;  // as shown in a message
        size_t star = word.find('*');
        std::string pairs = word.substr(0, star);
        if (pairs.empty() || pairs.size() % 2) Fail(c, "pixel data '" + w + "': two hex digits an index");
        if (row.size() + pairs.size() / 2 > size_t(kMaxPixelsLine))
            Fail(c, "more than " + std::to_string(kMaxPixelsLine) + " pixels on one line");
        for (size_t k = 0; k < pairs.size(); k += 2) {
            int hi = hex(pairs[k]), lo = hex(pairs[k + 1]);
            if (hi < 0 || lo < 0) Fail(c, "pixel data '" + w + "': two hex digits an index");
            row.push_back(uint32_t(hi * 16 + lo) << 16);
        }
        if (star != std::string::npos) {
            std::string count = word.substr(star + 1);
            char* end = nullptr;
            long n = std::strtol(count.c_str(), &end, 10);
            if (count.empty() || !std::isdigit((unsigned char)count[0]) || *end != '\0' || n < 1 || n > kMaxPixelsLine)
                Fail(c, "pixel data '" + w + "': a run is INDEX*COUNT, COUNT 1.." + std::to_string(kMaxPixelsLine) +
                            " and the end of the word");
            row.insert(row.end(), size_t(n - 1), row.back());
        }
        if (row.size() > size_t(kMaxPixelsLine))
            Fail(c, "more than " + std::to_string(kMaxPixelsLine) + " pixels on one line");
    }
    Spend(p, c, double(row.size()));
    p.pixelData += long(row.size());
    if (p.pixelData > p.pixelBudget)
        Fail(c, "too much pixel data: more than " + std::to_string(kPixelDataLayers) + " times the picture's " +
                    "pixels in all");
    int width = int(row.size());
    SurfacePtr line(cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(row.data()),
                                                        CAIRO_FORMAT_RGB24, width, 1, width * 4));
    if (cairo_surface_status(line.get()) != CAIRO_STATUS_SUCCESS) throw ArtError("out of memory");
    cairo_save(p.cr);
    cairo_set_source_surface(p.cr, line.get(), x, y);
    cairo_pattern_set_filter(cairo_get_source(p.cr), CAIRO_FILTER_NEAREST);
    cairo_new_path(p.cr);
    cairo_rectangle(p.cr, x, y, width, 1);
    cairo_fill(p.cr);
    cairo_restore(p.cr);
    cairo_surface_finish(line.get());
}

std::vector<int> ColourList(Painter& p, const Command& c, size_t from) {
    std::vector<int> cols;
    for (size_t i = from; i < c.words.size(); ++i) cols.push_back(Colour(p, c, i));
    if (cols.size() < 2) Fail(c, "a gradient needs at least two colours");
    return cols;
}

// fill, a filled shape, stroke, ofill and clip: false when `c` is none of them.
bool PaintCommand(Painter& p, const Command& c) {
    cairo_t* cr = p.cr;
    const std::string& op = c.words[0];
    if (op == "fill") {
        SetIndex(cr, Colour(p, c, 1));
        cairo_surface_t* target = cairo_get_target(cr);
        Spend(p, c, double(cairo_image_surface_get_width(target)) * cairo_image_surface_get_height(target));
        cairo_paint(cr);
    } else if (op == "rect" || op == "circle" || op == "ellipse" || op == "poly" || op == "path" || op == "text") {
        // SHAPE COLOUR args: a filled shape.
        int colour = Colour(p, c, 1);
        Command shape = c;
        shape.words.erase(shape.words.begin() + 1);
        BuildShape(p, shape, 0);
        Spend(p, c, FillArea(cr));
        SetIndex(cr, colour);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
        cairo_fill(cr);
    } else if (op == "stroke") {
        // stroke COLOUR WIDTH SHAPE args
        int colour = Colour(p, c, 1);
        double width = Num(c, 2);
        BuildShape(p, c, 3);
        SetIndex(cr, colour);
        SetPen(cr, width);
        Spend(p, c, StrokeArea(cr));
        cairo_stroke(cr);
    } else if (op == "ofill") {
        // ofill FILL INK WIDTH SHAPE args: the shape outlined in INK (half the width shows), then filled.
        int fill = Colour(p, c, 1), ink = Colour(p, c, 2);
        double width = Num(c, 3);
        BuildShape(p, c, 4);
        SetIndex(cr, ink);
        SetPen(cr, width);
        Spend(p, c, 2 * StrokeArea(cr));  // the outline and the fill inside it
        cairo_stroke_preserve(cr);
        SetIndex(cr, fill);
        cairo_fill(cr);
    } else if (op == "clip") {
        BuildShape(p, c, 1);
        Spend(p, c, FillArea(cr));
        cairo_clip(cr);
    } else {
        return false;
    }
    return true;
}

// push, pop, translate, scale, rotate, font and colour: false when `c` is none of them.
bool StateCommand(Painter& p, const Command& c) {
    cairo_t* cr = p.cr;
    const std::string& op = c.words[0];
    if (op == "push") {
        cairo_save(cr);
    } else if (op == "pop") {
        cairo_restore(cr);
    } else if (op == "translate") {
        cairo_translate(cr, Num(c, 1), Num(c, 2));
    } else if (op == "scale") {
        double sx = Num(c, 1), sy = c.words.size() > 2 ? Num(c, 2) : sx;
        cairo_scale(cr, sx == 0 ? 1e-6 : sx, sy == 0 ? 1e-6 : sy);
    } else if (op == "rotate") {
        cairo_rotate(cr, Num(c, 1) * M_PI / 180);
    } else if (op == "font") {
        if (c.words.size() < 2 || c.words.size() > 3) Fail(c, "usage: font FAMILY [bold]");
        p.fontFamily = c.words[1];
        p.fontBold = c.words.size() == 3 && c.words[2] == "bold";
    } else if (op == "colour") {
        if (c.words.size() != 3) Fail(c, "usage: colour NAME COLOUR");
        p.aliases[c.words[1]] = Colour(p, c, 2);
    } else {
        return false;
    }
    return true;
}

// use NAME [DX DY [SX [SY [DEGREES]]]]
void UseCommand(Painter& p, const Command& c) {
    if (c.words.size() < 2) Fail(c, "usage: use NAME [DX DY [SX [SY [DEGREES]]]]");
    double dx = c.words.size() > 2 ? Num(c, 2) : 0, dy = c.words.size() > 3 ? Num(c, 3) : 0;
    double sx = c.words.size() > 4 ? Num(c, 4) : 1;
    double sy = c.words.size() > 5 ? Num(c, 5) : sx;
    double rot = c.words.size() > 6 ? Num(c, 6) : 0;
    Use(p, c, c.words[1], dx, dy, sx, sy, rot);
}

// scatter NAME COUNT X0 Y0 X1 Y1 SEED [SMIN SMAX [MAXDEGREES]]
void ScatterCommand(Painter& p, const Command& c) {
    if (c.words.size() < 8) Fail(c, "usage: scatter NAME COUNT X0 Y0 X1 Y1 SEED [SMIN SMAX [DEGREES]]");
    double count = Num(c, 2);
    if (count < 0 || count > 10000) Fail(c, "scatter count must be 0..10000");
    double x0 = Num(c, 3), y0 = Num(c, 4), x1 = Num(c, 5), y1 = Num(c, 6);
    Rng rng(uint64_t(std::fabs(Num(c, 7))));
    double smin = c.words.size() > 8 ? Num(c, 8) : 1, smax = c.words.size() > 9 ? Num(c, 9) : smin;
    double maxRot = c.words.size() > 10 ? Num(c, 10) : 360;
    for (int k = 0; k < int(count); ++k) {
        double x = x0 + rng.Next() * (x1 - x0), y = y0 + rng.Next() * (y1 - y0);
        double s = smin + rng.Next() * (smax - smin);
        double r = (rng.Next() * 2 - 1) * maxRot;
        bool flip = rng.Next() < 0.5 && maxRot != 0;  // DEGREES 0: all upright, none mirrored
        Use(p, c, c.words[1], x, y, flip ? -s : s, s, r);
    }
}

// tile NAME X0 Y0 X1 Y1 DX DY [STAGGER]
void TileCommand(Painter& p, const Command& c) {
    if (c.words.size() < 8) Fail(c, "usage: tile NAME X0 Y0 X1 Y1 DX DY [STAGGER]");
    double x0 = Num(c, 2), y0 = Num(c, 3), x1 = Num(c, 4), y1 = Num(c, 5), dx = Num(c, 6), dy = Num(c, 7);
    double stagger = c.words.size() > 8 ? Num(c, 8) : 0;
    if (dx < 1 || dy < 1) Fail(c, "tile steps must be at least 1");
    int row = 0;
    for (double y = y0; y < y1; y += dy, ++row)
        for (double x = x0 + (row % 2 ? stagger : 0); x < x1; x += dx) Use(p, c, c.words[1], x, y, 1, 1, 0);
}

// vgrad X Y W H C0 C1 ...: top to bottom (hgrad: left to right), dithered between neighbours.
void LinearGradientCommand(Painter& p, const Command& c, bool vertical) {
    double x = Num(c, 1), y = Num(c, 2), w = Num(c, 3), h = Num(c, 4);
    std::vector<int> cols = ColourList(p, c, 5);
    double xs[4] = {x, x + w, x, x + w}, ys[4] = {y, y, y + h, y + h};
    for (int k = 0; k < 4; ++k) cairo_user_to_device(p.cr, &xs[k], &ys[k]);
    double bx0 = *std::min_element(xs, xs + 4), bx1 = *std::max_element(xs, xs + 4);
    double by0 = *std::min_element(ys, ys + 4), by1 = *std::max_element(ys, ys + 4);
    Gradient(p, c, bx0, by0, bx1, by1, cols, [&](double px, double py) {
        return vertical ? (py - by0) / std::max(1.0, by1 - by0) : (px - bx0) / std::max(1.0, bx1 - bx0);
    });
}

// rgrad CX CY R C0 C1 ...: from the centre (C0) outward, filling the circle.
void RadialGradientCommand(Painter& p, const Command& c) {
    cairo_t* cr = p.cr;
    double cx = Num(c, 1), cy = Num(c, 2), r = Num(c, 3);
    std::vector<int> cols = ColourList(p, c, 4);
    double ex = cx + r, ey = cy;
    cairo_user_to_device(cr, &cx, &cy);
    cairo_user_to_device(cr, &ex, &ey);
    double dr = std::max(1.0, std::hypot(ex - cx, ey - cy));
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, dr, 0, 2 * M_PI);
    cairo_clip(cr);
    Gradient(p, c, cx - dr, cy - dr, cx + dr, cy + dr, cols,
             [&](double px, double py) { return std::hypot(px - cx, py - cy) / dr; });
    cairo_restore(cr);
}

void Run(Painter& p, const std::vector<Command>& commands) {
    cairo_t* cr = p.cr;
    for (const Command& c : commands) {
        ArtStopPoint();
        Spend(p, c, MAX_PICTURE_COMMAND_COST);
        const std::string& op = c.words[0];
        if (PaintCommand(p, c) || StateCommand(p, c)) {
        } else if (op == "use") {
            UseCommand(p, c);
        } else if (op == "scatter") {
            ScatterCommand(p, c);
        } else if (op == "tile") {
            TileCommand(p, c);
        } else if (op == "pixels") {
            Pixels(p, c);
        } else if (op == "vgrad" || op == "hgrad") {
            LinearGradientCommand(p, c, op == "vgrad");
        } else if (op == "rgrad") {
            RadialGradientCommand(p, c);
        } else {
            Fail(c, "unknown command '" + op + "'");
        }
        if (cairo_status(cr) != CAIRO_STATUS_SUCCESS)
            Fail(c, std::string("drawing failed: ") + cairo_status_to_string(cairo_status(cr)));
    }
}

}  // namespace

void SetArtStop(const std::atomic<bool>* flag) { stopFlag = flag; }

void ArtStopPoint() {
    if (stopFlag && stopFlag->load(std::memory_order_relaxed)) throw ArtError("stopped");
}

IndexImage Render(const Program& program) {
    SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, program.width, program.height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) throw ArtError("cannot make the drawing surface");
    CairoPtr cr(cairo_create(surface.get()));
    cairo_set_antialias(cr.get(), CAIRO_ANTIALIAS_NONE);
    cairo_font_options_t* fo = cairo_font_options_create();
    cairo_font_options_set_antialias(fo, CAIRO_ANTIALIAS_NONE);
    cairo_font_options_set_hint_style(fo, CAIRO_HINT_STYLE_NONE);
    cairo_set_font_options(cr.get(), fo);
    cairo_font_options_destroy(fo);
    SetIndex(cr.get(), 0);
    cairo_paint(cr.get());
    Painter painter{program, cr.get(), "VL PGothic", false, 0, 0, 0,
                    std::max(long(kMaxPixelsLine), kPixelDataLayers * program.width * program.height), 0, {}};
    Run(painter, program.main);
    cairo_surface_flush(surface.get());
    IndexImage image;
    image.width = program.width;
    image.height = program.height;
    image.pixels.resize(size_t(program.width) * program.height);
    const uint8_t* data = cairo_image_surface_get_data(surface.get());
    int stride = cairo_image_surface_get_stride(surface.get());
    for (int y = 0; y < program.height; ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * stride);
        for (int x = 0; x < program.width; ++x) {
            uint32_t px = row[x] & 0xFFFFFF;
            if (px & 0xFFFF) throw ArtError("a blended pixel at " + std::to_string(x) + "," + std::to_string(y));
            image.pixels[size_t(y) * program.width + x] = uint8_t(px >> 16);
        }
    }
    return image;
}

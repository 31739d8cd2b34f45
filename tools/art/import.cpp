// kirake-art import IN.png OUT.BMP|OUT.pic: a PNG made into a picture the story's palette can show.
//
// The PNG is read with libpng (any colour type and depth, made 8-bit RGBA), and every pixel becomes the
// index of the nearest colour of a FIXED palette, by the CIE76 distance in Lab (or, with --dither, with
// Floyd-Steinberg error diffusion in RGB). The palette is given, so no quantiser that chooses one (such as
// libimagequant) is needed. Written as the game's 8-bit BMP, or as a picture source of "pixels" lines.
#include <png.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "art.h"
#include "read_input.h"

namespace fs = std::filesystem;

namespace {

constexpr int kMaxSide = 1024;                        // the game loads no picture wider or higher
constexpr uint64_t kMaxPngBytes = uint64_t(32) << 20;  // far above any 1024x1024 PNG
constexpr int kKeyIndex = 9;                          // the transparent index of every sheet

struct ImportOptions {
    std::string input, output, palette;
    int first = 0, last = 206;
    bool dither = false, keyAlpha = false, keyColour = false;
    int key[3] = {};
    int width = 0, height = 0;  // --size; 0: any
};

struct RgbaImage {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;  // red, green, blue, alpha; top row first
};

// What libpng's callbacks share with the reader. It lives on the heap: a longjmp out of libpng passes
// over the reader's frame, and only what is not an automatic object there keeps what was written to it.
struct PngRead {
    const uint8_t* bytes = nullptr;
    size_t size = 0, at = 0;
    char error[160] = "";
    std::vector<png_bytep> rows;
};

void ReadPngBytes(png_structp png, png_bytep out, size_t count) {
    PngRead* read = static_cast<PngRead*>(png_get_io_ptr(png));
    if (count > read->size - read->at) png_error(png, "the file is cut short");
    std::memcpy(out, read->bytes + read->at, count);
    read->at += count;
}

[[noreturn]] void PngFault(png_structp png, png_const_charp message) {
    PngRead* read = static_cast<PngRead*>(png_get_error_ptr(png));
    std::snprintf(read->error, sizeof read->error, "%s", message);
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}  // a harmless oddity (an sRGB profile libpng knows)

// Decodes a PNG held in memory into *image: "" when done, else what is wrong. Its size is looked at
// before any pixel is decoded.
std::string DecodePng(const std::vector<uint8_t>& bytes, RgbaImage* image) {
    if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) return "not a PNG picture";
    // The size, from the head (the first chunk), before libpng reads anything.
    if (bytes.size() >= 24 && std::memcmp(&bytes[12], "IHDR", 4) == 0) {
        auto be32 = [&](size_t at) {
            return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 |
                   uint32_t(bytes[at + 3]);
        };
        uint32_t width = be32(16), height = be32(20);
        if (width > uint32_t(kMaxSide) || height > uint32_t(kMaxSide))
            return "is " + std::to_string(width) + "x" + std::to_string(height) + " pixels; the game loads no picture "
                   "wider or higher than " + std::to_string(kMaxSide);
    }
    auto read = std::make_unique<PngRead>();
    read->bytes = bytes.data();
    read->size = bytes.size();
    read->at = 8;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, read.get(), PngFault, PngWarning);
    if (!png) return "out of memory";
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return "out of memory";
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return std::string("a broken PNG (") + read->error + ")";
    }
    png_set_read_fn(png, read.get(), ReadPngBytes);
    png_set_sig_bytes(png, 8);
    png_set_chunk_malloc_max(png, 8 << 20);  // text and profiles: never more than this a chunk
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_read_info(png, info);
    png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    if (width > png_uint_32(kMaxSide) || height > png_uint_32(kMaxSide)) png_error(png, "too large");  // as above
    png_set_expand(png);  // palette and grey to 8 bits, a transparent colour to alpha
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(width) * 4) png_error(png, "an unexpected pixel layout");
    image->width = int(width);
    image->height = int(height);
    image->pixels.assign(size_t(width) * height * 4, 0);
    read->rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) read->rows[y] = image->pixels.data() + size_t(y) * width * 4;
    png_read_image(png, read->rows.data());
    png_destroy_read_struct(&png, &info, nullptr);
    return "";
}

// CIE L*a*b* of an sRGB colour (D65).
struct Lab {
    float l, a, b;
};

float LinearLight(int c) {
    static const auto table = [] {
        std::vector<float> t(256);
        for (int i = 0; i < 256; ++i) {
            float v = float(i) / 255.0f;
            t[size_t(i)] = v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f);
        }
        return t;
    }();
    return table[size_t(c)];
}

Lab ToLab(int red, int green, int blue) {
    float r = LinearLight(red), g = LinearLight(green), b = LinearLight(blue);
    float x = (0.4124564f * r + 0.3575761f * g + 0.1804375f * b) / 0.95047f;
    float y = 0.2126729f * r + 0.7151522f * g + 0.0721750f * b;
    float z = (0.0193339f * r + 0.1191920f * g + 0.9503041f * b) / 1.08883f;
    auto f = [](float t) { return t > 0.008856f ? std::cbrt(t) : 7.787f * t + 16.0f / 116.0f; };
    float fx = f(x), fy = f(y), fz = f(z);
    return {116.0f * fy - 16.0f, 500.0f * (fx - fy), 200.0f * (fy - fz)};
}

// The palette entries a picture may use, and the nearest of them to any colour (kept once found).
class Nearest {
public:
    Nearest(const Palette& palette, int first, int last) {
        for (int i = first; i <= last; ++i)
            if (palette.assigned[i] && i != kKeyIndex)
                entries_.push_back({i, ToLab(palette.rgb[i][0], palette.rgb[i][1], palette.rgb[i][2])});
    }
    bool Empty() const { return entries_.empty(); }
    int operator()(int red, int green, int blue) {
        uint32_t colour = uint32_t(red) << 16 | uint32_t(green) << 8 | uint32_t(blue);
        auto kept = found_.find(colour);
        if (kept != found_.end()) return kept->second;
        Lab lab = ToLab(red, green, blue);
        int best = entries_[0].index;
        float bestDistance = 1e30f;
        for (const Entry& e : entries_) {  // the lowest index among equals
            float dl = lab.l - e.lab.l, da = lab.a - e.lab.a, db = lab.b - e.lab.b;
            float distance = dl * dl + da * da + db * db;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = e.index;
            }
        }
        found_.emplace(colour, best);
        return best;
    }

private:
    struct Entry {
        int index;
        Lab lab;
    };
    std::vector<Entry> entries_;
    std::unordered_map<uint32_t, int> found_;
};

struct Counts {
    long transparent = 0;  // pixels of the key (index 9)
    long seeThrough = 0;   // pixels under half opaque that did not become the key
};

IndexImage Quantise(const RgbaImage& in, const Palette& palette, const ImportOptions& o, Nearest& nearest,
                    Counts* counts) {
    IndexImage out;
    out.width = in.width;
    out.height = in.height;
    out.pixels.assign(size_t(in.width) * in.height, 0);
    auto isKey = [&](const uint8_t* px) {
        if (o.keyAlpha && px[3] < 128) return true;
        return o.keyColour && px[0] == o.key[0] && px[1] == o.key[1] && px[2] == o.key[2];
    };
    // Floyd-Steinberg, each row in the other direction from the one before; the error is carried in RGB.
    std::vector<float> here(size_t(in.width + 2) * 3), below(size_t(in.width + 2) * 3);
    for (int y = 0; y < in.height; ++y) {
        bool backward = o.dither && y % 2 == 1;
        std::fill(below.begin(), below.end(), 0.0f);
        for (int step = 0; step < in.width; ++step) {
            int x = backward ? in.width - 1 - step : step;
            const uint8_t* px = &in.pixels[(size_t(y) * in.width + size_t(x)) * 4];
            uint8_t& index = out.pixels[size_t(y) * in.width + size_t(x)];
            if (isKey(px)) {
                index = kKeyIndex;
                ++counts->transparent;
                continue;  // takes no error and passes none on
            }
            if (px[3] < 128) ++counts->seeThrough;
            if (!o.dither) {
                index = uint8_t(nearest(px[0], px[1], px[2]));
                continue;
            }
            float want[3];
            int rounded[3];
            for (int k = 0; k < 3; ++k) {
                // Clamped: a colour past what the palette reaches would pile up error without end.
                want[k] = std::fmin(255.0f, std::fmax(0.0f, float(px[k]) + here[size_t(x + 1) * 3 + size_t(k)]));
                rounded[k] = int(std::lround(want[k]));
            }
            index = uint8_t(nearest(rounded[0], rounded[1], rounded[2]));
            int ahead = backward ? -1 : 1;
            for (int k = 0; k < 3; ++k) {
                float error = want[k] - float(palette.rgb[index][k]);
                here[size_t(x + 1 + ahead) * 3 + size_t(k)] += error * 7.0f / 16.0f;
                below[size_t(x + 1 - ahead) * 3 + size_t(k)] += error * 3.0f / 16.0f;
                below[size_t(x + 1) * 3 + size_t(k)] += error * 5.0f / 16.0f;
                below[size_t(x + 1 + ahead) * 3 + size_t(k)] += error * 1.0f / 16.0f;
            }
        }
        std::swap(here, below);
    }
    return out;
}

std::string Hex(uint8_t index) {
    const char* digits = "0123456789abcdef";
    return {digits[index >> 4], digits[index & 15]};
}

// One row as a "pixels" line: indexes two hex digits each, runs of three or more as INDEX*COUNT.
std::string PixelsLine(const uint8_t* row, int width, int y) {
    std::string line = "pixels 0 " + std::to_string(y);
    bool inWord = false;
    for (int x = 0; x < width;) {
        int run = 1;
        while (x + run < width && row[x + run] == row[x]) ++run;
        if (run >= 3) {
            line += ' ';
            line += Hex(row[x]) + '*' + std::to_string(run);
            inWord = false;
        } else {
            if (!inWord) line += " ";
            for (int k = 0; k < run; ++k) line += Hex(row[x]);
            inWord = true;
        }
        x += run;
    }
    return line + "\n";
}

// How the .pic names its palette: by its name when it lies beside it, else by its path from there.
std::string PaletteReference(const std::string& palette, const std::string& output) {
    std::error_code error;
    fs::path file = fs::absolute(palette, error);
    fs::path parent = fs::path(output).parent_path();
    fs::path dir = fs::absolute(parent.empty() ? fs::path(".") : parent, error);
    fs::path relative = fs::relative(file, dir, error);
    std::string name = error || relative.empty() ? file.string() : relative.generic_string();
    if (name.find('/') == std::string::npos && name.size() > 4 && name.compare(name.size() - 4, 4, ".pal") == 0)
        name.resize(name.size() - 4);
    if (name.find_first_of(" \t,#\"") != std::string::npos) return "\"" + name + "\"";
    return name;
}

std::string PictureSource(const IndexImage& image, const ImportOptions& o, const std::string& palette) {
    std::string text = "# Imported from " + fs::path(o.input).filename().string() + " by kirake-art import: " +
                       std::to_string(image.width) + "x" + std::to_string(image.height) + ", palette indexes " +
                       std::to_string(o.first) + "-" + std::to_string(o.last) + ", " +
                       (o.dither ? "dithered" : "nearest colour") + ".\n"
                       "# Each \"pixels 0 Y\" line is a row: two hex digits an index, INDEX*COUNT a run. Draw over\n"
                       "# it with the other commands, after the rows.\n";
    text += "size " + std::to_string(image.width) + " " + std::to_string(image.height) + "\n";
    text += "palette " + PaletteReference(palette, o.output) + "\n";
    for (int y = 0; y < image.height; ++y)
        text += PixelsLine(image.pixels.data() + size_t(y) * image.width, image.width, y);
    return text;
}

bool EndsWithIgnoringCase(const std::string& s, const char* suffix) {
    size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower((unsigned char)s[s.size() - n + i]) != std::tolower((unsigned char)suffix[i])) return false;
    return true;
}

// The project's main palette: pictures/main.pal of the folder a file lies in or of one up to three
// folders above it.
std::string ProjectPalette(const std::string& file) {
    std::error_code error;
    fs::path dir = fs::absolute(file, error).parent_path();
    for (int up = 0; up < 4 && !error && !dir.empty(); ++up, dir = dir.parent_path()) {
        fs::path palette = dir / "pictures" / "main.pal";
        std::error_code none;  // a palette that is not there is no error
        if (fs::is_regular_file(palette, none)) return fs::proximate(palette, none).string();
        if (dir == dir.parent_path()) break;
    }
    return "";
}

void WriteFileAtomically(const std::string& path, const void* bytes, size_t size) {
    std::string temp = path + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) throw ArtError("cannot write " + path);
    bool ok = std::fwrite(bytes, 1, size, f) == size;
    ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        throw ArtError("cannot write " + path);
    }
}

bool ParseRange(const char* text, int* first, int* last) {
    int a = 0, b = 0, used = 0;
    if (std::sscanf(text, "%d-%d%n", &a, &b, &used) != 2 || text[used] != '\0') return false;
    if (a < 0 || b > 255 || a > b) return false;
    *first = a;
    *last = b;
    return true;
}

bool ParseKey(const char* text, int key[3]) {
    int used = 0;
    if (std::sscanf(text, "%d,%d,%d%n", &key[0], &key[1], &key[2], &used) != 3 || text[used] != '\0') return false;
    for (int k = 0; k < 3; ++k)
        if (key[k] < 0 || key[k] > 255) return false;
    return true;
}

bool ParseSize(const char* text, int* width, int* height) {
    int used = 0;
    if (std::sscanf(text, "%dx%d%n", width, height, &used) != 2 || text[used] != '\0') return false;
    return *width >= 1 && *height >= 1 && *width <= kMaxSide && *height <= kMaxSide;
}

int ImportUsage() {
    std::fprintf(stderr,
                 "usage: kirake-art import IN.png OUT.BMP|OUT.pic [--palette FILE.pal] [--range A-B] [--dither]\n"
                 "                         [--key R,G,B] [--key-alpha] [--size WxH]\n");
    return 2;
}

// The import's command line into *o; 0 (the usage or the fault said) when it is bad.
int ReadImportOptions(int argc, char** argv, ImportOptions* o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool more = i + 1 < argc;
        if (a == "--palette" && more) {
            o->palette = argv[++i];
        } else if (a == "--range" && more) {
            if (!ParseRange(argv[++i], &o->first, &o->last)) {
                std::fprintf(stderr, "kirake-art: --range wants A-B, palette indexes 0-255 (A not above B)\n");
                return 0;
            }
        } else if (a == "--dither") {
            o->dither = true;
        } else if (a == "--key-alpha") {
            o->keyAlpha = true;
        } else if (a == "--key" && more) {
            if (!ParseKey(argv[++i], o->key)) {
                std::fprintf(stderr, "kirake-art: --key wants R,G,B, each 0-255\n");
                return 0;
            }
            o->keyColour = true;
        } else if (a == "--size" && more) {
            if (!ParseSize(argv[++i], &o->width, &o->height)) {
                std::fprintf(stderr, "kirake-art: --size wants WxH, each 1-%d\n", kMaxSide);
                return 0;
            }
        } else if ((!a.empty() && a[0] == '-') || !o->output.empty()) {
            ImportUsage();
            return 0;
        } else if (o->input.empty()) {
            o->input = a;
        } else {
            o->output = a;
        }
    }
    if (o->input.empty() || o->output.empty()) {
        ImportUsage();
        return 0;
    }
    return 1;
}

// The palette named, or the story project's; 0 (said) when there is none.
int ChooseImportPalette(ImportOptions* o) {
    if (o->palette.empty()) o->palette = ProjectPalette(o->output);
    if (o->palette.empty()) o->palette = ProjectPalette(o->input);
    if (o->palette.empty()) {
        std::fprintf(stderr, "kirake-art: no palette: %s and %s lie in no story project (a folder with "
                             "pictures/main.pal); give one with --palette FILE.pal\n",
                     o->input.c_str(), o->output.c_str());
        return 0;
    }
    return 1;
}

void LoadImportPalette(const ImportOptions& o, Palette* palette) {
    std::string why;
    int fd = OpenInputFile(o.palette, MAX_SOURCE_BYTES, &why);  // named in full when it cannot be read
    if (fd < 0) throw ArtError(o.palette + ": " + why);
    close(fd);
    fs::path palettePath(o.palette);
    std::string paletteDir = palettePath.parent_path().string();
    LoadPalette(palettePath.filename().string(), {paletteDir.empty() ? "." : paletteDir}, *palette);
}

RgbaImage ReadImportPng(const ImportOptions& o) {
    std::vector<uint8_t> bytes;
    std::string why;
    if (!ReadInputFile(o.input, kMaxPngBytes, &bytes, &why)) throw ArtError(o.input + ": " + why);
    RgbaImage rgba;
    why = DecodePng(bytes, &rgba);
    if (!why.empty()) throw ArtError(o.input + ": " + why);
    if (o.width && (rgba.width != o.width || rgba.height != o.height))
        throw ArtError(o.input + ": is " + std::to_string(rgba.width) + "x" + std::to_string(rgba.height) +
                       " pixels; --size asks for " + std::to_string(o.width) + "x" + std::to_string(o.height));
    return rgba;
}

// The picture as a source at OUT: written beside it first, it takes OUT's place only when it draws the
// same picture again. A note for the author when the palette lies in another folder, else "".
std::string WriteImportSource(const IndexImage& image, const ImportOptions& o) {
    std::string text = PictureSource(image, o, o.palette), temp = o.output + ".tmp";
    WriteFileAtomically(temp, text.data(), text.size());
    // A palette found elsewhere may build on another ("base"), looked for where the source is drawn from:
    // in the palette's folder too when drawn with -I.
    fs::path outDir = fs::path(o.output).parent_path(), paletteDir = fs::path(o.palette).parent_path();
    std::error_code error;
    bool beside = fs::equivalent(outDir.empty() ? "." : outDir, paletteDir.empty() ? "." : paletteDir, error);
    try {
        Program program;
        program.searchDirs = {outDir.empty() ? "." : outDir.string()};
        if (!beside) program.searchDirs.push_back(paletteDir.empty() ? "." : paletteDir.string());
        LoadProgram(temp, program);
        if (Render(program).pixels != image.pixels) throw ArtError("it draws another picture");
    } catch (const ArtError& e) {
        std::remove(temp.c_str());
        throw ArtError(o.output + ": the source made does not draw the picture again (" + e.what() + ")");
    }
    if (std::rename(temp.c_str(), o.output.c_str()) != 0) {
        std::remove(temp.c_str());
        throw ArtError("cannot write " + o.output);
    }
    if (beside) return "";
    return "kirake-art: " + o.output + " names its palette by the path from its folder; if that palette "
           "builds on another, draw it with -I " + (paletteDir.empty() ? "." : paletteDir.string()) + "\n";
}

void PrintImportSummary(const IndexImage& image, const ImportOptions& o, const Counts& counts, const std::string& note) {
    std::printf("kirake-art: %s: %dx%d with the palette %s, indexes %d-%d, %s", o.output.c_str(), image.width,
                image.height, o.palette.c_str(), o.first, o.last, o.dither ? "dithered" : "nearest colour");
    if (counts.transparent) std::printf(", %ld pixels transparent (index 9)", counts.transparent);
    std::printf("\n%s", note.c_str());
    if (counts.seeThrough)
        std::printf("kirake-art: %s: %ld pixels are more than half transparent; --key-alpha makes them the "
                    "transparent index 9\n",
                    o.input.c_str(), counts.seeThrough);
}

}  // namespace

int ImportCommand(int argc, char** argv) {
    ImportOptions o;
    if (!ReadImportOptions(argc, argv, &o)) return 2;
    bool toSource = EndsWithIgnoringCase(o.output, ".pic");
    if (!toSource && !EndsWithIgnoringCase(o.output, ".bmp")) {
        std::fprintf(stderr, "kirake-art: %s: the picture is written as .BMP (the game's picture) or .pic (a "
                             "picture source)\n", o.output.c_str());
        return 2;
    }
    if (!ChooseImportPalette(&o)) return 2;
    try {
        Palette palette;
        LoadImportPalette(o, &palette);
        Nearest nearest(palette, o.first, o.last);
        if (nearest.Empty())
            throw ArtError(o.palette + ": no colour at indexes " + std::to_string(o.first) + "-" +
                           std::to_string(o.last) + " (index 9, the transparent key, is never chosen)");
        RgbaImage rgba = ReadImportPng(o);
        Counts counts;
        std::string note;
        IndexImage image = Quantise(rgba, palette, o, nearest, &counts);
        if (toSource) {
            note = WriteImportSource(image, o);
        } else {
            std::vector<uint8_t> bmp = EncodeBmp(image, palette);
            WriteFileAtomically(o.output, bmp.data(), bmp.size());
        }
        PrintImportSummary(image, o, counts, note);
    } catch (const ArtError& e) {
        std::fprintf(stderr, "kirake-art: %s\n", e.what());
        return 1;
    }
    return 0;
}

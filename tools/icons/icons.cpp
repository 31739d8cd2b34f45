// kirake-icons IN.bmp FACTOR OUT.png [SIZE RRGGBB]: the desktop icon from a picture of the window icon, each
// pixel made a FACTOR x FACTOR block (so it stays sharp), the colour key (index 9) transparent. With SIZE and
// a colour: centred on an opaque SIZE x SIZE square of that colour (a web app's maskable icon).
#include <cairo.h>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include "platform/bitmap.h"
#include "tool_help.h"

static const char help[] =
    "Usage: kirake-icons IN.bmp FACTOR OUT.png [SIZE RRGGBB]\n"
    "Writes an 8-bit BMP as a PNG FACTOR times its size (1 to 16), each pixel a sharp square block, the\n"
    "colour key (index 9) transparent. With SIZE and a colour: centred on an opaque square of SIZE pixels\n"
    "(at most 1024) filled with that colour. A build step: the desktop and web app icons.\n"
    "\n"
    "Options:\n"
    KIRAKE_TOOL_HELP_OPTIONS;

int main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "kirake-icons", help)) return 0;
    char* end = nullptr;
    long factor = argc == 4 || argc == 6 ? std::strtol(argv[2], &end, 10) : 0;
    bool badFactor = !end || *end || factor < 1 || factor > 16;
    long canvas = 0, background = 0;
    if (argc == 6) {
        char* sizeEnd = nullptr;
        char* colourEnd = nullptr;
        canvas = std::strtol(argv[4], &sizeEnd, 10);
        background = std::strtol(argv[5], &colourEnd, 16);
        if (*sizeEnd || canvas < 1 || canvas > 1024 || *colourEnd || colourEnd - argv[5] != 6) badFactor = true;
    }
    if (badFactor) {
        std::fprintf(stderr, "usage: kirake-icons IN.bmp FACTOR OUT.png [SIZE RRGGBB]\n");
        return 2;
    }
    std::vector<uint8_t> bytes;
    if (FILE* f = std::fopen(argv[1], "rb")) {
        for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(uint8_t(c));
        std::fclose(f);
    }
    Bitmap* bitmap = DecodeBitmap(bytes.data(), bytes.size());
    if (!bitmap || bitmap->width > 256 || bitmap->height > 256) {
        std::fprintf(stderr, "kirake-icons: %s is not an 8-bit BMP of at most 256x256\n", argv[1]);
        if (bitmap) FreeBitmap(bitmap);
        return 1;
    }
    int width = bitmap->width * int(factor), height = bitmap->height * int(factor);
    if (canvas && (width > canvas || height > canvas)) {
        std::fprintf(stderr, "kirake-icons: the picture at %ldx is larger than %ld pixels\n", factor, canvas);
        FreeBitmap(bitmap);
        return 1;
    }
    int left = canvas ? (int(canvas) - width) / 2 : 0, top = canvas ? (int(canvas) - height) / 2 : 0;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, canvas ? int(canvas) : width,
                                                    canvas ? int(canvas) : height);
    cairo_surface_flush(s);
    uint8_t* data = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    uint32_t fill = canvas ? 0xff000000u | uint32_t(background) : 0;
    for (int y = 0; data && y < (canvas ? int(canvas) : height); ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(data + size_t(y) * size_t(stride));
        for (int x = 0; x < (canvas ? int(canvas) : width); ++x) {
            int px = x - left, py = y - top;
            row[x] = fill;
            if (px < 0 || py < 0 || px >= width || py >= height) continue;
            uint8_t index = bitmap->pixels[size_t(py / factor) * size_t(bitmap->width) + size_t(px / factor)];
            const uint8_t* c = bitmap->table[index];
            if (index != 9 && index < bitmap->colourCount)
                row[x] = 0xff000000u | (uint32_t(c[0]) << 16) | (uint32_t(c[1]) << 8) | c[2];
        }
    }
    cairo_surface_mark_dirty(s);
    bool ok = data && cairo_surface_write_to_png(s, argv[3]) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    FreeBitmap(bitmap);
    if (!ok) {
        std::fprintf(stderr, "kirake-icons: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}

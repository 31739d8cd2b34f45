// Writing index images: 8-bit BMP files for the game and PNG previews for looking at them.
#include <cairo.h>

#include "art.h"

namespace {

void Le(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

}  // namespace

std::vector<uint8_t> EncodeBmp(const IndexImage& image, const Palette& palette) {
    const uint32_t rowBytes = (uint32_t(image.width) + 3) & ~3u;
    const uint32_t pixelOffset = 14 + 40 + 256 * 4;
    const uint32_t imageBytes = rowBytes * uint32_t(image.height);
    std::vector<uint8_t> out;
    out.reserve(pixelOffset + imageBytes);
    // File head.
    out.push_back('B');
    out.push_back('M');
    Le(out, pixelOffset + imageBytes, 4);
    Le(out, 0, 4);
    Le(out, pixelOffset, 4);
    // Info head: bottom-up rows, 8 bits, no compression, a full colour table.
    Le(out, 40, 4);
    Le(out, uint32_t(image.width), 4);
    Le(out, uint32_t(image.height), 4);
    Le(out, 1, 2);
    Le(out, 8, 2);
    Le(out, 0, 4);
    Le(out, imageBytes, 4);
    Le(out, 2835, 4);
    Le(out, 2835, 4);
    Le(out, 256, 4);
    Le(out, 0, 4);
    for (int i = 0; i < 256; ++i) {
        out.push_back(palette.rgb[i][2]);
        out.push_back(palette.rgb[i][1]);
        out.push_back(palette.rgb[i][0]);
        out.push_back(0);
    }
    for (int y = image.height - 1; y >= 0; --y) {
        const uint8_t* row = image.pixels.data() + size_t(y) * image.width;
        out.insert(out.end(), row, row + image.width);
        for (uint32_t k = uint32_t(image.width); k < rowBytes; ++k) out.push_back(0);
    }
    return out;
}

void WritePreview(const IndexImage& image, const Palette& palette, const std::string& path) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, image.width, image.height);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        throw ArtError("cannot make the preview surface");
    }
    cairo_surface_flush(s);
    uint8_t* data = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < image.height; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(data + size_t(y) * stride);
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* c = palette.rgb[image.pixels[size_t(y) * image.width + x]];
            row[x] = (uint32_t(c[0]) << 16) | (uint32_t(c[1]) << 8) | c[2];
        }
    }
    cairo_surface_mark_dirty(s);
    cairo_status_t st = cairo_surface_write_to_png(s, path.c_str());
    cairo_surface_destroy(s);
    if (st != CAIRO_STATUS_SUCCESS) throw ArtError("cannot write " + path);
}

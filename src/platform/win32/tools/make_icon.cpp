// kirake-make-icon: a Windows icon file from the game's 8-bit icon pictures, for the executable's
// resources and the installer. A build step of the Windows build, compiled for the build machine.
//   kirake-make-icon OUT.ico PICTURE.bmp[:FACTOR]...
// Each picture (an uncompressed 8-bit BMP) becomes one image, each pixel a FACTOR x FACTOR block
// (1 when left out); the colour key (index 9) is transparent through the image's mask.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
constexpr int KEY_INDEX = 9;

struct Picture {
    int width = 0, height = 0;
    uint8_t palette[256][4] = {};  // blue, green, red, 0
    std::vector<uint8_t> pixels;   // top-down, width * height
};

uint32_t Le(const std::vector<uint8_t>& data, size_t at, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | data[at + i];
    return value;
}

void Put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

bool ReadPicture(const std::string& path, int factor, Picture* picture) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::vector<uint8_t> data;
    for (int c; (c = std::fgetc(file)) != EOF;) data.push_back(uint8_t(c));
    std::fclose(file);
    if (data.size() < 54 || data[0] != 'B' || data[1] != 'M') return false;
    uint32_t offset = Le(data, 10, 4), head = Le(data, 14, 4);
    int32_t width = int32_t(Le(data, 18, 4)), height = int32_t(Le(data, 22, 4));
    uint32_t bits = Le(data, 28, 2), compression = Le(data, 30, 4), colours = Le(data, 46, 4);
    bool topDown = height < 0;
    if (topDown) height = -height;
    if (bits != 8 || compression != 0 || width <= 0 || width > 256 || height <= 0 || height > 256) return false;
    if (colours == 0 || colours > 256) colours = 256;
    uint32_t rowBytes = (uint32_t(width) + 3) & ~3u;
    if (14 + head + colours * 4 > data.size() || offset + rowBytes * height > data.size()) return false;
    int w = width * factor, h = height * factor;
    if (w > 256 || h > 256) return false;
    for (uint32_t i = 0; i < colours; ++i)
        for (int c = 0; c < 3; ++c) picture->palette[i][c] = data[14 + head + i * 4 + c];
    picture->width = w;
    picture->height = h;
    picture->pixels.resize(size_t(w) * h);
    for (int y = 0; y < h; ++y) {
        int row = topDown ? y / factor : height - 1 - y / factor;
        for (int x = 0; x < w; ++x) picture->pixels[size_t(y) * w + x] = data[offset + row * rowBytes + x / factor];
    }
    return true;
}

// One image of the icon file: an info head of twice the height, the colour table, the pixels and the
// mask, both bottom-up.
std::vector<uint8_t> IconImage(const Picture& p) {
    std::vector<uint8_t> out;
    Put(out, 40, 4);
    Put(out, uint32_t(p.width), 4);
    Put(out, uint32_t(p.height * 2), 4);
    Put(out, 1, 2);
    Put(out, 8, 2);
    for (int i = 0; i < 6; ++i) Put(out, 0, 4);
    for (const auto& colour : p.palette) out.insert(out.end(), colour, colour + 4);
    uint32_t rowBytes = (uint32_t(p.width) + 3) & ~3u, maskBytes = ((uint32_t(p.width) + 31) / 32) * 4;
    for (int y = p.height - 1; y >= 0; --y) {
        for (int x = 0; x < p.width; ++x) {
            uint8_t index = p.pixels[size_t(y) * p.width + x];
            out.push_back(index == KEY_INDEX ? 0 : index);  // masked pixels are drawn black, then cleared
        }
        out.resize(out.size() + rowBytes - p.width, 0);
    }
    for (int y = p.height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(maskBytes, 0);
        for (int x = 0; x < p.width; ++x)
            if (p.pixels[size_t(y) * p.width + x] == KEY_INDEX) row[x / 8] |= uint8_t(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: kirake-make-icon OUT.ico PICTURE.bmp[:FACTOR]...\n");
        return 2;
    }
    std::vector<std::vector<uint8_t>> images;
    std::vector<Picture> pictures;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        int factor = 1;
        size_t colon = arg.rfind(':');
        if (colon != std::string::npos && colon + 1 < arg.size() && arg.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
            factor = std::atoi(arg.c_str() + colon + 1);
            arg.erase(colon);
        }
        Picture picture;
        if (factor < 1 || !ReadPicture(arg, factor, &picture)) {
            std::fprintf(stderr, "kirake-make-icon: %s is not an 8-bit picture of at most 256x256\n", argv[i]);
            return 1;
        }
        images.push_back(IconImage(picture));
        pictures.push_back(picture);
    }
    std::vector<uint8_t> out;
    Put(out, 0, 2);
    Put(out, 1, 2);  // an icon
    Put(out, uint32_t(images.size()), 2);
    uint32_t offset = uint32_t(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        out.push_back(uint8_t(pictures[i].width & 255));  // 256 is written as 0
        out.push_back(uint8_t(pictures[i].height & 255));
        out.push_back(0);  // 256 colours
        out.push_back(0);
        Put(out, 1, 2);
        Put(out, 8, 2);
        Put(out, uint32_t(images[i].size()), 4);
        Put(out, offset, 4);
        offset += uint32_t(images[i].size());
    }
    for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
    FILE* file = std::fopen(argv[1], "wb");
    if (!file || std::fwrite(out.data(), 1, out.size(), file) != out.size() || std::fclose(file) != 0) {
        std::fprintf(stderr, "kirake-make-icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

// Draws the program's icons and writes them as .ico files: the emblem (a hard disk seen from
// above) in three groups, and the two tray squares. With --check it compares instead of writing
// and fails when a committed icon differs from what it draws.
//
//   lumenhop_icons DIR          writes DIR/Emblem.ico, EmblemSmall.ico, EmblemLarge.ico,
//                               TrayActive.ico, TrayInactive.ico
//   lumenhop_icons --check DIR  exit 1 when any of them differs
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Rgba {
    uint8_t r, g, b, a;
};

struct Image {
    int size;
    int bits;                  // 4, 8, 24 or 32 bits per pixel
    std::vector<Rgba> pixels;  // top row first
};

// --- The emblem, described on the unit square and sampled 4 x 4 per pixel. ---

struct Paint {
    double r, g, b, a;
};

double RoundedBoxDistance(double x, double y, double left, double top, double right, double bottom, double radius) {
    double cx = std::clamp(x, left + radius, right - radius);
    double cy = std::clamp(y, top + radius, bottom - radius);
    return std::hypot(x - cx, y - cy) - radius;
}

double SegmentDistance(double x, double y, double x1, double y1, double x2, double y2) {
    double dx = x2 - x1, dy = y2 - y1;
    double t = std::clamp(((x - x1) * dx + (y - y1) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(x - (x1 + t * dx), y - (y1 + t * dy));
}

// The colour of the emblem at one point, painted back to front.
Paint EmblemAt(double x, double y) {
    Paint paint{0, 0, 0, 0};
    auto put = [&](int r, int g, int b) {
        paint = Paint{r / 255.0, g / 255.0, b / 255.0, 1};
    };
    if (RoundedBoxDistance(x, y, 0.08, 0.02, 0.92, 0.98, 0.16) > 0) return paint;
    put(36, 92, 196);  // the blue frame
    if (RoundedBoxDistance(x, y, 0.15, 0.09, 0.85, 0.91, 0.10) <= 0) put(255, 255, 255);
    double platter = std::hypot(x - 0.5, y - 0.42);
    if (platter <= 0.29) put(22, 34, 112);
    if (platter <= 0.19 && platter >= 0.17) put(52, 70, 150);                        // a track ring
    if (platter <= 0.05) put(200, 204, 214);                                         // the hub
    if (SegmentDistance(x, y, 0.74, 0.80, 0.53, 0.47) <= 0.035) put(150, 154, 168);  // the read arm
    if (std::hypot(x - 0.74, y - 0.80) <= 0.065) put(112, 116, 132);                 // its pivot
    if (std::hypot(x - 0.26, y - 0.80) <= 0.045) put(36, 92, 196);                   // the dot
    return paint;
}

Image DrawEmblem(int size, int bits) {
    Image image{size, bits, {}};
    constexpr int Samples = 4;
    for (int row = 0; row < size; ++row) {
        for (int column = 0; column < size; ++column) {
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < Samples; ++sy) {
                for (int sx = 0; sx < Samples; ++sx) {
                    Paint p = EmblemAt((column + (sx + 0.5) / Samples) / size, (row + (sy + 0.5) / Samples) / size);
                    r += p.r * p.a, g += p.g * p.a, b += p.b * p.a, a += p.a;
                }
            }
            Rgba pixel{0, 0, 0, 0};
            if (a > 0) {
                pixel =
                    Rgba{static_cast<uint8_t>(std::lround(255 * r / a)), static_cast<uint8_t>(std::lround(255 * g / a)),
                         static_cast<uint8_t>(std::lround(255 * b / a)),
                         static_cast<uint8_t>(std::lround(255 * a / (Samples * Samples)))};
            }
            image.pixels.push_back(pixel);
        }
    }
    return image;
}

// The tray squares as the 16-pixel picture has them: a 12 x 12 square at (2, 2), a black border
// and a green interior, with a transparent margin. Larger sizes scale margin and border by
// size / 16, rounded down, so each size stays crisp at the shell's small-icon size.
Image DrawTraySquare(int size, int bits, uint8_t green) {
    Image image{size, bits, std::vector<Rgba>(static_cast<size_t>(size * size), Rgba{0, 0, 0, 0})};
    const int margin = size * 2 / 16, border = size / 16;
    for (int y = margin; y < size - margin; ++y) {
        for (int x = margin; x < size - margin; ++x) {
            bool edge = std::min({x - margin, y - margin, size - margin - 1 - x, size - margin - 1 - y}) < border;
            image.pixels[static_cast<size_t>(y * size + x)] = edge ? Rgba{0, 0, 0, 255} : Rgba{0, green, 0, 255};
        }
    }
    return image;
}

// The tray icon's images: the 16-pixel one in 24 bits, first; the shell's other small-icon sizes
// (125, 150, 175 and 200% scale) in 4 bits, whose palette holds the exact black and green.
std::vector<Image> TrayImages(uint8_t green) {
    std::vector<Image> images{DrawTraySquare(16, 24, green)};
    for (int size : {20, 24, 28, 32}) images.push_back(DrawTraySquare(size, 4, green));
    return images;
}

// --- The .ico container ---

// The 8-bit images use one fixed palette: a 6 x 6 x 6 colour cube, then a ramp of greys.
std::vector<Rgba> Palette() {
    std::vector<Rgba> palette;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                palette.push_back(
                    Rgba{static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51), static_cast<uint8_t>(b * 51), 0});
    while (palette.size() < 256) {
        auto level = static_cast<uint8_t>((palette.size() - 216) * 255 / 39);
        palette.push_back(Rgba{level, level, level, 0});
    }
    return palette;
}

// The 4-bit images' palette: only the image's own colours, in order of first use (the header
// counts them, so the unused entries take no bytes).
std::vector<Rgba> ImagePalette(const Image& image) {
    std::vector<Rgba> palette;
    for (const Rgba& p : image.pixels) {
        Rgba colour{p.r, p.g, p.b, 0};
        bool known = std::any_of(palette.begin(), palette.end(),
                                 [&](const Rgba& e) { return e.r == p.r && e.g == p.g && e.b == p.b; });
        if (p.a >= 128 && !known && palette.size() < 16) palette.push_back(colour);
    }
    return palette;
}

uint8_t NearestIndex(const std::vector<Rgba>& palette, Rgba pixel) {
    int best = 0;
    long bestDistance = -1;
    for (size_t i = 0; i < palette.size(); ++i) {
        long dr = palette[i].r - pixel.r, dg = palette[i].g - pixel.g, db = palette[i].b - pixel.b;
        long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) bestDistance = distance, best = static_cast<int>(i);
    }
    return static_cast<uint8_t>(best);
}

void Put16(std::vector<uint8_t>& out, unsigned value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}
void Put32(std::vector<uint8_t>& out, unsigned value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// One image as the icon resource holds it: a bitmap header of double height, the palette of a
// 4- or 8-bit image, the colour rows and the AND mask rows, bottom row first, each row padded to 4 bytes.
std::vector<uint8_t> EncodeImage(const Image& image) {
    std::vector<uint8_t> out;
    int n = image.size;
    int colourRow = ((n * image.bits + 31) / 32) * 4;
    int maskRow = ((n + 31) / 32) * 4;
    std::vector<Rgba> palette = image.bits == 8   ? Palette()
                                : image.bits == 4 ? ImagePalette(image)
                                                  : std::vector<Rgba>{};
    Put32(out, 40);
    Put32(out, static_cast<unsigned>(n));
    Put32(out, static_cast<unsigned>(2 * n));
    Put16(out, 1);
    Put16(out, static_cast<unsigned>(image.bits));
    Put32(out, 0);
    Put32(out, static_cast<unsigned>((colourRow + maskRow) * n));
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, static_cast<unsigned>(palette.size()));
    Put32(out, 0);
    for (const Rgba& entry : palette) {
        out.push_back(entry.b);
        out.push_back(entry.g);
        out.push_back(entry.r);
        out.push_back(0);
    }
    // 4-, 8- and 24-bit images have no alpha: a pixel is either shown or masked out.
    auto shown = [&](const Rgba& p) {
        return image.bits == 32 ? p.a > 0 : p.a >= 128;
    };
    for (int y = n - 1; y >= 0; --y) {
        std::vector<uint8_t> row;
        for (int x = 0; x < n; ++x) {
            Rgba p = image.pixels[y * n + x];
            if (!shown(p)) p = Rgba{0, 0, 0, 0};
            if (image.bits == 8) {
                row.push_back(NearestIndex(palette, p));
            } else if (image.bits == 4) {
                uint8_t index = NearestIndex(palette, p);
                if (x % 2 == 0)
                    row.push_back(static_cast<uint8_t>(index << 4));
                else
                    row.back() |= index;
            } else {
                row.push_back(p.b);
                row.push_back(p.g);
                row.push_back(p.r);
                if (image.bits == 32) row.push_back(p.a);
            }
        }
        row.resize(static_cast<size_t>(colourRow), 0);
        out.insert(out.end(), row.begin(), row.end());
    }
    for (int y = n - 1; y >= 0; --y) {
        std::vector<uint8_t> row(static_cast<size_t>(maskRow), 0);
        for (int x = 0; x < n; ++x)
            if (!shown(image.pixels[y * n + x])) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

std::vector<uint8_t> EncodeIcon(const std::vector<Image>& images) {
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, static_cast<unsigned>(images.size()));
    std::vector<std::vector<uint8_t>> encoded;
    for (const Image& image : images) encoded.push_back(EncodeImage(image));
    unsigned offset = static_cast<unsigned>(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        out.push_back(static_cast<uint8_t>(images[i].size == 256 ? 0 : images[i].size));
        out.push_back(static_cast<uint8_t>(images[i].size == 256 ? 0 : images[i].size));
        out.push_back(static_cast<uint8_t>(images[i].bits == 4 ? 16 : 0));  // colour count: 0 for 256 and more
        out.push_back(0);
        Put16(out, 1);
        Put16(out, static_cast<unsigned>(images[i].bits));
        Put32(out, static_cast<unsigned>(encoded[i].size()));
        Put32(out, offset);
        offset += static_cast<unsigned>(encoded[i].size());
    }
    for (auto& bytes : encoded) out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

struct IconFile {
    const char* name;
    std::vector<Image> images;
};

std::vector<IconFile> AllIcons() {
    return {
        {"Emblem.ico",
         {DrawEmblem(32, 8), DrawEmblem(16, 8), DrawEmblem(48, 32), DrawEmblem(32, 32), DrawEmblem(16, 32)}},
        {"EmblemSmall.ico", {DrawEmblem(16, 8), DrawEmblem(16, 32)}},
        {"EmblemLarge.ico", {DrawEmblem(48, 8), DrawEmblem(48, 32)}},
        {"TrayActive.ico", TrayImages(255)},
        {"TrayInactive.ico", TrayImages(128)},
    };
}

}  // namespace

int main(int argc, char** argv) {
    bool check = argc == 3 && std::string(argv[1]) == "--check";
    if (argc != 2 && !check) {
        std::fprintf(stderr, "usage: %s [--check] DIRECTORY\n", argv[0]);
        return 2;
    }
    std::string directory = argv[argc - 1];
    int differing = 0;
    for (const IconFile& icon : AllIcons()) {
        std::vector<uint8_t> bytes = EncodeIcon(icon.images);
        std::string path = directory + "/" + icon.name;
        if (check) {
            std::ifstream in(path, std::ios::binary);
            std::vector<uint8_t> committed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (committed != bytes) {
                std::fprintf(stderr, "%s differs from what the generator draws\n", path.c_str());
                ++differing;
            }
            continue;
        }
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return differing == 0 ? 0 : 1;
}

#include "screens/bmp.h"

#include <cstddef>

namespace nemora {

namespace {

std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint16_t Le16(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    Put16(out, static_cast<std::uint16_t>(v));
    Put16(out, static_cast<std::uint16_t>(v >> 16));
}

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr int kMaxDimension = 4096;

} // namespace

MonoImage ReadBmp(std::span<const std::uint8_t> b, std::string& error)
{
    if (b.size() < kFileHeaderSize + kInfoHeaderSize) {
        error = "bitmap is " + std::to_string(b.size()) + " bytes, shorter than its headers";
        return {};
    }
    if (b[0] != 'B' || b[1] != 'M') {
        error = "not a bitmap: the signature is not 'BM'";
        return {};
    }
    const std::uint32_t pixelOffset = Le32(b, 10);
    const std::uint32_t headerSize = Le32(b, 14);
    if (headerSize < kInfoHeaderSize || kFileHeaderSize + headerSize > b.size()) {
        error = "bitmap info header of " + std::to_string(headerSize) + " bytes is not supported";
        return {};
    }
    const auto width = static_cast<std::int32_t>(Le32(b, 18));
    const auto rawHeight = static_cast<std::int32_t>(Le32(b, 22));
    const std::uint16_t bpp = Le16(b, 28);
    const std::uint32_t compression = Le32(b, 30);
    std::uint32_t paletteCount = Le32(b, 46);
    const bool topDown = rawHeight < 0;
    const std::int64_t height = topDown ? -static_cast<std::int64_t>(rawHeight) : rawHeight;
    if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension) {
        error = "bitmap size " + std::to_string(width) + " x " + std::to_string(height) + " is out of range";
        return {};
    }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) {
        error = "bitmaps of " + std::to_string(bpp) + " bits per pixel are not supported";
        return {};
    }
    // BI_RGB, or BI_BITFIELDS with the usual 8-8-8 masks for 32-bit pictures.
    if (compression != 0 && !(compression == 3 && bpp == 32)) {
        error = "compressed bitmaps are not supported";
        return {};
    }

    // Palette: a white entry leaves a pixel unlit, any other colour lights it.
    std::vector<bool> paletteLit;
    if (bpp <= 8) {
        const std::uint32_t maxEntries = 1u << bpp;
        if (paletteCount == 0 || paletteCount > maxEntries)
            paletteCount = maxEntries;
        const std::size_t paletteAt = kFileHeaderSize + headerSize;
        if (paletteAt + 4ull * paletteCount > b.size()) {
            error = "bitmap palette is cut short";
            return {};
        }
        paletteLit.resize(maxEntries, true);
        for (std::uint32_t i = 0; i < paletteCount; ++i) {
            const std::size_t at = paletteAt + 4ull * i;
            paletteLit[i] = !(b[at] == 0xFF && b[at + 1] == 0xFF && b[at + 2] == 0xFF);
        }
    }

    const std::size_t stride = ((static_cast<std::size_t>(width) * bpp + 31) / 32) * 4;
    const std::size_t needed = stride * static_cast<std::size_t>(height);
    if (pixelOffset > b.size() || b.size() - pixelOffset < needed) {
        error = "bitmap pixel data is short by " +
                std::to_string(needed - (pixelOffset > b.size() ? 0 : b.size() - pixelOffset)) + " bytes";
        return {};
    }

    MonoImage image(width, static_cast<int>(height), bpp);
    for (int y = 0; y < height; ++y) {
        const std::size_t row = topDown ? static_cast<std::size_t>(y) : static_cast<std::size_t>(height - 1 - y);
        const std::uint8_t* p = b.data() + pixelOffset + row * stride;
        for (int x = 0; x < width; ++x) {
            bool lit = false;
            switch (bpp) {
            case 1:
                lit = paletteLit[(p[x / 8] >> (7 - x % 8)) & 1];
                break;
            case 4:
                lit = paletteLit[(p[x / 2] >> (x % 2 ? 0 : 4)) & 0xF];
                break;
            case 8:
                lit = paletteLit[p[x]];
                break;
            case 24:
            case 32: {
                const std::uint8_t* px = p + static_cast<std::size_t>(x) * (bpp / 8);
                lit = !(px[0] == 0xFF && px[1] == 0xFF && px[2] == 0xFF);
                break;
            }
            }
            image.SetLit(x, y, lit);
        }
    }
    return image;
}

std::vector<std::uint8_t> WriteBmp(const MonoImage& image)
{
    const auto width = static_cast<std::uint32_t>(image.Width());
    const auto height = static_cast<std::uint32_t>(image.Height());
    const std::uint32_t stride = ((width + 31) / 32) * 4;
    const std::uint32_t pixelOffset = kFileHeaderSize + kInfoHeaderSize + 8;
    const std::uint32_t fileSize = pixelOffset + stride * height;

    std::vector<std::uint8_t> out;
    out.reserve(fileSize);
    out.push_back('B');
    out.push_back('M');
    Put32(out, fileSize);
    Put32(out, 0);
    Put32(out, pixelOffset);
    Put32(out, kInfoHeaderSize);
    Put32(out, width);
    Put32(out, height);
    Put16(out, 1);
    Put16(out, 1);
    Put32(out, 0);
    Put32(out, stride * height);
    Put32(out, 2835); // 72 dpi
    Put32(out, 2835);
    Put32(out, 2);
    Put32(out, 2);
    Put32(out, 0x00000000); // palette 0: black (lit)
    Put32(out, 0x00FFFFFF); // palette 1: white
    for (std::uint32_t row = 0; row < height; ++row) {
        const int y = static_cast<int>(height - 1 - row);
        std::vector<std::uint8_t> line(stride, 0);
        for (std::uint32_t x = 0; x < width; ++x) {
            if (!image.IsLit(static_cast<int>(x), y))
                line[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
        out.insert(out.end(), line.begin(), line.end());
    }
    return out;
}

} // namespace nemora

#include "screens/logo_import.h"

#include <algorithm>
#include <cstddef>

namespace nemora {

bool GreyImage::IsValid() const
{
    if (width <= 0 || height <= 0)
        return false;
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    return grey.size() == n && (white.empty() || white.size() == n);
}

namespace {

// Where the picture lands in the result and which source pixels each result pixel covers.
struct Placement {
    int outWidth = 0; // result size
    int outHeight = 0;
    int left = 0; // picture area inside the result
    int top = 0;
    int width = 0;
    int height = 0;
};

Placement Place(const GreyImage& p, bool fit, int screenWidth, int screenHeight)
{
    if (!fit)
        return {p.width, p.height, 0, 0, p.width, p.height};
    const std::int64_t sw = p.width, sh = p.height, tw = screenWidth, th = screenHeight;
    std::int64_t w = tw, h = th;
    if (tw * sh <= th * sw) // the width limits
        h = std::clamp<std::int64_t>((sh * tw + sw / 2) / sw, 1, th);
    else
        w = std::clamp<std::int64_t>((sw * th + sh / 2) / sh, 1, tw);
    return {screenWidth,         screenHeight,       static_cast<int>((tw - w) / 2), static_cast<int>((th - h) / 2),
            static_cast<int>(w), static_cast<int>(h)};
}

// Source span [first, last) of result pixel i of n over a source of length len.
inline void Span(int i, int n, int len, int& first, int& last)
{
    first = static_cast<int>(static_cast<std::int64_t>(i) * len / n);
    last = std::max(first + 1, static_cast<int>(static_cast<std::int64_t>(i + 1) * len / n));
}

// Fills one row of the picture area (grey level and pure-white flag) at its result size.
void SampleRow(const GreyImage& p, const Placement& at, int row, std::vector<int>& grey,
               std::vector<std::uint8_t>& white)
{
    const std::size_t stride = static_cast<std::size_t>(p.width);
    auto isWhite = [&](std::size_t i) { return p.white.empty() ? p.grey[i] == 255 : p.white[i] != 0; };
    if (at.width == p.width && at.height == p.height) {
        const std::size_t base = static_cast<std::size_t>(row) * stride;
        for (int x = 0; x < at.width; ++x) {
            grey[static_cast<std::size_t>(x)] = p.grey[base + static_cast<std::size_t>(x)];
            white[static_cast<std::size_t>(x)] = isWhite(base + static_cast<std::size_t>(x)) ? 1 : 0;
        }
        return;
    }
    int y0 = 0, y1 = 0;
    Span(row, at.height, p.height, y0, y1);
    for (int x = 0; x < at.width; ++x) {
        int x0 = 0, x1 = 0;
        Span(x, at.width, p.width, x0, x1);
        std::int64_t sum = 0;
        bool allWhite = true;
        for (int sy = y0; sy < y1; ++sy) {
            const std::size_t base = static_cast<std::size_t>(sy) * stride;
            for (int sx = x0; sx < x1; ++sx) {
                const std::size_t i = base + static_cast<std::size_t>(sx);
                sum += p.grey[i];
                allWhite = allWhite && isWhite(i);
            }
        }
        const std::int64_t count = static_cast<std::int64_t>(y1 - y0) * (x1 - x0);
        grey[static_cast<std::size_t>(x)] = static_cast<int>((sum + count / 2) / count);
        white[static_cast<std::size_t>(x)] = allWhite ? 1 : 0;
    }
}

} // namespace

MonoImage ConvertPicture(const GreyImage& picture, const ImportOptions& options, int screenWidth, int screenHeight)
{
    if (!picture.IsValid() || (options.fit && (screenWidth <= 0 || screenHeight <= 0)))
        return {};
    const Placement at = Place(picture, options.fit, screenWidth, screenHeight);
    MonoImage out(at.outWidth, at.outHeight);
    const int level = std::clamp(options.threshold.value_or(128), 0, 255);

    const auto n = static_cast<std::size_t>(at.width);
    std::vector<int> grey(n);
    std::vector<std::uint8_t> white(n);
    // Error diffusion keeps the errors of this row and the next, one cell of slack on each side.
    std::vector<int> errors(options.dither ? n + 2 : 0), nextErrors(options.dither ? n + 2 : 0);

    for (int y = 0; y < at.height; ++y) {
        SampleRow(picture, at, y, grey, white);
        if (options.dither)
            std::fill(nextErrors.begin(), nextErrors.end(), 0);
        for (int x = 0; x < at.width; ++x) {
            const auto i = static_cast<std::size_t>(x);
            bool lit = false;
            if (options.dither) {
                const int value = grey[i] + errors[i + 1] / 16;
                lit = value < level;
                const int error = value - (lit ? 0 : 255);
                errors[i + 2] += error * 7;
                nextErrors[i] += error * 3;
                nextErrors[i + 1] += error * 5;
                nextErrors[i + 2] += error;
            } else if (options.threshold) {
                lit = grey[i] < level;
            } else {
                lit = white[i] == 0;
            }
            out.SetLit(at.left + x, at.top + y, lit != options.invert);
        }
        if (options.dither)
            errors.swap(nextErrors);
    }
    return out;
}

} // namespace nemora

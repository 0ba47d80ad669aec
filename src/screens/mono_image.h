#pragma once

#include <cstdint>
#include <vector>

namespace nemora {

// Calls visit(x, y) for every cell of the straight line from (x0, y0) to (x1, y1), both ends included,
// each once and in order, so that neighbouring cells always touch (Bresenham).
template <class Visit>
void ForEachCellOnLine(int x0, int y0, int x1, int y1, Visit visit)
{
    const int dx = x1 > x0 ? x1 - x0 : x0 - x1, sx = x0 < x1 ? 1 : -1;
    const int dy = y1 > y0 ? y0 - y1 : y1 - y0, sy = y0 < y1 ? 1 : -1;
    int error = dx + dy;
    for (;;) {
        visit(x0, y0);
        if (x0 == x1 && y0 == y1)
            return;
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x0 += sx;
        }
        if (twice <= dx) {
            error += dx;
            y0 += sy;
        }
    }
}

// A monochrome screen image: a grid of lit and unlit pixels. It remembers the colour depth of the picture
// it came from (1, 4 or 24 bits per pixel for the default artwork) so that exports can keep it, but the
// pixels themselves are only ever lit (drawn black) or unlit (white).
class MonoImage {
public:
    MonoImage() = default;
    MonoImage(int width, int height, int bitsPerPixel = 1);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int BitsPerPixel() const { return m_bitsPerPixel; }
    bool IsNull() const { return m_width <= 0 || m_height <= 0; }

    // Out-of-range coordinates read as unlit and are ignored on write.
    bool IsLit(int x, int y) const;
    void SetLit(int x, int y, bool lit);
    void Fill(bool lit);

    bool operator==(const MonoImage& other) const
    {
        return m_width == other.m_width && m_height == other.m_height && m_pixels == other.m_pixels;
    }

private:
    int m_width = 0;
    int m_height = 0;
    int m_bitsPerPixel = 1;
    std::vector<std::uint8_t> m_pixels; // one byte per pixel, row-major, 1 = lit
};

} // namespace nemora

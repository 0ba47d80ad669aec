#pragma once

#include <cstdint>
#include <vector>

namespace nemora {

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

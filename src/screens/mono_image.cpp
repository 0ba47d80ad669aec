#include "screens/mono_image.h"

#include <algorithm>

namespace nemora {

MonoImage::MonoImage(int width, int height, int bitsPerPixel)
    : m_width(std::max(width, 0)), m_height(std::max(height, 0)), m_bitsPerPixel(bitsPerPixel),
      m_pixels(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height), 0)
{}

bool MonoImage::IsLit(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return false;
    return m_pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(x)] != 0;
}

void MonoImage::SetLit(int x, int y, bool lit)
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return;
    m_pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(x)] =
        lit ? 1 : 0;
}

void MonoImage::Fill(bool lit)
{
    std::fill(m_pixels.begin(), m_pixels.end(), lit ? 1 : 0);
}

} // namespace nemora

#include "screens/logo_codec.h"

#include "device/device_identity.h"

#include <algorithm>

namespace {

struct Walk {
    int screenWidth;
    int pagesPerScreen; // H / 8
    std::size_t imageBytes;
    int imageCount;
};

Walk WalkFor(const CDeviceIdentity& identity, std::size_t imagesGiven)
{
    Walk w{};
    w.screenWidth = std::max(identity.m_nScreenWidth, 0);
    w.pagesPerScreen = std::max(identity.m_nScreenHeight, 0) / 8;
    w.imageBytes =
        static_cast<std::size_t>(w.screenWidth) * static_cast<std::size_t>(std::max(identity.m_nScreenHeight, 0)) / 8;
    w.imageCount = static_cast<int>(
        std::min<std::size_t>(static_cast<std::size_t>(std::max(identity.m_nImageCount, 0)), imagesGiven));
    return w;
}

} // namespace

std::size_t LogoAreaOffset(const CDeviceIdentity& identity, int k, int x, int y)
{
    const Walk w = WalkFor(identity, static_cast<std::size_t>(k) + 1);
    return static_cast<std::size_t>(k) * w.imageBytes +
           static_cast<std::size_t>(y / 8) * static_cast<std::size_t>(w.screenWidth) + static_cast<std::size_t>(x);
}

namespace {

// Visits every byte both walks touch, in area order: image k, page p, column x. The visitor gets the
// image, the byte's offset, the column, the first row of the page and the number of rows of the page
// that lie inside the image. The walk stops at the end of the area.
template <class Image, class Visit>
void WalkLogoArea(const Walk& w, std::span<Image> images, std::size_t areaSize, Visit visit)
{
    for (int k = 0; k < w.imageCount; ++k) {
        Image& image = images[static_cast<std::size_t>(k)];
        const int ih = image.Height();
        const int cols = std::min(w.screenWidth, image.Width());
        const int pages = std::min((ih + 7) / 8, w.pagesPerScreen);
        for (int p = 0; p < pages; ++p) {
            const int rows = std::min(8, ih - 8 * p);
            for (int x = 0; x < cols; ++x) {
                const std::size_t at = static_cast<std::size_t>(k) * w.imageBytes +
                                       static_cast<std::size_t>(p) * static_cast<std::size_t>(w.screenWidth) +
                                       static_cast<std::size_t>(x);
                if (at >= areaSize)
                    return;
                visit(image, at, x, 8 * p, rows);
            }
        }
    }
}

} // namespace

void EncodeLogoArea(std::span<std::uint8_t> area, std::span<const nemora::MonoImage> images,
                    const CDeviceIdentity& identity)
{
    WalkLogoArea(WalkFor(identity, images.size()), images, area.size(),
                 [&](const nemora::MonoImage& image, std::size_t at, int x, int top, int rows) {
                     std::uint8_t byte = 0;
                     for (int b = 0; b < rows; ++b) {
                         if (image.IsLit(x, top + b))
                             byte = static_cast<std::uint8_t>(byte | (1u << b));
                     }
                     area[at] = byte;
                 });
}

void DecodeLogoArea(std::span<const std::uint8_t> area, std::span<nemora::MonoImage> images,
                    const CDeviceIdentity& identity)
{
    WalkLogoArea(WalkFor(identity, images.size()), images, area.size(),
                 [&](nemora::MonoImage& image, std::size_t at, int x, int top, int rows) {
                     for (int b = 0; b < rows; ++b)
                         image.SetLit(x, top + b, (area[at] >> b) & 1);
                 });
}

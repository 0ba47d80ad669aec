#include "device/device_identity.h"
#include "screens/logo_codec.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using nemora::MonoImage;

CDeviceIdentity Geometry(std::uint16_t bcd)
{
    CDeviceIdentity id;
    id.SetIds(0x0483, 0xDF11, bcd);
    return id;
}

std::vector<MonoImage> Blank(int w, int h, int n = 12)
{
    return std::vector<MonoImage>(static_cast<std::size_t>(n), MonoImage(w, h));
}

TEST(LogoCodec, ByteFormatOfA128By32Screen)
{
    const CDeviceIdentity id = Geometry(0x0040);
    auto images = Blank(128, 32);
    images[1].SetLit(5, 10, true);    // screen 2
    images[11].SetLit(127, 31, true); // screen 12, last pixel
    images[0].SetLit(0, 0, true);
    std::vector<std::uint8_t> area(6144, 0xFF);
    EncodeLogoArea(area, images, id);

    EXPECT_EQ(area[0], 0x01);
    EXPECT_EQ(area[645], 0x04); // 512 + 128 + 5, bit 2
    EXPECT_EQ(area[6143], 0x80);
    EXPECT_EQ(LogoAreaOffset(id, 11, 127, 31), 6143u);
    EXPECT_EQ(LogoAreaOffset(id, 1, 5, 10), 645u);
    std::size_t lit = 0;
    for (std::uint8_t b : area)
        lit += static_cast<std::size_t>(__builtin_popcount(b));
    EXPECT_EQ(lit, 3u);
}

TEST(LogoCodec, DecodeIsTheReverseWalk)
{
    for (std::uint16_t bcd : {std::uint16_t{0x0040}, std::uint16_t{0x0300}, std::uint16_t{0x03C0}}) {
        const CDeviceIdentity id = Geometry(bcd);
        const int w = id.m_nScreenWidth, h = id.m_nScreenHeight;
        std::vector<std::uint8_t> area(id.m_dwLogoSize);
        for (std::size_t i = 0; i < area.size(); ++i)
            area[i] = static_cast<std::uint8_t>(i * 37 + (i >> 8));
        auto images = Blank(w, h);
        DecodeLogoArea(area, images, id);
        std::vector<std::uint8_t> again(area.size(), 0xFF);
        EncodeLogoArea(again, images, id);
        EXPECT_EQ(again, area) << "bcd " << bcd;
        // A pixel in the middle of the walk, checked by hand.
        const int k = 7, x = w / 2, y = h - 3;
        const std::size_t at = LogoAreaOffset(id, k, x, y);
        EXPECT_EQ(images[k].IsLit(x, y), ((area[at] >> (y % 8)) & 1) == 1);
    }
}

TEST(LogoCodec, ErasedAndZeroAreasDecodeToBlackAndWhite)
{
    const CDeviceIdentity id = Geometry(0x0040);
    auto images = Blank(128, 32);
    DecodeLogoArea(std::vector<std::uint8_t>(6144, 0xFF), images, id);
    EXPECT_TRUE(images[0].IsLit(0, 0));
    EXPECT_TRUE(images[11].IsLit(127, 31));
    DecodeLogoArea(std::vector<std::uint8_t>(6144, 0x00), images, id);
    EXPECT_FALSE(images[0].IsLit(0, 0));
    EXPECT_FALSE(images[11].IsLit(127, 31));
}

TEST(LogoCodec, MismatchedGeometryConvertsOnlyTheOverlap)
{
    // A 96 x 96 area decoded into 128 x 32 images: columns 0-95 of rows 0-31, from the first four pages
    // of each 1152-byte image.
    const CDeviceIdentity big = Geometry(0x0300);
    std::vector<std::uint8_t> area(13824, 0xFF);
    auto images = Blank(128, 32);
    DecodeLogoArea(area, images, big);
    for (const MonoImage& image : images) {
        EXPECT_TRUE(image.IsLit(95, 31));
        EXPECT_FALSE(image.IsLit(96, 0));
        EXPECT_FALSE(image.IsLit(127, 31));
    }
    // Image 1 starts at byte 1152 in that geometry; clear its first page and only its rows 0-7 go white.
    std::fill(area.begin() + 1152, area.begin() + 1152 + 96, 0x00);
    DecodeLogoArea(area, images, big);
    EXPECT_FALSE(images[1].IsLit(0, 0));
    EXPECT_TRUE(images[1].IsLit(0, 8));
    EXPECT_TRUE(images[0].IsLit(0, 0));

    // 64 x 32 images encoded into a 128 x 32 area leave the uncovered columns as the caller filled them.
    const CDeviceIdentity wide = Geometry(0x0040);
    std::vector<std::uint8_t> out(6144, 0xFF);
    EncodeLogoArea(out, Blank(64, 32), wide);
    EXPECT_EQ(out[0], 0x00);
    EXPECT_EQ(out[63], 0x00);
    EXPECT_EQ(out[64], 0xFF);
    EXPECT_EQ(out[127], 0xFF);
}

TEST(LogoCodec, ImagesWhoseHeightIsNotAMultipleOfEightFillPartialPages)
{
    const CDeviceIdentity id = Geometry(0x0040);
    std::vector<MonoImage> images(1, MonoImage(4, 10));
    images[0].Fill(true);
    std::vector<std::uint8_t> area(6144, 0xFF);
    EncodeLogoArea(area, images, id);
    EXPECT_EQ(area[0], 0xFF);
    EXPECT_EQ(area[128], 0x03); // rows 8 and 9 only
    EXPECT_EQ(area[512], 0xFF); // image 1 not given: untouched
}

TEST(LogoCodec, ShortBuffersAreNeverReadOrWrittenPastTheirEnd)
{
    const CDeviceIdentity id = Geometry(0x0040);
    auto images = Blank(128, 32);
    images[0].SetLit(0, 0, true);
    // 600 bytes: image 0 whole, image 1 only its first 88 bytes.
    std::vector<std::uint8_t> area(600, 0xFF);
    DecodeLogoArea(area, images, id);
    EXPECT_TRUE(images[1].IsLit(87, 0));
    EXPECT_FALSE(images[1].IsLit(88, 0)); // not reached: unchanged
    EXPECT_FALSE(images[2].IsLit(0, 0));

    std::vector<std::uint8_t> small(10, 0xAA);
    EncodeLogoArea(small, images, id); // must stop at byte 10 (ASan checks)
    EXPECT_EQ(small[0], 0xFF);
    DecodeLogoArea(std::span<const std::uint8_t>(), images, id);
}

} // namespace

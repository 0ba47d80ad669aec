#include "device/device_identity.h"
#include "screens/bmp.h"
#include "screens/default_sets.h"
#include "screens/logo_codec.h"
#include "settings/settings_record.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using nemora::MonoImage;

// Whatever model a device reports, its default set has the screen it has: the set's pictures are exactly
// the size of the screen, and all twelve fit its logo area.
TEST(DefaultSets, EveryModelGetsASetForItsOwnScreen)
{
    for (std::uint16_t model = 0; model < 1024; ++model) {
        CDeviceIdentity id;
        id.SetIds(0x0483, 0xDF11, static_cast<std::uint16_t>(model << 6));
        const int number = DefaultImageSetForModel(model);
        const DefaultImageSet& set = GetDefaultImageSet(number);
        ASSERT_EQ(set.nSet, number) << "model " << model << " gets a set that does not exist";
        EXPECT_EQ(set.nWidth, id.m_nScreenWidth) << "model " << model;
        EXPECT_EQ(set.nHeight, id.m_nScreenHeight) << "model " << model;
        EXPECT_LE(static_cast<std::size_t>(id.m_nImageCount) * set.nWidth * set.nHeight / 8, id.m_dwLogoSize)
            << "model " << model;
    }
    // Set numbers outside the table fall back to the first set.
    EXPECT_EQ(GetDefaultImageSet(0).nSet, 1);
    EXPECT_EQ(GetDefaultImageSet(7).nSet, 1);
    for (int number = 1; number <= 6; ++number)
        EXPECT_EQ(GetDefaultImageSet(number).nSet, number);
}

// A model that gets the set, found through the lookup itself.
std::uint16_t ModelOfSet(int number)
{
    for (std::uint16_t model = 0; model < 1024; ++model) {
        if (DefaultImageSetForModel(model) == number)
            return model;
    }
    ADD_FAILURE() << "no model gets set " << number;
    return 0;
}

int ExpectedDepth(int asset)
{
    static const std::set<int> fourBit = {374, 379, 380, 383, 384, 385, 420, 425, 426};
    if ((asset >= 404 && asset <= 414) || fourBit.count(asset))
        return 4;
    if (asset >= 336 && asset <= 345)
        return 24;
    return 1;
}

TEST(DefaultSets, EveryAssetHasItsSetsGeometryAndDepth)
{
    for (const DefaultImageSet& set : g_DefaultImageSets) {
        for (int asset : set.assets) {
            auto image = LoadDefaultAsset(asset);
            ASSERT_TRUE(image.has_value()) << "asset " << asset << " missing";
            EXPECT_EQ(image->Width(), set.nWidth) << "asset " << asset;
            EXPECT_EQ(image->Height(), set.nHeight) << "asset " << asset;
            EXPECT_EQ(image->BitsPerPixel(), ExpectedDepth(asset)) << "asset " << asset;
            bool anyLit = false, anyUnlit = false;
            for (int y = 0; y < image->Height(); ++y)
                for (int x = 0; x < image->Width(); ++x)
                    (image->IsLit(x, y) ? anyLit : anyUnlit) = true;
            EXPECT_TRUE(anyLit && anyUnlit) << "asset " << asset << " is blank or solid";
        }
    }
}

TEST(DefaultSets, EncodingAndDecodingEverySetGivesBackIdenticalImages)
{
    for (const DefaultImageSet& set : g_DefaultImageSets) {
        CDeviceIdentity id;
        id.SetIds(0x0483, 0xDF11, static_cast<std::uint16_t>(ModelOfSet(set.nSet) << 6));
        std::vector<MonoImage> images;
        for (int asset : set.assets)
            images.push_back(LoadDefaultAsset(asset).value_or(MonoImage(set.nWidth, set.nHeight)));
        std::vector<std::uint8_t> area(LogoDataLength(id), 0xFF);
        EncodeLogoArea(area, images, id);
        std::vector<MonoImage> decoded(12, MonoImage(set.nWidth, set.nHeight));
        DecodeLogoArea(area, decoded, id);
        EXPECT_EQ(decoded, images) << "set " << set.nSet;
    }
}

TEST(Bmp, WriteThenReadRoundTripsAndBadInputIsRefused)
{
    MonoImage image(13, 9);
    image.SetLit(0, 0, true);
    image.SetLit(12, 8, true);
    image.SetLit(6, 4, true);
    std::string error;
    const MonoImage back = nemora::ReadBmp(nemora::WriteBmp(image), error);
    EXPECT_EQ(back, image) << error;

    auto bytes = nemora::WriteBmp(image);
    EXPECT_TRUE(nemora::ReadBmp(std::span(bytes).first(bytes.size() - 1), error).IsNull());
    EXPECT_NE(error.find("short"), std::string::npos);
    bytes[0] = 'X';
    EXPECT_TRUE(nemora::ReadBmp(bytes, error).IsNull());
    EXPECT_TRUE(nemora::ReadBmp({}, error).IsNull());
}

} // namespace

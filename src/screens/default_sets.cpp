#include "screens/default_sets.h"

#include "device/device_identity.h"
#include "screens/bmp.h"

#include <string>

namespace {

// clang-format off
constexpr DefaultImageSet kSets[] = {
    {1, 128, 32, {370, 335, 336, 337, 338, 339, 340, 341, 342, 343, 344, 345}},
    {2, 128, 32, {387, 335, 336, 337, 338, 339, 340, 341, 342, 343, 344, 345}},
    {3, 128, 32, {393, 390, 394, 395, 396, 397, 398, 399, 400, 401, 402, 403}},
    {4, 96, 96, {374, 375, 376, 377, 378, 379, 380, 381, 382, 383, 384, 385}},
    {5, 64, 32, {404, 405, 406, 407, 408, 409, 410, 411, 412, 412, 413, 414}},
    {6, 96, 96, {415, 416, 417, 418, 419, 420, 421, 422, 423, 424, 425, 426}},
};
// clang-format on

} // namespace

const std::span<const DefaultImageSet> g_DefaultImageSets = kSets;

int DefaultImageSetForModel(std::uint16_t wModelId)
{
    return FamilyOfModel(wModelId).nImageSet;
}

const DefaultImageSet& GetDefaultImageSet(int nSet)
{
    if (nSet < 1 || nSet > static_cast<int>(g_DefaultImageSets.size()))
        nSet = 1;
    return g_DefaultImageSets[static_cast<std::size_t>(nSet - 1)];
}

std::optional<nemora::MonoImage> LoadDefaultAsset(int asset)
{
    const std::span<const std::uint8_t> bytes = DefaultAssetBytes(asset);
    if (bytes.empty())
        return std::nullopt;
    std::string error;
    nemora::MonoImage image = nemora::ReadBmp(bytes, error);
    if (image.IsNull())
        return std::nullopt;
    return image;
}

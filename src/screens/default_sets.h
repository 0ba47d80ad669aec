#pragma once

#include "screens/mono_image.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

// The default screen images of each device family. Assets are numbered; a number that appears in
// several sets is one and the same picture.
struct DefaultImageSet {
    int nSet;                   // 1 and up, in table order
    int nWidth;                 // pixels
    int nHeight;                // pixels
    std::array<int, 12> assets; // asset numbers for screens 1 to 12
};

extern const std::span<const DefaultImageSet> g_DefaultImageSets;

// The set of a model id's family (models 11 and 17: 3, 12: 4, 14: 2, 15: 5, 16: 6, any other: 1).
int DefaultImageSetForModel(std::uint16_t wModelId);

// The set with that number; a number without a set gives set 1.
const DefaultImageSet& GetDefaultImageSet(int nSet);

// The bitmap bytes of an asset compiled into the program, or an empty span when there is none.
std::span<const std::uint8_t> DefaultAssetBytes(int asset);

// An asset decoded into an image (with its stored colour depth), or nothing when it is missing or damaged.
std::optional<nemora::MonoImage> LoadDefaultAsset(int asset);

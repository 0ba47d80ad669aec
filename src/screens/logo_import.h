#pragma once

#include "screens/mono_image.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace nemora {

// A decoded picture reduced to what the import conversion needs: one grey level per pixel (0 black to
// 255 white) and, per pixel, whether its original colour was exactly pure white. The second plane is
// kept because the default rule ("every pixel that is not pure white is lit") needs the colour, not the
// grey level: RGB 255, 255, 254 has grey level 255 but is not white.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> grey;  // width x height, row-major
    std::vector<std::uint8_t> white; // width x height, 1 where the colour is pure white; empty: grey == 255

    bool IsValid() const;
};

// The grey level of a colour: 0.299 R + 0.587 G + 0.114 B, rounded.
constexpr std::uint8_t GreyLevel(int r, int g, int b)
{
    return static_cast<std::uint8_t>((299 * r + 587 * g + 114 * b + 500) / 1000);
}

// How a picture becomes lit and unlit pixels. The default (all off) is the plain rule: every pixel that
// is not pure white is lit, and the picture keeps its own size.
struct ImportOptions {
    // Off: every pixel that is not pure white is lit. On: a pixel whose grey level is below the value
    // (0 to 255; other values are clamped) is lit.
    std::optional<int> threshold;
    // Floyd-Steinberg error diffusion against the threshold level (128 when no threshold is given).
    bool dither = false;
    // Scale the picture to the screen size keeping its aspect ratio, centred on white (unlit) pixels.
    // Shrinking averages the source pixels a target pixel covers; a target pixel counts as pure white
    // only when all of them are. Off: the picture keeps its own size.
    bool fit = false;
    // Swap lit and unlit within the picture (the white border that fitting adds stays unlit).
    bool invert = false;

    bool operator==(const ImportOptions&) const = default;
};

// Converts a picture into a monochrome image (1 bit per pixel): picture.width x picture.height, or
// screenWidth x screenHeight when fitting. Returns a null image when the picture is empty or its planes
// do not match its size, or when fitting into a screen size that is not positive. Memory beyond the result
// is a few rows, so pictures of any size convert in bounded space.
MonoImage ConvertPicture(const GreyImage& picture, const ImportOptions& options, int screenWidth, int screenHeight);

} // namespace nemora

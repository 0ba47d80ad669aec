#pragma once

#include "screens/mono_image.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace nemora {

// Reads an uncompressed Windows bitmap (BITMAPINFOHEADER or later; 1, 4, 8, 24 or 32 bits per pixel;
// bottom-up or top-down) into a monochrome image: every pixel that is not pure white is lit.
// Returns a null image and sets error when the bytes are not such a bitmap.
MonoImage ReadBmp(std::span<const std::uint8_t> bytes, std::string& error);

// Writes a 1-bit bitmap, black for lit and white for unlit.
std::vector<std::uint8_t> WriteBmp(const MonoImage& image);

} // namespace nemora

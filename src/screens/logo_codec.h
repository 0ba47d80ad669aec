#pragma once

#include "screens/mono_image.h"

#include <cstdint>
#include <span>
#include <vector>

class CDeviceIdentity;

// The logo area: twelve images back to back, each in pages of eight pixel rows, one byte per column
// per page, the least significant bit at the top, a set bit for a lit pixel.
//
// Both walks take the screen geometry (width W, height H, image count N) from the identity and convert
// only where an image and the screen overlap, so images of another size are neither stretched nor
// cropped beyond that. The caller's identity must have its geometry up to date (UpdateGeometry).

// Byte offset of pixel (x, y) of image k in a logo area of the identity's geometry.
std::size_t LogoAreaOffset(const CDeviceIdentity& identity, int k, int x, int y);

// Writes the images into the area. Bytes no image covers keep what the caller put there (0xFF).
// Writes stop at the end of the buffer.
void EncodeLogoArea(std::span<std::uint8_t> area, std::span<const nemora::MonoImage> images,
                    const CDeviceIdentity& identity);

// Paints the area's bits into the images, pure black for a set bit and white for a clear one. The images
// keep their size. Only bytes present in the buffer are decoded: an area shorter than the screen
// geometry (an element of a damaged settings file, say) leaves the pixels it does not reach unchanged.
void DecodeLogoArea(std::span<const std::uint8_t> area, std::span<nemora::MonoImage> images,
                    const CDeviceIdentity& identity);

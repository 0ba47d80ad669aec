#pragma once

// The checks of a DfuSe file against a device, made before anything is sent: whether the file is meant for
// the device, and whether its images can be written whole into the device's memory map. The upgrade and the
// flash plan decide with these same functions. Platform-free.

#include "dfuse/device_operations.h"
#include "dfuse/dfu_file.h"
#include "dfuse/memory_map.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nemora::dfuse {

// Whether a file with these ids is meant for the device: the same VID and PID, and the same model, that
// is bcdDevice without its six firmware-version bits. Never for a device not in DFU mode.
bool FileSuits(const DeviceLink& link, std::uint16_t vid, std::uint16_t pid, std::uint16_t bcd);
// The device's model: its bcdDevice without the firmware-version bits (the id a mismatch names).
std::uint32_t DeviceModel(const DeviceLink& link);

// Why the file's images cannot be written whole into the device, in the order an upgrade checks: data
// that overlaps, an image for a target the map lacks, bytes of an image for one of `targets` (indices
// into `mapping`) outside the writable sectors. Empty when nothing stands in the way; an upgrade refuses
// with the first text.
std::vector<std::string> FileRefusals(const std::vector<Image>& images, const std::vector<MappingTarget>& mapping,
                                      const std::vector<int>& targets);

// The bytes of an image that fall outside the target's sectors with all the given type bits, as ranges
// [first, last] in address order.
struct AddressRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
};
std::vector<AddressRange> BytesOutside(const Image& image, const MappingTarget& target, std::uint8_t typeBits);

// Two elements for the same target that hold bytes for the same addresses: which ones, and where.
struct ElementOverlap {
    std::size_t firstImage = 0, firstElement = 0;
    std::size_t secondImage = 0, secondElement = 0;
    std::uint64_t first = 0, last = 0; // the addresses both hold
};
// The first overlap among the elements of the images (indices into `images`) with the same alternate
// setting, if any.
std::optional<ElementOverlap> FindOverlap(const std::vector<Image>& images);
// "image I element E (0xADDRESS, N bytes) and image ... both hold 0x... to 0x...".
std::string DescribeOverlap(const std::vector<Image>& images, const ElementOverlap& overlap);

} // namespace nemora::dfuse

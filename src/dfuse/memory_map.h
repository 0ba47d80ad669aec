#pragma once

// A device's memory map: one target per DFU alternate setting, each a list of flash sectors with the
// operations they allow. The protocol code fills it from the device's interface strings; the image
// filters use it to decide which bytes may be read, erased or written.

#include <cstdint>
#include <string>
#include <vector>

namespace nemora::dfuse {

// Sector type bits (the low three bits of the type letter in a DfuSe memory-layout string).
inline constexpr std::uint8_t kSectorReadable = 0x01;
inline constexpr std::uint8_t kSectorErasable = 0x02;
inline constexpr std::uint8_t kSectorWritable = 0x04;

struct MappingSector {
    std::uint32_t dwStartAddress = 0;
    std::uint32_t dwSectorSize = 0; // bytes
    std::uint8_t bSectorType = 0;   // kSectorReadable | kSectorErasable | kSectorWritable

    bool IsReadable() const { return (bSectorType & kSectorReadable) != 0; }
    bool IsErasable() const { return (bSectorType & kSectorErasable) != 0; }
    bool IsWritable() const { return (bSectorType & kSectorWritable) != 0; }
    // One past the last address, in 64 bits so that a sector ending at 4 GiB does not wrap.
    std::uint64_t End() const { return std::uint64_t{dwStartAddress} + dwSectorSize; }
    bool operator==(const MappingSector&) const = default;
};

struct MappingTarget {
    std::uint8_t bAlternate = 0;
    std::string szName; // byte for byte, trailing blanks kept: "Option Bytes  "
    std::vector<MappingSector> sectors;

    bool operator==(const MappingTarget&) const = default;
};

// The name that marks the option-byte target (two trailing blanks).
inline constexpr const char* kOptionBytesTargetName = "Option Bytes  ";

} // namespace nemora::dfuse

#pragma once

// Fitting an image to one target of a device's memory map before an operation runs.
//
// Upload (2) and download (4) keep exactly the bytes that lie in sectors allowing the operation
// (readable, respectively writable). An element is cut where the allowance changes: the parts inside
// allowed sectors stay (neighbouring allowed sectors form one piece), the parts in forbidden sectors or
// outside every sector are dropped and counted in FilterReport::droppedBytes, so nothing ever goes to an
// address the map does not allow and the caller can tell the user what was left out.
//
// Erase (3) turns the image into the list of sectors its data touches, one element per sector (address
// and size of the sector, data 0xFF), in address order. Only sectors that are both erasable and
// writable are listed: erasing a sector the download cannot write back would lose its contents.
// The skip-blank flag does not apply to erase: a sector must be erased even when the new data is blank.
//
// With the skip-blank flag, download also drops blocks that are all 0xFF, but only inside erasable
// sectors, which the erase phase leaves blank anyway. A block is 2048 bytes counted from its sector's
// start (or the rest of the sector).
//
// Detach (0) and leave (1) leave the image as it is.

#include "dfuse/dfu_file.h"
#include "dfuse/memory_map.h"

#include <cstdint>

namespace nemora::dfuse {

inline constexpr std::uint32_t kBlankBlockSize = 2048;

struct FilterReport {
    Error error;
    std::uint64_t droppedBytes = 0;      // bytes outside the sectors allowing the operation
    std::uint64_t skippedBlankBytes = 0; // 0xFF bytes left out under the skip-blank flag
};

// Fits image in place. On failure (an unknown operation) the image is unchanged.
FilterReport FilterImage(Image& image, const MappingTarget& target, std::uint32_t operation, bool skipBlank);

// An image covering the whole target: the target's alternate, an empty name and one element per run of
// contiguous sectors, filled with 0xFF. Fails with TooLarge beyond kMaxFileSize bytes.
Error ImageFromMapping(const MappingTarget& target, Image& image);

} // namespace nemora::dfuse

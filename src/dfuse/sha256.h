#pragma once

// SHA-256 of a few bytes, as the lower-case hexadecimal text `sha256sum` prints: how a record of a write
// tells whether the file it wrote still holds the same bytes.

#include <cstdint>
#include <span>
#include <string>

namespace nemora::dfuse {

std::string Sha256Hex(std::span<const std::uint8_t> bytes);

} // namespace nemora::dfuse

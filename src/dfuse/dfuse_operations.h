#pragma once

// Operation codes of the background DfuSe operations, shared by the image filters and the protocol code.

#include <cstdint>

namespace nemora::dfuse {

inline constexpr std::uint32_t OPERATION_DETACH = 0;  // never launched by the console
inline constexpr std::uint32_t OPERATION_RETURN = 1;  // leave DFU mode
inline constexpr std::uint32_t OPERATION_UPLOAD = 2;  // device to host
inline constexpr std::uint32_t OPERATION_ERASE = 3;   // erase the sectors an image touches
inline constexpr std::uint32_t OPERATION_UPGRADE = 4; // download, host to device

} // namespace nemora::dfuse

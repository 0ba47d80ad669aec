#pragma once

// What a write changed, in words, from the bytes before it and the bytes written:
//   "NI 800 -> 900; power points 3 and 4: 35 -> 55 W, 35 -> 70 W; nothing else"
//   "screens 1, 7 changed; nothing else", "nothing changed".

#include <cstdint>
#include <span>
#include <string>

namespace nemora::settings {

std::string DescribeSettingsChange(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after);

// The logo area as `screenCount` equal parts, one per screen.
std::string DescribeScreensChange(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after,
                                  int screenCount);

} // namespace nemora::settings

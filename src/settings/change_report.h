#pragma once

// What a write changed, in words, from the bytes before it and the bytes written:
//   "NI 800 -> 900; power points 3 and 4: 35 -> 55 W, 35 -> 70 W; nothing else"
//   "screens 1, 7 changed; nothing else", "nothing changed".

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace nemora::settings {

std::string DescribeSettingsChange(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after);

// The screens, numbered from 1, whose part of the logo area (`screenCount` equal parts) differs. Areas of
// different sizes have no parts to compare: nothing is listed.
std::vector<int> ScreensDiffering(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after,
                                  int screenCount);

// The logo area as `screenCount` equal parts, one per screen.
std::string DescribeScreensChange(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after,
                                  int screenCount);

} // namespace nemora::settings

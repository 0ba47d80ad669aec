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

// One area of a write: its bytes before (empty when not known) and as written.
struct AreaChange {
    bool written = false;
    std::span<const std::uint8_t> before;
    std::span<const std::uint8_t> after;
};
// Both user areas of one or more writes at once: "NI 200 -> 900; screen 7 changed; nothing else".
std::string DescribeAreasChange(const AreaChange& logo, const AreaChange& param, int screenCount);

// A firmware write: "12 of 40 pages changed; no user area touched", "every page the file touches was erased
// and written; the file also wrote the parameter area". `userAreas` names the user areas the file writes.
std::string DescribeFirmwareChange(std::size_t pagesWritten, std::size_t pagesCompared, bool wholeWrite,
                                   const std::vector<std::string>& userAreas);

// The screens, numbered from 1, whose part of the logo area (`screenCount` equal parts) differs. Areas of
// different sizes have no parts to compare: nothing is listed.
std::vector<int> ScreensDiffering(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after,
                                  int screenCount);

// The logo area as `screenCount` equal parts, one per screen.
std::string DescribeScreensChange(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after,
                                  int screenCount);

} // namespace nemora::settings

#pragma once

// What a user area holds after a write to it failed, told from the bytes it held before, the bytes the
// write was to leave and the bytes read back afterwards, in the words the user reads first.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace nemora::settings {

// Screen numbers as the user reads them: "1 to 3, 5".
std::string ScreenList(const std::vector<int>& screens);

struct AreaAfterFailure {
    bool unchanged = false; // the area holds what it held before: there is nothing to bring back
    std::string text;       // one or two sentences, empty when the bytes do not fit the area
};

// The parameter area (one record).
AreaAfterFailure DescribeSettingsAfterFailure(std::span<const std::uint8_t> before,
                                              std::span<const std::uint8_t> wanted, std::span<const std::uint8_t> now);

// The logo area, cut into screenCount equal screens.
AreaAfterFailure DescribeScreensAfterFailure(std::span<const std::uint8_t> before, std::span<const std::uint8_t> wanted,
                                             std::span<const std::uint8_t> now, int screenCount);

} // namespace nemora::settings

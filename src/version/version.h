#pragma once

// What `--version` and the About box say. Platform-free.

#include <string>
#include <string_view>

namespace nemora::version {

// The project's version, e.g. "1.2.0".
std::string_view ProjectVersion();

// The version of the libusb the program runs with, e.g. "1.0.26.11724".
std::string LibusbVersion();

// The text of `PROGRAM --version`: "PROGRAM VERSION" on the first line, then one line per library the
// program runs with ("Qt 6.4.2" when qtVersion is given, "libusb 1.0.26.11724"). Ends with a newline.
std::string VersionText(std::string_view program, std::string_view qtVersion = {});

} // namespace nemora::version

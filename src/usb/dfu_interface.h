#pragma once

// What marks a DFU interface: its class codes, and the interface-class GUIDs that end every device path
// (the last 38 characters). The one home of these values for the transports, the DfuSe library, the
// console and the CLI.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace nemora::usb {

inline constexpr std::string_view kDfuInterfaceGuid = "{3FE809AB-FB91-4CB5-A643-69670D52366E}";
inline constexpr std::string_view kAppInterfaceGuid = "{CB979912-5029-420A-AEB1-34FC0A7D5726}";
inline constexpr std::size_t kGuidTextLength = 38;

// USB DFU interface codes.
inline constexpr std::uint8_t kDfuInterfaceClass = 0xFE;
inline constexpr std::uint8_t kDfuInterfaceSubClass = 0x01;
inline constexpr std::uint8_t kDfuProtocolRuntime = 0x01;
inline constexpr std::uint8_t kDfuProtocolDfuMode = 0x02;

} // namespace nemora::usb

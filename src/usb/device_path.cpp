#include "usb/transport.h"

#include <algorithm>
#include <cstdio>

namespace nemora::usb {

const char* StatusName(Status status)
{
    switch (status) {
    case Status::Ok:
        return "OK";
    case Status::Io:
        return "IO";
    case Status::InvalidParam:
        return "INVALID_PARAM";
    case Status::Access:
        return "ACCESS";
    case Status::NoDevice:
        return "NO_DEVICE";
    case Status::NotFound:
        return "NOT_FOUND";
    case Status::Busy:
        return "BUSY";
    case Status::Timeout:
        return "TIMEOUT";
    case Status::Overflow:
        return "OVERFLOW";
    case Status::Pipe:
        return "PIPE";
    case Status::NotSupported:
        return "NOT_SUPPORTED";
    }
    return "UNKNOWN";
}

std::string ToUpperAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

std::optional<std::string> NarrowStringDescriptor(std::span<const std::uint8_t> descriptor)
{
    constexpr std::uint8_t kStringDescriptorType = 0x03;
    if (descriptor.size() < 2 || descriptor[1] != kStringDescriptorType) {
        return std::nullopt;
    }
    const std::size_t end = std::min<std::size_t>(descriptor.size(), descriptor[0]);
    std::string text;
    for (std::size_t i = 2; i + 1 < end; i += 2) {
        const bool ascii = descriptor[i + 1] == 0 && descriptor[i] < 0x80;
        text.push_back(ascii ? static_cast<char>(descriptor[i]) : '?');
    }
    return text;
}

std::string MakeDevicePath(std::string_view location, std::uint16_t vid, std::uint16_t pid, InterfaceMode mode)
{
    char ids[32];
    std::snprintf(ids, sizeof ids, ":VID_%04X&PID_%04X#", vid, pid);
    std::string path = "USB:";
    path += location;
    path += ids;
    path += mode == InterfaceMode::Dfu ? kDfuInterfaceGuid : kAppInterfaceGuid;
    return ToUpperAscii(path);
}

std::string LocationOfPath(std::string_view path)
{
    if (!path.starts_with("USB:"))
        return {};
    const auto colon = path.find(':', 4);
    return colon == std::string_view::npos ? std::string() : std::string(path.substr(4, colon - 4));
}

std::optional<InterfaceMode> ModeOfPath(std::string_view path)
{
    if (path.size() < kGuidTextLength) {
        return std::nullopt;
    }
    const std::string tail = ToUpperAscii(path.substr(path.size() - kGuidTextLength));
    if (tail == kDfuInterfaceGuid) {
        return InterfaceMode::Dfu;
    }
    if (tail == kAppInterfaceGuid) {
        return InterfaceMode::Application;
    }
    return std::nullopt;
}

} // namespace nemora::usb

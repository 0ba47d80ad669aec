#include "sim/sim_config.h"

#include "dfuse/dfu_names.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace nemora::sim {
namespace {

constexpr std::array<std::string_view, static_cast<std::size_t>(RequestKind::Count)> kRequestNames = {
    "detach",     "dnload", "upload",    "getstatus", "clrstatus", "getstate", "abort", "descriptor",
    "setaddress", "erase",  "masserase", "unprotect", "write",     "read",     "leave", "open",
};

// Joins message parts. (GCC 12 at -O3 warns falsely about operator+ chains that start with "'".)
std::string Cat(std::initializer_list<std::string_view> parts)
{
    std::string out;
    for (const std::string_view part : parts) {
        out.append(part);
    }
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

// Decimal or 0x-hexadecimal, the whole text, at most `max`.
std::optional<unsigned long> ParseUnsigned(std::string_view text, unsigned long max)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    unsigned long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<Fault> ParseFault(std::string_view text, std::string& error)
{
    // KIND[@REQUEST[:N]]; KIND may itself be "status=NAME".
    Fault fault;
    std::string_view kind = text;
    std::string_view request;
    std::string_view count;
    if (const auto at = text.find('@'); at != std::string_view::npos) {
        kind = text.substr(0, at);
        request = text.substr(at + 1);
        if (const auto colon = request.find(':'); colon != std::string_view::npos) {
            count = request.substr(colon + 1);
            request = request.substr(0, colon);
            if (count.empty()) {
                error = "missing count after ':'";
                return std::nullopt;
            }
        }
    }
    if (kind == "unplug") {
        fault.kind = FaultKind::Unplug;
    } else if (kind == "stall") {
        fault.kind = FaultKind::Stall;
    } else if (kind == "nodesc") {
        fault.kind = FaultKind::NoDesc;
        fault.request = RequestKind::Descriptor;
    } else if (kind == "access") {
        fault.kind = FaultKind::Access;
        fault.request = RequestKind::Open;
    } else if (kind.starts_with("status=")) {
        fault.kind = FaultKind::Status;
        const auto code = dfuse::DfuStatusFromName(kind.substr(7));
        if (!code || *code == 0) {
            error = Cat({"unknown DFU status '", kind.substr(7), "' (use errTARGET ... errSTALLEDPKT)"});
            return std::nullopt;
        }
        fault.status = *code;
    } else {
        error = Cat({"unknown fault kind '", kind, "' (use unplug, stall, status=NAME, nodesc or access)"});
        return std::nullopt;
    }
    if (request.empty()) {
        if (fault.kind != FaultKind::NoDesc && fault.kind != FaultKind::Access) {
            error = "fault needs a request: KIND@REQUEST[:N]";
            return std::nullopt;
        }
    } else {
        bool found = false;
        for (std::size_t i = 0; i < kRequestNames.size(); ++i) {
            if (EqualsNoCase(request, kRequestNames[i])) {
                fault.request = static_cast<RequestKind>(i);
                found = true;
            }
        }
        if (!found) {
            error = Cat({"unknown request '", request, "'"});
            return std::nullopt;
        }
        if (fault.kind == FaultKind::NoDesc && fault.request != RequestKind::Descriptor) {
            error = "nodesc applies to descriptor requests only";
            return std::nullopt;
        }
        if ((fault.kind == FaultKind::Access) != (fault.request == RequestKind::Open)) {
            error = fault.kind == FaultKind::Access ? "access applies to opening only (access or access@open:N)"
                                                    : "only access applies to opening";
            return std::nullopt;
        }
    }
    if (!count.empty()) {
        const auto n = ParseUnsigned(count, 1000000000UL);
        if (!n || *n == 0) {
            error = Cat({"bad request count '", count, "' (1 or more)"});
            return std::nullopt;
        }
        fault.nth = static_cast<unsigned>(*n);
    }
    return fault;
}

} // namespace

std::string_view RequestKindName(RequestKind kind)
{
    const auto i = static_cast<std::size_t>(kind);
    return i < kRequestNames.size() ? kRequestNames[i] : "?";
}

std::optional<DeviceConfig> ParseDeviceConfig(std::string_view text, std::string& error)
{
    DeviceConfig config;
    std::vector<std::string_view> seen;
    text = Trim(text);
    while (!text.empty()) {
        const auto comma = text.find(',');
        const std::string_view item = Trim(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        if (item.empty()) {
            continue;
        }
        const auto eq = item.find('=');
        if (eq == std::string_view::npos) {
            error = Cat({"'", item, "' is not KEY=VALUE"});
            return std::nullopt;
        }
        const std::string_view key = Trim(item.substr(0, eq));
        const std::string_view value = Trim(item.substr(eq + 1));
        // A key given twice would silently lose its first value; only faults add up.
        if (key != "fault" && std::find(seen.begin(), seen.end(), key) != seen.end()) {
            error = Cat({"key ", key, " is given twice"});
            return std::nullopt;
        }
        seen.push_back(key);
        auto bad = [&](std::string_view why) {
            error = Cat({"bad value '", value, "' for ", key, ": ", why});
            return std::nullopt;
        };
        auto u16 = [&](std::uint16_t& out) {
            const auto v = ParseUnsigned(value, 0xFFFF);
            if (!v) {
                return false;
            }
            out = static_cast<std::uint16_t>(*v);
            return true;
        };
        if (key == "mode") {
            if (value == "dfu") {
                config.mode = Mode::Dfu;
            } else if (value == "app") {
                config.mode = Mode::App;
            } else if (value == "other") {
                config.mode = Mode::Other;
            } else {
                return bad("use dfu, app or other");
            }
        } else if (key == "vid" || key == "pid" || key == "bcd" || key == "dfuver") {
            std::uint16_t& field = key == "vid"   ? config.vid
                                   : key == "pid" ? config.pid
                                   : key == "bcd" ? config.bcd
                                                  : config.dfuVersion;
            if (!u16(field)) {
                return bad("a number from 0 to 0xFFFF");
            }
        } else if (key == "app_bcd") {
            std::uint16_t value16 = 0;
            if (!u16(value16)) {
                return bad("a number from 0 to 0xFFFF");
            }
            config.appBcd = value16;
        } else if (key == "comes_back") {
            if (value != "0" && value != "1") {
                return bad("use 0 or 1");
            }
            config.comesBack = value == "1";
        } else if (key == "serial") {
            if (value.empty() || value.size() > 126) {
                return bad("1 to 126 characters");
            }
            for (const char c : value) {
                if (c < 0x21 || c > 0x7E || c == ';') {
                    return bad("printable ASCII without blanks");
                }
            }
            config.serial = std::string(value);
        } else if (key == "flash") {
            if (value.empty()) {
                return bad("a file path");
            }
            config.flashPath = std::string(value);
        } else if (key == "protect") {
            if (value == "1") {
                config.protect = true;
            } else if (value == "0") {
                config.protect = false;
            } else {
                return bad("use 0 or 1");
            }
        } else if (key == "data") {
            if (value == "1") {
                config.dataFlash = true;
            } else if (value == "0") {
                config.dataFlash = false;
            } else {
                return bad("use 0 or 1");
            }
        } else if (key == "timing") {
            if (value == "instant") {
                config.timing = Timing::Instant;
            } else if (value == "fullspeed") {
                config.timing = Timing::FullSpeed;
            } else {
                return bad("use instant or fullspeed");
            }
        } else if (key == "fault") {
            std::string why;
            const auto fault = ParseFault(value, why);
            if (!fault) {
                return bad(why);
            }
            config.faults.push_back(*fault);
        } else {
            error = Cat({"unknown key '", key, "'"});
            return std::nullopt;
        }
    }
    return config;
}

ConfigResult ParseSimConfig(std::string_view text)
{
    ConfigResult result;
    std::size_t index = 0;
    while (true) {
        const auto semi = text.find(';');
        const std::string_view part = text.substr(0, semi);
        if (!Trim(part).empty()) {
            ++index;
            std::string error;
            auto device = ParseDeviceConfig(part, error);
            if (!device) {
                result.devices.clear();
                result.error = Cat({"NEMORA_SIM device ", std::to_string(index), ": ", error});
                return result;
            }
            result.devices.push_back(std::move(*device));
        }
        if (semi == std::string_view::npos) {
            break;
        }
        text.remove_prefix(semi + 1);
    }
    return result;
}

} // namespace nemora::sim

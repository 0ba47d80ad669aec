#pragma once

// Helpers for the transport tests: the environment, event collection and a small walker over
// configuration descriptors.

#include "../sim/sim_test_util.h"
#include "usb/transport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace nemora::usb::test {

using sim::test::TempDir;

// Sets (or with nullopt unsets) an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : m_name(name)
    {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        Apply(value);
    }
    // Only restores the variable's present value at the end.
    explicit ScopedEnv(const char* name) : m_name(name)
    {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
    }
    ~ScopedEnv() { Apply(m_old); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Apply(const std::optional<std::string>& value)
    {
        if (value) {
            ::setenv(m_name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(m_name.c_str());
        }
    }
    std::string m_name;
    std::optional<std::string> m_old;
};

// "+1-2" for an arrival at 1-2, "-1-2" for a removal.
inline std::string EventText(const DeviceEvent& e)
{
    return (e.kind == DeviceEvent::Kind::Arrival ? "+" : "-") + e.location;
}

// Waits until `count` events have come (or 10 s have passed) and returns them as EventText.
inline std::vector<std::string> CollectEvents(Transport& transport, std::size_t count)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::vector<std::string> out;
    while (out.size() < count) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        for (const DeviceEvent& e : transport.WaitForEvents(left)) {
            out.push_back(EventText(e));
        }
    }
    return out;
}

struct InterfaceEntry {
    std::uint8_t number = 0, alternate = 0, cls = 0, subClass = 0, protocol = 0, iInterface = 0;
};

struct ConfigSummary {
    std::vector<InterfaceEntry> interfaces;
    std::vector<std::vector<std::uint8_t>> functional; // DFU functional descriptors (type 0x21), whole
    bool wellFormed = false;
};

// Walks a configuration descriptor; wellFormed is false when a length runs past wTotalLength.
inline ConfigSummary Summarise(const std::vector<std::uint8_t>& config)
{
    ConfigSummary s;
    if (config.size() < 9 || config[1] != 0x02 ||
        static_cast<std::size_t>(config[2] | config[3] << 8) != config.size()) {
        return s;
    }
    std::size_t pos = 0;
    while (pos < config.size()) {
        const std::size_t len = config[pos];
        if (len < 2 || pos + len > config.size()) {
            return s;
        }
        if (config[pos + 1] == 0x04 && len >= 9) {
            s.interfaces.push_back(
                {config[pos + 2], config[pos + 3], config[pos + 5], config[pos + 6], config[pos + 7], config[pos + 8]});
        } else if (config[pos + 1] == 0x21) {
            s.functional.emplace_back(config.begin() + static_cast<std::ptrdiff_t>(pos),
                                      config.begin() + static_cast<std::ptrdiff_t>(pos + len));
        }
        pos += len;
    }
    s.wellFormed = true;
    return s;
}

} // namespace nemora::usb::test

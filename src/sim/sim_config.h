#pragma once

// Configuration of the virtual DfuSe devices, as given in NEMORA_SIM.
//
//   NEMORA_SIM = DEVICE ( ';' DEVICE )*
//   DEVICE     = KEY '=' VALUE ( ',' KEY '=' VALUE )*      (an empty DEVICE is skipped)
//
// Keys: mode, vid, pid, bcd, dfuver, serial, flash, protect, data, timing, fault (repeatable). See README.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nemora::sim {

enum class Mode { Dfu, App, Other };

enum class Timing { Instant, FullSpeed };

// Requests a fault can be tied to. One request can count as several kinds: a DNLOAD of a data block is
// both Dnload and Write, a set-address command both Dnload and SetAddress.
enum class RequestKind : std::uint8_t {
    Detach,
    Dnload,
    Upload,
    GetStatus,
    ClrStatus,
    GetState,
    Abort,
    Descriptor, // any descriptor request
    SetAddress, // DfuSe command 0x21
    Erase,      // DfuSe command 0x41 with an address
    MassErase,  // DfuSe command 0x41 alone
    Unprotect,  // DfuSe command 0x92
    Write,      // DNLOAD of a data block (wBlockNum >= 2)
    Read,       // UPLOAD of a memory block (wBlockNum >= 2)
    Leave,      // zero-length DNLOAD
    Open,       // opening the device (only the access fault applies)
    Count
};

enum class FaultKind {
    Unplug, // the device disappears at the request (the request fails with NoDevice)
    Stall,  // the request stalls (and, for a DFU request, the device goes to dfuERROR)
    Status, // the request's work is not done; the device goes to dfuERROR with `status`
    NoDesc, // descriptor requests fail from the N-th on
    Access, // opening the device fails for lack of permission from the N-th open on
};

struct Fault {
    FaultKind kind = FaultKind::Stall;
    RequestKind request = RequestKind::Dnload;
    unsigned nth = 1; // 1-based count of requests of that kind
    std::uint8_t status = 0;
};

struct DeviceConfig {
    Mode mode = Mode::Dfu;
    std::uint16_t vid = 0x0483;
    std::uint16_t pid = 0xDF11;
    std::uint16_t bcd = 0x004C;
    // The bcdDevice it reports in application mode (the firmware it runs after leaving update mode);
    // nothing: the same as in update mode.
    std::optional<std::uint16_t> appBcd;
    std::uint16_t bcdFor(Mode m) const { return m == Mode::App && appBcd ? *appBcd : bcd; }
    bool comesBack = true; // after leaving update mode; false: it stays away, as a device whose firmware hangs
    std::uint16_t dfuVersion = 0x011A;
    std::string serial;    // empty: derived from the location
    std::string flashPath; // empty: flash lives in memory
    bool protect = false;
    bool dataFlash = false; // a third alternate setting: 4 KiB of data flash (see kDataFlashLayout)
    Timing timing = Timing::Instant;
    std::vector<Fault> faults;
};

struct ConfigResult {
    std::vector<DeviceConfig> devices;
    std::string error; // empty on success; otherwise names the offending device, key and value

    bool Ok() const { return error.empty(); }
};

// Parses a whole NEMORA_SIM value.
ConfigResult ParseSimConfig(std::string_view text);

// Parses one device ("mode=app,bcd=0x0300"); on failure returns nothing and sets `error`.
std::optional<DeviceConfig> ParseDeviceConfig(std::string_view text, std::string& error);

// Name of a request kind as written in fault=, e.g. "dnload".
std::string_view RequestKindName(RequestKind kind);

} // namespace nemora::sim

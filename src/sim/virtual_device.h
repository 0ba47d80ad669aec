#pragma once

// One virtual USB device: a 64 KiB STM32-class part with the DfuSe bootloader (DFU mode), the same part
// running its firmware (a DFU run-time interface), or a device with no DFU interface at all.
//
// The model is a plain object with no locking: its owner (the Bus) serialises every call. It never
// sleeps except to spend the wire time of a transfer under timing=fullspeed, through the injected clock.

#include "sim/clock.h"
#include "sim/sim_config.h"
#include "usb/transport.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nemora::sim {

inline constexpr std::uint32_t kFlashBase = 0x08000000;
inline constexpr std::uint32_t kFlashSize = 64 * 1024;
inline constexpr std::uint32_t kPageSize = 1024;
inline constexpr std::uint32_t kOptionBytesBase = 0x1FFFF800;
inline constexpr std::uint32_t kOptionBytesSize = 16;
inline constexpr std::uint16_t kTransferSize = 2048;
// With data=1 only: a separately erasable data area behind alternate setting 2, kept in memory.
inline constexpr std::uint32_t kDataFlashBase = 0x08080000;
inline constexpr std::uint32_t kDataFlashSize = 4 * 1024;
inline constexpr std::string_view kFlashLayout = "@Internal Flash  /0x08000000/64*001Kg";
inline constexpr std::string_view kOptionBytesLayout = "@Option Bytes  /0x1FFFF800/01*016 e";
inline constexpr std::string_view kDataFlashLayout = "@Data Flash  /0x08080000/04*001Kg";

// DFU class requests.
inline constexpr std::uint8_t kDfuDetach = 0, kDfuDnload = 1, kDfuUpload = 2, kDfuGetStatus = 3, kDfuClrStatus = 4,
                              kDfuGetState = 5, kDfuAbort = 6;

// DFU states.
enum DfuState : std::uint8_t {
    kAppIdle = 0,
    kAppDetach = 1,
    kDfuIdle = 2,
    kDfuDnloadSync = 3,
    kDfuDnBusy = 4,
    kDfuDnloadIdle = 5,
    kDfuManifestSync = 6,
    kDfuManifest = 7,
    kDfuManifestWaitReset = 8,
    kDfuUploadIdle = 9,
    kDfuError = 10,
};

// DFU status codes used by the model.
enum DfuStatus : std::uint8_t {
    kStatusOk = 0x00,
    kErrTarget = 0x01,
    kErrWrite = 0x03,
    kErrProg = 0x06,
    kErrAddress = 0x08,
    kErrVendor = 0x0B,
    kErrUnknown = 0x0E,
    kErrStalledPkt = 0x0F,
};

// Durations of a timing profile. Instant: everything zero, bwPollTimeout still announced as 1 ms so that
// hosts which insist on a non-zero poll while busy are satisfied.
struct TimingProfile {
    Nanos controlTransfer{0}; // setup and status stages of one control transfer
    Nanos perDataByte{0};     // each byte of a data stage
    Nanos pageErase{0};
    Nanos massErase{0};
    Nanos halfWordProgram{0};
    Nanos command{0}; // set address pointer
    bool enforced = false;
};
TimingProfile ProfileFor(Timing timing);

// What the owner of the device must do after a call.
enum class BusAction {
    None,
    Vanish,      // the device left the bus for good (unplug fault)
    Reenumerate, // the device dropped off and came back at the same place, maybe in another mode
};

class VirtualDevice {
public:
    // Opens or creates the flash file if the configuration names one; on failure returns nullptr and sets
    // `error`. `location` only feeds the default serial number.
    static std::unique_ptr<VirtualDevice> Create(const DeviceConfig& config, Clock& clock, unsigned location,
                                                 std::string& error);
    ~VirtualDevice();
    VirtualDevice(const VirtualDevice&) = delete;
    VirtualDevice& operator=(const VirtualDevice&) = delete;

    const DeviceConfig& Config() const { return m_config; }
    Mode CurrentMode() const { return m_mode; }
    const std::string& Serial() const { return m_serial; }

    // A host opens the device: Access when an access fault is due (counted as an open request).
    usb::Status Open();
    // The device restarts in `mode` (another process made it leave or detach); the owner re-enumerates it.
    void RestartIn(Mode mode) { EnterMode(mode); }

    // --- the USB side ---
    usb::Status GetDeviceDescriptor(std::vector<std::uint8_t>& out);
    usb::Status GetConfigDescriptor(std::vector<std::uint8_t>& out);
    // Raw string descriptor (index 0: the language table). Empty when there is no such string.
    std::vector<std::uint8_t> StringDescriptor(std::uint8_t index) const;
    usb::Status SetAltSetting(std::uint8_t interfaceNumber, std::uint8_t alternate);
    usb::TransferResult Control(const usb::SetupPacket& setup, std::span<std::uint8_t> data);
    usb::Status Reset();
    BusAction TakeBusAction();
    // With deferred wire time the transfers do not sleep themselves: TakeOwedWire() hands the time they
    // owe under enforced timing to the caller, which spends it after letting go of the bus, as a device
    // on a port of its own would.
    void SetDeferWire(bool defer) { m_deferWire = defer; }
    Nanos TakeOwedWire();

    // --- inspection for tests and the control API ---
    // The main flash. With a flash file it is the file itself, mapped shared: every device in every process
    // on that file reads and changes the same bytes, at once. Empty while the file is cut short.
    std::span<const std::uint8_t> Flash() const;
    std::span<const std::uint8_t> DataFlash() const { return m_dataFlash; } // empty without data=1
    const std::array<std::uint8_t, kOptionBytesSize>& OptionBytes() const { return m_optionBytes; }
    bool ReadProtected() const { return m_optionBytes[0] != 0xA5; }
    std::uint8_t State() const { return m_state; }
    std::uint8_t StatusCode() const { return m_status; }
    std::uint32_t AddressPointer() const { return m_addressPointer; }
    std::uint8_t AltSetting() const { return m_alt; }
    Nanos Floor() const { return m_floor; }
    // Why the last access to the flash file failed (empty when none): another program cut it short, and
    // the request failed rather than touch bytes the file no longer has.
    const std::string& FlashFileError() const { return m_flashFileError; }
    // Puts bytes straight into flash (test set-up), into the flash file like any program.
    void LoadFlash(std::uint32_t offset, std::span<const std::uint8_t> bytes);

private:
    enum class Op { None, SetAddress, Erase, MassErase, Unprotect, Write };
    struct Pending {
        Op op = Op::None;
        std::uint32_t address = 0;
        std::vector<std::uint8_t> data;
        bool started = false;
        std::uint8_t result = kStatusOk;
        bool resetsDevice = false;
    };

    VirtualDevice(const DeviceConfig& config, Clock& clock, unsigned location);

    const Fault* CountRequest(std::initializer_list<RequestKind> kinds);
    usb::TransferResult ApplyFault(const Fault& fault, bool dfuRequest = true);
    usb::TransferResult Stall();
    usb::TransferResult Reply(std::span<std::uint8_t> data, std::size_t wLength, std::span<const std::uint8_t> bytes);
    usb::TransferResult Standard(const usb::SetupPacket& setup, std::span<std::uint8_t> data);
    usb::TransferResult Descriptor(const usb::SetupPacket& setup, std::span<std::uint8_t> data);
    usb::TransferResult DfuRequest(const usb::SetupPacket& setup, std::span<std::uint8_t> data);
    usb::TransferResult RuntimeRequest(const usb::SetupPacket& setup, std::span<std::uint8_t> data);
    usb::TransferResult Dnload(const usb::SetupPacket& setup, std::span<std::uint8_t> data);
    usb::TransferResult Upload(const usb::SetupPacket& setup, std::span<std::uint8_t> data);
    usb::TransferResult GetStatus(std::span<std::uint8_t> data, std::size_t wLength);
    std::vector<std::uint8_t> BuildConfigDescriptor() const;
    Nanos Execute(Pending& pending);
    void AdvanceTime();
    void EnterMode(Mode mode);
    bool FlashUsable();
    bool InDataFlash(std::uint64_t address, std::uint64_t length) const;

    DeviceConfig m_config;
    Clock& m_clock;
    TimingProfile m_timing;
    std::string m_serial;
    Mode m_mode;
    std::vector<std::uint8_t> m_flashMemory; // the flash without a flash file
    std::span<std::uint8_t> m_flash;         // m_flashMemory or the mapped flash file
    std::vector<std::uint8_t> m_dataFlash;
    std::array<std::uint8_t, kOptionBytesSize> m_optionBytes{};
    int m_flashFd = -1;
    std::string m_flashFileError;
    std::uint8_t m_state = kDfuIdle;
    std::uint8_t m_status = kStatusOk;
    std::uint8_t m_alt = 0;
    std::uint32_t m_addressPointer = kFlashBase;
    Pending m_pending;
    Nanos m_busyUntil{0};
    Nanos m_floor{0};
    Nanos m_owedWire{0};
    bool m_deferWire = false;
    bool m_attached = true;
    BusAction m_action = BusAction::None;
    std::array<unsigned, static_cast<std::size_t>(RequestKind::Count)> m_counts{};
};

} // namespace nemora::sim

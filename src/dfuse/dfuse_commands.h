#pragma once

// DfuSe commands and the DFU version window, for the protocol code and for anyone who sends a command
// over the contract's raw DNLOAD (the console's option-byte probe).

#include <array>
#include <cstdint>

namespace nemora::dfuse {

// DfuSe command bytes (DNLOAD with wBlockNum 0).
inline constexpr std::uint8_t kDfuseSetAddress = 0x21, kDfuseErase = 0x41;

// The DFU versions (bcdDFUVersion of the functional descriptor) a DfuSe device may report.
inline constexpr std::uint16_t kMinDfuVersion = 0x011A;
inline constexpr std::uint16_t kMaxDfuVersion = 0x011F;

constexpr bool IsSupportedDfuVersion(std::uint16_t bcdDfuVersion)
{
    return bcdDfuVersion >= kMinDfuVersion && bcdDfuVersion <= kMaxDfuVersion;
}

// A command with an address: the command byte and the address, least significant byte first.
constexpr std::array<std::uint8_t, 5> AddressCommand(std::uint8_t command, std::uint32_t address)
{
    return {command, static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 24)};
}

// The set-address-pointer command.
constexpr std::array<std::uint8_t, 5> SetAddressCommand(std::uint32_t address)
{
    return AddressCommand(kDfuseSetAddress, address);
}

} // namespace nemora::dfuse

#pragma once

// The memory layout a DfuSe bootloader announces in each alternate setting's interface string:
//
//   '@' NAME ( '/' '0x' HEXADDR '/' GROUP ( ',' GROUP )* )+
//   GROUP = COUNT '*' SIZE UNIT TYPE    COUNT and SIZE decimal (leading zeros allowed)
//   UNIT  = 'B' | 'K' | 'M' | ' '       bytes, x1024, x1048576, blank = bytes
//   TYPE  = 'a' .. 'g'                  low three bits = readable (1), erasable (2), writable (4)
//
// for example "@Internal Flash  /0x08000000/64*001Kg". The name keeps its trailing blanks. Groups after
// one address follow each other; a new address starts a new run. Every sector of a group becomes one
// MappingSector.

#include "dfuse/memory_map.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace nemora::dfuse {

// Sectors per target beyond which a layout is refused (a string of 255 characters cannot honestly
// describe more; the limit keeps a hostile "9999999*..." from allocating gigabytes).
inline constexpr std::uint64_t kMaxLayoutSectors = 65536;

struct LayoutResult {
    bool ok = false;
    std::string error; // what is wrong and at which character, when !ok
};

// Parses one interface string into `target` (its name and sectors; the alternate is set to `alternate`).
// On failure `target` is left empty except for the alternate.
LayoutResult ParseMemoryLayout(std::string_view text, std::uint8_t alternate, MappingTarget& target);

} // namespace nemora::dfuse

#pragma once

// Readers for the two text formats firmware comes in besides raw binaries: Intel HEX and Motorola
// S-records. Both check every record's length and checksum, refuse addresses beyond 32 bits and data
// given twice for the same address, and insist on the end record, so that a cut-off file is not taken
// for a short one. Data comes back as elements in address order, contiguous records merged.

#include "dfuse/dfu_file.h"

#include <string>
#include <string_view>
#include <vector>

namespace nemora::dfuse {

struct RecordsResult {
    bool ok = false;
    std::vector<Element> elements;
    std::string message; // on failure: "line N: what is wrong"
};

RecordsResult ParseIntelHex(std::string_view text);
RecordsResult ParseSRecords(std::string_view text);

} // namespace nemora::dfuse

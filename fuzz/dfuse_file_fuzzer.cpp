// libFuzzer target for the DfuSe container parser, the image filters and the Intel HEX and S-record
// readers. Besides "no crash, no leak, no undefined behaviour" it checks that a file that parses writes
// back to bytes that parse to the same file.

#include "dfuse/dfu_file.h"
#include "dfuse/dfuse_operations.h"
#include "dfuse/hex_records.h"
#include "dfuse/image_filter.h"
#include "dfuse/memory_layout.h"

#include <cstdlib>
#include <string_view>

namespace {

using namespace nemora::dfuse;

const MappingTarget& FlashTarget()
{
    static const MappingTarget target = [] {
        MappingTarget t{0, "Internal Flash  ", {}};
        for (std::uint32_t page = 0; page < 64; ++page)
            t.sectors.push_back(MappingSector{0x08000000 + page * 1024, 1024,
                                              static_cast<std::uint8_t>(page < 4 ? kSectorReadable : 7)});
        t.sectors.push_back(MappingSector{0xFFFFFC00, 1024, 7}); // ends exactly at 4 GiB
        return t;
    }();
    return target;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    const ParseResult lenient = ParseDfuFile(bytes, false);
    const ParseResult strict = ParseDfuFile(bytes, true);
    if (strict.file && !lenient.file)
        std::abort();
    if (lenient.file) {
        std::vector<std::uint8_t> written;
        if (!SerializeDfuFile(*lenient.file, written)) {
            const ParseResult again = ParseDfuFile(written);
            if (!again.file || !(*again.file == *lenient.file))
                std::abort();
        }
        for (const Image& image : lenient.file->images) {
            for (std::uint32_t op : {OPERATION_UPLOAD, OPERATION_ERASE, OPERATION_UPGRADE}) {
                Image copy = image;
                const FilterReport report = FilterImage(copy, FlashTarget(), op, (size & 1) != 0);
                if (op != OPERATION_ERASE &&
                    copy.DataSize() + report.droppedBytes + report.skippedBlankBytes != image.DataSize())
                    std::abort(); // every byte is either kept or accounted for
            }
        }
    }
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ParseIntelHex(text);
    ParseSRecords(text);
    // Interface strings come from the device: every sector must lie below 4 GiB and follow the rules.
    MappingTarget target;
    const LayoutResult layout = ParseMemoryLayout(text, 0, target);
    if (layout.ok != layout.error.empty()) // a failure always says why
        std::abort();
    for (const MappingSector& sector : target.sectors) {
        if (sector.dwSectorSize == 0 || sector.End() > 0x100000000ull || sector.bSectorType > 7)
            std::abort();
    }
    if (target.sectors.size() > kMaxLayoutSectors)
        std::abort();
    return 0;
}

#include "dfuse/image_filter.h"

#include "dfuse/dfuse_operations.h"

#include <algorithm>

namespace nemora::dfuse {

namespace {

struct Range {
    std::uint64_t start;
    std::uint64_t end; // exclusive
};

// The sectors with all the given type bits, merged into sorted, disjoint runs.
std::vector<Range> AllowedRuns(const MappingTarget& target, std::uint8_t bits)
{
    std::vector<Range> runs;
    for (const MappingSector& s : target.sectors) {
        if ((s.bSectorType & bits) == bits && s.dwSectorSize > 0)
            runs.push_back({s.dwStartAddress, s.End()});
    }
    std::sort(runs.begin(), runs.end(), [](const Range& a, const Range& b) { return a.start < b.start; });
    std::vector<Range> merged;
    for (const Range& r : runs) {
        if (!merged.empty() && r.start <= merged.back().end)
            merged.back().end = std::max(merged.back().end, r.end);
        else
            merged.push_back(r);
    }
    return merged;
}

Element Slice(const Element& e, std::uint64_t from, std::uint64_t to)
{
    Element piece;
    piece.address = static_cast<std::uint32_t>(from);
    const auto begin = e.data.begin() + static_cast<std::ptrdiff_t>(from - e.address);
    piece.data.assign(begin, begin + static_cast<std::ptrdiff_t>(to - from));
    return piece;
}

// Cuts every element to the allowed runs.
std::vector<Element> KeepInside(const std::vector<Element>& elements, const std::vector<Range>& runs,
                                std::uint64_t& dropped)
{
    std::vector<Element> kept;
    for (const Element& e : elements) {
        std::uint64_t keptBytes = 0;
        for (const Range& r : runs) {
            const std::uint64_t from = std::max<std::uint64_t>(r.start, e.address);
            const std::uint64_t to = std::min(r.end, e.End());
            if (from < to) {
                kept.push_back(Slice(e, from, to));
                keptBytes += to - from;
            }
        }
        dropped += e.data.size() - keptBytes;
    }
    return kept;
}

// Drops the all-0xFF blocks of pieces lying in erasable and writable sectors.
std::vector<Element> SkipBlankBlocks(const std::vector<Element>& pieces, const MappingTarget& target,
                                     std::uint64_t& skipped)
{
    std::vector<Element> out;
    for (const Element& e : pieces) {
        std::vector<bool> drop(e.data.size(), false);
        for (const MappingSector& s : target.sectors) {
            if (!s.IsErasable() || !s.IsWritable())
                continue;
            if (s.End() <= e.address || e.End() <= s.dwStartAddress)
                continue;
            // First block that can overlap the piece.
            const std::uint64_t skipBlocks =
                e.address > s.dwStartAddress ? (e.address - s.dwStartAddress) / kBlankBlockSize : 0;
            for (std::uint64_t block = s.dwStartAddress + skipBlocks * kBlankBlockSize; block < s.End();
                 block += kBlankBlockSize) {
                const std::uint64_t from = std::max<std::uint64_t>(block, e.address);
                const std::uint64_t to = std::min({block + kBlankBlockSize, s.End(), e.End()});
                if (block >= e.End())
                    break;
                if (from >= to)
                    continue;
                const auto first = e.data.begin() + static_cast<std::ptrdiff_t>(from - e.address);
                const auto last = first + static_cast<std::ptrdiff_t>(to - from);
                if (std::all_of(first, last, [](std::uint8_t b) { return b == 0xFF; }))
                    std::fill(drop.begin() + (first - e.data.begin()), drop.begin() + (last - e.data.begin()), true);
            }
        }
        std::size_t i = 0;
        while (i < drop.size()) {
            std::size_t j = i;
            while (j < drop.size() && drop[j] == drop[i])
                ++j;
            if (drop[i])
                skipped += j - i;
            else
                out.push_back(Slice(e, e.address + i, e.address + j));
            i = j;
        }
    }
    return out;
}

std::vector<Element> TouchedSectors(const std::vector<Element>& elements, const MappingTarget& target)
{
    std::vector<MappingSector> touched;
    for (const MappingSector& s : target.sectors) {
        if (!s.IsErasable() || !s.IsWritable() || s.dwSectorSize == 0)
            continue;
        const bool hit = std::any_of(elements.begin(), elements.end(), [&](const Element& e) {
            return !e.data.empty() && e.address < s.End() && s.dwStartAddress < e.End();
        });
        if (hit)
            touched.push_back(s);
    }
    std::sort(touched.begin(), touched.end(), [](const MappingSector& a, const MappingSector& b) {
        return a.dwStartAddress != b.dwStartAddress ? a.dwStartAddress < b.dwStartAddress
                                                    : a.dwSectorSize < b.dwSectorSize;
    });
    touched.erase(std::unique(touched.begin(), touched.end(),
                              [](const MappingSector& a, const MappingSector& b) {
                                  return a.dwStartAddress == b.dwStartAddress && a.dwSectorSize == b.dwSectorSize;
                              }),
                  touched.end());
    std::vector<Element> out;
    for (const MappingSector& s : touched)
        out.push_back(Element{s.dwStartAddress, std::vector<std::uint8_t>(s.dwSectorSize, 0xFF)});
    return out;
}

} // namespace

FilterReport FilterImage(Image& image, const MappingTarget& target, std::uint32_t operation, bool skipBlank)
{
    FilterReport report;
    switch (operation) {
    case OPERATION_DETACH:
    case OPERATION_RETURN:
        return report;
    case OPERATION_UPLOAD:
        image.elements = KeepInside(image.elements, AllowedRuns(target, kSectorReadable), report.droppedBytes);
        return report;
    case OPERATION_UPGRADE: {
        auto kept = KeepInside(image.elements, AllowedRuns(target, kSectorWritable), report.droppedBytes);
        if (skipBlank)
            kept = SkipBlankBlocks(kept, target, report.skippedBlankBytes);
        image.elements = std::move(kept);
        return report;
    }
    case OPERATION_ERASE:
        image.elements = TouchedSectors(image.elements, target);
        return report;
    default:
        report.error = Error{FileError::BadParameter, "unknown operation " + std::to_string(operation)};
        return report;
    }
}

Error ImageFromMapping(const MappingTarget& target, Image& image)
{
    const std::vector<Range> runs = AllowedRuns(target, 0);
    std::uint64_t total = 0;
    for (const Range& r : runs)
        total += r.end - r.start;
    if (total > kMaxFileSize)
        return Error{FileError::TooLarge, "the target spans " + std::to_string(total) + " bytes"};
    Image made;
    made.alternate = target.bAlternate;
    for (const Range& r : runs) {
        // A run may reach 4 GiB exactly; addresses beyond 32 bits cannot occur as starts.
        made.elements.push_back(Element{static_cast<std::uint32_t>(r.start),
                                        std::vector<std::uint8_t>(static_cast<std::size_t>(r.end - r.start), 0xFF)});
    }
    image = std::move(made);
    return {};
}

} // namespace nemora::dfuse

#include "dfuse/file_checks.h"

#include "i18n/translate.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace nemora::dfuse {
namespace {

using i18n::FormatText;
using i18n::Tr;

constexpr std::uint16_t kModelMask = 0xFFC0; // bcdDevice without its six firmware-version bits

std::string Hex4(std::uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", unsigned{value});
    return text;
}

std::string HexAddress(std::uint64_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(value));
    return text;
}

// The device's model: its bcdDevice text read as hexadecimal, without the firmware-version bits.
std::uint32_t ModelOf(const std::string& bcdText)
{
    return static_cast<std::uint32_t>(std::strtoul(bcdText.c_str(), nullptr, 16)) & kModelMask;
}

} // namespace

bool FileSuits(const DeviceLink& link, std::uint16_t vid, std::uint16_t pid, std::uint16_t bcd)
{
    return link.devVid == Hex4(vid) && link.devPid == Hex4(pid) && !link.devBcd.empty() &&
           (bcd & kModelMask) == ModelOf(link.devBcd);
}

std::uint32_t DeviceModel(const DeviceLink& link)
{
    return ModelOf(link.devBcd);
}

std::vector<AddressRange> BytesOutside(const Image& image, const MappingTarget& target, std::uint8_t typeBits)
{
    std::vector<AddressRange> allowed;
    for (const MappingSector& s : target.sectors) {
        if ((s.bSectorType & typeBits) == typeBits && s.dwSectorSize > 0) {
            allowed.push_back({s.dwStartAddress, s.End()}); // `last` holds the end here, one past
        }
    }
    std::sort(allowed.begin(), allowed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<AddressRange> outside;
    auto addOutside = [&](std::uint64_t from, std::uint64_t to) { // [from, to)
        if (from >= to) {
            return;
        }
        if (!outside.empty() && outside.back().last + 1 >= from) {
            outside.back().last = std::max(outside.back().last, to - 1);
        } else {
            outside.push_back({from, to - 1});
        }
    };
    for (const Element& e : image.elements) {
        std::uint64_t at = e.address;
        const std::uint64_t end = e.End();
        for (const auto& run : allowed) {
            if (at >= end) {
                break;
            }
            if (run.last <= at) {
                continue;
            }
            addOutside(at, std::min(end, run.first));
            at = std::max(at, run.last);
        }
        addOutside(at, end);
    }
    std::sort(outside.begin(), outside.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return outside;
}

std::optional<ElementOverlap> FindOverlap(const std::vector<Image>& images)
{
    struct Piece {
        std::uint64_t start, end;
        std::size_t image, element;
        std::uint8_t alternate;
    };
    std::vector<Piece> pieces;
    for (std::size_t i = 0; i < images.size(); ++i) {
        for (std::size_t e = 0; e < images[i].elements.size(); ++e) {
            const Element& element = images[i].elements[e];
            if (!element.data.empty()) {
                pieces.push_back({element.address, element.End(), i, e, images[i].alternate});
            }
        }
    }
    std::sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) {
        return a.alternate != b.alternate ? a.alternate < b.alternate : a.start < b.start;
    });
    // Sorted by start, a piece overlaps an earlier one exactly when it starts before the furthest end so far.
    for (std::size_t k = 1, reach = 0; k < pieces.size(); ++k) {
        if (pieces[k].alternate != pieces[k - 1].alternate) {
            reach = k;
            continue;
        }
        if (pieces[k].start < pieces[reach].end) {
            const Piece& a = pieces[reach];
            const Piece& b = pieces[k];
            const bool aFirst = a.image != b.image ? a.image < b.image : a.element < b.element;
            const Piece& x = aFirst ? a : b;
            const Piece& y = aFirst ? b : a;
            return ElementOverlap{x.image, x.element, y.image, y.element, b.start, std::min(a.end, b.end) - 1};
        }
        if (pieces[k].end > pieces[reach].end) {
            reach = k;
        }
    }
    return std::nullopt;
}

std::string DescribeOverlap(const std::vector<Image>& images, const ElementOverlap& overlap)
{
    auto element = [&](std::size_t i, std::size_t e) {
        const Element& el = images[i].elements[e];
        return FormatText(Tr("FileChecks", "image %zu element %zu (%s, %zu bytes)").c_str(), i, e,
                          HexAddress(el.address).c_str(), el.data.size());
    };
    return FormatText(Tr("FileChecks", "%s and %s both hold bytes for %s to %s").c_str(),
                      element(overlap.firstImage, overlap.firstElement).c_str(),
                      element(overlap.secondImage, overlap.secondElement).c_str(), HexAddress(overlap.first).c_str(),
                      HexAddress(overlap.last).c_str());
}

std::vector<std::string> FileRefusals(const std::vector<Image>& images, const std::vector<MappingTarget>& mapping,
                                      const std::vector<int>& targets)
{
    std::vector<std::string> refusals;
    if (const auto overlap = FindOverlap(images)) {
        // Writing both would program the same bytes twice: the second write fails half-way.
        refusals.push_back(FormatText(Tr("FileChecks", "The file's data overlaps: %s; nothing was written.").c_str(),
                                      DescribeOverlap(images, *overlap).c_str()));
    }
    std::vector<std::size_t> imagesPerTarget(256, 0);
    for (std::size_t i = 0; i < images.size(); ++i) {
        const Image& image = images[i];
        const MappingTarget* target = image.alternate < mapping.size() ? &mapping[image.alternate] : nullptr;
        if (image.DataSize() > 0 && ++imagesPerTarget[image.alternate] == 2 &&
            std::find(targets.begin(), targets.end(), int{image.alternate}) != targets.end()) {
            // A download writes the first image of each target only: the others would be lost while the
            // verify of the first one passes.
            refusals.push_back(
                FormatText(Tr("FileChecks", "The file holds more than one image for target %02u (image %zu is "
                                            "the second); a download writes one image per target, so the "
                                            "others would not be written; nothing was written.")
                               .c_str(),
                           unsigned{image.alternate}, i));
        }
        if (target == nullptr) {
            refusals.push_back(
                FormatText(Tr("FileChecks", "The file holds an image for target %02u, but the device has no "
                                            "such target; nothing was written.")
                               .c_str(),
                           unsigned{image.alternate}));
            continue;
        }
        if (std::find(targets.begin(), targets.end(), int{image.alternate}) == targets.end()) {
            continue;
        }
        const auto outside = BytesOutside(image, *target, kSectorWritable);
        if (!outside.empty()) {
            std::uint64_t count = 0;
            for (const auto& r : outside) {
                count += r.last - r.first + 1;
            }
            refusals.push_back(FormatText(Tr("FileChecks", "%llu bytes lie outside the writable sectors of target %02u "
                                                           "\"%s\" (the first from %s to %s); nothing was written.")
                                              .c_str(),
                                          static_cast<unsigned long long>(count), unsigned{image.alternate},
                                          target->szName.c_str(), HexAddress(outside.front().first).c_str(),
                                          HexAddress(outside.front().last).c_str()));
        }
    }
    return refusals;
}

} // namespace nemora::dfuse

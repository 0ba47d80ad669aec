#include "dfuse/page_plan.h"

#include "dfuse/dfuse_operations.h"
#include "dfuse/image_filter.h"
#include "i18n/translate.h"

#include <algorithm>
#include <cstdio>

namespace nemora::dfuse {
namespace {

bool Blank(const std::vector<std::uint8_t>& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

// The pieces in address order, neighbours joined into one element.
std::vector<Element> Joined(std::vector<Element> pieces)
{
    std::sort(pieces.begin(), pieces.end(), [](const Element& a, const Element& b) { return a.address < b.address; });
    std::vector<Element> joined;
    for (Element& piece : pieces) {
        if (piece.data.empty()) {
            continue;
        }
        if (!joined.empty() && joined.back().End() == piece.address) {
            joined.back().data.insert(joined.back().data.end(), piece.data.begin(), piece.data.end());
        } else {
            joined.push_back(std::move(piece));
        }
    }
    return joined;
}

// The bytes of `element` that fall in [start, end), as an element of their own (empty when none do).
Element Clip(const Element& element, std::uint64_t start, std::uint64_t end)
{
    const std::uint64_t from = std::max<std::uint64_t>(element.address, start);
    const std::uint64_t to = std::min(element.End(), end);
    if (from >= to) {
        return {};
    }
    const auto first = element.data.begin() + static_cast<std::ptrdiff_t>(from - element.address);
    return Element{static_cast<std::uint32_t>(from), {first, first + static_cast<std::ptrdiff_t>(to - from)}};
}

} // namespace

Image PagesToCompare(const Image& wanted, const MappingTarget& target)
{
    Image pages = wanted;
    FilterImage(pages, target, OPERATION_ERASE, false); // the erasable and writable pages the bytes touch
    for (const Element& page : pages.elements) {
        const auto sector = std::find_if(target.sectors.begin(), target.sectors.end(), [&](const MappingSector& s) {
            return s.dwStartAddress <= page.address && page.End() <= s.End();
        });
        if (sector == target.sectors.end() || !sector->IsReadable()) {
            return {};
        }
    }
    return pages;
}

Image JoinedPages(const Image& pages)
{
    Image joined = pages;
    joined.elements = Joined(joined.elements);
    return joined;
}

PagePlan PlanPages(const Image& wanted, const Image& pages, const Image& read)
{
    // What the device holds on each page, from the read's elements; a page it lacks counts as unknown.
    Image current = pages;
    std::vector<bool> known(current.elements.size(), false);
    for (std::size_t i = 0; i < current.elements.size(); ++i) {
        Element& page = current.elements[i];
        for (const Element& run : read.elements) {
            if (run.address <= page.address && page.End() <= run.End()) {
                page = Clip(run, page.address, page.End());
                known[i] = true;
                break;
            }
        }
    }
    PagePlan plan;
    plan.erase = plan.program = plan.verify = Image{wanted.alternate, wanted.name, {}};
    plan.pages = current.elements.size();
    std::vector<Element> program, verify;
    for (std::size_t i = 0; i < current.elements.size(); ++i) {
        const Element& page = current.elements[i];
        if (!known[i]) {
            // Nothing is known of its bytes: erased, and written with the image's bytes over blank.
            ++plan.erased;
            plan.erase.elements.push_back(Element{page.address, std::vector<std::uint8_t>(page.data.size(), 0xFF)});
            for (const Element& e : wanted.elements) {
                if (Element piece = Clip(e, page.address, page.End()); !piece.data.empty()) {
                    program.push_back(piece);
                    verify.push_back(std::move(piece));
                }
            }
            continue;
        }
        std::vector<std::uint8_t> merged = page.data;
        std::vector<Element> wantedHere;
        for (const Element& e : wanted.elements) {
            Element piece = Clip(e, page.address, page.End());
            if (piece.data.empty()) {
                continue;
            }
            std::copy(piece.data.begin(), piece.data.end(), merged.begin() + (piece.address - page.address));
            wantedHere.push_back(std::move(piece));
        }
        if (merged == page.data) {
            ++plan.unchanged;
            continue;
        }
        if (Blank(page.data)) {
            ++plan.blank;
        } else {
            ++plan.erased;
            plan.erase.elements.push_back(Element{page.address, std::vector<std::uint8_t>(page.data.size(), 0xFF)});
        }
        if (!Blank(merged)) {
            program.push_back(Element{page.address, std::move(merged)});
        }
        verify.insert(verify.end(), wantedHere.begin(), wantedHere.end());
    }
    // Bytes on no page that can be compared (writable, not erasable) are written as they are, as always.
    for (const Element& e : wanted.elements) {
        std::uint64_t at = e.address;
        for (const Element& page : current.elements) {
            if (page.End() <= at || page.address >= e.End()) {
                continue;
            }
            if (page.address > at) {
                program.push_back(Clip(e, at, page.address));
                verify.push_back(Clip(e, at, page.address));
            }
            at = std::max(at, page.End());
        }
        if (at < e.End()) {
            program.push_back(Clip(e, at, e.End()));
            verify.push_back(Clip(e, at, e.End()));
        }
    }
    plan.program.elements = Joined(std::move(program));
    plan.verify.elements = Joined(std::move(verify));
    return plan;
}

std::string DescribePlan(const PagePlan& plan)
{
    const std::size_t written = plan.blank + plan.erased;
    char text[320];
    if (plan.blank > 0) {
        std::snprintf(
            text, sizeof text,
            i18n::Tr("PagePlan", "%zu of %zu pages already held these bytes; %zu to write (%zu of them blank)").c_str(),
            plan.unchanged, plan.pages, written, plan.blank);
    } else {
        std::snprintf(text, sizeof text,
                      i18n::Tr("PagePlan", "%zu of %zu pages already held these bytes; %zu to write").c_str(),
                      plan.unchanged, plan.pages, written);
    }
    return text;
}

} // namespace nemora::dfuse

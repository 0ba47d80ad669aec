#pragma once

// Which pages of a target a write must erase and program, from what they hold now. A write compares, page by
// page, the bytes the device holds with those the image wants there: a page that already holds them is left
// alone; a blank page is programmed without an erase; any other page is erased and programmed whole, with
// the bytes it held kept wherever the image says nothing, so that no byte outside the image changes.
// Platform-free.

#include "dfuse/dfu_file.h"
#include "dfuse/memory_map.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace nemora::dfuse {

struct PagePlan {
    Image erase;               // the pages to erase, one element each (address, size, 0xFF)
    Image program;             // the bytes to program: whole merged pages, and the image's bytes on pages never erased
    Image verify;              // the image's bytes on the pages that are programmed: what the verify must read back
    std::size_t pages = 0;     // pages the image touches
    std::size_t unchanged = 0; // of them, already holding the wanted bytes
    std::size_t blank = 0;     // blank, programmed without an erase
    std::size_t erased = 0;    // erased and programmed
};

// The pages the image's bytes touch in the target, each as an element of the page's size. Empty when some
// page cannot be both read and erased, or the target has none: such a write cannot be compared and is
// written whole.
Image PagesToCompare(const Image& wanted, const MappingTarget& target);

// The pages as the read that fetches them: neighbouring pages joined into one element, so that the device
// streams them in full blocks.
Image JoinedPages(const Image& pages);

// The plan for `wanted` (an image fitted for download into its target) given what `read` (the elements
// of JoinedPages(pages) with the bytes the device holds) says of each of `pages`. A page the read does not
// hold whole is taken as unknown: erased and programmed with the image's bytes alone.
PagePlan PlanPages(const Image& wanted, const Image& pages, const Image& read);

// "36 of 48 pages already held these bytes; 12 to write" (and how many of those needed no erase).
std::string DescribePlan(const PagePlan& plan);

} // namespace nemora::dfuse

// The page plan of a write: which pages are left alone, programmed, or erased and programmed, and that a
// programmed page keeps every byte the image does not cover.

#include "dfuse/page_plan.h"

#include <gtest/gtest.h>

namespace {

using namespace nemora::dfuse;

constexpr std::uint32_t kBase = 0x08000000;
constexpr std::uint32_t kPage = 1024;

MappingTarget Target(std::uint8_t type = kSectorReadable | kSectorErasable | kSectorWritable)
{
    MappingTarget target;
    target.szName = "Internal Flash  ";
    target.sectors = {{kBase, kPage, type}, {kBase + kPage, kPage, type}, {kBase + 2 * kPage, kPage, type}};
    return target;
}

std::vector<std::uint8_t> Old(std::uint32_t size, std::uint8_t seed)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::uint32_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 3);
    }
    return bytes;
}

struct PlanCase {
    const char* name;
    std::vector<Element> wanted;
    std::vector<std::uint8_t> flash; // the three pages as they are
    bool readWhole;                  // false: the read lacks the last page
    std::size_t unchanged, blank, erased;
};

class PagePlans : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PagePlans, TouchOnlyWhatDiffersAndKeepEveryOtherByte)
{
    const PlanCase& c = GetParam();
    const Image wanted{0, "", c.wanted};
    const Image pages = PagesToCompare(wanted, Target());
    ASSERT_FALSE(pages.elements.empty());
    Image read = JoinedPages(pages);
    for (Element& run : read.elements) {
        const auto from = c.flash.begin() + (run.address - kBase);
        run.data.assign(from, from + static_cast<std::ptrdiff_t>(run.data.size()));
    }
    if (!c.readWhole) {
        read.elements.back().data.resize(read.elements.back().data.size() - kPage);
    }
    const PagePlan plan = PlanPages(wanted, pages, read);
    EXPECT_EQ(plan.pages, pages.elements.size());
    EXPECT_EQ(plan.unchanged, c.unchanged);
    EXPECT_EQ(plan.blank, c.blank);
    EXPECT_EQ(plan.erased, c.erased);
    EXPECT_EQ(plan.erase.elements.size(), c.erased);

    // Carry the plan out on a copy of the flash: erase, then program.
    std::vector<std::uint8_t> after = c.flash;
    for (const Element& e : plan.erase.elements) {
        std::fill_n(after.begin() + (e.address - kBase), e.data.size(), 0xFF);
    }
    for (const Element& e : plan.program.elements) {
        for (std::size_t i = 0; i < e.data.size(); ++i) {
            ASSERT_EQ(after[e.address - kBase + i], 0xFF) << "programmed over unerased bytes at " << i;
            after[e.address - kBase + i] = e.data[i];
        }
    }
    // The image's bytes are there, and every other byte is as it was (but on a page nothing was known of).
    std::vector<std::uint8_t> expected = c.flash;
    for (const Element& e : c.wanted) {
        std::copy(e.data.begin(), e.data.end(), expected.begin() + (e.address - kBase));
    }
    if (!c.readWhole) {
        for (std::size_t i = 2 * kPage; i < 3 * kPage; ++i) {
            expected[i] = after[i] == 0xFF ? 0xFF : expected[i];
        }
    }
    EXPECT_EQ(after, expected);
    // The verify covers the image's bytes on every page written, and no page left alone.
    std::size_t verified = 0;
    for (const Element& e : plan.verify.elements) {
        verified += e.data.size();
        EXPECT_TRUE(std::equal(e.data.begin(), e.data.end(), expected.begin() + (e.address - kBase)));
    }
    EXPECT_EQ(verified == 0, c.unchanged == plan.pages);
}

std::vector<std::uint8_t> Flash(std::vector<std::uint8_t> page0, std::vector<std::uint8_t> page1,
                                std::vector<std::uint8_t> page2)
{
    page0.insert(page0.end(), page1.begin(), page1.end());
    page0.insert(page0.end(), page2.begin(), page2.end());
    return page0;
}

const std::vector<std::uint8_t> kBlank(kPage, 0xFF);

INSTANTIATE_TEST_SUITE_P(
    Cases, PagePlans,
    ::testing::Values(
        // Page 0 already holds the bytes: nothing to do.
        PlanCase{
            "Unchanged", {{kBase, Old(kPage, 1)}}, Flash(Old(kPage, 1), Old(kPage, 2), Old(kPage, 3)), true, 1, 0, 0},
        // The first half of page 1 changes: erased, its second half kept.
        PlanCase{"PartlyCoveredAtTheStart",
                 {{kBase + kPage, Old(512, 9)}},
                 Flash(Old(kPage, 1), Old(kPage, 2), Old(kPage, 3)),
                 true,
                 0,
                 0,
                 1},
        // An element from the middle of page 0 to the middle of page 1: both ends merged.
        PlanCase{"AcrossAPageAtBothEnds",
                 {{kBase + 300, Old(kPage, 7)}},
                 Flash(Old(kPage, 1), Old(kPage, 2), Old(kPage, 3)),
                 true,
                 0,
                 0,
                 2},
        // Three pages: one the same, one blank, one different.
        PlanCase{"SameBlankAndChanged",
                 {{kBase, Flash(Old(kPage, 1), Old(kPage, 5), Old(kPage, 6))}},
                 Flash(Old(kPage, 1), kBlank, Old(kPage, 3)),
                 true,
                 1,
                 1,
                 1},
        // Bytes set back to 0xFF: the erase alone writes them.
        PlanCase{
            "ErasedBackToBlank", {{kBase, kBlank}}, Flash(Old(kPage, 1), Old(kPage, 2), Old(kPage, 3)), true, 0, 0, 1},
        // The read did not bring the last page: it is erased and written, as a plain write would.
        PlanCase{"UnreadPage",
                 {{kBase + 2 * kPage + 100, Old(100, 4)}},
                 Flash(Old(kPage, 1), Old(kPage, 2), Old(kPage, 3)),
                 false,
                 0,
                 0,
                 1}),
    [](const ::testing::TestParamInfo<PlanCase>& param) { return std::string(param.param.name); });

TEST(PagesToCompare, NeedPagesThatCanBeReadAndErased)
{
    const Image wanted{0, "", {{kBase + 10, Old(20, 1)}}};
    EXPECT_EQ(PagesToCompare(wanted, Target()).elements.size(), 1u);
    EXPECT_TRUE(PagesToCompare(wanted, Target(kSectorErasable | kSectorWritable)).elements.empty()); // unreadable
    EXPECT_TRUE(PagesToCompare(wanted, Target(kSectorReadable | kSectorWritable)).elements.empty()); // no erase
}

} // namespace

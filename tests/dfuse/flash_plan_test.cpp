#include "dfuse/flash_plan.h"

#include <gtest/gtest.h>

namespace {

using namespace nemora::dfuse;

Element Bytes(std::uint32_t address, std::size_t size)
{
    return Element{address, std::vector<std::uint8_t>(size, 0x11)};
}

TEST(AreasTouched, GivesEachAreaTheRangeAndCountOfTheBytesFallingOnIt)
{
    const std::vector<NamedArea> areas = {{"logo area", 0x08005000, 0x3600, 0},
                                          {"parameter area", 0x0800F000, 0x800, 0}};
    const struct {
        const char* what;
        std::vector<Image> images;
        std::vector<AreaHit> hits;
    } cases[] = {
        {"beside both areas", {Image{0, "", {Bytes(0x08000000, 0x5000), Bytes(0x0800F800, 16)}}}, {}},
        {"the end of one and all of the other",
         {Image{0, "", {Bytes(0x08008000, 0x800), Bytes(0x0800EF00, 0x1000)}}},
         {{0, "logo area", 0x08008000, 0x080085FF, 0x600}, {1, "parameter area", 0x0800F000, 0x0800F7FF, 0x800}}},
        {"overlapping elements and images count every address once",
         {Image{0, "", {Bytes(0x0800F000, 0x100)}}, Image{0, "", {Bytes(0x0800F080, 0x100), Bytes(0x0800F400, 4)}}},
         {{1, "parameter area", 0x0800F000, 0x0800F403, 0x184}}},
        {"another target's bytes at the same addresses", {Image{1, "", {Bytes(0x0800F000, 0x800)}}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto hits = AreasTouched(c.images, areas);
        ASSERT_EQ(hits.size(), c.hits.size());
        for (std::size_t i = 0; i < hits.size(); ++i) {
            EXPECT_EQ(hits[i].area, c.hits[i].area);
            EXPECT_EQ(hits[i].name, c.hits[i].name);
            EXPECT_EQ(hits[i].first, c.hits[i].first);
            EXPECT_EQ(hits[i].last, c.hits[i].last);
            EXPECT_EQ(hits[i].bytes, c.hits[i].bytes);
        }
    }
}

// A 16 KiB part: 1 KiB pages, the first read-only.
DeviceLink Link(std::uint16_t bcd)
{
    DeviceLink link;
    link.vid = 0x0483;
    link.pid = 0xDF11;
    link.bcdDevice = bcd;
    link.devVid = "0483";
    link.devPid = "DF11";
    char text[8];
    std::snprintf(text, sizeof text, "%04X", unsigned{bcd});
    link.devBcd = text;
    MappingTarget flash{0, "Internal Flash  ", {{0x08000000, 1024, kSectorReadable}}};
    for (std::uint32_t a = 0x08000400; a < 0x08004000; a += 1024) {
        flash.sectors.push_back({a, 1024, 7});
    }
    link.mapping = {flash};
    return link;
}

TEST(FlashPlan, ListsEveryRefusalWithTheOneTheUpgradeGivesFirst)
{
    const DfuFile outside{0x0483, 0xDF11, 0x0041, {Image{0, "", {Bytes(0x08000300, 0x200)}}}};
    const DfuFile noTarget{0x0483, 0xDF11, 0x0041, {Image{3, "", {Bytes(0x08000400, 4)}}}};
    const struct {
        const char* what;
        DfuFile file;
        std::uint16_t bcd;
        std::vector<JobProblem> problems;
    } cases[] = {
        {"fits", DfuFile{0x0483, 0xDF11, 0x0041, {Image{0, "", {Bytes(0x08000500, 0x500)}}}}, 0x004C, {}},
        {"bytes in a read-only page", outside, 0x004C, {JobProblem::Refused}},
        {"another model, and bytes in a read-only page",
         outside,
         0x0080,
         {JobProblem::IdentityMismatch, JobProblem::Refused}},
        {"no such target", noTarget, 0x004C, {JobProblem::Refused}},
        {"another model and no such target", noTarget, 0x0080, {JobProblem::NoFileData, JobProblem::Refused}},
        {"no image at all", DfuFile{0x0483, 0xDF11, 0x0041, {}}, 0x004C, {JobProblem::NoFileData}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const DeviceLink link = Link(c.bcd);
        const auto targets = FileTargets(c.file);
        const FlashPlan plan = MakeFlashPlan(c.file, link, targets, {});
        ASSERT_EQ(plan.refusals.size(), c.problems.size());
        for (std::size_t i = 0; i < c.problems.size(); ++i) {
            EXPECT_EQ(plan.refusals[i].problem, c.problems[i]) << i;
        }
        const auto refusals = FileRefusals(c.file.images, link.mapping, targets);
        if (!refusals.empty()) {
            EXPECT_EQ(plan.refusals.back().text, refusals.front());
        }
        if (!plan.refusals.empty() && plan.refusals.front().problem == JobProblem::IdentityMismatch) {
            EXPECT_EQ(plan.refusals.front().model, 0x0080u);
        }
    }
}

TEST(FlashPlan, ErasesTheWritablePagesTheImageTouchesAndLeavesOutLaterImagesForATarget)
{
    const DfuFile file{
        0x0483,
        0xDF11,
        0x004C,
        {Image{0, "", {Bytes(0x08000300, 0x200), Bytes(0x08001000, 1)}}, Image{0, "", {Bytes(0x08002000, 8)}}}};
    const FlashPlan plan =
        MakeFlashPlan(file, Link(0x004C), FileTargets(file), std::vector<NamedArea>{{"area", 0x08000C00, 0x800, 0}});
    ASSERT_EQ(plan.targets.size(), 1u);
    const TargetPlan& t = plan.targets[0];
    EXPECT_EQ(t.image, 0u);
    ASSERT_EQ(t.erase.size(), 2u) << "the read-only first page is not erased";
    EXPECT_EQ(t.erase[0].address, 0x08000400u);
    EXPECT_EQ(t.erase[1].address, 0x08001000u);
    EXPECT_EQ(t.eraseBytes, 2048u);
    EXPECT_EQ(t.fileBytes, 0x201u);
    EXPECT_EQ(t.writeBytes, 0x101u) << "the download leaves out the read-only page's bytes";
    EXPECT_EQ(plan.unusedImages, std::vector<std::size_t>{1});
    ASSERT_EQ(plan.areas.size(), 1u);
    ASSERT_TRUE(plan.areas[0].written && plan.areas[0].erased);
    EXPECT_EQ(plan.areas[0].written->bytes, 1u);
    EXPECT_EQ(plan.areas[0].erased->first, 0x08001000u);
    EXPECT_EQ(plan.areas[0].wipedBytes, 0x400u - 1);
}

} // namespace

#include "dfuse/dfuse_operations.h"
#include "dfuse/image_filter.h"
#include "dfuse_test_util.h"

#include <gtest/gtest.h>

namespace {

using namespace nemora::dfuse;

constexpr std::uint32_t kFlash = 0x08000000;
constexpr std::uint32_t kOptionBytes = 0x1FFFF800;

// A 64 KiB flash in 1 KiB pages whose first four pages are read-only, and a 16-byte option-byte target
// that can be read and written but not erased.
std::vector<MappingTarget> TwoTargetMap()
{
    MappingTarget flash{0, "Internal Flash  ", {}};
    for (std::uint32_t page = 0; page < 64; ++page)
        flash.sectors.push_back(
            MappingSector{kFlash + page * 1024, 1024, static_cast<std::uint8_t>(page < 4 ? kSectorReadable : 7)});
    MappingTarget options{1, "Option Bytes  ", {MappingSector{kOptionBytes, 16, kSectorReadable | kSectorWritable}}};
    return {flash, options};
}

Element Filled(std::uint32_t address, std::size_t size, std::uint8_t value)
{
    return Element{address, std::vector<std::uint8_t>(size, value)};
}

struct Span {
    std::uint32_t address;
    std::size_t size;
    bool operator==(const Span&) const = default;
};

std::vector<Span> Spans(const Image& image)
{
    std::vector<Span> spans;
    for (const Element& e : image.elements)
        spans.push_back({e.address, e.data.size()});
    return spans;
}

TEST(ImageFilter, DownloadKeepsExactlyTheWritableBytes)
{
    const auto map = TwoTargetMap();
    Image image{0, "fw", {}};
    Element crossing = Filled(kFlash + 0xC00, 0x800, 0); // read-only page 3 into writable page 4
    for (std::size_t i = 0; i < crossing.data.size(); ++i)
        crossing.data[i] = static_cast<std::uint8_t>(i);
    image.elements = {crossing, Filled(0x20000000, 100, 1) /* outside every sector */,
                      Filled(kFlash + 0xFF00, 0x200, 2) /* runs past the end of flash */,
                      Filled(kFlash + 0x2000, 0x1000, 3) /* four whole writable pages */};
    const FilterReport report = FilterImage(image, map[0], OPERATION_UPGRADE, false);
    ASSERT_FALSE(report.error);
    EXPECT_EQ(Spans(image),
              (std::vector<Span>{{kFlash + 0x1000, 0x400}, {kFlash + 0xFF00, 0x100}, {kFlash + 0x2000, 0x1000}}));
    EXPECT_EQ(image.elements[0].data.front(), 0x00); // byte 0x400 of the original element
    EXPECT_EQ(image.elements[0].data[1], 0x01);
    EXPECT_EQ(crossing.data[0x400], 0x00);
    EXPECT_EQ(report.droppedBytes, 0x400u + 100 + 0x100);
}

TEST(ImageFilter, UploadKeepsTheReadableBytes)
{
    const auto map = TwoTargetMap();
    Image image{0, "", {Filled(kFlash + 0xC00, 0x800, 0), Filled(kOptionBytes, 16, 0)}};
    const FilterReport report = FilterImage(image, map[0], OPERATION_UPLOAD, false);
    EXPECT_EQ(Spans(image), (std::vector<Span>{{kFlash + 0xC00, 0x800}}));
    EXPECT_EQ(report.droppedBytes, 16u);
}

TEST(ImageFilter, EraseListsTheTouchedErasableWritableSectors)
{
    const auto map = TwoTargetMap();
    Image image{0,
                "",
                {Filled(kFlash + 0x1200, 0x900, 0), Filled(kFlash + 0x1A00, 0x10, 0) /* same page */,
                 Filled(kFlash + 0x0400, 0x10, 0) /* read-only page: never erased */}};
    ASSERT_FALSE(FilterImage(image, map[0], OPERATION_ERASE, true).error);
    EXPECT_EQ(Spans(image),
              (std::vector<Span>{{kFlash + 0x1000, 1024}, {kFlash + 0x1400, 1024}, {kFlash + 0x1800, 1024}}));

    Image options{1, "", {Filled(kOptionBytes, 16, 0)}};
    FilterImage(options, map[1], OPERATION_ERASE, false);
    EXPECT_TRUE(options.elements.empty()); // option bytes are written, not erased
}

// Elements that start or end exactly on a sector boundary touch only the sectors their bytes are in: never
// the sector before a sector-aligned start, never the one after an end on a boundary.
TEST(ImageFilter, EraseTakesNoNeighbourOfASectorAlignedElement)
{
    const auto map = TwoTargetMap();
    struct Case {
        Element element;
        std::vector<Span> sectors;
    };
    const Case cases[] = {
        {Filled(kFlash + 0x1400, 1, 0), {{kFlash + 0x1400, 1024}}},
        {Filled(kFlash + 0x1400, 1024, 0), {{kFlash + 0x1400, 1024}}},
        {Filled(kFlash + 0x1400, 1025, 0), {{kFlash + 0x1400, 1024}, {kFlash + 0x1800, 1024}}},
        {Filled(kFlash + 0x13FF, 1, 0), {{kFlash + 0x1000, 1024}}},
        {Filled(kFlash + 0x13FF, 2, 0), {{kFlash + 0x1000, 1024}, {kFlash + 0x1400, 1024}}},
        {Filled(kFlash + 0xFC00, 1024, 0), {{kFlash + 0xFC00, 1024}}}, // the last sector of the target
        {Filled(kFlash + 0x1000, 0, 0), {}},                           // no bytes, no sector
    };
    for (const Case& c : cases) {
        Image image{0, "", {c.element}};
        ASSERT_FALSE(FilterImage(image, map[0], OPERATION_ERASE, false).error);
        EXPECT_EQ(Spans(image), c.sectors)
            << std::hex << "element at 0x" << c.element.address << ", " << c.element.data.size() << " bytes";
    }
}

TEST(ImageFilter, SkipBlankDropsOnlyBlankBlocksOfErasedSectors)
{
    const auto map = TwoTargetMap();
    Element data = Filled(kFlash + 0x1000, 0x1800, 0xFF); // 6 KiB: pages 4..9
    data.data[0] = 0x12;                                  // page 4 has data
    data.data[0x17FF] = 0x34;                             // page 9 has data
    Image image{0, "", {data}};
    Image keepAll = image;
    const FilterReport report = FilterImage(image, map[0], OPERATION_UPGRADE, true);
    EXPECT_EQ(Spans(image), (std::vector<Span>{{kFlash + 0x1000, 0x400}, {kFlash + 0x2400, 0x400}}));
    EXPECT_EQ(report.skippedBlankBytes, 0x1000u);
    FilterImage(keepAll, map[0], OPERATION_UPGRADE, false);
    EXPECT_EQ(Spans(keepAll), (std::vector<Span>{{kFlash + 0x1000, 0x1800}}));

    Image options{1, "", {Filled(kOptionBytes, 32, 0xFF)}};
    const FilterReport optionReport = FilterImage(options, map[1], OPERATION_UPGRADE, true);
    EXPECT_EQ(Spans(options), (std::vector<Span>{{kOptionBytes, 16}})); // not erased, so 0xFF is written
    EXPECT_EQ(optionReport.droppedBytes, 16u);
    EXPECT_EQ(optionReport.skippedBlankBytes, 0u);
}

TEST(ImageFilter, ImageFromMappingCoversTheTargetAndSurvivesUploadFiltering)
{
    const auto map = TwoTargetMap();
    Image image;
    ASSERT_FALSE(ImageFromMapping(map[0], image));
    EXPECT_EQ(image.alternate, 0);
    EXPECT_TRUE(image.name.empty());
    EXPECT_EQ(Spans(image), (std::vector<Span>{{kFlash, 0x10000}}));
    FilterImage(image, map[0], OPERATION_UPLOAD, false);
    EXPECT_EQ(image.DataSize(), 0x10000u);

    MappingTarget huge{2, "Huge", {MappingSector{0, 0xFFFFFFFF, 7}, MappingSector{0xFFFFFFFF, 1, 7}}};
    EXPECT_EQ(ImageFromMapping(huge, image).code, FileError::TooLarge);
}

TEST(ImageFilter, ContractCallsWorkOnHandles)
{
    dfuse_test::FileCallsOnly files;
    const auto map = TwoTargetMap();
    DfuImageHandle image = nullptr;
    ASSERT_EQ(files.STDFUFILES_CreateImageFromMapping(&image, &map[1]), STDFUFILES_NOERROR);
    std::uint8_t alternate = 0;
    files.STDFUFILES_GetImageAlternate(image, &alternate);
    EXPECT_EQ(alternate, 1);
    EXPECT_EQ(files.STDFUFILES_FilterImageForOperation(image, &map[1], OPERATION_UPLOAD, false), STDFUFILES_NOERROR);
    std::uint32_t size = 0;
    files.STDFUFILES_GetImageSize(image, &size);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(files.STDFUFILES_FilterImageForOperation(image, &map[1], 7, false), ErrorCode(FileError::BadParameter));
    files.STDFUFILES_GetImageSize(image, &size);
    EXPECT_EQ(size, 16u); // unchanged by the refused call
    EXPECT_EQ(files.STDFUFILES_FilterImageForOperation(image, nullptr, OPERATION_UPLOAD, false),
              ErrorCode(FileError::BadParameter));
    files.STDFUFILES_DestroyImage(image);
}

} // namespace

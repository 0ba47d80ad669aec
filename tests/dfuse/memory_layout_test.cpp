#include "dfuse/memory_layout.h"

#include <gtest/gtest.h>

namespace {

using nemora::dfuse::MappingSector;
using nemora::dfuse::MappingTarget;
using nemora::dfuse::ParseMemoryLayout;

TEST(MemoryLayout, FlashPagesKeepNameBlanksAndAccessBits)
{
    MappingTarget t;
    ASSERT_TRUE(ParseMemoryLayout("@Internal Flash  /0x08000000/64*001Kg", 0, t).ok);
    EXPECT_EQ(t.szName, "Internal Flash  ");
    EXPECT_EQ(t.bAlternate, 0);
    ASSERT_EQ(t.sectors.size(), 64u);
    EXPECT_EQ(t.sectors.front(), (MappingSector{0x08000000, 1024, 7}));
    EXPECT_EQ(t.sectors.back(), (MappingSector{0x0800FC00, 1024, 7}));

    ASSERT_TRUE(ParseMemoryLayout("@Option Bytes  /0x1FFFF800/01*016 e", 1, t).ok);
    EXPECT_EQ(t.szName, "Option Bytes  ");
    EXPECT_EQ(t.bAlternate, 1);
    ASSERT_EQ(t.sectors.size(), 1u);
    EXPECT_EQ(t.sectors[0], (MappingSector{0x1FFFF800, 16, 5})); // readable and writable, not erasable
}

TEST(MemoryLayout, GroupsFollowEachOtherAndAddressesRestart)
{
    MappingTarget t;
    ASSERT_TRUE(ParseMemoryLayout("@Flash/0x08000000/04*016Kg,01*064Kg,07*128Kg/0x1FFF0000/2*1Ma", 0, t).ok);
    ASSERT_EQ(t.sectors.size(), 14u);
    EXPECT_EQ(t.sectors[4], (MappingSector{0x08010000, 64 * 1024, 7}));
    EXPECT_EQ(t.sectors[5], (MappingSector{0x08020000, 128 * 1024, 7}));
    EXPECT_EQ(t.sectors[12], (MappingSector{0x1FFF0000, 1024 * 1024, 1}));
    EXPECT_EQ(t.sectors[13].dwStartAddress, 0x200F0000u);

    // Type letters a..g carry the R/E/W bits in their low three bits; 'B' and no unit are bytes.
    ASSERT_TRUE(ParseMemoryLayout("@x/0x0/1*4Ba,1*4b,1*4c,1*4d,1*4 f", 0, t).ok);
    std::vector<std::uint8_t> types;
    for (const auto& s : t.sectors)
        types.push_back(s.bSectorType);
    EXPECT_EQ(types, (std::vector<std::uint8_t>{1, 2, 3, 4, 6}));
    EXPECT_EQ(t.sectors[4].dwStartAddress, 16u);
}

TEST(MemoryLayout, MalformedStringsAreRefusedWithAReason)
{
    const char* bad[] = {
        "",                                   // nothing
        "Internal Flash/0x08000000/64*001Kg", // no '@'
        "@Internal Flash",                    // no address
        "@F/08000000/64*001Kg",               // no 0x
        "@F/0x/64*001Kg",                     // no digits
        "@F/0x123456789/1*1Kg",               // more than 32 bits
        "@F/0x08000000/64*001K",              // no type letter
        "@F/0x08000000/64*001Kh",             // type out of range
        "@F/0x08000000/0*001Kg",              // no sectors
        "@F/0x08000000/64*000Kg",             // empty sectors
        "@F/0x08000000/64001Kg",              // no '*'
        "@F/0x08000000/64*001Kg,",            // dangling comma
        "@F/0x08000000/64*001Kg;junk",        // trailing junk
        "@F/0xFFFFFC00/2*1Kg",                // runs past 4 GiB
        "@F/0x0/99999999999999999999*1g",     // count overflow
        "@F/0x0/65537*1g",                    // too many sectors
        "@F/0x0/1*4096Mg",                    // sector larger than 4 GiB
    };
    for (const char* text : bad) {
        MappingTarget t{9, "old", {MappingSector{1, 2, 3}}};
        const auto r = ParseMemoryLayout(text, 3, t);
        EXPECT_FALSE(r.ok) << text;
        EXPECT_NE(r.error.find("character"), std::string::npos) << text << ": " << r.error;
        EXPECT_TRUE(t.sectors.empty() && t.szName.empty() && t.bAlternate == 3) << text;
    }
    // The last sector may end exactly at 4 GiB.
    MappingTarget t;
    EXPECT_TRUE(ParseMemoryLayout("@F/0xFFFFFC00/1*1Kg", 0, t).ok);
}

} // namespace

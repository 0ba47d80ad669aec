#include "dfuse/hex_records.h"

#include <gtest/gtest.h>

namespace {

using namespace nemora::dfuse;

// Two contiguous data records under an extended linear address, one more after a gap, a start
// address record and the end record.
constexpr const char* kHex = ":020000040800F2\r\n"
                             ":0400000001020304F2\r\n"
                             ":02000400AABB95\r\n"
                             ":02001000CCDD45\r\n"
                             ":0400000508000131BD\r\n"
                             ":00000001FF\r\n";

TEST(IntelHex, ReadsAddressesAndMergesContiguousRecords)
{
    const RecordsResult r = ParseIntelHex(kHex);
    ASSERT_TRUE(r.ok) << r.message;
    ASSERT_EQ(r.elements.size(), 2u);
    EXPECT_EQ(r.elements[0], (Element{0x08000000, {1, 2, 3, 4, 0xAA, 0xBB}}));
    EXPECT_EQ(r.elements[1], (Element{0x08000010, {0xCC, 0xDD}}));
}

TEST(IntelHex, RefusesDamagedFiles)
{
    const std::pair<const char*, const char*> cases[] = {
        {":0400000001020304F3\n:00000001FF\n", "line 1: checksum mismatch"},
        {":0500000001020304F2\n:00000001FF\n", "line 1: byte count 5"},
        {":0400000001020304F2\n", "no end-of-file record"},
        {"0400000001020304F2\n:00000001FF\n", "line 1: a record must start with ':'"},
        {":04000000010203G4F2\n:00000001FF\n", "line 1: not a well-formed record"},
        {":02000004FFFFFC\n:04FFFE0001020304F5\n:00000001FF\n", "line 2: data beyond the 32-bit address space"},
        {":0400000001020304F2\n:020002001122C9\n:00000001FF\n", "line 2: data at 0x00000002 overlaps"},
        {":00000001FF\n:0400000001020304F2\n", "line 2: data after the end-of-file record"},
        {":0400000601020304EC\n:00000001FF\n", "line 1: unknown record type 6"},
    };
    for (const auto& [text, message] : cases) {
        const RecordsResult r = ParseIntelHex(text);
        EXPECT_FALSE(r.ok) << text;
        EXPECT_NE(r.message.find(message), std::string::npos) << r.message;
    }
}

TEST(SRecords, ReadsAllAddressWidths)
{
    const RecordsResult r = ParseSRecords("S00600004844521B\n"
                                          "S3090800000001020304E4\n"
                                          "S2060100001122C5\n"
                                          "S1050010AABB85\n"
                                          "S70508000000F2\n");
    ASSERT_TRUE(r.ok) << r.message;
    ASSERT_EQ(r.elements.size(), 3u);
    EXPECT_EQ(r.elements[0], (Element{0x00000010, {0xAA, 0xBB}}));
    EXPECT_EQ(r.elements[1], (Element{0x00010000, {0x11, 0x22}}));
    EXPECT_EQ(r.elements[2], (Element{0x08000000, {1, 2, 3, 4}}));
}

TEST(SRecords, RefusesDamagedFiles)
{
    const std::pair<const char*, const char*> cases[] = {
        {"S3090800000001020304E5\nS70508000000F2\n", "line 1: checksum mismatch"},
        {"S30908000000010203\nS70508000000F2\n", "line 1: byte count 9"},
        {"S3090800000001020304E4\n", "no termination record"},
        {"S4030000FC\nS70508000000F2\n", "unknown record type S4"},
        {"S304000000FB\nS70508000000F2\n", "record too short"},
        {"X30908000000010203049E\n", "must start with 'S'"},
        {"S307FFFFFFFF0102F9\nS70508000000F2\n", "beyond the 32-bit address space"},
        {"S3090800000001020304E4\nS5030002FA\nS70508000000F2\n", "line 2: record count S5 says 2 data records, but 1"},
    };
    for (const auto& [text, message] : cases) {
        const RecordsResult r = ParseSRecords(text);
        EXPECT_FALSE(r.ok) << text;
        EXPECT_NE(r.message.find(message), std::string::npos) << r.message;
    }
}

TEST(SRecords, ACountRecordThatAgreesIsAccepted)
{
    EXPECT_TRUE(ParseSRecords("S3090800000001020304E4\nS5030001FB\nS70508000000F2\n").ok);
}

// Faults of the whole file name no line.
TEST(Records, WholeFileFaultsNameNoLine)
{
    for (const RecordsResult& r :
         {ParseIntelHex(""), ParseSRecords(""), ParseIntelHex(":0400000001020304F2\n"), ParseSRecords("\n\n")}) {
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.message.rfind("line ", 0), 0u) << r.message;
    }
}

} // namespace

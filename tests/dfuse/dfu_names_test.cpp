#include "dfuse/dfu_names.h"
#include "dfuse/dfuse_commands.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using namespace nemora::dfuse;

std::string Upper(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return out;
}

TEST(DfuNames, EveryStatusNameLeadsBackToItsStatusInAnyCase)
{
    std::set<std::string_view> seen;
    for (std::size_t i = 0; i < kDfuStatusNames.size(); ++i) {
        const DfuStatusNames& names = kDfuStatusNames[i];
        EXPECT_TRUE(seen.insert(names.name).second) << names.name << " twice";
        EXPECT_EQ(DfuStatusFromName(names.name), i);
        EXPECT_EQ(DfuStatusFromName(Upper(names.name)), i);
        // The report's word is the standard's name behind "STATUS_", at most cut short at its end.
        ASSERT_TRUE(names.report.starts_with("STATUS_")) << names.report;
        EXPECT_TRUE(names.name.starts_with(names.report.substr(7))) << names.report;
        EXPECT_GE(names.report.size() - 7 + 1, names.name.size()) << names.report;
    }
    EXPECT_FALSE(DfuStatusFromName("errPRO"));
    EXPECT_FALSE(DfuStatusFromName("errPROGx"));
    EXPECT_FALSE(DfuStatusFromName(""));
    EXPECT_EQ(FindDfuStatus(15)->name, "errSTALLEDPKT");
    EXPECT_EQ(FindDfuStatus(16), nullptr);
}

TEST(DfuNames, RequestCodesRunWithoutGapsAndEachHasBothTexts)
{
    // Every code an operation may report, from the first to the last of the contract's list, has a name.
    std::set<std::string_view> reports;
    for (std::uint32_t code = STDFU_RQ_GET_DEVICE_DESCRIPTOR; code <= STDFU_RQ_IDENTIFYINGDEVICE; code += 0x01000000) {
        const DfuRequestNames* names = FindDfuRequest(code);
        ASSERT_NE(names, nullptr) << std::hex << code;
        EXPECT_TRUE(reports.insert(names->report).second) << names->report << " twice";
        EXPECT_TRUE(names->report.ends_with('.')) << names->report;
        ASSERT_FALSE(names->brief.empty());
        EXPECT_TRUE(names->brief.front() >= 'a' && names->brief.front() <= 'z') << names->brief;
    }
    EXPECT_EQ(reports.size(), kDfuRequestNames.size());
    for (const std::uint32_t code : {0u, 0x01000000u, 0x17000000u, STDFU_RQ_DOWNLOAD + 1})
        EXPECT_EQ(FindDfuRequest(code), nullptr) << std::hex << code;
}

TEST(DfuNames, EveryOperationErrorHasABriefText)
{
    std::set<std::uint32_t> codes;
    for (const OperationErrorNames& error : kOperationErrorNames) {
        EXPECT_TRUE(codes.insert(error.code).second) << std::hex << error.code << " twice";
        EXPECT_FALSE(error.brief.empty());
        EXPECT_EQ(FindOperationError(error.code), &error);
    }
    EXPECT_EQ(FindOperationError(0x1234500E), nullptr);
    EXPECT_EQ(DfuStateName(10), "STATE_DFU_ERROR");
    EXPECT_FALSE(DfuStateName(11));
}

TEST(DfuseCommands, VersionWindowAndAddressCommands)
{
    EXPECT_TRUE(IsSupportedDfuVersion(0x011A));
    EXPECT_TRUE(IsSupportedDfuVersion(0x011F));
    EXPECT_FALSE(IsSupportedDfuVersion(0x0119));
    EXPECT_FALSE(IsSupportedDfuVersion(0x0120));
    EXPECT_FALSE(IsSupportedDfuVersion(0));
    EXPECT_EQ(SetAddressCommand(0x1FFFF800), (std::array<std::uint8_t, 5>{0x21, 0x00, 0xF8, 0xFF, 0x1F}));
    EXPECT_EQ(AddressCommand(kDfuseErase, 0x08000400), (std::array<std::uint8_t, 5>{0x41, 0x00, 0x04, 0x00, 0x08}));
}

} // namespace

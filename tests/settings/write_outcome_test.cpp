#include "settings/write_outcome.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace nemora::settings;
using Bytes = std::vector<std::uint8_t>;

// Four screens of four bytes: the device held 0x11, the write was to leave 0x22.
struct ScreensCase {
    const char* name;
    std::function<void(Bytes&)> left; // from the wanted bytes to what was read back
    const char* text;
    bool unchanged;
};

class ScreensAfterFailure : public testing::TestWithParam<ScreensCase> {};

TEST_P(ScreensAfterFailure, NameEveryScreenThatChanged)
{
    const Bytes before(16, 0x11);
    const Bytes wanted(16, 0x22);
    Bytes now = wanted;
    GetParam().left(now);
    const AreaAfterFailure told = DescribeScreensAfterFailure(before, wanted, now, 4);
    EXPECT_EQ(told.text, GetParam().text);
    EXPECT_EQ(told.unchanged, GetParam().unchanged);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScreensAfterFailure,
    testing::Values(
        ScreensCase{"AsBefore", [](Bytes& b) { b.assign(16, 0x11); },
                    "Nothing was changed: the screens on the device are as they were before the write.", true},
        ScreensCase{"TailErased",
                    [](Bytes& b) {
                        std::fill(b.begin(), b.begin() + 4, 0x11);
                        std::fill(b.begin() + 4, b.end(), 0xFF);
                    },
                    "Screens 2 to 4 are blank; the other screens are as they were. Write the screens again to "
                    "complete them.",
                    false},
        ScreensCase{"OneWrittenOneCut",
                    [](Bytes& b) {
                        b[5] = 0xFF;
                        std::fill(b.begin() + 8, b.end(), 0x11);
                    },
                    "Screen 2 is incomplete, screen 1 already shows its new image; the other screens are as they were. "
                    "Write the screens again to complete them.",
                    false},
        ScreensCase{"AllWritten", [](Bytes&) {}, "Screens 1 to 4 already show their new images.", false}),
    [](const testing::TestParamInfo<ScreensCase>& param) { return std::string(param.param.name); });

TEST(SettingsAfterFailure, TellErasedFromPartlyWrittenByTheFields)
{
    const Bytes before(2048, 0x11);
    const Bytes wanted(2048, 0x22);
    Bytes erased(2048, 0xFF);
    std::fill(erased.begin() + 1024, erased.end(), 0x11); // the second page was never touched
    Bytes partly = erased;
    partly[0] = 0x22;
    EXPECT_TRUE(DescribeSettingsAfterFailure(before, wanted, before).unchanged);
    EXPECT_EQ(DescribeSettingsAfterFailure(before, wanted, erased)
                  .text.rfind("The parameter area was erased but not "
                              "written",
                              0),
              0u);
    EXPECT_EQ(DescribeSettingsAfterFailure(before, wanted, partly).text.rfind("The parameter area is only partly", 0),
              0u);
    EXPECT_TRUE(DescribeSettingsAfterFailure(before, wanted, {}).text.empty()) << "nothing read back: nothing told";
}

TEST(ScreenList, JoinsRuns)
{
    EXPECT_EQ(ScreenList({1, 2, 3, 5, 7, 8}), "1 to 3, 5, 7, 8");
}

} // namespace

// The words a verified write leaves in the Log: each kind of field, and the screens.

#include "settings/change_report.h"
#include "settings/settings_record.h"

#include <functional>

#include <gtest/gtest.h>

namespace {

using nemora::settings::AreaChange;
using nemora::settings::DescribeAreasChange;
using nemora::settings::DescribeFirmwareChange;
using nemora::settings::DescribeScreensChange;
using nemora::settings::DescribeSettingsChange;

struct ChangeCase {
    const char* name;
    std::function<void(SettingsRecord&)> change;
    const char* words;
};

class SettingsChange : public testing::TestWithParam<ChangeCase> {};

TEST_P(SettingsChange, SaysWhatChangedAndThatNothingElseDid)
{
    SettingsRecord before;
    before.SetParameters(SettingsParameters{});
    before.SetPowerCurve(DefaultPowerCurve());
    before.SetWord(SettingsRecord::kTemperatureUnitOffset, 1); // Fahrenheit
    CurvePoints temperature{};
    temperature.fill(400);
    before.SetTemperatureCurve(temperature);
    before.StoreMarker();
    SettingsRecord after = before;
    GetParam().change(after);
    EXPECT_EQ(DescribeSettingsChange({before.Data(), SettingsRecord::kSize}, {after.Data(), SettingsRecord::kSize}),
              GetParam().words);
    const SettingsRecord blank;
    EXPECT_EQ(DescribeSettingsChange({blank.Data(), SettingsRecord::kSize}, {after.Data(), SettingsRecord::kSize}),
              "the parameter area was blank: every setting in it is new");
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SettingsChange,
    testing::Values(ChangeCase{"Nothing", [](SettingsRecord&) {}, "nothing changed"},
                    ChangeCase{"OneValue", [](SettingsRecord& r) { r.SetWord(SettingsRecord::kNiOffset, 900); },
                               "NI 800 -> 900; nothing else"},
                    ChangeCase{"TwoPowerPoints",
                               [](SettingsRecord& r) {
                                   CurvePoints curve = r.PowerCurve();
                                   curve[2] = 550;
                                   curve[3] = 700;
                                   r.SetPowerCurve(curve);
                               },
                               "power points 3 and 4: 35 -> 55 W, 35 -> 70 W; nothing else"},
                    ChangeCase{"ATemperaturePointAndTheDisplay",
                               [](SettingsRecord& r) {
                                   CurvePoints curve = r.TemperatureCurve();
                                   curve[1] = 450;
                                   r.SetTemperatureCurve(curve);
                                   r.SetWord(SettingsRecord::kDisplayLevelOffset, 128);
                               },
                               "display level 255 -> 128; temperature point 2: 400 -> 450 F; nothing else"},
                    ChangeCase{"ABytePastTheFields", [](SettingsRecord& r) { r.SetWord(1000, 7); },
                               "other bytes of the area changed too"}),
    [](const testing::TestParamInfo<ChangeCase>& param) { return std::string(param.param.name); });

TEST(ScreensChange, NamesTheScreensThatDiffer)
{
    std::vector<std::uint8_t> before(12 * 512, 0xFF), after = before;
    EXPECT_EQ(DescribeScreensChange(before, after, 12), "nothing changed");
    after[6 * 512 + 3] = 0;
    EXPECT_EQ(DescribeScreensChange(before, after, 12), "screen 7 changed; nothing else");
    after[0] = 0;
    EXPECT_EQ(DescribeScreensChange(before, after, 12), "screens 1 and 7 changed; nothing else");
}

// A command that writes both areas says it in one line; an area whose bytes before are unknown says so.
TEST(AreasChange, JoinsBothAreasIntoOneLine)
{
    SettingsRecord was;
    was.SetParameters(SettingsParameters{});
    was.StoreMarker();
    SettingsRecord now = was;
    now.SetWord(SettingsRecord::kNiOffset, 900);
    const std::span<const std::uint8_t> wasBytes(was.Data(), SettingsRecord::kSize),
        nowBytes(now.Data(), SettingsRecord::kSize);
    std::vector<std::uint8_t> logoBefore(12 * 512, 0xFF), logoAfter = logoBefore;
    logoAfter[6 * 512] = 0;
    EXPECT_EQ(DescribeAreasChange({true, logoBefore, logoAfter}, {true, wasBytes, nowBytes}, 12),
              "NI 800 -> 900; screen 7 changed; nothing else");
    EXPECT_EQ(DescribeAreasChange({true, logoBefore, logoBefore}, {}, 12), "nothing changed");
    EXPECT_EQ(DescribeAreasChange({}, {true, {}, nowBytes}, 12),
              "the parameter area was written (what it held before is not known); nothing else");
}

TEST(FirmwareChange, CountsThePagesAndNamesTheUserAreas)
{
    EXPECT_EQ(DescribeFirmwareChange(4, 12, false, {}), "4 of 12 pages changed; no user area touched");
    EXPECT_EQ(DescribeFirmwareChange(0, 12, false, {}),
              "no page changed: the device held these bytes already; no user area touched");
    EXPECT_EQ(DescribeFirmwareChange(0, 0, true, {"logo area", "parameter area"}),
              "every page the file touches was erased and written; the file also wrote the logo area and the "
              "parameter area");
}

} // namespace

#include "usb/transport.h"

#include <gtest/gtest.h>

namespace nemora::usb {
namespace {

TEST(DevicePath, BuiltUpperCaseAndEndingInTheClassGuid)
{
    const std::string dfu = MakeDevicePath("3-1.4", 0x0483, 0xdf11, InterfaceMode::Dfu);
    EXPECT_EQ(dfu, "USB:3-1.4:VID_0483&PID_DF11#{3FE809AB-FB91-4CB5-A643-69670D52366E}");
    EXPECT_EQ(dfu.substr(dfu.size() - kGuidTextLength), kDfuInterfaceGuid);
    const std::string app = MakeDevicePath("usb-a", 0xabcd, 0x1, InterfaceMode::Application);
    EXPECT_EQ(app, "USB:USB-A:VID_ABCD&PID_0001#{CB979912-5029-420A-AEB1-34FC0A7D5726}");
}

TEST(DevicePath, ModeComesFromTheLast38CharactersWhateverTheCase)
{
    EXPECT_EQ(ModeOfPath(std::string("\\\\?\\usb#vid_0483&pid_df11#{3fe809ab-fb91-4cb5-a643-69670d52366e}")),
              InterfaceMode::Dfu);
    EXPECT_EQ(ModeOfPath(kAppInterfaceGuid), InterfaceMode::Application);
    EXPECT_FALSE(ModeOfPath(""));
    EXPECT_FALSE(ModeOfPath(kDfuInterfaceGuid.substr(1)));
    EXPECT_FALSE(ModeOfPath(std::string(kDfuInterfaceGuid) + " "));
    EXPECT_FALSE(ModeOfPath("USB:1-1:VID_046D&PID_C077#{4D1E55B2-F16F-11CF-88CB-001111000030}"));
}

} // namespace
} // namespace nemora::usb

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

TEST(StringDescriptor, NarrowedToAsciiWithinItsLength)
{
    const std::vector<std::uint8_t> text = {10, 3, 'D', 0, 'F', 0, 0xE9, 0, 'U', 0x04, 'x', 0};
    EXPECT_EQ(NarrowStringDescriptor(text), "DF??"); // bLength 10 ends it before the 'x'
    const std::vector<std::uint8_t> odd = {5, 3, 'A', 0, 'B'};
    EXPECT_EQ(NarrowStringDescriptor(odd), "A"); // half a code unit is left out
    const std::vector<std::uint8_t> longerThanSent = {255, 3, 'O', 0, 'K', 0};
    EXPECT_EQ(NarrowStringDescriptor(longerThanSent), "OK");
    EXPECT_EQ(NarrowStringDescriptor(std::vector<std::uint8_t>{2, 3}), "");
    EXPECT_FALSE(NarrowStringDescriptor(std::vector<std::uint8_t>{4, 2, 'A', 0}));
    EXPECT_FALSE(NarrowStringDescriptor(std::vector<std::uint8_t>{4}));
}

} // namespace
} // namespace nemora::usb

// Following a device that left update mode until it is back: by serial, else by port, in either mode.

#include "device/device_return.h"

#include <gtest/gtest.h>

namespace {

using nemora::usb::DeviceInfo;
using nemora::usb::InterfaceMode;

DeviceInfo Device(const char* port, const char* serial, InterfaceMode mode, std::uint16_t bcd = 0x004C)
{
    return {nemora::usb::MakeDevicePath(port, 0x0483, 0xDF11, mode), mode, 0x0483, 0xDF11, bcd, serial};
}

struct ReturnCase {
    const char* name;
    DeviceInfo left;
    std::vector<std::vector<DeviceInfo>> listings; // one after the other
    bool back;                                     // at the last listing
};

class ReturnWatchCase : public testing::TestWithParam<ReturnCase> {};

TEST_P(ReturnWatchCase, FindsTheSameDeviceOnlyOnceItIsReallyBack)
{
    const ReturnCase& c = GetParam();
    nemora::device::ReturnWatch watch(c.left);
    std::optional<DeviceInfo> found;
    for (const auto& listing : c.listings)
        found = watch.Look(listing);
    EXPECT_EQ(found.has_value(), c.back);
}

const DeviceInfo kLeft = Device("1-2", "SN1", InterfaceMode::Dfu);

INSTANTIATE_TEST_SUITE_P(
    Cases, ReturnWatchCase,
    testing::Values(
        ReturnCase{"BackInApplicationMode", kLeft, {{Device("1-2", "SN1", InterfaceMode::Application)}}, true},
        ReturnCase{"AtAnotherPortBySerial", kLeft, {{Device("1-5", "SN1", InterfaceMode::Application)}}, true},
        ReturnCase{"StillThereInUpdateMode", kLeft, {{kLeft}}, false},
        ReturnCase{"BackInUpdateModeAfterBeingAway", kLeft, {{}, {kLeft}}, true},
        ReturnCase{"AnotherDevice", kLeft, {{Device("1-2", "SN2", InterfaceMode::Application)}}, false},
        ReturnCase{"NoSerialSamePort",
                   Device("1-2", "", InterfaceMode::Dfu),
                   {{Device("1-2", "", InterfaceMode::Application)}},
                   true},
        ReturnCase{"NoSerialOtherPort",
                   Device("1-2", "", InterfaceMode::Dfu),
                   {{Device("1-3", "", InterfaceMode::Application)}},
                   false}),
    [](const testing::TestParamInfo<ReturnCase>& param) { return std::string(param.param.name); });

TEST(ReturnTexts, NameTheModelTheModeAndTheFirmware)
{
    EXPECT_EQ(nemora::device::BackText(Device("1-2", "SN1", InterfaceMode::Application, 0x004D)),
              "Product 01 is back in application mode, firmware 1.3");
    EXPECT_EQ(nemora::device::BackText(kLeft), "Product 01 is back in update mode, firmware 1.2");
    EXPECT_EQ(nemora::device::NotBackText(kLeft, 10),
              "Product 01 did not come back within 10 s: unplug it and plug it in again");
}

} // namespace

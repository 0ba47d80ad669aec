#include "sim/sim_config.h"

#include <gtest/gtest.h>

namespace nemora::sim {
namespace {

TEST(SimConfig, DefaultsAndEveryKey)
{
    auto r = ParseSimConfig("");
    ASSERT_TRUE(r.Ok());
    EXPECT_TRUE(r.devices.empty());

    r = ParseSimConfig("mode=dfu");
    ASSERT_TRUE(r.Ok()) << r.error;
    ASSERT_EQ(r.devices.size(), 1u);
    const DeviceConfig& d = r.devices[0];
    EXPECT_EQ(d.mode, Mode::Dfu);
    EXPECT_EQ(d.vid, 0x0483);
    EXPECT_EQ(d.pid, 0xDF11);
    EXPECT_EQ(d.bcd, 0x004C);
    EXPECT_EQ(d.dfuVersion, 0x011A);
    EXPECT_EQ(d.timing, Timing::Instant);
    EXPECT_FALSE(d.protect);
    EXPECT_FALSE(d.dataFlash);

    r = ParseSimConfig(" mode=app , vid=0x1234,pid=4660,bcd=0x0300,dfuver=0x0110,serial=ABC123,flash=/tmp/x.bin,"
                       "protect=1,data=1,timing=fullspeed,fault=unplug@dnload:3,fault=status=errPROG@write,"
                       "fault=nodesc ; mode=other;;");
    ASSERT_TRUE(r.Ok()) << r.error;
    ASSERT_EQ(r.devices.size(), 2u);
    const DeviceConfig& a = r.devices[0];
    EXPECT_EQ(a.mode, Mode::App);
    EXPECT_EQ(a.vid, 0x1234);
    EXPECT_EQ(a.pid, 4660);
    EXPECT_EQ(a.bcd, 0x0300);
    EXPECT_EQ(a.dfuVersion, 0x0110);
    EXPECT_EQ(a.serial, "ABC123");
    EXPECT_EQ(a.flashPath, "/tmp/x.bin");
    EXPECT_TRUE(a.protect);
    EXPECT_TRUE(a.dataFlash);
    EXPECT_EQ(a.timing, Timing::FullSpeed);
    ASSERT_EQ(a.faults.size(), 3u);
    EXPECT_EQ(a.faults[0].kind, FaultKind::Unplug);
    EXPECT_EQ(a.faults[0].request, RequestKind::Dnload);
    EXPECT_EQ(a.faults[0].nth, 3u);
    EXPECT_EQ(a.faults[1].kind, FaultKind::Status);
    EXPECT_EQ(a.faults[1].status, 0x06);
    EXPECT_EQ(a.faults[1].request, RequestKind::Write);
    EXPECT_EQ(a.faults[1].nth, 1u);
    EXPECT_EQ(a.faults[2].kind, FaultKind::NoDesc);
    EXPECT_EQ(r.devices[1].mode, Mode::Other);

    // Opening fails from the first open on, or from the N-th.
    r = ParseSimConfig("fault=access;fault=access@open:3");
    ASSERT_TRUE(r.Ok()) << r.error;
    EXPECT_EQ(r.devices[0].faults[0].kind, FaultKind::Access);
    EXPECT_EQ(r.devices[0].faults[0].request, RequestKind::Open);
    EXPECT_EQ(r.devices[0].faults[0].nth, 1u);
    EXPECT_EQ(r.devices[1].faults[0].nth, 3u);
}

struct BadCase {
    const char* text;
    const char* mentions;
};

class SimConfigRejects : public ::testing::TestWithParam<BadCase> {};

TEST_P(SimConfigRejects, NamesTheOffendingValue)
{
    const auto r = ParseSimConfig(GetParam().text);
    EXPECT_FALSE(r.Ok());
    EXPECT_TRUE(r.devices.empty());
    EXPECT_NE(r.error.find(GetParam().mentions), std::string::npos) << r.error;
}

INSTANTIATE_TEST_SUITE_P(
    Values, SimConfigRejects,
    ::testing::Values(BadCase{"mode=bootloader", "'bootloader' for mode"}, BadCase{"vid=0x10000", "'0x10000' for vid"},
                      BadCase{"pid=12ab", "'12ab' for pid"}, BadCase{"bcd=", "'' for bcd"},
                      BadCase{"dfuver=-1", "'-1' for dfuver"}, BadCase{"protect=yes", "'yes' for protect"},
                      BadCase{"data=2", "'2' for data"}, BadCase{"timing=slow", "'slow' for timing"},
                      BadCase{"colour=red", "unknown key 'colour'"},
                      BadCase{"mode=dfu;bogus", "device 2: 'bogus' is not KEY=VALUE"},
                      BadCase{"fault=explode@dnload", "unknown fault kind 'explode'"},
                      BadCase{"fault=stall@frobnicate", "unknown request 'frobnicate'"},
                      BadCase{"fault=stall@dnload:0", "bad request count '0'"},
                      BadCase{"fault=stall", "fault needs a request"},
                      BadCase{"fault=status=errBOGUS@write", "unknown DFU status 'errBOGUS'"},
                      BadCase{"serial=a b", "'a b' for serial"}, BadCase{"flash=", "'' for flash"},
                      BadCase{"vid=1,vid=2", "key vid is given twice"},
                      BadCase{"flash=/tmp/a,flash=/tmp/b", "key flash is given twice"},
                      BadCase{"fault=access@dnload", "access applies to opening only"},
                      BadCase{"fault=stall@open", "only access applies to opening"}),
    [](const ::testing::TestParamInfo<BadCase>& param) { return "case" + std::to_string(param.index); });

} // namespace
} // namespace nemora::sim

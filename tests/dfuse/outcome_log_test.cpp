// The outcomes kept for the diagnostic report: the newest twenty, one line each, and the hub advice.

#include "dfuse/outcome_log.h"
#include "dfuse_test_util.h"

#include <fstream>

#include <gtest/gtest.h>

namespace {

using namespace nemora::dfuse;

TEST(OutcomeLog, KeepsTheNewestTwentyWholeLinesAndSkipsDamagedOnes)
{
    dfuse_test::ScratchDir dir;
    EXPECT_TRUE(ReadOutcomes(dir.Path()).empty());
    std::string error;
    for (int i = 0; i < 25; ++i) {
        OperationOutcome o;
        o.operation = "flash";
        o.serial = "SN" + std::to_string(i);
        o.ok = i % 2 == 0;
        o.result = "line one\nline\ttwo"; // a record is one line whatever its words
        o.health = {static_cast<std::uint32_t>(40 + i), 1, 0, 2, 1};
        ASSERT_TRUE(RecordOutcome(dir.Path(), o, error)) << error;
    }
    std::ofstream(dir.Path() / kOutcomesFileName, std::ios::app) << "not\ta record\n";
    const std::vector<OperationOutcome> kept = ReadOutcomes(dir.Path());
    ASSERT_EQ(kept.size(), kOutcomesKept);
    EXPECT_EQ(kept.front().serial, "SN5");
    EXPECT_EQ(kept.back().serial, "SN24");
    EXPECT_TRUE(kept.back().ok);
    EXPECT_EQ(kept.back().result, "line one line two");
    EXPECT_EQ(HealthText(kept.back().health), "64 requests, 1 stalls, 0 timeouts, 2 status errors, 1 recoveries");
    EXPECT_EQ(kept.back().when.size(), 20u); // 2026-12-10T12:00:00Z
}

struct AdviceCase {
    const char* port;
    bool ok;
    const char* dfuStatus;
    const char* error;
    bool advised;
    std::uint32_t timeouts = 0;
};

class HubAdviceFor : public testing::TestWithParam<AdviceCase> {};

TEST_P(HubAdviceFor, OnlyALinkFailureBehindAHub)
{
    const AdviceCase& c = GetParam();
    OperationOutcome o;
    o.port = c.port;
    o.ok = c.ok;
    o.dfuStatus = c.dfuStatus;
    o.error = c.error;
    o.health.timeouts = c.timeouts;
    const std::string advice = HubAdvice(o);
    EXPECT_EQ(!advice.empty(), c.advised) << advice;
    if (c.advised) {
        EXPECT_NE(advice.find(c.port), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HubAdviceFor,
    testing::Values(AdviceCase{"1-3.2", false, "errSTALLEDPKT", "DFU error", true},
                    AdviceCase{"1-3.2", false, "OK", "unexpected error (device gone or link failed)", true},
                    AdviceCase{"1-3", false, "errSTALLEDPKT", "DFU error", false},    // a port of the computer
                    AdviceCase{"1-3.2", false, "errPROG", "DFU error", false},        // the flash, not the link
                    AdviceCase{"1-3.2", true, "errSTALLEDPKT", "DFU error", false})); // it worked

} // namespace

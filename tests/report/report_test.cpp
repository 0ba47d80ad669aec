// What the report keeps to itself: serial numbers shortened unless asked for, the user's own paths.

#include "report/diagnostic_report.h"

#include <cstdlib>

#include <gtest/gtest.h>

namespace {

using namespace nemora::report;

TEST(ReportText, ShortensSerialsEverywhereAndNamesNoFolderOfTheUsersButTheProgramsOwn)
{
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "/root";
    Report r;
    r.program = "nemora";
    DeviceFacts d;
    d.info.serial = "ABCDEF123456";
    d.model = "Product 01";
    d.access.canOpen = false;
    d.access.reason = "permission denied";
    r.devices.push_back(d);
    FolderFacts snapshots;
    snapshots.what = "snapshots";
    snapshots.path = home + "/.local/share/Nemora/snapshots";
    r.folders.push_back(snapshots);
    r.logLines = {"Device arrived: Product 01, serial ABCDEF123456",
                  "Update of Product 01 from " + home + "/Downloads/secret/fw.vek started",
                  "Snapshot of the settings saved to " + home + "/.local/share/Nemora/snapshots/x.vek"};

    const std::string shortened = ReportText(r, false);
    EXPECT_EQ(shortened.find("ABCDEF123456"), std::string::npos) << shortened;
    EXPECT_NE(shortened.find("\u20263456"), std::string::npos);
    EXPECT_EQ(shortened.find("Downloads"), std::string::npos) << shortened;
    EXPECT_NE(shortened.find("from \u2026/fw.vek started"), std::string::npos);
    EXPECT_NE(shortened.find(home + "/.local/share/Nemora/snapshots/x.vek"), std::string::npos); // the program's own
    EXPECT_NE(shortened.find("this user cannot open it: permission denied"), std::string::npos);

    const std::string whole = ReportText(r, true);
    EXPECT_NE(whole.find("serial ABCDEF123456"), std::string::npos);
    EXPECT_EQ(whole.find("Downloads"), std::string::npos); // asked for serials, not for paths
    EXPECT_EQ(ShownSerial("", false), "(none)");
    EXPECT_EQ(ShownSerial("M01", false), "M01");
}

} // namespace

// nemora-cli flash --dry-run against a virtual device: the plan leaves the device as it was, lists the pages
// a real flash then erases, the user areas it writes or wipes, and refuses with the real flash's words.

#include "../dfuse/dfuse_test_util.h"
#include "cli_runner.h"

#include <gtest/gtest.h>

namespace {

using dfuse_test::ReadBytes;
using namespace nemora::dfuse;

constexpr std::uint32_t kBase = 0x08000000;
constexpr std::uint32_t kPage = 1024;

std::vector<std::uint8_t> Pattern(std::size_t size, int seed)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 29 + static_cast<std::size_t>(seed)) ^ (i >> 8));
    return bytes;
}

struct PlanCase {
    const char* name;
    std::string file; // empty: written from `element`
    Element element;
    std::uint32_t firstPage; // the pages the erase takes: firstPage and the ones after it
    unsigned pages;
    const char* parameters; // the JSON object of the parameter area
    const char* refusal;    // nullptr: the flash goes ahead
};

void PrintTo(const PlanCase& c, std::ostream* out)
{
    *out << c.name;
}

std::string PagesJson(const PlanCase& c)
{
    std::string text = "\"pages\":[";
    for (unsigned i = 0; i < c.pages; ++i) {
        text += (i ? ",{\"address\":" : "{\"address\":") + std::to_string(c.firstPage + i * kPage) + ",\"size\":1024}";
    }
    return text + "]";
}

class CliFlashPlan : public ::testing::TestWithParam<PlanCase> {
protected:
    std::string P(const std::string& name) const { return (dir / name).string(); }
    CliResult Run(std::vector<std::string> args, const std::string& sim = "")
    {
        return RunCli(args, {"NEMORA_SIM=flash=" + P("flash.bin") + sim, "NEMORA_SIM_CONTROL=" + P("control")});
    }
    dfuse_test::ScratchDir dir;
};

TEST_P(CliFlashPlan, ChangesNothingAndListsWhatTheFlashThenDoes)
{
    const PlanCase& c = GetParam();
    std::string file = c.file;
    if (file.empty()) {
        file = P("fw.vek");
        ASSERT_FALSE(WriteDfuFile(file, DfuFile{0x0483, 0xDF11, 0x004C, {Image{0, "", {c.element}}}}));
    }
    // Old contents everywhere: any erase or write would show.
    const std::vector<std::uint8_t> before = Pattern(64 * 1024, 5);
    dfuse_test::WriteBytes(P("flash.bin"), before);

    // The link takes two opens and the read of the pages a third; every operation of a flash opens the device
    // again, and a fourth open fails.
    const CliResult plan = Run({"flash", file, "--dry-run", "--json"}, ",fault=access@open:4");
    EXPECT_EQ(plan.exitCode, c.refusal ? 1 : 0) << plan.err;
    EXPECT_EQ(ReadBytes(P("flash.bin")), before) << "nothing erased or written";
    EXPECT_NE(plan.out.find(PagesJson(c)), std::string::npos) << plan.out;
    if (!c.refusal) { // old bytes on every page the file touches: the compare would erase them all
        EXPECT_NE(plan.out.find("\"compare\":{\"pages\":" + std::to_string(c.pages) + ",\"unchanged\":0,\"blank\":0,"),
                  std::string::npos)
            << plan.out;
    }
    EXPECT_NE(plan.out.find(c.parameters), std::string::npos) << plan.out;
    EXPECT_NE(plan.out.find("\"logo\":{\"name\":\"logo area\",\"address\":134270976,\"size\":6144,\"written\":null,"
                            "\"erased\":null,\"wiped_bytes\":0}"),
              std::string::npos)
        << plan.out;
    EXPECT_NE(plan.out.find(c.refusal ? "\"would_flash\":false}" : "\"refusals\":[],\"would_flash\":true}"),
              std::string::npos);

    // The real flash writes the file's bytes and changes no other, not even on the pages it shares.
    const CliResult flash = Run({"flash", file});
    if (c.refusal) {
        EXPECT_EQ(flash.exitCode, 1);
        std::string quoted; // as a JSON string holds it
        for (const char* at = c.refusal; *at; ++at)
            quoted += *at == '"' ? std::string("\\\"") : std::string(1, *at);
        EXPECT_NE(plan.out.find("\"refusals\":[\"" + quoted + "\"]"), std::string::npos) << plan.out;
        EXPECT_NE(plan.err.find(c.refusal), std::string::npos) << plan.err;
        EXPECT_NE(flash.err.find(c.refusal), std::string::npos) << flash.err;
        EXPECT_EQ(ReadBytes(P("flash.bin")), before);
        return;
    }
    ASSERT_EQ(flash.exitCode, 0) << flash.err;
    const ParseResult parsed = ReadDfuFile(file);
    ASSERT_TRUE(parsed.file);
    std::vector<std::uint8_t> expected = before; // the pages' other bytes kept
    for (const Element& e : parsed.file->images[0].elements) {
        std::copy(e.data.begin(), e.data.end(), expected.begin() + (e.address - kBase));
    }
    EXPECT_EQ(ReadBytes(P("flash.bin")), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, CliFlashPlan,
    ::testing::Values(
        PlanCase{"DemoFirmware",
                 std::string(NEMORA_SOURCE_DIR) + "/assets/firmware/demo-k01-v1.2.vek",
                 {},
                 kBase,
                 12,
                 "\"parameters\":{\"name\":\"parameter area\",\"address\":134279168,\"size\":2048,\"written\":null,"
                 "\"erased\":null,\"wiped_bytes\":0}",
                 nullptr},
        // From 256 bytes into the parameter area to past its end: its first 256 bytes are erased, not written.
        PlanCase{"ParameterArea", "", Element{0x0800F100, Pattern(2048, 7)}, 0x0800F000, 3,
                 "\"parameters\":{\"name\":\"parameter area\",\"address\":134279168,\"size\":2048,\"written\":{"
                 "\"first\":134279424,\"last\":134281215,\"bytes\":1792},\"erased\":{\"first\":134279168,\"last\":"
                 "134281215,\"bytes\":2048},\"wiped_bytes\":256}",
                 nullptr},
        PlanCase{"BytesOutsideTheFlash", "", Element{0x0800FF00, Pattern(512, 3)}, 0x0800FC00, 1,
                 "\"parameters\":{\"name\":\"parameter area\",\"address\":134279168,\"size\":2048,\"written\":null,"
                 "\"erased\":null,\"wiped_bytes\":0}",
                 "256 bytes lie outside the writable sectors of target 00 \"Internal Flash  \" (the first from "
                 "0x08010000 to 0x080100FF); nothing was written."}),
    [](const ::testing::TestParamInfo<PlanCase>& param) { return std::string(param.param.name); });

TEST(CliFlashPlanArgs, TextByDefaultAndJsonOnlyWithDryRun)
{
    dfuse_test::ScratchDir dir;
    const std::vector<std::string> env = {"NEMORA_SIM=", "NEMORA_SIM_CONTROL=" + (dir / "control").string()};
    const std::string demo = std::string(NEMORA_SOURCE_DIR) + "/assets/firmware/demo-k01-v1.2.vek";
    EXPECT_EQ(RunCli({"flash", demo, "--json"}, env).exitCode, 2);
    EXPECT_EQ(RunCli({"flash", demo, "--dry-run"}, env).exitCode, 1) << "no device";
    const CliResult text = RunCli({"flash", demo, "--dry-run", "--no-verify"}, {"NEMORA_SIM=bcd=0x004C", env[1]});
    EXPECT_EQ(text.exitCode, 0) << text.err;
    // The dry run reads the pages: on a blank device all twelve are programmed and none erased.
    EXPECT_NE(text.out.find("target 00 \"Internal Flash  \": a whole write would erase 12 pages (12288 bytes), "
                            "write 12288 of the image's 12288 bytes\n  compared with the device: 0 of 12 pages "
                            "already held these bytes; 12 to write (12 of them blank); erase 0 pages\n"),
              std::string::npos)
        << text.out;
    const CliResult full = RunCli({"flash", demo, "--dry-run", "--full"}, {"NEMORA_SIM=bcd=0x004C", env[1]});
    EXPECT_NE(full.out.find("target 00 \"Internal Flash  \": erase 12 pages (12288 bytes), write 12288 of the "
                            "image's 12288 bytes\n  page 0x08000000 to 0x080003FF (1024 bytes)\n"),
              std::string::npos)
        << full.out;
    EXPECT_NE(text.out.find("verify:   no read-back (--no-verify)\nThe flash would go ahead.\n"), std::string::npos);
}

} // namespace

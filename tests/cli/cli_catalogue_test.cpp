#include "cli_runner.h"

#include <gtest/gtest.h>

namespace {

int CountLines(const std::string& text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(CliCatalogue, ModelsListsEveryRow)
{
    const CliResult table = RunCli({"models"});
    EXPECT_EQ(table.exitCode, 0) << table.err;
    EXPECT_EQ(CountLines(table.out), 40); // header and 39 rows
    EXPECT_NE(table.out.find("Product 15"), std::string::npos);

    const CliResult json = RunCli({"models", "--json"});
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_EQ(json.out.front(), '[');
    EXPECT_NE(
        json.out.find(
            R"({"model_id":16,"product_name":"Brand A","model_code":"K12","model_name":"Product 12","min_power":5,"max_power":220)"),
        std::string::npos);
}

TEST(CliCatalogue, IdentifyJsonCarriesEveryDerivedValue)
{
    const CliResult r = RunCli({"identify", "--bcd", "0x03C5", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              R"({"vid":1155,"pid":57105,"bcd_device":965,"model_id":15,"catalogued":true,"incomplete":false,)"
              R"("firmware_version":"0.5","product_name":"Brand D","model_code":"Brand D","model_name":"Product 15",)"
              R"("screen_width":64,"screen_height":32,"image_count":12,"logo_address":134270976,"logo_size":3072,)"
              R"("param_address":134279168,"param_size":2048,"min_power":5,"max_power":40,"min_temperature_f":200,)"
              R"("max_temperature_f":600,"min_temperature_c":100,"max_temperature_c":315,"default_image_set":5})"
              "\n");
}

TEST(CliCatalogue, IdentifyOfAnUncataloguedModelShowsThePresets)
{
    const CliResult r = RunCli({"identify", "--bcd=0x0A00", "--vid", "0", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(R"("catalogued":false,"incomplete":true,"firmware_version":"----",)"
                         R"("product_name":"Unknow product name","model_code":"","model_name":"Unknow model")"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(R"("min_temperature_c":200,"max_temperature_c":600)"), std::string::npos);

    const CliResult text = RunCli({"identify", "--bcd", "76"});
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_NE(text.out.find("Firmware version: 1.2"), std::string::npos);
}

TEST(CliCatalogue, BadArgumentsGiveOneLineAndStatusTwo)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"identify"},
                                                                                      {"identify", "--bcd", "0x10000"},
                                                                                      {"identify", "--bcd", "zz"},
                                                                                      {"identify", "--bcd"},
                                                                                      {"models", "--frobnicate"},
                                                                                      {"models", "extra"},
                                                                                      {"no-such-command"}}) {
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.exitCode, 2) << args[0];
        EXPECT_EQ(CountLines(r.err), 1) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
}

TEST(CliCatalogue, EverySubcommandHasHelp)
{
    for (const char* command : {"models", "identify"}) {
        const CliResult r = RunCli({command, "--help"});
        EXPECT_EQ(r.exitCode, 0) << command;
        EXPECT_NE(r.out.find("Usage: nemora-cli"), std::string::npos) << command;
    }
    EXPECT_EQ(RunCli({"--help"}).exitCode, 0);
}

} // namespace

#include "../dfuse/dfuse_test_util.h"
#include "cli_runner.h"

#include <cstdlib>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using dfuse_test::ReadBytes;
using dfuse_test::WriteBytes;

bool HaveTool(const char* name)
{
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command in a folder and returns its exit status.
int Shell(const fs::path& folder, const std::string& command)
{
    const int status = std::system(("cd '" + folder.string() + "' && " + command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::uint8_t> Pattern(std::size_t size, int seed)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 31 + static_cast<std::size_t>(seed));
    return bytes;
}

int CountLines(const std::string& text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

class CliFiles : public ::testing::Test {
protected:
    std::string P(const std::string& name) const { return (dir / name).string(); }

    // Packs two images: 5000 bytes of flash in two elements and 16 option bytes.
    CliResult PackSample(const std::string& out)
    {
        WriteBytes(dir / "low.bin", Pattern(3000, 1));
        WriteBytes(dir / "high.bin", Pattern(2000, 2));
        WriteBytes(dir / "ob.bin", Pattern(16, 3));
        return RunCli({"pack", "-o", P(out), "--vid", "0x0483", "--pid", "0xDF11", "--bcd", "0x03C5", "--element",
                       "0:Internal Flash  :0x08000000:" + P("low.bin"), "--element",
                       "1:Option Bytes  :0x1FFFF800:" + P("ob.bin"), "--element",
                       "0:Internal Flash  :0x08004000:" + P("high.bin")});
    }

    dfuse_test::ScratchDir dir;
};

TEST_F(CliFiles, PackedFilePassesDfuSuffixAndDfusePackDumpsOurBytes)
{
    if (!HaveTool("dfu-suffix") || !HaveTool("dfuse-pack"))
        GTEST_SKIP() << "dfu-util's tools are not installed";
    const CliResult r = PackSample("fw.vek");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Shell(dir.Path(), "dfu-suffix --check fw.vek"), 0);
    ASSERT_EQ(Shell(dir.Path(), "dfuse-pack --dump fw.vek"), 0);
    EXPECT_EQ(ReadBytes(dir / "fw.vek.target0.image0.bin"), Pattern(3000, 1));
    EXPECT_EQ(ReadBytes(dir / "fw.vek.target0.image1.bin"), Pattern(2000, 2));
    EXPECT_EQ(ReadBytes(dir / "fw.vek.target1.image0.bin"), Pattern(16, 3));

    // dfu-suffix notices a damaged CRC, so the check above is not vacuous.
    std::vector<std::uint8_t> bytes = ReadBytes(dir / "fw.vek");
    bytes.back() ^= 1;
    WriteBytes(dir / "bad.vek", bytes);
    EXPECT_NE(Shell(dir.Path(), "dfu-suffix --check bad.vek"), 0);
}

TEST_F(CliFiles, FilesBuiltByDfusePackAreInspectedAndUnpacked)
{
    if (!HaveTool("dfuse-pack"))
        GTEST_SKIP() << "dfuse-pack is not installed";
    WriteBytes(dir / "a.bin", Pattern(12, 4));
    WriteBytes(dir / "b.bin", Pattern(300, 5));
    ASSERT_EQ(Shell(dir.Path(), "dfuse-pack -b 0x08000000:a.bin -b 0x08001000@1:b.bin -D 0x0483:0xdf11 their.dfu"), 0);

    const CliResult json = RunCli({"inspect", P("their.dfu"), "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out, R"({"vid":1155,"pid":57105,"bcd_device":0,"crc_ok":true,"product_name":"Unknow product name",)"
                        R"("model_name":"Unknow model","firmware_version":"----","images":[)"
                        R"({"alternate":0,"name":"ST...","elements":[{"address":134217728,"size":12}]},)"
                        R"({"alternate":1,"name":"ST...","elements":[{"address":134221824,"size":300}]}]})"
                        "\n");

    const CliResult unpacked = RunCli({"unpack", P("their.dfu"), "-o", P("out")});
    ASSERT_EQ(unpacked.exitCode, 0) << unpacked.err;
    EXPECT_EQ(ReadBytes(dir / "out" / "00_ST..._08000000.bin"), Pattern(12, 4));
    EXPECT_EQ(ReadBytes(dir / "out" / "01_ST..._08001000.bin"), Pattern(300, 5));
    EXPECT_EQ(CountLines(unpacked.out), 2);
}

TEST_F(CliFiles, InspectShowsIdentityCatalogueAndElements)
{
    ASSERT_EQ(PackSample("fw.vek").exitCode, 0);
    const CliResult r = RunCli({"inspect", P("fw.vek")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* line :
         {"Identity: VID 0x0483, PID 0xDF11, bcdDevice 0x03C5", "Product: Brand D", "Model: Product 15",
          "Firmware version: 0.5", "CRC: ok", "Image 0: alternate 0, name \"Internal Flash  \", 2 elements, 5000 bytes",
          "0x08004000  2000 bytes", "Image 1: alternate 1, name \"Option Bytes  \""})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
}

TEST_F(CliFiles, DamagedFilesGiveOneLineNamingFileAndFault)
{
    ASSERT_EQ(PackSample("fw.vek").exitCode, 0);
    const std::vector<std::uint8_t> good = ReadBytes(dir / "fw.vek");

    std::vector<std::uint8_t> crc = good;
    crc[500] ^= 0x40;
    WriteBytes(dir / "crc.vek", crc);
    const CliResult shown = RunCli({"inspect", P("crc.vek"), "--json"});
    EXPECT_EQ(shown.exitCode, 1); // still shown, but a script must not take it for good
    EXPECT_NE(shown.out.find(R"("crc_ok":false)"), std::string::npos);
    EXPECT_EQ(shown.err, "nemora-cli inspect: " + P("crc.vek") + ": CRC mismatch: the file is damaged\n");
    const CliResult refused = RunCli({"unpack", P("crc.vek"), "-o", P("out")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find(P("crc.vek") + ": CRC mismatch: the file's CRC is 0x"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "out"));

    WriteBytes(dir / "short.vek", std::vector<std::uint8_t>(good.begin(), good.begin() + 10));
    WriteBytes(dir / "cut.vek", std::vector<std::uint8_t>(good.begin(), good.begin() + 400));
    const std::pair<std::string, std::string> cases[] = {
        {P("short.vek"), ": DFU suffix too short: the file has 10 bytes"},
        {P("cut.vek"), ": no DFU suffix"},
        {P("absent.vek"), ": cannot read the file"},
        {P("pipe.vek"), ": cannot read the file: not a regular file"}, // a named pipe nobody writes to
        {dir.Path().string(), ": cannot read the file: not a regular file"},
    };
    ASSERT_EQ(::mkfifo(P("pipe.vek").c_str(), 0600), 0);
    for (const auto& [path, message] : cases) {
        const CliResult r = RunCli({"inspect", path});
        EXPECT_EQ(r.exitCode, 1) << path;
        EXPECT_EQ(CountLines(r.err), 1) << r.err;
        EXPECT_EQ(r.err.rfind("nemora-cli inspect: " + path + message, 0), 0u) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
}

TEST_F(CliFiles, ControlCharactersOfImageNamesNeverReachTheTerminal)
{
    using nemora::dfuse::DfuFile;
    using nemora::dfuse::Image;
    const DfuFile file{0x0483, 0xDF11, 0x0040, {Image{0, "a\x1b[2J\x07\\b\xe9", {}}}};
    ASSERT_FALSE(nemora::dfuse::WriteDfuFile(dir / "names.vek", file));
    const CliResult r = RunCli({"inspect", P("names.vek")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("name \"a\\x1b[2J\\x07\\x5cb\xc3\xa9\""), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
}

TEST_F(CliFiles, PackTakesAddressesFromHexAndSRecordFiles)
{
    std::ofstream(dir / "fw.hex") << ":020000040800F2\n:0400000001020304F2\n:02000400AABB95\n:00000001FF\n";
    std::ofstream(dir / "ob.s19") << "S00600004844521B\nS3091FFFF800A55A00FFE2\nS70508000000F2\n";
    const CliResult r = RunCli({"pack", "-o", P("fw.vek"), "--vid", "0x0483", "--pid", "0xDF11", "--bcd", "0x03C5",
                                "--element", "0:fw::" + P("fw.hex"), "--element", "1:ob:0x0:" + P("ob.s19")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto parsed = nemora::dfuse::ReadDfuFile(dir / "fw.vek");
    ASSERT_TRUE(parsed.file);
    ASSERT_EQ(parsed.file->images.size(), 2u);
    EXPECT_EQ(parsed.file->images[0].elements,
              (std::vector<nemora::dfuse::Element>{{0x08000000, {1, 2, 3, 4, 0xAA, 0xBB}}}));
    EXPECT_EQ(parsed.file->images[1].elements,
              (std::vector<nemora::dfuse::Element>{{0x1FFFF800, {0xA5, 0x5A, 0x00, 0xFF}}}));

    if (HaveTool("dfuse-pack")) { // dfuse-pack reads the same S-records to the same element
        ASSERT_EQ(Shell(dir.Path(), "dfuse-pack -s ob.s19 theirs.dfu"), 0);
        const auto theirs = nemora::dfuse::ReadDfuFile(dir / "theirs.dfu");
        ASSERT_TRUE(theirs.file);
        EXPECT_EQ(theirs.file->images[0].elements, parsed.file->images[1].elements);
    }
}

TEST_F(CliFiles, PackRefusesBadInputAndKeepsTheOldOutput)
{
    WriteBytes(dir / "fw.vek", {1, 2, 3});
    WriteBytes(dir / "a.bin", Pattern(100, 0));
    std::ofstream(dir / "bad.hex") << ":0400000001020304F3\n:00000001FF\n";
    const std::vector<std::string> ids = {"--vid", "1", "--pid", "2", "--bcd", "3"};
    auto pack = [&](std::vector<std::string> extra, bool withIds = true) {
        std::vector<std::string> args = {"pack", "-o", P("fw.vek")};
        if (withIds)
            args.insert(args.end(), ids.begin(), ids.end());
        args.insert(args.end(), extra.begin(), extra.end());
        return RunCli(args);
    };
    const std::pair<std::vector<std::string>, int> usage[] = {
        {{"--element", "0:n:0x0:" + P("a.bin")}, 2}, // without ids (below)
        {{"--element", "0:n:" + P("a.bin")}, 2},
        {{"--element", "256:n:0:" + P("a.bin")}, 2},
        {{"--element", "0:n::" + P("a.bin")}, 2}, // a raw binary needs an address
        {{}, 2},
    };
    EXPECT_EQ(pack(usage[0].first, false).exitCode, 2);
    for (std::size_t i = 1; i < std::size(usage); ++i) {
        const CliResult r = pack(usage[i].first);
        EXPECT_EQ(r.exitCode, usage[i].second) << i << r.err;
        EXPECT_EQ(CountLines(r.err), 1);
    }
    const CliResult checksum = pack({"--element", "0:n::" + P("bad.hex")});
    EXPECT_EQ(checksum.exitCode, 1);
    EXPECT_EQ(checksum.err, "nemora-cli pack: " + P("bad.hex") + ": line 1: checksum mismatch\n");
    const CliResult overlap = pack({"--element", "0:n:0x1000:" + P("a.bin"), "--element", "0:n:0x1010:" + P("a.bin")});
    EXPECT_EQ(overlap.exitCode, 1);
    EXPECT_NE(overlap.err.find("overlaps data at 0x00001000"), std::string::npos);
    const CliResult wrap = pack({"--element", "0:n:0xFFFFFFF0:" + P("a.bin")});
    EXPECT_EQ(wrap.exitCode, 1);
    EXPECT_EQ(ReadBytes(dir / "fw.vek"), (std::vector<std::uint8_t>{1, 2, 3})); // never half-written

    const CliResult nowhere = RunCli({"pack", "-o", P("missing/fw.vek"), "--vid", "1", "--pid", "2", "--bcd", "3",
                                      "--element", "0:n:0:" + P("a.bin")});
    EXPECT_EQ(nowhere.exitCode, 1);
    EXPECT_NE(nowhere.err.find("cannot write the file"), std::string::npos);
}

TEST_F(CliFiles, UnpackNamesFilesSafelyAndKeepsDuplicatesApart)
{
    nemora::dfuse::DfuFile file;
    file.images.push_back({0, "../evil/name", {{0x100, {1}}, {0x200, {2}}}});
    file.images.push_back({0, "../evil/name", {{0x100, {3}}}});
    file.images.push_back({2, "", {{0x08000000, {4, 5}}}});
    ASSERT_FALSE(nemora::dfuse::WriteDfuFile(dir / "in.vek", file));
    const CliResult r = RunCli({"unpack", P("in.vek"), "-o", P("out")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadBytes(dir / "out" / "00_.._evil_name_00000100.bin"), (std::vector<std::uint8_t>{1}));
    EXPECT_EQ(ReadBytes(dir / "out" / "00_.._evil_name_00000100-2.bin"), (std::vector<std::uint8_t>{3}));
    EXPECT_EQ(ReadBytes(dir / "out" / "02_unnamed_08000000.bin"), (std::vector<std::uint8_t>{4, 5}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), {}), 4);
}

TEST_F(CliFiles, EveryCommandHasHelp)
{
    for (const char* command : {"inspect", "pack", "unpack"}) {
        const CliResult r = RunCli({command, "--help"});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out.rfind(std::string("Usage: nemora-cli ") + command, 0), 0u);
    }
}

} // namespace

// The record of the writes to each device: what a crash, a failure or a verified write leaves, which
// writes count as cut short, which device a record belongs to, and the file's hash.

#include "dfuse/dfuse_operations.h"
#include "dfuse/sha256.h"
#include "dfuse/write_journal.h"
#include "dfuse_test_util.h"

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

using namespace nemora::dfuse;

WriteRecord Record(std::string serial, std::string title = "firmware update", std::string port = "1-1")
{
    WriteRecord r;
    r.program = "nemora-cli";
    r.model = "Product 01";
    r.vid = 0x0483;
    r.pid = 0xDF11;
    r.bcd = 0x004C;
    r.serial = std::move(serial);
    r.port = std::move(port);
    r.title = std::move(title);
    r.detail = "demo.vek";
    return r;
}

JobEvent Launched(std::uint32_t operation)
{
    JobEvent e;
    e.kind = JobEvent::Kind::Launched;
    e.operation = operation;
    return e;
}

struct LifeCase {
    const char* name;
    bool erased;         // an erase was launched
    int end;             // -1: the program never got to End; 0: failed; 1: verified
    std::size_t records; // kept afterwards
    bool cutShort;
};

class WriteLife : public testing::TestWithParam<LifeCase> {};

TEST_P(WriteLife, LeavesWhatTheDeviceMayHold)
{
    dfuse_test::ScratchDir dir;
    {
        WriteJournal journal(dir.Path(), Record("M001"));
        std::string error;
        ASSERT_TRUE(journal.Begin(error)) << error;
        JobEvent snapshot;
        snapshot.kind = JobEvent::Kind::Snapshot;
        snapshot.text = "/snapshots/one.vek";
        journal.See(snapshot);
        journal.See(Launched(OPERATION_UPLOAD)); // the compare reads: nothing changes yet
        if (GetParam().erased)
            journal.See(Launched(OPERATION_ERASE));
        if (GetParam().end >= 0)
            journal.End(GetParam().end == 1);
    } // the journal goes as a crashed program's would
    const std::vector<WriteRecord> records = ReadWrites(dir.Path());
    ASSERT_EQ(records.size(), GetParam().records);
    EXPECT_EQ(CutShortWrites(records).size(), GetParam().cutShort ? 1u : 0u);
    if (!records.empty()) {
        EXPECT_EQ(records.front().snapshot, "/snapshots/one.vek");
    }
}

INSTANTIATE_TEST_SUITE_P(Ends, WriteLife,
                         testing::Values(LifeCase{"CrashBeforeTheErase", false, -1, 1, true},
                                         LifeCase{"CrashAfterTheErase", true, -1, 1, true},
                                         LifeCase{"RefusedBeforeTheErase", false, 0, 0, false},
                                         LifeCase{"FailedAfterTheErase", true, 0, 1, true},
                                         LifeCase{"Verified", true, 1, 1, false}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(WriteRecords, ALaterFinishedWriteOfTheSameKindToTheSameDeviceEndsTheOneCutShort)
{
    dfuse_test::ScratchDir dir;
    std::string error;
    const auto keep = [&](WriteRecord r, bool done) {
        r.done = done;
        EXPECT_TRUE(KeepWrite(dir.Path(), r, error)) << error;
        return r.id;
    };
    keep(Record("M001"), false);
    keep(Record("M001"), true); // finished by a later update
    const std::string other = keep(Record("M002"), false);
    keep(Record("M002", "settings write"), true); // another kind: the update stays cut short
    const std::string noSerial = keep(Record("", "firmware update", "1-4"), false);
    std::vector<WriteRecord> cut = CutShortWrites(ReadWrites(dir.Path()));
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[0].id, noSerial); // newest first
    EXPECT_EQ(cut[1].id, other);

    // A write that finishes one cut short (it resolves it) marks it done once it verified.
    WriteRecord again = Record("M002");
    again.resolves = other;
    WriteJournal journal(dir.Path(), again);
    ASSERT_TRUE(journal.Begin(error));
    journal.See(Launched(OPERATION_UPGRADE));
    journal.End(true);
    cut = CutShortWrites(ReadWrites(dir.Path()));
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].id, noSerial);
}

TEST(WriteRecords, KeepTheNewestTwentyPrivateAndSkipDamagedLines)
{
    dfuse_test::ScratchDir dir;
    {
        std::ofstream damaged(dir / kWritesFileName);
        damaged << "not a record\n";
    }
    std::string error;
    for (int i = 0; i < 25; ++i) {
        WriteRecord r = Record("S" + std::to_string(i));
        ASSERT_TRUE(KeepWrite(dir.Path(), r, error)) << error;
    }
    const std::vector<WriteRecord> records = ReadWrites(dir.Path());
    ASSERT_EQ(records.size(), kWritesKept);
    EXPECT_EQ(records.front().serial, "S5");
    EXPECT_EQ(records.back().serial, "S24");
    struct stat info {};
    ASSERT_EQ(::stat((dir / kWritesFileName).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

struct DeviceCase {
    const char* name;
    std::string recordSerial, recordPort;
    std::uint16_t bcd;
    std::string serial, port;
    bool same;
};

class WriteDevice : public testing::TestWithParam<DeviceCase> {};

TEST_P(WriteDevice, IsFoundBySerialElsePort)
{
    const DeviceCase& c = GetParam();
    EXPECT_EQ(WentTo(Record(c.recordSerial, "firmware update", c.recordPort), 0x0483, 0xDF11, c.bcd, c.serial, c.port),
              c.same);
}

INSTANTIATE_TEST_SUITE_P(Matching, WriteDevice,
                         testing::Values(DeviceCase{"SameSerialOtherPort", "M001", "1-1", 0x004C, "M001", "1-3", true},
                                         DeviceCase{"OtherFirmwareSameModel", "M001", "1-1", 0x0041, "M001", "1-1",
                                                    true},
                                         DeviceCase{"OtherSerialSamePort", "M001", "1-1", 0x004C, "M002", "1-1", false},
                                         DeviceCase{"OtherModel", "M001", "1-1", 0x008C, "M001", "1-1", false},
                                         DeviceCase{"NoSerialSamePort", "", "1-2", 0x004C, "", "1-2", true},
                                         DeviceCase{"NoSerialOtherPort", "", "1-2", 0x004C, "", "1-3", false}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(WriteRecords, SayWhenAndWhetherTheFileCanBeWrittenAgain)
{
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    dfuse_test::ScratchDir dir;
    const std::vector<std::uint8_t> bytes = {1, 2, 3};
    dfuse_test::WriteBytes(dir / "demo.vek", bytes);
    WriteRecord r = Record("M001");
    r.started = "2026-12-09T14:02:31Z";
    r.detail = "demo-k01-v1.2.vek";
    r.file = (dir / "demo.vek").string();
    r.hash = HashOfFile(r.file);
    EXPECT_EQ(CutShortText(r), "The firmware update of Product 01 was cut short on 9 Dec at 14:02 (demo-k01-v1.2.vek)");
    EXPECT_EQ(WriteAgainRefusal(r), "");
    dfuse_test::WriteBytes(dir / "demo.vek", {1, 2, 4});
    EXPECT_EQ(CheckWriteFile(r), WriteFile::Changed);
    EXPECT_NE(WriteAgainRefusal(r).find("has changed since"), std::string::npos);
    std::filesystem::remove(dir / "demo.vek");
    EXPECT_EQ(CheckWriteFile(r), WriteFile::Missing);
}

TEST(Sha256, MatchesTheStandardVectors)
{
    const auto hash = [](const std::string& text) {
        return Sha256Hex({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    };
    EXPECT_EQ(hash(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hash("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the first block's tail.
    EXPECT_EQ(hash("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(hash(std::string(1000, 'a')), "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
}

} // namespace

// The transfer job on its own, over the library and a virtual device in this process: what it refuses
// before sending anything, where a fault at each phase leaves it, and the snapshot it takes before an erase.
// Uploads are proven through the engine and the commands that read.

#include "dfuse/device_link.h"
#include "dfuse/dfuse_blocking.h"
#include "dfuse/dfuse_library.h"
#include "dfuse/dfuse_operations.h"
#include "sim/sim_transport.h"
#include "sim/virtual_device.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace nemora::dfuse;
using nemora::sim::SimTransport;

constexpr std::uint32_t kBase = 0x08000000;

std::vector<std::uint8_t> Pattern(std::size_t n, unsigned seed)
{
    std::vector<std::uint8_t> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<std::uint8_t>((i * 13 + seed) ^ (i >> 7));
    }
    return out;
}

class Job : public testing::Test {
protected:
    void Start(const std::string& sim = "bcd=0x004C")
    {
        std::string error;
        const auto config = nemora::sim::ParseSimConfig(sim);
        ASSERT_TRUE(config.Ok()) << config.error;
        transport = SimTransport::Create(config.devices, "", error);
        ASSERT_TRUE(transport) << error;
        library = std::make_unique<DfuseLibrary>(*transport);
        std::vector<nemora::usb::DeviceInfo> devices;
        transport->Enumerate(devices);
        ASSERT_EQ(devices.size(), 1u);
        // Old bytes everywhere: pages the file touches need erasing, and any byte changed outside it shows.
        ASSERT_TRUE(transport->GetBus().With(
            SimTransport::LocationOfPath(devices.front().path), 0,
            [](nemora::sim::VirtualDevice& d) { d.LoadFlash(0, Pattern(nemora::sim::kFlashSize, 0x33)); }));
        LinkDescriptors descriptors;
        ASSERT_EQ(OpenDeviceLink(*library, devices.front().path, link, descriptors), LinkOutcome::Ok);
        before = Flash();
    }
    std::vector<std::uint8_t> Flash()
    {
        return transport->Flash(SimTransport::LocationOfPath(link.devicePath)).value_or(std::vector<std::uint8_t>{});
    }
    static DfuFile FileOf(std::vector<Image> images) { return DfuFile{0x0483, 0xDF11, 0x0041, std::move(images)}; }
    // Runs an upgrade of target 0 and keeps its events.
    bool Upgrade(DfuFile file, SnapshotRequest snapshot = {})
    {
        events.clear();
        return DownloadFile(
            *library, link, std::move(file), [&](const JobEvent& e) { events.push_back(e); }, std::move(snapshot));
    }
    const JobEvent* Find(JobEvent::Kind kind) const
    {
        const auto it = std::find_if(events.begin(), events.end(), [&](const JobEvent& e) { return e.kind == kind; });
        return it == events.end() ? nullptr : &*it;
    }
    // Where the launch of the operation is among the events (the snapshot's read aside), or -1.
    long LaunchAt(std::uint32_t operation) const
    {
        const auto it = std::find_if(events.begin(), events.end(), [&](const JobEvent& e) {
            return e.kind == JobEvent::Kind::Launched && e.operation == operation && !e.snapshot;
        });
        return it == events.end() ? -1 : it - events.begin();
    }
    bool Launched(std::uint32_t operation) const { return LaunchAt(operation) >= 0; }

    std::unique_ptr<SimTransport> transport;
    std::unique_ptr<DfuseLibrary> library;
    DeviceLink link;
    std::vector<std::uint8_t> before;
    JobEvents events;
};

// --- The checks before anything is sent -------------------------------------------------------------------

struct CheckCase {
    const char* name;
    std::vector<Image> images;
    const char* refusal; // empty: written and verified
};

class JobChecks : public Job, public testing::WithParamInterface<CheckCase> {};

TEST_P(JobChecks, RefuseBeforeSendingOrWriteExactlyTheFile)
{
    Start();
    const CheckCase& c = GetParam();
    const bool ok = Upgrade(FileOf(c.images));
    if (*c.refusal == '\0') {
        ASSERT_TRUE(ok);
        const auto flash = Flash();
        for (const Element& e : c.images.front().elements) {
            EXPECT_TRUE(std::equal(e.data.begin(), e.data.end(), flash.begin() + (e.address - kBase)))
                << std::hex << e.address;
        }
        return;
    }
    EXPECT_FALSE(ok);
    const JobEvent* problem = Find(JobEvent::Kind::Problem);
    ASSERT_NE(problem, nullptr);
    EXPECT_EQ(problem->problem, JobProblem::Refused);
    EXPECT_NE(problem->text.find(c.refusal), std::string::npos) << problem->text;
    EXPECT_EQ(Find(JobEvent::Kind::Launched), nullptr);
    EXPECT_EQ(Flash(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Files, JobChecks,
    testing::Values(
        CheckCase{
            "TouchingElements", {Image{0, "", {{kBase, Pattern(1024, 1)}, {kBase + 1024, Pattern(1024, 2)}}}}, ""},
        CheckCase{"OverlappingElements",
                  {Image{0, "", {{kBase, Pattern(1024, 1)}, {kBase + 1023, Pattern(16, 2)}}}},
                  "overlaps"},
        CheckCase{"OutsideTheMap", {Image{0, "", {{kBase + 0xFFF0, Pattern(32, 3)}}}}, "outside the writable sectors"},
        CheckCase{"ATargetTheDeviceLacks",
                  {Image{0, "", {{kBase, Pattern(64, 4)}}}, Image{7, "", {{0x20000000, Pattern(8, 5)}}}},
                  "no such target"},
        CheckCase{"ASecondImageForATarget",
                  {Image{0, "", {{kBase, Pattern(64, 6)}}}, Image{0, "", {{kBase + 0x4000, Pattern(64, 7)}}}},
                  "more than one image for target 00"}),
    [](const testing::TestParamInfo<CheckCase>& param) { return std::string(param.param.name); });

// --- A fault in each phase ----------------------------------------------------------------------------------
// --- A fault in each phase (a fault counts every request of its kind, the link's probe included) -----
struct FaultCase {
    const char* name;
    const char* fault;
    std::uint32_t failedOperation;
    bool flashUnchanged;
};

class JobFaults : public Job, public testing::WithParamInterface<FaultCase> {};

TEST_P(JobFaults, EndTheJobAsFailedInThePhaseThatFailed)
{
    Start(std::string("bcd=0x004C,") + GetParam().fault);
    const bool ok = Upgrade(FileOf({Image{0, "", {{kBase, Pattern(4096, 9)}}}}));
    EXPECT_FALSE(ok);
    const JobEvent* failed = Find(JobEvent::Kind::Failed);
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(failed->context.Operation, GetParam().failedOperation);
    EXPECT_NE(failed->context.ErrorCode, STDFUPRT_NOERROR);
    EXPECT_EQ(Find(JobEvent::Kind::Verified), nullptr);
    EXPECT_EQ(events.back().kind, JobEvent::Kind::Finished);
    if (GetParam().flashUnchanged) {
        EXPECT_EQ(Flash(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Phases, JobFaults,
                         testing::Values(FaultCase{"Erase", "fault=status=errERASE@erase", OPERATION_ERASE, true},
                                         FaultCase{"Download", "fault=status=errPROG@write:2", OPERATION_UPGRADE,
                                                   false},
                                         FaultCase{"Verify", "fault=unplug@read:3", OPERATION_UPLOAD, false}),
                         [](const testing::TestParamInfo<FaultCase>& param) { return std::string(param.param.name); });

// --- The snapshot before the erase --------------------------------------------------------------------------

TEST_F(Job, TheSnapshotHoldsEveryAreaInOrderAndAFailedSaveOrReadStopsTheErase)
{
    Start();
    const auto file = FileOf({Image{0, "", {{kBase + 0xF000, Pattern(256, 11)}}}});
    std::vector<std::vector<std::uint8_t>> saved;
    bool saveSucceeds = false;
    auto request = [&](std::vector<SnapshotArea> areas) {
        return SnapshotRequest{std::move(areas), [&](const auto& bytes, std::string& text) {
                                   saved = bytes;
                                   text = saveSucceeds ? "kept" : "the disk is full";
                                   return saveSucceeds;
                               }};
    };
    const std::vector<SnapshotArea> areas{{kBase + 0xF000, 0x400}, {kBase + 0xD000, 0x200}};

    // The save fails: nothing is erased.
    EXPECT_FALSE(Upgrade(file, request(areas)));
    ASSERT_NE(Find(JobEvent::Kind::Problem), nullptr);
    EXPECT_EQ(Find(JobEvent::Kind::Problem)->problem, JobProblem::SnapshotNotSaved);
    EXPECT_EQ(Find(JobEvent::Kind::Problem)->text, "the disk is full");
    EXPECT_FALSE(Launched(OPERATION_ERASE));
    EXPECT_EQ(Flash(), before);

    // An area that cannot be read whole: no snapshot of part of the areas is saved, nothing is erased.
    saved.clear();
    saveSucceeds = true;
    EXPECT_FALSE(Upgrade(file, request({areas[0], {kBase + 0xFF00, 0x200}})));
    EXPECT_TRUE(saved.empty());
    EXPECT_FALSE(Launched(OPERATION_ERASE));
    EXPECT_EQ(Flash(), before);

    // Both areas, in the order asked, then the write.
    EXPECT_TRUE(Upgrade(file, request(areas)));
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved[0], std::vector<std::uint8_t>(before.begin() + 0xF000, before.begin() + 0xF400));
    EXPECT_EQ(saved[1], std::vector<std::uint8_t>(before.begin() + 0xD000, before.begin() + 0xD200));
    ASSERT_NE(Find(JobEvent::Kind::Snapshot), nullptr);
    EXPECT_LT(Find(JobEvent::Kind::Snapshot) - events.data(), LaunchAt(OPERATION_ERASE)); // kept before the erase
}

} // namespace

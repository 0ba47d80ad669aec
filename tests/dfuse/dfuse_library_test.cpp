// The library over the virtual device in-process: memory map, background operations end to end, stops,
// injected faults and read protection. The devices are instant and the waits go through a fake clock, so
// nothing here sleeps.

#include "dfuse/dfuse_blocking.h"
#include "dfuse/dfuse_library.h"
#include "dfuse/dfuse_operations.h"
#include "sim/sim_transport.h"
#include "test_waiter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <thread>

namespace {

using namespace nemora::dfuse;
using nemora::sim::SimTransport;
using nemora::sim::VirtualDevice;

std::vector<std::uint8_t> Pattern(std::size_t n, unsigned seed)
{
    std::vector<std::uint8_t> out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::uint8_t>((i * 31 + seed) ^ (i >> 8));
    return out;
}

class Library : public testing::Test {
protected:
    void Start(const std::string& sim, long passes = std::numeric_limits<long>::max())
    {
        std::string error;
        const auto config = nemora::sim::ParseSimConfig(sim.empty() ? "mode=dfu" : sim);
        ASSERT_TRUE(config.Ok()) << config.error;
        m_transport = SimTransport::Create(config.devices, "", error);
        ASSERT_TRUE(m_transport) << error;
        m_gate = std::make_shared<dfuse_test::Gate>();
        m_gate->passes = passes;
        m_library = std::make_unique<DfuseLibrary>(
            *m_transport, [gate = m_gate] { return std::make_unique<dfuse_test::GateWaiter>(gate); });
        std::vector<nemora::usb::DeviceInfo> devices;
        m_transport->Enumerate(devices);
        ASSERT_FALSE(devices.empty());
        m_path = devices.front().path;
    }

    void TearDown() override
    {
        for (DfuImageHandle h : m_images)
            m_library->STDFUFILES_DestroyImage(h);
    }

    DfuImageHandle MakeImage(std::uint8_t alternate, std::vector<Element> elements)
    {
        DfuImageHandle h = m_library->AdoptImage(Image{alternate, "", std::move(elements)});
        m_images.push_back(h);
        return h;
    }

    DFUThreadContext Context(std::uint32_t operation, DfuImageHandle image)
    {
        DFUThreadContext c;
        c.Operation = operation;
        c.hImage = image;
        c.szDevLink = m_path;
        return c;
    }

    DFUThreadContext Run(std::uint32_t operation, DfuImageHandle image)
    {
        DFUThreadContext final;
        EXPECT_EQ(RunOperation(*m_library, Context(operation, image), final, {}, std::chrono::milliseconds(1)),
                  STDFUPRT_NOERROR);
        return final;
    }

    std::uint8_t DeviceState()
    {
        std::uint8_t state = 0xFF;
        m_transport->GetBus().With(1, 0, [&](VirtualDevice& d) { state = d.State(); });
        return state;
    }
    std::vector<std::uint8_t> Flash() { return m_transport->Flash(1).value_or(std::vector<std::uint8_t>{}); }

    std::unique_ptr<SimTransport> m_transport;
    std::shared_ptr<dfuse_test::Gate> m_gate = std::make_shared<dfuse_test::Gate>();
    std::unique_ptr<DfuseLibrary> m_library;
    std::string m_path;
    std::vector<DfuImageHandle> m_images;
};

TEST_F(Library, MappingComesFromTheInterfaceStringsInAlternateOrder)
{
    Start("");
    std::vector<MappingTarget> targets;
    ASSERT_EQ(m_library->STDFUPRT_CreateMappingFromDevice(m_path, &targets), STDFUPRT_NOERROR);
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[0].szName, "Internal Flash  ");
    EXPECT_EQ(targets[0].sectors.size(), 64u);
    EXPECT_EQ(targets[1].bAlternate, 1);
    EXPECT_EQ(targets[1].szName, kOptionBytesTargetName);
    EXPECT_EQ(targets[1].sectors.at(0), (MappingSector{0x1FFFF800, 16, kSectorReadable | kSectorWritable}));
    EXPECT_EQ(m_library->STDFUPRT_DestroyMapping(&targets), STDFUPRT_NOERROR);
    EXPECT_TRUE(targets.empty());

    // A device whose descriptors fail gives no map and says why.
    Start("fault=nodesc");
    EXPECT_EQ(m_library->STDFUPRT_CreateMappingFromDevice(m_path, &targets), STDFUPRT_BADFIRMWARESTATEMACHINE);
    EXPECT_FALSE(m_library->LastMappingError().empty());
    EXPECT_NE(m_library->STDFUPRT_CreateMappingFromDevice("USB:9-9:NOWHERE", &targets), STDFUPRT_NOERROR);
}

TEST_F(Library, DeviceCallsGiveDescriptorsStatusAndTheOptionByteProbe)
{
    Start("bcd=0x0300");
    DfuDeviceHandle h = nullptr;
    ASSERT_EQ(m_library->STDFU_Open(m_path, &h), STDFU_NOERROR);
    std::array<std::uint8_t, 18> device{};
    ASSERT_EQ(m_library->STDFU_GetDeviceDescriptor(h, device), STDFU_NOERROR);
    EXPECT_EQ(device[8] | device[9] << 8, 0x0483);
    EXPECT_EQ(device[12] | device[13] << 8, 0x0300);
    std::array<std::uint8_t, 9> dfu{};
    std::uint32_t interface = 9, alternates = 0;
    ASSERT_EQ(m_library->STDFU_GetDFUDescriptor(h, &interface, &alternates, dfu), STDFU_NOERROR);
    EXPECT_EQ(dfu[7] | dfu[8] << 8, 0x011A);
    EXPECT_EQ(interface, 0u);
    EXPECT_EQ(alternates, 2u);

    // The option-byte probe: select alternate 1, set the address pointer, wait for idle, read 16 bytes.
    ASSERT_EQ(m_library->STDFU_SelectCurrentConfiguration(h, 0, 0, 1), STDFU_NOERROR);
    const std::uint8_t setAddress[] = {0x21, 0x00, 0xF8, 0xFF, 0x1F};
    ASSERT_EQ(m_library->STDFU_Dnload(h, setAddress, 5, 0), STDFU_NOERROR);
    DFUSTATUS status;
    ASSERT_EQ(m_library->STDFU_Getstatus(h, &status), STDFU_NOERROR);
    EXPECT_EQ(status.bState, STATE_DFU_DOWNLOAD_BUSY);
    ASSERT_EQ(m_library->STDFU_Getstatus(h, &status), STDFU_NOERROR);
    EXPECT_EQ(status.bState, STATE_DFU_DOWNLOAD_IDLE);
    ASSERT_EQ(m_library->STDFU_Upload(h, std::array<std::uint8_t, 16>{}.data(), 16, 2), STDFU_REQUESTFAILED)
        << "UPLOAD is refused in dfuDNLOAD-IDLE";
    ASSERT_EQ(m_library->STDFU_Getstatus(h, &status), STDFU_NOERROR);
    EXPECT_EQ(status.bState, STATE_DFU_ERROR);
    ASSERT_EQ(m_library->STDFU_Clrstatus(h), STDFU_NOERROR);
    std::array<std::uint8_t, 16> options{};
    ASSERT_EQ(m_library->STDFU_Upload(h, options.data(), 16, 2), STDFU_NOERROR);
    EXPECT_EQ(options[0], 0xA5);

    EXPECT_EQ(m_library->STDFU_Close(&h), STDFU_NOERROR);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(m_library->STDFU_Getstatus(h, &status), STDFU_BADPARAMETER);
    EXPECT_EQ(m_library->STDFU_Open("USB:9-9:NOWHERE", &h), STDFU_OPENDRIVERERROR);

    Start("fault=nodesc");
    ASSERT_EQ(m_library->STDFU_Open(m_path, &h), STDFU_NOERROR) << "opening needs no descriptor";
    EXPECT_EQ(m_library->STDFU_GetDeviceDescriptor(h, device), STDFU_DESCRIPTORNOTFOUND);
    EXPECT_EQ(m_library->STDFU_GetDFUDescriptor(h, &interface, &alternates, dfu), STDFU_DESCRIPTORNOTFOUND);
    m_library->STDFU_Close(&h);
}

// A close from one thread while another thread's call is waiting on the same device: the call ends on the
// entry it started with, and the handle is gone for every call after the close.
TEST_F(Library, ClosingADeviceWhileACallWaitsOnItIsSafe)
{
    Start("timing=fullspeed");
    DfuDeviceHandle h = nullptr;
    ASSERT_EQ(m_library->STDFU_Open(m_path, &h), STDFU_NOERROR);
    ASSERT_EQ(m_library->STDFU_SelectCurrentConfiguration(h, 0, 0, 0), STDFU_NOERROR);
    const std::uint8_t erasePage[] = {0x41, 0x00, 0x10, 0x00, 0x08};
    ASSERT_EQ(m_library->STDFU_Dnload(h, erasePage, 5, 0), STDFU_NOERROR);
    DFUSTATUS status;
    ASSERT_EQ(m_library->STDFU_Getstatus(h, &status), STDFU_NOERROR);
    ASSERT_EQ(status.bState, STATE_DFU_DOWNLOAD_BUSY);
    ASSERT_GE(PollTimeoutMs(status), 10u); // the next status call waits that long before it asks

    std::atomic<bool> started{false};
    std::uint32_t waitedCode = 0;
    std::thread caller([&] {
        started = true;
        DFUSTATUS later;
        waitedCode = m_library->STDFU_Getstatus(h, &later);
    });
    while (!started) {
        std::this_thread::yield();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    DfuDeviceHandle closing = h;
    EXPECT_EQ(m_library->STDFU_Close(&closing), STDFU_NOERROR);
    caller.join();
    EXPECT_EQ(waitedCode, STDFU_NOERROR);
    EXPECT_EQ(m_library->STDFU_Getstatus(h, &status), STDFU_BADPARAMETER);
}

TEST_F(Library, EraseDownloadUploadRoundTripIsByteExact)
{
    Start("");
    // Data that must survive: a page the image does not touch.
    m_transport->GetBus().With(1, 0,
                               [](VirtualDevice& d) { d.LoadFlash(0x8000, std::vector<std::uint8_t>(16, 0x11)); });
    const auto a = Pattern(5000, 1);
    const auto b = Pattern(1501, 2);
    DfuImageHandle image = MakeImage(0, {Element{0x08000000, a}, Element{0x08005003, b}});
    // Old contents under the new data: the erase phase must clear them first.
    m_transport->GetBus().With(1, 0, [](VirtualDevice& d) { d.LoadFlash(0x10, std::vector<std::uint8_t>(64, 0)); });

    DFUThreadContext erase = Run(OPERATION_ERASE, image);
    EXPECT_EQ(erase.ErrorCode, STDFUPRT_NOERROR);
    EXPECT_EQ(erase.Percent, 100);
    EXPECT_EQ(erase.wTransferSize, 2048);
    DFUThreadContext download = Run(OPERATION_UPGRADE, image);
    ASSERT_EQ(download.ErrorCode, STDFUPRT_NOERROR);
    EXPECT_EQ(DeviceState(), STATE_DFU_IDLE);

    const auto flash = Flash();
    EXPECT_TRUE(std::equal(a.begin(), a.end(), flash.begin()));
    EXPECT_TRUE(std::equal(b.begin(), b.end(), flash.begin() + 0x5003));
    EXPECT_EQ(flash[0x5002], 0xFF);
    EXPECT_EQ(flash[0x8000], 0x11);

    DfuImageHandle readBack = MakeImage(0, {Element{0x08000000, std::vector<std::uint8_t>(5000)},
                                            Element{0x08005003, std::vector<std::uint8_t>(1501)}});
    DFUThreadContext upload = Run(OPERATION_UPLOAD, readBack);
    ASSERT_EQ(upload.ErrorCode, STDFUPRT_NOERROR);
    EXPECT_EQ(m_library->CopyImage(readBack)->elements, m_library->CopyImage(image)->elements);
    EXPECT_EQ(DeviceState(), STATE_DFU_IDLE);
}

// The erase phase clears exactly the pages the image's bytes lie in, on the device itself: an element that
// starts and ends on page boundaries leaves both neighbours as they were.
TEST_F(Library, EraseLeavesThePagesAroundAPageAlignedElement)
{
    Start("");
    m_transport->GetBus().With(1, 0,
                               [](VirtualDevice& d) { d.LoadFlash(0x0C00, std::vector<std::uint8_t>(0xC00, 0)); });
    DfuImageHandle image = MakeImage(0, {Element{0x08001000, std::vector<std::uint8_t>(0x400, 0x5A)}});
    ASSERT_EQ(Run(OPERATION_ERASE, image).ErrorCode, STDFUPRT_NOERROR);
    const auto flash = Flash();
    EXPECT_EQ(flash[0x0FFF], 0x00) << "the page before was erased";
    EXPECT_EQ(flash[0x1000], 0xFF);
    EXPECT_EQ(flash[0x13FF], 0xFF);
    EXPECT_EQ(flash[0x1400], 0x00) << "the page after was erased";
}

TEST_F(Library, DownloadSendsEveryBlockOfItsImageWhateverTheSkipBlankFlag)
{
    // Leaving blank blocks out is the image filter's decision alone (it knows which sectors the erase
    // leaves blank); a download on its own must not drop 0xFF blocks, which may be option bytes.
    Start("fault=status=errPROG@write:2");
    std::vector<std::uint8_t> data(3 * 2048, 0xFF);
    std::fill_n(data.begin(), 10, 0x42);
    std::fill_n(data.begin() + 2 * 2048, 10, 0x43);
    DfuImageHandle image = MakeImage(0, {Element{0x08000000, data}});
    DFUThreadContext c = Context(OPERATION_UPGRADE, image);
    c.bDontSendFFTransfersForUpgrade = true;
    DFUThreadContext final;
    RunOperation(*m_library, c, final, {}, std::chrono::milliseconds(1));
    // The blank middle block is the second write, which the fault hits.
    EXPECT_EQ(final.ErrorCode, STDFUPRT_DFUERROR);
    EXPECT_EQ(final.CurrentNBlock, 3u);
}

TEST_F(Library, LeaveStartsTheFirmwareAndTheDeviceComesBackInApplicationMode)
{
    Start("");
    std::vector<MappingTarget> targets;
    ASSERT_EQ(m_library->STDFUPRT_CreateMappingFromDevice(m_path, &targets), STDFUPRT_NOERROR);
    DfuImageHandle image = nullptr;
    ASSERT_EQ(m_library->STDFUFILES_CreateImageFromMapping(&image, &targets[0]), STDFUFILES_NOERROR);
    m_images.push_back(image);
    const DFUThreadContext final = Run(OPERATION_RETURN, image);
    EXPECT_EQ(final.ErrorCode, STDFUPRT_NOERROR);
    EXPECT_EQ(final.Percent, 100);
    EXPECT_EQ(final.LastDFUStatus.bState, STATE_DFU_MANIFEST);

    std::vector<nemora::usb::DeviceInfo> devices;
    m_transport->Enumerate(devices);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].mode, nemora::usb::InterfaceMode::Application);
    EXPECT_NE(m_library->STDFUPRT_CreateMappingFromDevice(devices[0].path, &targets), STDFUPRT_NOERROR);

    // In application mode the transfer operations refuse to run; detach brings the bootloader back.
    DFUThreadContext upload = Context(OPERATION_UPLOAD, image);
    upload.szDevLink = devices[0].path;
    DFUThreadContext failed;
    RunOperation(*m_library, upload, failed, {}, std::chrono::milliseconds(1));
    EXPECT_EQ(failed.ErrorCode, STDFUPRT_BADPARAMETER);
    DFUThreadContext detach = Context(OPERATION_DETACH, nullptr);
    detach.szDevLink = devices[0].path;
    RunOperation(*m_library, detach, failed, {}, std::chrono::milliseconds(1));
    EXPECT_EQ(failed.ErrorCode, STDFUPRT_NOERROR);
    m_transport->Enumerate(devices);
    EXPECT_EQ(devices.at(0).mode, nemora::usb::InterfaceMode::Dfu);
}

TEST_F(Library, StopInTheMiddleOfEachOperationLeavesTheDeviceIdle)
{
    const std::vector<std::uint8_t> data = Pattern(8 * 2048, 3);
    for (const std::uint32_t operation : {OPERATION_UPLOAD, OPERATION_ERASE, OPERATION_UPGRADE}) {
        SCOPED_TRACE(operation);
        // Every page, block and set-address needs one wait; let two pass, then hold the next one.
        Start("", 2);
        DfuImageHandle image =
            MakeImage(0, {Element{0x08000000, std::vector<std::uint8_t>(2048)},
                          Element{0x08001000, std::vector<std::uint8_t>(2048)}, Element{0x08002000, data}});
        DfuOperationHandle h = nullptr;
        ASSERT_EQ(m_library->STDFUPRT_LaunchOperation(Context(operation, image), &h), STDFUPRT_NOERROR);
        m_gate->AwaitBlocked();
        DFUThreadContext running;
        ASSERT_EQ(m_library->STDFUPRT_GetOperationStatus(h, &running), STDFUPRT_NOERROR);
        EXPECT_GT(running.Percent, 0);
        EXPECT_LT(running.Percent, 100);
        // A second operation on the same device is refused while this one runs.
        DfuOperationHandle second = nullptr;
        EXPECT_EQ(m_library->STDFUPRT_LaunchOperation(Context(operation, image), &second), STDFUPRT_DFUALREADYRUNNING);

        DFUThreadContext final;
        ASSERT_EQ(m_library->STDFUPRT_StopOperation(h, &final), STDFUPRT_NOERROR);
        EXPECT_EQ(final.ErrorCode, STDFUPRT_NOERROR);
        EXPECT_LT(final.Percent, 100);
        EXPECT_EQ(DeviceState(), STATE_DFU_IDLE);
        EXPECT_EQ(m_library->STDFUPRT_GetOperationStatus(h, &final), STDFUPRT_BADPARAMETER) << "handle released";
        m_images.clear();
        m_library->STDFUFILES_DestroyImage(image);
    }
}

struct FaultCase {
    const char* sim;
    std::uint32_t operation;
    std::uint32_t error;
    std::uint32_t request;
    std::uint8_t bStatus;
};

void PrintTo(const FaultCase& f, std::ostream* out)
{
    *out << '"' << f.sim << "\" operation " << f.operation;
}

class Faults : public Library, public testing::WithParamInterface<FaultCase> {};

TEST_P(Faults, EndTheOperationWithTheirCode)
{
    const FaultCase& f = GetParam();
    Start(f.sim);
    // Old data under the third block: a download without erase fails there.
    m_transport->GetBus().With(1, 0, [](VirtualDevice& d) { d.LoadFlash(0x1000, std::vector<std::uint8_t>(8, 0)); });
    DfuImageHandle image = MakeImage(0, {Element{0x08000000, Pattern(3 * 2048, 4)}});
    const DFUThreadContext final = Run(f.operation, image);
    EXPECT_EQ(final.ErrorCode, f.error);
    EXPECT_EQ(final.CurrentRequest, f.request);
    EXPECT_EQ(final.LastDFUStatus.bStatus, f.bStatus);
    EXPECT_LT(final.Percent, 100);
    if (f.error != STDFUPRT_UNEXPECTEDERROR) {
        EXPECT_EQ(DeviceState(), STATE_DFU_IDLE) << "a device that is still there is left idle";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Library, Faults,
    testing::Values(
        FaultCase{"fault=unplug@write:2", OPERATION_UPGRADE, STDFUPRT_UNEXPECTEDERROR, STDFU_RQ_DOWNLOAD, 0},
        FaultCase{"fault=unplug@erase:3", OPERATION_ERASE, STDFUPRT_UNEXPECTEDERROR, STDFU_RQ_DOWNLOAD, 0},
        FaultCase{"fault=unplug@read:2", OPERATION_UPLOAD, STDFUPRT_UNEXPECTEDERROR, STDFU_RQ_UPLOAD, 0},
        FaultCase{"fault=unplug@getstatus:4", OPERATION_UPGRADE, STDFUPRT_UNEXPECTEDERROR, STDFU_RQ_GET_STATUS, 0},
        FaultCase{"fault=stall@read:2", OPERATION_UPLOAD, STDFUPRT_DFUERROR, STDFU_RQ_UPLOAD, 0x0F},
        FaultCase{"fault=stall@erase", OPERATION_ERASE, STDFUPRT_DFUERROR, STDFU_RQ_DOWNLOAD, 0x0F},
        FaultCase{"fault=status=errPROG@write", OPERATION_UPGRADE, STDFUPRT_DFUERROR, STDFU_RQ_DOWNLOAD, 0x06},
        FaultCase{"fault=status=errERASE@erase:2", OPERATION_ERASE, STDFUPRT_DFUERROR, STDFU_RQ_DOWNLOAD, 0x04},
        // Programming over data that was not erased fails like real flash.
        FaultCase{"", OPERATION_UPGRADE, STDFUPRT_DFUERROR, STDFU_RQ_DOWNLOAD, 0x06},
        FaultCase{"fault=nodesc", OPERATION_UPLOAD, STDFUPRT_UNEXPECTEDERROR, STDFU_RQ_GET_CONFIGURATION_DESCRIPTOR, 0},
        FaultCase{"fault=nodesc@descriptor:2", OPERATION_ERASE, STDFUPRT_UNEXPECTEDERROR,
                  STDFU_RQ_GET_STRING_DESCRIPTOR, 0},
        // Read protection: reads stall with errVENDOR, erases are refused with it.
        FaultCase{"protect=1", OPERATION_UPLOAD, STDFUPRT_DFUERROR, STDFU_RQ_UPLOAD, 0x0B},
        FaultCase{"protect=1", OPERATION_ERASE, STDFUPRT_DFUERROR, STDFU_RQ_DOWNLOAD, 0x0B}));

TEST_F(Library, LaunchRefusesWhatCannotRun)
{
    Start("");
    DfuOperationHandle h = nullptr;
    DFUThreadContext c = Context(OPERATION_UPLOAD, nullptr);
    EXPECT_EQ(m_library->STDFUPRT_LaunchOperation(c, &h), STDFUPRT_BADPARAMETER);
    DfuImageHandle image = MakeImage(0, {});
    c = Context(7, image);
    EXPECT_EQ(m_library->STDFUPRT_LaunchOperation(c, &h), STDFUPRT_BADPARAMETER);
    c = Context(OPERATION_UPLOAD, image);
    c.szDevLink.clear();
    EXPECT_EQ(m_library->STDFUPRT_LaunchOperation(c, &h), STDFUPRT_BADPARAMETER);
    EXPECT_EQ(m_library->STDFUPRT_StopOperation(h, &c), STDFUPRT_BADPARAMETER);

    // A path with no device launches, then fails at the open.
    c = Context(OPERATION_UPLOAD, image);
    c.szDevLink = "USB:9-9:NOWHERE";
    DFUThreadContext final;
    RunOperation(*m_library, c, final, {}, std::chrono::milliseconds(1));
    EXPECT_EQ(final.ErrorCode, STDFUPRT_UNEXPECTEDERROR);
    EXPECT_EQ(final.CurrentRequest, STDFU_RQ_OPEN);
}

} // namespace

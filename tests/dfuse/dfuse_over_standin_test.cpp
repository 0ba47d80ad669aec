// The library over our libusb transport on the libusb stand-in, so that the real libusb code path runs:
// memory map, round trip, leave and re-enumeration, injected faults and read protection. CTest runs this
// executable with the stand-in first on LD_LIBRARY_PATH; the tests fail when the system's libusb got
// loaded instead.

#include "dfuse/dfuse_blocking.h"
#include "dfuse/dfuse_library.h"
#include "dfuse/dfuse_operations.h"
#include "dfuse_test_util.h"
#include "usb/libusb_transport.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace nemora::dfuse;

class OverStandin : public testing::Test {
protected:
    void Start(const std::string& sim)
    {
        ASSERT_NE(dlsym(RTLD_DEFAULT, "nemora_standin_plug"), nullptr) << "run through CTest (stand-in not loaded)";
        // The stand-in reads the devices when its context starts, inside Create.
        ::setenv("NEMORA_SIM", sim.c_str(), 1);
        ::setenv("NEMORA_SIM_CONTROL", (dir / "control").c_str(), 1);
        m_library.reset();
        std::string error;
        m_transport = nemora::usb::LibusbTransport::Create(error);
        ASSERT_TRUE(m_transport) << error;
        m_library = std::make_unique<DfuseLibrary>(*m_transport);
        std::vector<nemora::usb::DeviceInfo> devices;
        m_transport->Enumerate(devices);
        ASSERT_FALSE(devices.empty());
        m_path = devices.front().path;
    }

    DFUThreadContext Run(std::uint32_t operation, const Image& image, Image* result = nullptr)
    {
        const DfuImageHandle h = m_library->AdoptImage(image);
        DFUThreadContext c;
        c.Operation = operation;
        c.hImage = h;
        c.szDevLink = m_path;
        DFUThreadContext final;
        RunOperation(*m_library, c, final, {}, std::chrono::milliseconds(1));
        if (result != nullptr)
            *result = m_library->CopyImage(h).value_or(Image{});
        m_library->STDFUFILES_DestroyImage(h);
        return final;
    }

    std::uint8_t DeviceState()
    {
        DfuDeviceHandle h = nullptr;
        DFUSTATUS status;
        if (m_library->STDFU_Open(m_path, &h) != STDFU_NOERROR)
            return 0xFF;
        const bool ok = m_library->STDFU_Getstatus(h, &status) == STDFU_NOERROR;
        m_library->STDFU_Close(&h);
        return ok ? status.bState : 0xFF;
    }

    dfuse_test::ScratchDir dir;
    std::unique_ptr<nemora::usb::LibusbTransport> m_transport;
    std::unique_ptr<DfuseLibrary> m_library;
    std::string m_path;
};

TEST_F(OverStandin, MapRoundTripAndLeave)
{
    Start("flash=" + (dir / "flash.bin").string());
    std::vector<MappingTarget> targets;
    ASSERT_EQ(m_library->STDFUPRT_CreateMappingFromDevice(m_path, &targets), STDFUPRT_NOERROR);
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[1].szName, kOptionBytesTargetName);

    std::vector<std::uint8_t> data(7000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const Image image{0, "", {Element{0x08000400, data}}};
    EXPECT_EQ(Run(OPERATION_ERASE, image).ErrorCode, STDFUPRT_NOERROR);
    EXPECT_EQ(Run(OPERATION_UPGRADE, image).ErrorCode, STDFUPRT_NOERROR);
    const auto flash = dfuse_test::ReadBytes(dir / "flash.bin");
    ASSERT_EQ(flash.size(), 65536u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), flash.begin() + 0x400));
    Image read;
    EXPECT_EQ(
        Run(OPERATION_UPLOAD, Image{0, "", {Element{0x08000400, std::vector<std::uint8_t>(7000)}}}, &read).ErrorCode,
        STDFUPRT_NOERROR);
    EXPECT_EQ(read.elements.at(0).data, data);

    Image whole;
    ASSERT_FALSE(ImageFromMapping(targets[0], whole));
    EXPECT_EQ(Run(OPERATION_RETURN, whole).ErrorCode, STDFUPRT_NOERROR);
    std::vector<nemora::usb::DeviceInfo> devices;
    m_transport->Enumerate(devices);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].mode, nemora::usb::InterfaceMode::Application);
}

TEST_F(OverStandin, FaultsAndReadProtectionEndWithTheirCodes)
{
    const Image image{0, "", {Element{0x08000000, std::vector<std::uint8_t>(3 * 2048, 0x42)}}};
    struct Case {
        const char* sim;
        std::uint32_t operation, error, request;
        std::uint8_t bStatus;
    };
    const Case cases[] = {
        {"fault=unplug@write:2", OPERATION_UPGRADE, STDFUPRT_UNEXPECTEDERROR, STDFU_RQ_DOWNLOAD, 0},
        {"fault=stall@read:2", OPERATION_UPLOAD, STDFUPRT_DFUERROR, STDFU_RQ_UPLOAD, 0x0F},
        {"fault=status=errPROG@write:2", OPERATION_UPGRADE, STDFUPRT_DFUERROR, STDFU_RQ_DOWNLOAD, 0x06},
        // Which descriptor read fails depends on how many libusb made already: any of them will do (0).
        {"fault=nodesc@descriptor:3", OPERATION_ERASE, STDFUPRT_UNEXPECTEDERROR, 0, 0},
        {"protect=1", OPERATION_UPLOAD, STDFUPRT_DFUERROR, STDFU_RQ_UPLOAD, 0x0B},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sim);
        Start(c.sim);
        const DFUThreadContext final = Run(c.operation, image);
        EXPECT_EQ(final.ErrorCode, c.error);
        if (c.request != 0) {
            EXPECT_EQ(final.CurrentRequest, c.request);
        } else {
            EXPECT_TRUE(final.CurrentRequest == STDFU_RQ_GET_CONFIGURATION_DESCRIPTOR ||
                        final.CurrentRequest == STDFU_RQ_GET_STRING_DESCRIPTOR);
        }
        EXPECT_EQ(final.LastDFUStatus.bStatus, c.bStatus);
        if (c.error == STDFUPRT_DFUERROR) {
            EXPECT_EQ(DeviceState(), STATE_DFU_IDLE);
        }
    }
}

} // namespace

namespace {

TEST_F(OverStandin, StopInTheMiddleLeavesTheDeviceIdle)
{
    // A full-speed part: erasing all 64 pages keeps it busy long enough to stop it half way.
    Start("timing=fullspeed");
    const DfuImageHandle image =
        m_library->AdoptImage(Image{0, "", {Element{0x08000000, std::vector<std::uint8_t>(65536)}}});
    DFUThreadContext c;
    c.Operation = OPERATION_ERASE;
    c.hImage = image;
    c.szDevLink = m_path;
    DfuOperationHandle h = nullptr;
    ASSERT_EQ(m_library->STDFUPRT_LaunchOperation(c, &h), STDFUPRT_NOERROR);
    DFUThreadContext running;
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(m_library->STDFUPRT_GetOperationStatus(h, &running), STDFUPRT_NOERROR);
    } while (running.Percent == 0 && running.ErrorCode == STDFUPRT_NOERROR);
    DFUThreadContext final;
    ASSERT_EQ(m_library->STDFUPRT_StopOperation(h, &final), STDFUPRT_NOERROR);
    EXPECT_EQ(final.ErrorCode, STDFUPRT_NOERROR);
    EXPECT_LT(final.Percent, 100);
    EXPECT_EQ(DeviceState(), STATE_DFU_IDLE);
    m_library->STDFUFILES_DestroyImage(image);
}

} // namespace

// The DFU requests and DfuSe sequences against scripted conversations: each test lists the requests the
// host must make and the device's answers, and checks the outcome and the waits.

#include "dfuse/dfu_protocol.h"
#include "test_waiter.h"

#include <gtest/gtest.h>

#include <deque>
#include <thread>

namespace {

using namespace nemora::dfuse;
using nemora::usb::SetupPacket;
using nemora::usb::Status;
using nemora::usb::TransferResult;

struct Exchange {
    std::uint8_t bmRequestType;
    std::uint8_t bRequest;
    std::uint16_t wValue;
    std::vector<std::uint8_t> reply; // IN data, or the OUT data expected when `checkOut`
    Status status = Status::Ok;
    bool checkOut = false;
};

// The device side of a scripted conversation. Any request off the script fails the test.
class ScriptedHandle final : public nemora::usb::DeviceHandle {
public:
    explicit ScriptedHandle(std::deque<Exchange>* script) : m_script(script) {}

    Status GetDeviceDescriptor(std::vector<std::uint8_t>&) override { return Status::NotSupported; }
    Status GetConfigDescriptor(std::vector<std::uint8_t>& out) override
    {
        // One DFU-mode interface with one alternate, then its functional descriptor (wTransferSize 2048).
        out = {9, 2, 27, 0, 1, 1, 0, 0xC0, 50, 9, 4, 0, 0, 0, 0xFE, 1, 2, 4, 9, 0x21, 0x0B, 0xFF, 0, 0, 8, 0x1A, 1};
        return Status::Ok;
    }
    Status GetStringDescriptor(std::uint8_t, std::string&) override { return Status::NotSupported; }
    Status ClaimInterface(std::uint8_t) override { return Status::Ok; }
    Status ReleaseInterface(std::uint8_t) override { return Status::Ok; }
    Status SetAltSetting(std::uint8_t, std::uint8_t) override { return Status::Ok; }
    Status ResetDevice() override { return Status::NotSupported; }

    TransferResult ControlTransfer(const SetupPacket& setup, std::span<std::uint8_t> data,
                                   std::chrono::milliseconds) override
    {
        if (m_script->empty()) {
            ADD_FAILURE() << "unexpected request " << int(setup.bRequest) << " after the script ended";
            return {Status::Io, 0};
        }
        const Exchange e = m_script->front();
        m_script->pop_front();
        EXPECT_EQ(setup.bmRequestType, e.bmRequestType);
        EXPECT_EQ(setup.bRequest, e.bRequest);
        EXPECT_EQ(setup.wValue, e.wValue);
        if (e.status != Status::Ok) {
            return {e.status, 0};
        }
        if (setup.IsDeviceToHost()) {
            const std::size_t n = std::min<std::size_t>(setup.wLength, e.reply.size());
            std::copy_n(e.reply.begin(), n, data.begin());
            return {Status::Ok, n};
        }
        if (e.checkOut) {
            EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.begin() + setup.wLength), e.reply);
        }
        return {Status::Ok, setup.wLength};
    }

private:
    std::deque<Exchange>* m_script;
};

Exchange Status6(std::uint8_t bStatus, std::uint32_t poll, std::uint8_t state)
{
    return {0xA1,
            kDfuGetStatus,
            0,
            {bStatus, static_cast<std::uint8_t>(poll), static_cast<std::uint8_t>(poll >> 8),
             static_cast<std::uint8_t>(poll >> 16), state, 0}};
}
Exchange Out(std::uint8_t request, std::uint16_t value = 0, std::vector<std::uint8_t> data = {}, bool check = false)
{
    return {0x21, request, value, std::move(data), Status::Ok, check};
}

class DfuProtocol : public testing::Test {
protected:
    DfuProtocol()
        : m_gate(std::make_shared<dfuse_test::Gate>()), m_waiter(m_gate),
          m_device(std::make_unique<ScriptedHandle>(&m_script), m_waiter)
    {
        EXPECT_FALSE(m_device.ReadConfiguration());
    }
    ~DfuProtocol() override { EXPECT_TRUE(m_script.empty()) << m_script.size() << " scripted requests not made"; }

    std::deque<Exchange> m_script;
    std::shared_ptr<dfuse_test::Gate> m_gate;
    dfuse_test::GateWaiter m_waiter;
    DfuDevice m_device;
};

TEST_F(DfuProtocol, CommandWaitsExactlyThePollTimeoutBetweenStatusRequests)
{
    m_script = {Out(kDfuDnload, 0, {0x41, 0x00, 0x04, 0x00, 0x08}, true), Status6(0, 20, STATE_DFU_DOWNLOAD_BUSY),
                Status6(0, 7, STATE_DFU_DOWNLOAD_BUSY), Status6(0, 0, STATE_DFU_DOWNLOAD_IDLE)};
    EXPECT_FALSE(m_device.ErasePage(0x08000400));
    // One wait per busy answer, each exactly as long as asked; nothing after the final answer.
    EXPECT_EQ(m_gate->waits,
              (std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(20), std::chrono::milliseconds(7)}));
    EXPECT_EQ(m_device.CurrentRequest(), STDFU_RQ_GET_STATUS);
}

TEST_F(DfuProtocol, DeviceErrorsNameTheRequestWhoseWorkFailed)
{
    m_script = {Out(kDfuDnload, 3, {1, 2, 3}, true), Status6(0, 54, STATE_DFU_DOWNLOAD_BUSY),
                Status6(0x06, 0, STATE_DFU_ERROR)};
    const std::uint8_t data[] = {1, 2, 3};
    const ProtocolError e = m_device.WriteBlock(3, data);
    EXPECT_EQ(e.errorCode, STDFUPRT_DFUERROR);
    EXPECT_EQ(e.request, STDFU_RQ_DOWNLOAD);
    EXPECT_EQ(m_device.LastStatus().bStatus, 0x06); // errPROG
    EXPECT_EQ(m_device.LastStatus().bState, STATE_DFU_ERROR);
}

TEST_F(DfuProtocol, StallsShortAnswersAndStuckDevicesFail)
{
    m_script = {{0x21, kDfuDnload, 0, {}, Status::Pipe}};
    const std::uint8_t cmd[] = {0x21, 0, 0, 0, 8};
    ProtocolError e = m_device.SetAddress(0x08000000);
    EXPECT_EQ(e.errorCode, STDFUPRT_DFUERROR);
    EXPECT_EQ(e.transfer, Status::Pipe);

    m_script = {Out(kDfuDnload, 0, {cmd, cmd + 5}, true), {0xA1, kDfuGetStatus, 0, {0, 0, 0, 0, 5}}};
    e = m_device.SetAddress(0x08000000);
    EXPECT_EQ(e.errorCode, STDFUPRT_UNEXPECTEDERROR); // 5 of 6 status bytes
    EXPECT_EQ(e.request, STDFU_RQ_GET_STATUS);

    m_script = {Out(kDfuDnload, 0)};
    for (int i = 0; i <= kMaxBusyPolls; ++i)
        m_script.push_back(Status6(0, 0, STATE_DFU_DOWNLOAD_BUSY));
    e = m_device.SetAddress(0x08000000);
    EXPECT_EQ(e.errorCode, STDFUPRT_RETRYERROR);

    m_script = {{0xA1, kDfuUpload, 2, {}, Status::NoDevice}};
    std::uint8_t buffer[16];
    std::size_t received = 0;
    e = m_device.Upload(2, buffer, received);
    EXPECT_EQ(e.errorCode, STDFUPRT_UNEXPECTEDERROR);
    EXPECT_TRUE(m_device.Gone());
}

TEST_F(DfuProtocol, RecoveryClearsErrorsAndAbortsIdleTransfers)
{
    m_script = {Status6(0x0F, 0, STATE_DFU_ERROR), Out(kDfuClrStatus), Status6(0, 0, STATE_DFU_UPLOAD_IDLE),
                Out(kDfuAbort), Status6(0, 0, STATE_DFU_IDLE)};
    EXPECT_FALSE(m_device.RecoverToIdle());

    // A busy device is waited out, not aborted.
    m_script = {Status6(0, 30, STATE_DFU_DOWNLOAD_BUSY), Status6(0, 0, STATE_DFU_DOWNLOAD_IDLE),
                Status6(0, 0, STATE_DFU_DOWNLOAD_IDLE), Out(kDfuAbort), Status6(0, 0, STATE_DFU_IDLE)};
    EXPECT_FALSE(m_device.RecoverToIdle());

    // A device in application mode cannot be brought to dfuIDLE.
    m_script = {Status6(0, 0, STATE_IDLE)};
    EXPECT_EQ(m_device.RecoverToIdle().errorCode, STDFUPRT_BADFIRMWARESTATEMACHINE);
}

TEST_F(DfuProtocol, CancelEndsAWaitWithoutAnotherRequest)
{
    m_gate->passes = 0;
    m_script = {Out(kDfuDnload, 0), Status6(0, 5000, STATE_DFU_DOWNLOAD_BUSY)};
    std::thread stopper([&] {
        m_gate->AwaitBlocked();
        m_waiter.Cancel();
    });
    const ProtocolError e = m_device.SetAddress(0x08000000);
    stopper.join();
    EXPECT_TRUE(e.stopped);
}

TEST(DfuConfiguration, FindsTheDfuInterfaceAndIgnoresOtherClassDescriptors)
{
    // A HID interface with its own type-0x21 descriptor, then a DFU interface with two alternates.
    const std::vector<std::uint8_t> config = {
        9, 2,    0,    0,    2, 1,    0,    0xC0, 50,   // configuration
        9, 4,    0,    0,    1, 3,    1,    2,    0,    // HID interface
        9, 0x21, 0x11, 1,    0, 1,    0x22, 52,   0,    // HID descriptor (also type 0x21)
        9, 4,    1,    1,    0, 0xFE, 1,    2,    5,    // DFU interface 1, alternate 1 first
        9, 4,    1,    0,    0, 0xFE, 1,    2,    4,    // alternate 0
        9, 0x21, 0x0B, 0xFF, 0, 0x00, 0x08, 0x1A, 0x01, // functional descriptor
    };
    DfuInterfaceInfo info;
    ASSERT_TRUE(ParseDfuConfiguration(config, info));
    EXPECT_EQ(info.interfaceNumber, 1);
    EXPECT_EQ(info.stringIndices, (std::vector<std::uint8_t>{4, 5}));
    ASSERT_TRUE(info.hasFunctional);
    EXPECT_EQ(info.functional.wTransferSize, 2048);
    EXPECT_EQ(info.functional.bcdDFUVersion, 0x011A);

    // Every truncation either parses what is complete or fails; none reads past the end.
    for (std::size_t n = 0; n < config.size(); ++n) {
        DfuInterfaceInfo partial;
        ParseDfuConfiguration(std::span(config).first(n), partial);
    }
    std::vector<std::uint8_t> zeroLength = config;
    zeroLength[9] = 0;
    EXPECT_FALSE(ParseDfuConfiguration(zeroLength, info));
}

} // namespace

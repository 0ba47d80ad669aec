#include "dfuse/dfu_operation.h"

#include "dfuse/dfuse_operations.h"
#include "dfuse/image_filter.h"

#include <algorithm>
#include <system_error>

namespace nemora::dfuse {
namespace {

constexpr std::uint32_t kMaxBlockNumber = 0xFFFF;
constexpr std::uint16_t kDetachTimeoutMs = 1000;

bool NeedsImage(std::uint32_t operation)
{
    return operation == OPERATION_UPLOAD || operation == OPERATION_ERASE || operation == OPERATION_UPGRADE;
}

} // namespace

std::unique_ptr<BackgroundOperation> BackgroundOperation::Launch(usb::Transport& transport,
                                                                 const DFUThreadContext& context,
                                                                 std::optional<Image> image,
                                                                 std::function<bool(const Image&)> storeRead,
                                                                 const WaiterFactory& makeWaiter, std::uint32_t& code)
{
    code = STDFUPRT_BADPARAMETER;
    if (context.Operation > OPERATION_UPGRADE || context.szDevLink.empty()) {
        return nullptr;
    }
    if (NeedsImage(context.Operation) && !image) {
        return nullptr;
    }
    std::unique_ptr<PollWaiter> waiter = makeWaiter ? makeWaiter() : std::make_unique<SteadyWaiter>();
    if (!waiter) {
        return nullptr;
    }
    std::unique_ptr<BackgroundOperation> op(new BackgroundOperation(
        transport, context, image ? std::move(*image) : Image{}, std::move(storeRead), std::move(waiter)));
    try {
        op->m_thread = std::thread([raw = op.get()] { raw->Run(); });
    } catch (const std::system_error&) {
        code = STDFUPRT_UNABLETOLAUNCHDFUTHREAD;
        return nullptr;
    }
    code = STDFUPRT_NOERROR;
    return op;
}

BackgroundOperation::BackgroundOperation(usb::Transport& transport, const DFUThreadContext& context, Image image,
                                         std::function<bool(const Image&)> storeRead,
                                         std::unique_ptr<PollWaiter> waiter)
    : m_transport(transport), m_storeRead(std::move(storeRead)), m_path(context.szDevLink), m_waiter(std::move(waiter)),
      m_context(context), m_image(std::move(image))
{
    m_context.Percent = 0;
    m_context.wTransferSize = 0;
    m_context.LastDFUStatus = DFUSTATUS{};
    m_context.CurrentRequest = 0;
    m_context.CurrentNBlock = 0;
    m_context.CurrentLength = 0;
    m_context.ErrorCode = STDFUPRT_NOERROR;
}

bool BackgroundOperation::CleanupWaiter::WaitUntil(std::chrono::steady_clock::time_point deadline)
{
    if (m_expired) {
        return false;
    }
    if (deadline > m_end) {
        // The device asks for more patience than a clean-up may take: give up on it at the budget's end.
        std::this_thread::sleep_until(m_end);
        m_expired = true;
        return false;
    }
    std::this_thread::sleep_until(deadline);
    return true;
}

BackgroundOperation::~BackgroundOperation()
{
    Stop();
}

DFUThreadContext BackgroundOperation::Status() const
{
    std::lock_guard lock(m_mutex);
    return m_context;
}

bool BackgroundOperation::Done() const
{
    std::lock_guard lock(m_mutex);
    return m_done;
}

Image BackgroundOperation::Read() const
{
    std::lock_guard lock(m_mutex);
    return m_image;
}

DFUThreadContext BackgroundOperation::Stop()
{
    m_waiter->Cancel();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return Status();
}

void BackgroundOperation::Progress(std::uint64_t done, std::uint64_t total)
{
    // 100 is kept for the very end: callers take it as "finished".
    const std::uint64_t percent = total == 0 ? 0 : std::min<std::uint64_t>(99, done * 100 / total);
    std::lock_guard lock(m_mutex);
    m_context.Percent = static_cast<std::uint8_t>(percent);
}

void BackgroundOperation::Block(std::uint32_t block, std::uint32_t length)
{
    std::lock_guard lock(m_mutex);
    m_context.CurrentNBlock = block;
    m_context.CurrentLength = length;
}

void BackgroundOperation::Fail(const ProtocolError& error, DfuDevice* device)
{
    DFUSTATUS status;
    if (device != nullptr) {
        status = device->LastStatus();
        // A stalled or refused request leaves its reason in the device's status: ask once for it.
        if (!device->Gone() && error.errorCode == STDFUPRT_DFUERROR && error.transfer == usb::Status::Pipe) {
            m_plainWaiter.Start();
            device->SetWaiter(m_plainWaiter);
            DFUSTATUS fresh;
            if (!device->GetStatus(fresh)) {
                status = fresh;
            }
        }
    }
    std::lock_guard lock(m_mutex);
    m_context.ErrorCode = error.errorCode;
    m_context.CurrentRequest = error.request;
    m_context.LastDFUStatus = status;
}

void BackgroundOperation::Run()
{
    std::unique_ptr<usb::DeviceHandle> handle;
    {
        std::lock_guard lock(m_mutex);
        m_context.CurrentRequest = STDFU_RQ_OPEN;
    }
    const usb::Status opened = m_transport.Open(m_path, handle);
    if (opened != usb::Status::Ok) {
        Fail({STDFUPRT_UNEXPECTEDERROR, STDFU_RQ_OPEN, opened}, nullptr);
    } else {
        DfuDevice device(std::move(handle), *m_waiter);
        const ProtocolError e = Work(device);
        if (e && !e.stopped) {
            Fail(e, &device);
        } else if (!e) {
            std::lock_guard lock(m_mutex);
            m_context.LastDFUStatus = device.LastStatus();
        }
        // Whatever happened, a device that is still there is left idle. The clean-up waits for real even
        // after a stop, so that the device is not left mid-command.
        const std::uint32_t operation = Status().Operation;
        const bool leftDfuMode = !e && (operation == OPERATION_RETURN || operation == OPERATION_DETACH);
        if (!device.Gone() && !leftDfuMode && device.Interface().protocol == usb::kDfuProtocolDfuMode) {
            m_plainWaiter.Start();
            device.SetWaiter(m_plainWaiter);
            device.RecoverToIdle();
        }
        std::lock_guard lock(m_mutex);
        m_context.Health = device.Health();
        if (!e)
            m_context.Percent = 100;
    }
    std::function<void()> finished;
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
        finished = m_context.onFinished;
    }
    if (finished) {
        finished();
    }
}

ProtocolError BackgroundOperation::Work(DfuDevice& device)
{
    const DFUThreadContext context = Status();
    if (const auto e = device.ReadConfiguration()) {
        return e;
    }
    {
        std::lock_guard lock(m_mutex);
        m_context.wTransferSize = device.TransferSize();
    }
    const bool dfuMode = device.Interface().protocol == usb::kDfuProtocolDfuMode;
    if (context.Operation == OPERATION_DETACH) {
        if (dfuMode) {
            return {STDFUPRT_BADPARAMETER, STDFU_RQ_DETACH, usb::Status::Ok};
        }
        if (const auto e = device.SelectAlternate(0)) {
            return e;
        }
        if (const auto e = device.Detach(kDetachTimeoutMs)) {
            return e;
        }
        if ((device.Interface().functional.bmAttributes & 0x08) == 0) {
            device.Handle().ResetDevice(); // no bitWillDetach: the bus reset starts the bootloader
        }
        return {};
    }
    if (!dfuMode) {
        return {STDFUPRT_BADPARAMETER, STDFU_RQ_IDENTIFYINGDEVICE, usb::Status::Ok};
    }

    Image image;
    {
        std::lock_guard lock(m_mutex);
        image = m_image;
    }
    if (const auto e = device.SelectAlternate(image.alternate)) {
        return e;
    }
    if (const auto e = device.RecoverToIdle()) {
        return e;
    }
    switch (context.Operation) {
    case OPERATION_UPLOAD:
        if (const auto e = Upload(device, image)) {
            return e;
        }
        if (m_storeRead && !m_storeRead(image)) {
            return {STDFUPRT_BADPARAMETER, STDFU_RQ_UPLOAD, usb::Status::Ok};
        }
        {
            std::lock_guard lock(m_mutex);
            m_image = std::move(image);
        }
        return {};
    case OPERATION_ERASE:
        return Erase(device, image);
    case OPERATION_UPGRADE:
        return Download(device, image);
    case OPERATION_RETURN:
        return Leave(device, image);
    default:
        return {STDFUPRT_BADPARAMETER, 0, usb::Status::Ok};
    }
}

ProtocolError BackgroundOperation::Upload(DfuDevice& device, Image& image)
{
    const std::uint32_t blockSize = device.TransferSize();
    const std::uint64_t total = image.DataSize();
    std::uint64_t done = 0;
    for (Element& element : image.elements) {
        std::uint32_t block = kMaxBlockNumber + 1; // forces a set-address before the first block
        for (std::size_t offset = 0; offset < element.data.size(); offset += blockSize) {
            if (m_waiter->Cancelled()) {
                return {STDFUPRT_NOERROR, 0, usb::Status::Ok, true};
            }
            if (block > kMaxBlockNumber) {
                // Reads start where the address pointer is; setting it leaves the device in
                // dfuDNLOAD-IDLE, from which only an ABORT leads back to where UPLOAD is allowed.
                if (offset != 0) {
                    if (const auto e = device.Abort()) {
                        return e;
                    }
                }
                if (const auto e = device.SetAddress(element.address + static_cast<std::uint32_t>(offset))) {
                    return e;
                }
                if (const auto e = device.Abort()) {
                    return e;
                }
                block = 2;
            }
            const std::size_t length = std::min<std::size_t>(blockSize, element.data.size() - offset);
            Block(block, static_cast<std::uint32_t>(length));
            std::size_t received = 0;
            const auto span = std::span(element.data).subspan(offset, length);
            if (const auto e = device.Upload(static_cast<std::uint16_t>(block), span, received)) {
                return e;
            }
            if (received != length) {
                // The device ended the read early: the rest of the element would be missing. A device that
                // is still there says why in its status; only a silent one counts as a failed link.
                DFUSTATUS status;
                if (!device.Gone() && !device.GetStatus(status) && status.bState == STATE_DFU_ERROR) {
                    return {STDFUPRT_DFUERROR, STDFU_RQ_UPLOAD, usb::Status::Ok};
                }
                return {STDFUPRT_UNEXPECTEDERROR, STDFU_RQ_UPLOAD, usb::Status::Io};
            }
            ++block;
            done += length;
            Progress(done, total);
        }
        if (!element.data.empty()) {
            if (const auto e = device.Abort()) {
                return e;
            }
        }
    }
    return {};
}

ProtocolError BackgroundOperation::Erase(DfuDevice& device, const Image& image)
{
    MappingTarget target;
    if (const auto e = device.ReadLayout(image.alternate, target)) {
        return e;
    }
    Image pages = image;
    FilterImage(pages, target, OPERATION_ERASE, false);
    const std::uint64_t total = pages.elements.size();
    std::uint64_t done = 0;
    for (const Element& page : pages.elements) {
        if (m_waiter->Cancelled()) {
            return {STDFUPRT_NOERROR, 0, usb::Status::Ok, true};
        }
        Block(0, 5);
        if (const auto e = device.ErasePage(page.address)) {
            return e;
        }
        Progress(++done, total);
    }
    if (!pages.elements.empty()) {
        return device.Abort();
    }
    return {};
}

ProtocolError BackgroundOperation::Download(DfuDevice& device, const Image& image)
{
    const std::uint32_t blockSize = device.TransferSize();
    const std::uint64_t total = image.DataSize();
    std::uint64_t done = 0;
    bool sent = false;
    for (const Element& element : image.elements) {
        std::uint32_t block = kMaxBlockNumber + 1;
        for (std::size_t offset = 0; offset < element.data.size(); offset += blockSize) {
            if (m_waiter->Cancelled()) {
                return {STDFUPRT_NOERROR, 0, usb::Status::Ok, true};
            }
            const std::size_t length = std::min<std::size_t>(blockSize, element.data.size() - offset);
            const auto span = std::span(element.data).subspan(offset, length);
            if (block > kMaxBlockNumber) {
                Block(0, 5);
                if (const auto e = device.SetAddress(element.address + static_cast<std::uint32_t>(offset))) {
                    return e;
                }
                block = 2;
                sent = true;
            }
            Block(block, static_cast<std::uint32_t>(length));
            if (const auto e = device.WriteBlock(static_cast<std::uint16_t>(block), span)) {
                return e;
            }
            ++block;
            done += length;
            Progress(done, total);
        }
    }
    if (sent) {
        return device.Abort();
    }
    return {};
}

ProtocolError BackgroundOperation::Leave(DfuDevice& device, const Image& image)
{
    if (!image.elements.empty()) {
        Block(0, 5);
        if (const auto e = device.SetAddress(image.elements.front().address)) {
            return e;
        }
    }
    Block(0, 0);
    if (const auto e = device.Dnload(0, {})) {
        return e;
    }
    DFUSTATUS status;
    if (const auto e = device.GetStatus(status)) {
        return e;
    }
    if (status.bState == STATE_DFU_ERROR || status.bStatus != kStatusOk) {
        return {STDFUPRT_DFUERROR, STDFU_RQ_DOWNLOAD, usb::Status::Ok};
    }
    switch (status.bState) {
    case STATE_DFU_MANIFEST_SYNC:
    case STATE_DFU_MANIFEST:
    case STATE_DFU_MANIFEST_WAIT_RESET:
        return {};
    default:
        return {STDFUPRT_BADFIRMWARESTATEMACHINE, STDFU_RQ_GET_STATUS, usb::Status::Ok};
    }
}

} // namespace nemora::dfuse

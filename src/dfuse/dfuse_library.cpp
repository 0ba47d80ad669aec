#include "dfuse/dfuse_library.h"

#include "dfuse/device_link.h"
#include "dfuse/dfu_protocol.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace nemora::dfuse {
namespace {

using usb::Status;

std::uint32_t StdfuCode(const ProtocolError& e)
{
    if (!e) {
        return STDFU_NOERROR;
    }
    switch (e.transfer) {
    case Status::Pipe:
    case Status::Io:
    case Status::Overflow:
        return STDFU_REQUESTFAILED;
    case Status::Ok:
        return e.errorCode == STDFUPRT_BADPARAMETER ? STDFU_BADPARAMETER : STDFU_REQUESTFAILED;
    default:
        return STDFU_NODEVICE;
    }
}

template <class Handle>
std::uintptr_t Key(Handle handle)
{
    return reinterpret_cast<std::uintptr_t>(handle);
}

template <class Handle>
Handle MakeHandle(std::uintptr_t key)
{
    return reinterpret_cast<Handle>(key);
}

} // namespace

struct DfuseLibrary::OpenDevice {
    std::mutex mutex; // held for the whole of each call on the device
    SteadyWaiter waiter;
    std::unique_ptr<DfuDevice> device;
    bool configured = false;

    // Reads the configuration once; later calls reuse it.
    ProtocolError Configure()
    {
        if (configured) {
            return {};
        }
        const auto e = device->ReadConfiguration();
        configured = !e;
        return e;
    }
};

DfuseLibrary::DfuseLibrary(usb::Transport& transport, WaiterFactory makeWaiter)
    : m_transport(transport), m_makeWaiter(std::move(makeWaiter))
{}

DfuseLibrary::~DfuseLibrary()
{
    std::map<std::uintptr_t, std::unique_ptr<BackgroundOperation>> operations;
    {
        std::lock_guard lock(m_mutex);
        operations.swap(m_operations);
    }
    for (auto& [key, op] : operations) {
        op->Stop();
    }
}

std::shared_ptr<DfuseLibrary::OpenDevice> DfuseLibrary::FindDevice(DfuDeviceHandle handle)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_devices.find(Key(handle));
    return it == m_devices.end() ? nullptr : it->second;
}

// ---------------------------------------------------------------- devices

std::uint32_t DfuseLibrary::STDFU_Open(const std::string& strDevicePath, DfuDeviceHandle* phDevice)
{
    if (phDevice == nullptr || strDevicePath.empty()) {
        return STDFU_BADPARAMETER;
    }
    std::unique_ptr<usb::DeviceHandle> handle;
    const Status opened = m_transport.Open(strDevicePath, handle);
    if (opened != Status::Ok || !handle) {
        return opened == Status::Access ? STDFU_ACCESSDENIED : STDFU_OPENDRIVERERROR;
    }
    auto open = std::make_shared<OpenDevice>();
    open->device = std::make_unique<DfuDevice>(std::move(handle), open->waiter);
    std::lock_guard lock(m_mutex);
    const std::uintptr_t key = m_nextHandle++;
    m_devices.emplace(key, std::move(open));
    *phDevice = MakeHandle<DfuDeviceHandle>(key);
    return STDFU_NOERROR;
}

std::uint32_t DfuseLibrary::STDFU_Close(DfuDeviceHandle* phDevice)
{
    if (phDevice == nullptr) {
        return STDFU_BADPARAMETER;
    }
    std::shared_ptr<OpenDevice> closing; // freed here, or by the last call still using it
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_devices.find(Key(*phDevice));
        if (it == m_devices.end()) {
            return STDFU_BADPARAMETER;
        }
        closing = std::move(it->second);
        m_devices.erase(it);
    }
    *phDevice = nullptr;
    return STDFU_NOERROR;
}

std::uint32_t DfuseLibrary::STDFU_GetDeviceDescriptor(DfuDeviceHandle hDevice, std::array<std::uint8_t, 18>& desc)
{
    const std::shared_ptr<OpenDevice> open = FindDevice(hDevice);
    if (open == nullptr) {
        return STDFU_BADPARAMETER;
    }
    std::lock_guard deviceLock(open->mutex);
    std::vector<std::uint8_t> bytes;
    const Status s = open->device->Handle().GetDeviceDescriptor(bytes);
    if (s == Status::NoDevice) {
        return STDFU_NODEVICE;
    }
    if (s != Status::Ok || bytes.size() < desc.size() || bytes[1] != 0x01) {
        return STDFU_DESCRIPTORNOTFOUND;
    }
    std::copy_n(bytes.begin(), desc.size(), desc.begin());
    return STDFU_NOERROR;
}

std::uint32_t DfuseLibrary::STDFU_GetDFUDescriptor(DfuDeviceHandle hDevice, std::uint32_t* pDfuInterfaceNum,
                                                   std::uint32_t* pNbOfAlternates, std::array<std::uint8_t, 9>& desc)
{
    const std::shared_ptr<OpenDevice> open = FindDevice(hDevice);
    if (open == nullptr) {
        return STDFU_BADPARAMETER;
    }
    std::lock_guard deviceLock(open->mutex);
    if (const auto e = open->Configure()) {
        return e.transfer == Status::NoDevice ? STDFU_NODEVICE : STDFU_DESCRIPTORNOTFOUND;
    }
    const DfuInterfaceInfo& info = open->device->Interface();
    desc = info.functional.raw;
    if (pDfuInterfaceNum != nullptr) {
        *pDfuInterfaceNum = info.interfaceNumber;
    }
    if (pNbOfAlternates != nullptr) {
        *pNbOfAlternates = static_cast<std::uint32_t>(info.stringIndices.size());
    }
    return STDFU_NOERROR;
}

std::uint32_t DfuseLibrary::STDFU_SelectCurrentConfiguration(DfuDeviceHandle hDevice, std::uint32_t nConfigIndex,
                                                             std::uint32_t nInterfaceIndex,
                                                             std::uint32_t nAlternateSetIndex)
{
    const std::shared_ptr<OpenDevice> open = FindDevice(hDevice);
    if (open == nullptr || nConfigIndex != 0 || nAlternateSetIndex > 0xFF) {
        return STDFU_BADPARAMETER;
    }
    std::lock_guard deviceLock(open->mutex);
    if (const auto e = open->Configure()) {
        return e.transfer == Status::NoDevice ? STDFU_NODEVICE : STDFU_DESCRIPTORNOTFOUND;
    }
    const DfuInterfaceInfo& info = open->device->Interface();
    // The interface index counts DFU interfaces; our devices have one.
    if (nInterfaceIndex != 0 || nAlternateSetIndex >= info.stringIndices.size()) {
        return STDFU_BADPARAMETER;
    }
    return StdfuCode(open->device->SelectAlternate(static_cast<std::uint8_t>(nAlternateSetIndex)));
}

std::uint32_t DfuseLibrary::STDFU_Getstatus(DfuDeviceHandle hDevice, DFUSTATUS* pStatus)
{
    const std::shared_ptr<OpenDevice> open = FindDevice(hDevice);
    if (open == nullptr || pStatus == nullptr) {
        return STDFU_BADPARAMETER;
    }
    std::lock_guard deviceLock(open->mutex);
    return StdfuCode(open->device->GetStatus(*pStatus));
}

std::uint32_t DfuseLibrary::STDFU_Clrstatus(DfuDeviceHandle hDevice)
{
    const std::shared_ptr<OpenDevice> open = FindDevice(hDevice);
    if (open == nullptr) {
        return STDFU_BADPARAMETER;
    }
    std::lock_guard deviceLock(open->mutex);
    return StdfuCode(open->device->ClrStatus());
}

std::uint32_t DfuseLibrary::STDFU_Dnload(DfuDeviceHandle hDevice, const std::uint8_t* pBuffer, std::uint32_t nBytes,
                                         std::uint16_t nBlock)
{
    const std::shared_ptr<OpenDevice> open = FindDevice(hDevice);
    if (open == nullptr || (pBuffer == nullptr && nBytes != 0) || nBytes > 0xFFFF) {
        return STDFU_BADPARAMETER;
    }
    std::lock_guard deviceLock(open->mutex);
    return StdfuCode(open->device->Dnload(nBlock, std::span(pBuffer, nBytes)));
}

std::uint32_t DfuseLibrary::STDFU_Upload(DfuDeviceHandle hDevice, std::uint8_t* pBuffer, std::uint32_t nBytes,
                                         std::uint16_t nBlock)
{
    const std::shared_ptr<OpenDevice> open = FindDevice(hDevice);
    if (open == nullptr || pBuffer == nullptr || nBytes == 0 || nBytes > 0xFFFF) {
        return STDFU_BADPARAMETER;
    }
    std::lock_guard deviceLock(open->mutex);
    std::size_t received = 0;
    if (const auto e = open->device->Upload(nBlock, std::span(pBuffer, nBytes), received)) {
        return StdfuCode(e);
    }
    // A short answer would leave the end of the caller's buffer as it was: not a success.
    return received == nBytes ? STDFU_NOERROR : STDFU_REQUESTFAILED;
}

// ---------------------------------------------------------------- memory map and operations

std::uint32_t DfuseLibrary::STDFUPRT_CreateMappingFromDevice(const std::string& strDevicePath,
                                                             std::vector<MappingTarget>* pTargets)
{
    auto fail = [&](std::uint32_t code, std::string why) {
        std::lock_guard lock(m_mutex);
        m_mappingError = std::move(why);
        return code;
    };
    if (pTargets == nullptr || strDevicePath.empty()) {
        return fail(STDFUPRT_BADPARAMETER, "no device path or no output");
    }
    std::unique_ptr<usb::DeviceHandle> handle;
    if (const Status s = m_transport.Open(strDevicePath, handle); s != Status::Ok) {
        return fail(STDFUPRT_UNEXPECTEDERROR, std::string("cannot open the device: ") + usb::StatusName(s));
    }
    SteadyWaiter waiter;
    DfuDevice device(std::move(handle), waiter);
    if (const auto e = device.ReadConfiguration()) {
        return fail(e.transfer == Status::NoDevice ? STDFUPRT_UNEXPECTEDERROR : STDFUPRT_BADFIRMWARESTATEMACHINE,
                    e.transfer == Status::Ok
                        ? "no DFU interface or functional descriptor"
                        : std::string("cannot read the configuration: ") + usb::StatusName(e.transfer));
    }
    if (device.Interface().protocol != usb::kDfuProtocolDfuMode) {
        return fail(STDFUPRT_BADPARAMETER, "the device is not in DFU mode");
    }
    std::vector<MappingTarget> targets;
    for (std::size_t alt = 0; alt < device.Interface().stringIndices.size(); ++alt) {
        MappingTarget target;
        std::string why;
        if (const auto e = device.ReadLayout(static_cast<std::uint8_t>(alt), target, &why)) {
            if (why.empty()) {
                why = "alternate setting " + std::to_string(alt) +
                      ": cannot read its interface string: " + usb::StatusName(e.transfer);
            }
            return fail(e.transfer == Status::NoDevice ? STDFUPRT_UNEXPECTEDERROR : STDFUPRT_BADFIRMWARESTATEMACHINE,
                        why);
        }
        targets.push_back(std::move(target));
    }
    *pTargets = std::move(targets);
    fail(STDFUPRT_NOERROR, {});
    return STDFUPRT_NOERROR;
}

std::uint32_t DfuseLibrary::STDFUPRT_DestroyMapping(std::vector<MappingTarget>* pTargets)
{
    if (pTargets == nullptr) {
        return STDFUPRT_BADPARAMETER;
    }
    pTargets->clear();
    return STDFUPRT_NOERROR;
}

std::string DfuseLibrary::LastMappingError() const
{
    std::lock_guard lock(m_mutex);
    return m_mappingError;
}

std::uint32_t DfuseLibrary::Launch(const DFUThreadContext& context, std::optional<Image> image,
                                   std::function<bool(const Image&)> storeRead, DfuOperationHandle* phOperation)
{
    if (phOperation == nullptr) {
        return STDFUPRT_BADPARAMETER;
    }
    std::lock_guard lock(m_mutex);
    const std::string path = usb::ToUpperAscii(context.szDevLink);
    for (const auto& [key, op] : m_operations) {
        if (!op->Done() && usb::ToUpperAscii(op->DevicePath()) == path) {
            return STDFUPRT_DFUALREADYRUNNING;
        }
    }
    std::uint32_t code = STDFUPRT_NOERROR;
    auto op =
        BackgroundOperation::Launch(m_transport, context, std::move(image), std::move(storeRead), m_makeWaiter, code);
    if (!op) {
        return code;
    }
    const std::uintptr_t key = m_nextHandle++;
    m_operations.emplace(key, std::move(op));
    *phOperation = MakeHandle<DfuOperationHandle>(key);
    return STDFUPRT_NOERROR;
}

std::uint32_t DfuseLibrary::STDFUPRT_LaunchOperation(const DFUThreadContext& context, DfuOperationHandle* phOperation)
{
    // The operation works on a copy of the image taken now; an upload writes what it read back behind the
    // handle when it ends.
    const DfuImageHandle hImage = context.hImage;
    return Launch(
        context, CopyImage(hImage), [this, hImage](const Image& read) { return ReplaceImage(hImage, read); },
        phOperation);
}

std::uint32_t DfuseLibrary::StartOperation(std::uint32_t operation, const std::string& devicePath, Image image,
                                           std::function<void()> onFinished, DfuOperationHandle* phOperation)
{
    DFUThreadContext context;
    context.Operation = operation;
    context.szDevLink = devicePath.substr(0, 259);
    context.onFinished = std::move(onFinished);
    return Launch(context, std::move(image), {}, phOperation);
}

std::uint32_t DfuseLibrary::OperationStatus(DfuOperationHandle hOperation, DFUThreadContext* pContext)
{
    return STDFUPRT_GetOperationStatus(hOperation, pContext);
}

std::uint32_t DfuseLibrary::FinishOperation(DfuOperationHandle hOperation, DFUThreadContext* pContext, Image* pRead)
{
    std::unique_ptr<BackgroundOperation> op;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_operations.find(Key(hOperation));
        if (it == m_operations.end()) {
            return STDFUPRT_BADPARAMETER;
        }
        op = std::move(it->second);
        m_operations.erase(it);
    }
    const DFUThreadContext final = op->Stop(); // joins outside the lock: status calls stay free meanwhile
    if (pContext != nullptr) {
        *pContext = final;
    }
    if (pRead != nullptr) {
        *pRead = op->Read();
    }
    return STDFUPRT_NOERROR;
}

LinkOutcome DfuseLibrary::OpenLink(const std::string& devicePath, DeviceLink& link, LinkDescriptors& descriptors)
{
    return OpenDeviceLink(*this, devicePath, link, descriptors, [&](DfuDeviceHandle hDevice) {
        // The serial number names the device's lock and its snapshots, whichever port it sits in.
        const std::uint8_t index = descriptors.device[16];
        const std::shared_ptr<OpenDevice> open = FindDevice(hDevice);
        if (index == 0 || open == nullptr) {
            return;
        }
        std::lock_guard deviceLock(open->mutex);
        std::string serial;
        if (open->device->Handle().GetStringDescriptor(index, serial) == Status::Ok) {
            link.serial = serial;
        }
    });
}

std::optional<usb::DeviceInfo> DfuseLibrary::ListedDevice(const std::string& devicePath)
{
    std::vector<usb::DeviceInfo> devices;
    if (m_transport.Enumerate(devices) != Status::Ok) {
        return std::nullopt;
    }
    for (usb::DeviceInfo& device : devices) {
        const bool same = std::equal(
            device.path.begin(), device.path.end(), devicePath.begin(), devicePath.end(), [](char a, char b) {
                return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
            });
        if (same) {
            return std::move(device);
        }
    }
    return std::nullopt;
}

std::uint32_t DfuseLibrary::STDFUPRT_GetOperationStatus(DfuOperationHandle hOperation, DFUThreadContext* pContext)
{
    if (pContext == nullptr) {
        return STDFUPRT_BADPARAMETER;
    }
    std::lock_guard lock(m_mutex);
    const auto it = m_operations.find(Key(hOperation));
    if (it == m_operations.end()) {
        return STDFUPRT_BADPARAMETER;
    }
    *pContext = it->second->Status();
    return STDFUPRT_NOERROR;
}

std::uint32_t DfuseLibrary::STDFUPRT_StopOperation(DfuOperationHandle hOperation, DFUThreadContext* pContext)
{
    return FinishOperation(hOperation, pContext, nullptr);
}

// ---------------------------------------------------------------- files

} // namespace nemora::dfuse

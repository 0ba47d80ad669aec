#pragma once

// Our implementation of the DfuSe library contract over a USB transport (libusb or the virtual devices;
// it never asks which).
//
// Devices (STDFU_*): STDFU_Open only opens the device; descriptors are read when asked for, so a device
// whose descriptors fail can still be opened and then report that. Every request is a real control
// transfer, and STDFU_Getstatus waits as long as the device's previous status answer asked
// (bwPollTimeout) before it asks again.
//
// Background operations (STDFUPRT_*): see dfu_operation.h. Two operations cannot run on the same device
// path at once (STDFUPRT_DFUALREADYRUNNING).
//
// Files (STDFUFILES_*): DfuseFileCalls, whose handle tables this object owns; its background operations
// reach their images through it.
//
// Handles are opaque numbers, never pointers to our objects: a released or forged handle gives a
// bad-handle or bad-parameter code. All calls may be made from any thread; the library locks its tables, and
// a device call keeps the device it works on alive (and to itself) until it returns, so a close from another
// thread only ends the handle.

#include "dfuse/dfu_operation.h"
#include "dfuse/dfuse_contract.h"
#include "dfuse/dfuse_file_calls.h"
#include "usb/transport.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace nemora::dfuse {

// Failure codes of the STDFU_* calls.
inline constexpr std::uint32_t STDFU_OPENDRIVERERROR = 0x12340001;    // the device cannot be opened
inline constexpr std::uint32_t STDFU_DESCRIPTORNOTFOUND = 0x12340004; // descriptors missing or malformed
inline constexpr std::uint32_t STDFU_BADPARAMETER = 0x12340005;       // null output, bad length, unknown handle
inline constexpr std::uint32_t STDFU_REQUESTFAILED = 0x12340006;      // the device stalled or answered short
inline constexpr std::uint32_t STDFU_NODEVICE = 0x12340007;           // the device is gone or the link failed
inline constexpr std::uint32_t STDFU_ACCESSDENIED = 0x12340008;       // no permission to open the device

class DfuseLibrary final : public DfuseFileCalls {
public:
    // The transport must outlive the library. `makeWaiter` (optional) supplies the waits of background
    // operations; by default they wait in real time.
    explicit DfuseLibrary(usb::Transport& transport, WaiterFactory makeWaiter = {});
    ~DfuseLibrary() override; // stops every operation still running

    DfuseLibrary(const DfuseLibrary&) = delete;
    DfuseLibrary& operator=(const DfuseLibrary&) = delete;

    std::uint32_t STDFU_Open(const std::string& strDevicePath, DfuDeviceHandle* phDevice) override;
    std::uint32_t STDFU_Close(DfuDeviceHandle* phDevice) override;
    std::uint32_t STDFU_GetDeviceDescriptor(DfuDeviceHandle hDevice, std::array<std::uint8_t, 18>& desc) override;
    std::uint32_t STDFU_GetDFUDescriptor(DfuDeviceHandle hDevice, std::uint32_t* pDfuInterfaceNum,
                                         std::uint32_t* pNbOfAlternates, std::array<std::uint8_t, 9>& desc) override;
    std::uint32_t STDFU_SelectCurrentConfiguration(DfuDeviceHandle hDevice, std::uint32_t nConfigIndex,
                                                   std::uint32_t nInterfaceIndex,
                                                   std::uint32_t nAlternateSetIndex) override;
    std::uint32_t STDFU_Getstatus(DfuDeviceHandle hDevice, DFUSTATUS* pStatus) override;
    std::uint32_t STDFU_Clrstatus(DfuDeviceHandle hDevice) override;
    std::uint32_t STDFU_Dnload(DfuDeviceHandle hDevice, const std::uint8_t* pBuffer, std::uint32_t nBytes,
                               std::uint16_t nBlock) override;
    std::uint32_t STDFU_Upload(DfuDeviceHandle hDevice, std::uint8_t* pBuffer, std::uint32_t nBytes,
                               std::uint16_t nBlock) override;

    std::uint32_t STDFUPRT_CreateMappingFromDevice(const std::string& strDevicePath,
                                                   std::vector<MappingTarget>* pTargets) override;
    std::uint32_t STDFUPRT_DestroyMapping(std::vector<MappingTarget>* pTargets) override;
    std::uint32_t STDFUPRT_LaunchOperation(const DFUThreadContext& context, DfuOperationHandle* phOperation) override;
    std::uint32_t STDFUPRT_GetOperationStatus(DfuOperationHandle hOperation, DFUThreadContext* pContext) override;
    std::uint32_t STDFUPRT_StopOperation(DfuOperationHandle hOperation, DFUThreadContext* pContext) override;

    // The device operations on values, without handles: an operation works on the image it was given and
    // FinishOperation hands back what an upload read. OpenLink also reads the device's serial number.
    LinkOutcome OpenLink(const std::string& devicePath, DeviceLink& link, LinkDescriptors& descriptors) override;
    // From the transport's listing, whose serial numbers were asked once when the device arrived.
    std::optional<usb::DeviceInfo> ListedDevice(const std::string& devicePath) override;
    std::uint32_t StartOperation(std::uint32_t operation, const std::string& devicePath, Image image,
                                 std::function<void()> onFinished, DfuOperationHandle* phOperation) override;
    std::uint32_t OperationStatus(DfuOperationHandle hOperation, DFUThreadContext* pContext) override;
    std::uint32_t FinishOperation(DfuOperationHandle hOperation, DFUThreadContext* pContext, Image* pRead) override;

    // Why the last STDFUPRT_CreateMappingFromDevice failed, in words (empty after a success). For
    // messages; the console does not need it.
    std::string LastMappingError() const;

private:
    struct OpenDevice;
    // The entry behind a handle, kept alive by the caller's share while a close removes it from the
    // table; the entry's lock serialises the requests of concurrent calls on one device.
    std::shared_ptr<OpenDevice> FindDevice(DfuDeviceHandle handle);
    std::uint32_t Launch(const DFUThreadContext& context, std::optional<Image> image,
                         std::function<bool(const Image&)> storeRead, DfuOperationHandle* phOperation);

    usb::Transport& m_transport;
    WaiterFactory m_makeWaiter;
    mutable std::mutex m_mutex;
    std::uintptr_t m_nextHandle = 1;
    std::map<std::uintptr_t, std::shared_ptr<OpenDevice>> m_devices;
    std::map<std::uintptr_t, std::unique_ptr<BackgroundOperation>> m_operations;
    std::string m_mappingError;
};

} // namespace nemora::dfuse

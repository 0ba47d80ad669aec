#pragma once

// The DfuSe library as the console sees it: one interface gathering every call the console makes on
// devices, background operations and files, under the calls' usual names. The console's engine talks to
// the library only through this interface, so tests can put a double in its place.
//
// Every call returns a 32-bit code: 0x12340000 on success. Handles are opaque and owned by the library.
// Calls may be made from the user-interface thread; background operations run on the library's own
// threads and exchange nothing with the caller but copies of the context record.

#include "dfuse/dfu_file.h"
#include "dfuse/memory_map.h"
#include "usb/dfu_interface.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One element of an image. It also serves as the caller's buffer: GetImageElement fills address and
// length when Data is null, and copies the bytes when Data points to a buffer of dwDataLength bytes.
struct DfuElement {
    std::uint32_t dwAddress = 0;
    std::uint32_t dwDataLength = 0;
    std::uint8_t* Data = nullptr;
};

struct StdfuFileTag;
struct StdfuImageTag;
using DfuFileHandle = StdfuFileTag*;
using DfuImageHandle = StdfuImageTag*;

inline constexpr std::uint32_t STDFUFILES_NOERROR = nemora::dfuse::kSuccessCode;

namespace nemora::dfuse {

inline constexpr std::uint32_t STDFU_NOERROR = 0x12340000;
inline constexpr std::uint32_t STDFUPRT_NOERROR = 0x12340000;

// Codes of the background operations, as the failure report decodes them.
inline constexpr std::uint32_t STDFUPRT_UNABLETOLAUNCHDFUTHREAD = 0x12345001;
inline constexpr std::uint32_t STDFUPRT_DFUALREADYRUNNING = 0x12345007;
inline constexpr std::uint32_t STDFUPRT_BADPARAMETER = 0x12345008;
inline constexpr std::uint32_t STDFUPRT_BADFIRMWARESTATEMACHINE = 0x12345009;
inline constexpr std::uint32_t STDFUPRT_UNEXPECTEDERROR = 0x1234500A;
inline constexpr std::uint32_t STDFUPRT_DFUERROR = 0x1234500B;
inline constexpr std::uint32_t STDFUPRT_RETRYERROR = 0x1234500C;
inline constexpr std::uint32_t STDFUPRT_UNSUPPORTEDFEATURE = 0x1234500D;

// The request an operation was making when it stopped (the context record's CurrentRequest).
enum : std::uint32_t {
    STDFU_RQ_GET_DEVICE_DESCRIPTOR = 0x02000000,
    STDFU_RQ_GET_DFU_DESCRIPTOR = 0x03000000,
    STDFU_RQ_GET_STRING_DESCRIPTOR = 0x04000000,
    STDFU_RQ_GET_NB_OF_CONFIGURATIONS = 0x05000000,
    STDFU_RQ_GET_CONFIGURATION_DESCRIPTOR = 0x06000000,
    STDFU_RQ_GET_NB_OF_INTERFACES = 0x07000000,
    STDFU_RQ_GET_NB_OF_ALTERNATES = 0x08000000,
    STDFU_RQ_GET_INTERFACE_DESCRIPTOR = 0x09000000,
    STDFU_RQ_OPEN = 0x0A000000,
    STDFU_RQ_CLOSE = 0x0B000000,
    STDFU_RQ_DETACH = 0x0C000000,
    STDFU_RQ_DOWNLOAD = 0x0D000000,
    STDFU_RQ_UPLOAD = 0x0E000000,
    STDFU_RQ_GET_STATUS = 0x0F000000,
    STDFU_RQ_CLR_STATUS = 0x10000000,
    STDFU_RQ_GET_STATE = 0x11000000,
    STDFU_RQ_ABORT = 0x12000000,
    STDFU_RQ_SELECT_ALTERNATE = 0x13000000,
    STDFU_RQ_AWAITINGPNPUNPLUGEVENT = 0x14000000,
    STDFU_RQ_AWAITINGPNPPLUGEVENT = 0x15000000,
    STDFU_RQ_IDENTIFYINGDEVICE = 0x16000000,
};

// DFU states and statuses (USB DFU 1.1).
enum : std::uint8_t {
    STATE_IDLE = 0,
    STATE_DETACH = 1,
    STATE_DFU_IDLE = 2,
    STATE_DFU_DOWNLOAD_SYNC = 3,
    STATE_DFU_DOWNLOAD_BUSY = 4,
    STATE_DFU_DOWNLOAD_IDLE = 5,
    STATE_DFU_MANIFEST_SYNC = 6,
    STATE_DFU_MANIFEST = 7,
    STATE_DFU_MANIFEST_WAIT_RESET = 8,
    STATE_DFU_UPLOAD_IDLE = 9,
    STATE_DFU_ERROR = 10,
};

// The 6-byte DFU_GETSTATUS answer.
struct DFUSTATUS {
    std::uint8_t bStatus = 0;
    std::array<std::uint8_t, 3> bwPollTimeout{}; // milliseconds, least significant byte first
    std::uint8_t bState = 0;
    std::uint8_t iString = 0;
};

struct StdfuDeviceTag;
struct StdfuOperationTag;
using DfuDeviceHandle = StdfuDeviceTag*;
using DfuOperationHandle = StdfuOperationTag*;

// The requests an operation sent over the link and the trouble it met: stalled requests, requests that
// timed out, status answers with an error, and the rounds spent bringing the device back to idle.
struct LinkHealth {
    std::uint32_t requests = 0;
    std::uint32_t stalls = 0;
    std::uint32_t timeouts = 0;
    std::uint32_t statusErrors = 0;
    std::uint32_t recoveries = 0;

    LinkHealth& operator+=(const LinkHealth& other)
    {
        requests += other.requests;
        stalls += other.stalls;
        timeouts += other.timeouts;
        statusErrors += other.statusErrors;
        recoveries += other.recoveries;
        return *this;
    }
};

// The context record exchanged with the background operations. The caller fills the first group before
// a launch; status calls return a copy with the second group filled.
struct DFUThreadContext {
    // Filled by the caller.
    std::string szDfuGuid{usb::kDfuInterfaceGuid};
    std::string szAppGuid{usb::kAppInterfaceGuid};
    std::uint32_t Operation = 0;                 // OPERATION_* of dfuse_operations.h
    bool bDontSendFFTransfersForUpgrade = false; // skip-blank flag for erase and download
    DfuImageHandle hImage = nullptr;
    std::string szDevLink; // device path
    // Called once from the operation's thread when the work has ended (finished, failed or stopped), so
    // whoever follows the operation can look at once. Optional; it must only signal, never call back.
    std::function<void()> onFinished;

    // Filled by the library.
    std::uint8_t Percent = 0;        // 0 to 100
    std::uint16_t wTransferSize = 0; // wTransferSize of the device
    DFUSTATUS LastDFUStatus;         // bStatus and bState of the last GETSTATUS
    std::uint32_t CurrentRequest = 0;
    std::uint32_t CurrentNBlock = 0;
    std::uint32_t CurrentLength = 0;
    std::uint32_t ErrorCode = STDFUPRT_NOERROR;
    LinkHealth Health; // what the operation sent and met, once it has ended
};

class DeviceOperations;

class IDfuseLibrary {
public:
    virtual ~IDfuseLibrary() = default;

    // The same library as the narrow interface the transfer workflows use (device_operations.h): the
    // link and the background operations on image values. It lives as long as the library.
    virtual DeviceOperations& Operations() = 0;

    // --- Devices (STDFU) ---
    virtual std::uint32_t STDFU_Open(const std::string& strDevicePath, DfuDeviceHandle* phDevice) = 0;
    virtual std::uint32_t STDFU_Close(DfuDeviceHandle* phDevice) = 0;
    // The 18-byte device descriptor: idVendor at byte 8, idProduct at 10, bcdDevice at 12.
    virtual std::uint32_t STDFU_GetDeviceDescriptor(DfuDeviceHandle hDevice, std::array<std::uint8_t, 18>& desc) = 0;
    // The 9-byte DFU functional descriptor (bcdDFUVersion at byte 7), the DFU interface number and the
    // number of its alternate settings.
    virtual std::uint32_t STDFU_GetDFUDescriptor(DfuDeviceHandle hDevice, std::uint32_t* pDfuInterfaceNum,
                                                 std::uint32_t* pNbOfAlternates, std::array<std::uint8_t, 9>& desc) = 0;
    virtual std::uint32_t STDFU_SelectCurrentConfiguration(DfuDeviceHandle hDevice, std::uint32_t nConfigIndex,
                                                           std::uint32_t nInterfaceIndex,
                                                           std::uint32_t nAlternateSetIndex) = 0;
    virtual std::uint32_t STDFU_Getstatus(DfuDeviceHandle hDevice, DFUSTATUS* pStatus) = 0;
    virtual std::uint32_t STDFU_Clrstatus(DfuDeviceHandle hDevice) = 0;
    virtual std::uint32_t STDFU_Dnload(DfuDeviceHandle hDevice, const std::uint8_t* pBuffer, std::uint32_t nBytes,
                                       std::uint16_t nBlock) = 0;
    virtual std::uint32_t STDFU_Upload(DfuDeviceHandle hDevice, std::uint8_t* pBuffer, std::uint32_t nBytes,
                                       std::uint16_t nBlock) = 0;

    // --- Memory map and background operations (STDFUPRT) ---
    // One target per alternate setting, in alternate order.
    virtual std::uint32_t STDFUPRT_CreateMappingFromDevice(const std::string& strDevicePath,
                                                           std::vector<MappingTarget>* pTargets) = 0;
    virtual std::uint32_t STDFUPRT_DestroyMapping(std::vector<MappingTarget>* pTargets) = 0;
    // Starts the operation in its own thread and returns at once.
    virtual std::uint32_t STDFUPRT_LaunchOperation(const DFUThreadContext& context,
                                                   DfuOperationHandle* phOperation) = 0;
    // A copy of the running operation's context.
    virtual std::uint32_t STDFUPRT_GetOperationStatus(DfuOperationHandle hOperation, DFUThreadContext* pContext) = 0;
    // Ends the operation (at any moment), waits for its thread, leaves the device idle, and returns the final
    // context. The handle is released.
    virtual std::uint32_t STDFUPRT_StopOperation(DfuOperationHandle hOperation, DFUThreadContext* pContext) = 0;

    // --- Files and images (STDFUFILES); see dfuse_file_calls.h for each call's rules ---
    virtual std::uint32_t STDFUFILES_OpenExistingDFUFile(const std::string& strPath, DfuFileHandle* phFile,
                                                         std::uint16_t* pVid, std::uint16_t* pPid, std::uint16_t* pBcd,
                                                         std::uint8_t* pNbImages) = 0;
    virtual std::uint32_t STDFUFILES_CreateNewDFUFile(const std::string& strPath, DfuFileHandle* phFile,
                                                      std::uint16_t wVid, std::uint16_t wPid, std::uint16_t wBcd) = 0;
    virtual std::uint32_t STDFUFILES_ReadImageFromDFUFile(DfuFileHandle hFile, int nImage, DfuImageHandle* phImage) = 0;
    virtual std::uint32_t STDFUFILES_AppendImageToDFUFile(DfuFileHandle hFile, DfuImageHandle hImage) = 0;
    virtual std::uint32_t STDFUFILES_CloseDFUFile(DfuFileHandle hFile) = 0;
    virtual std::uint32_t STDFUFILES_CreateImage(DfuImageHandle* phImage, std::uint8_t nAlternate) = 0;
    virtual std::uint32_t STDFUFILES_CreateImageFromMapping(DfuImageHandle* phImage, const MappingTarget* pTarget) = 0;
    virtual std::uint32_t STDFUFILES_DuplicateImage(DfuImageHandle hSource, DfuImageHandle* phCopy) = 0;
    virtual std::uint32_t STDFUFILES_DestroyImage(DfuImageHandle hImage) = 0;
    virtual std::uint32_t STDFUFILES_FilterImageForOperation(DfuImageHandle hImage, const MappingTarget* pTarget,
                                                             std::uint32_t dwOperation, bool bSkipBlank) = 0;
    virtual std::uint32_t STDFUFILES_GetImageAlternate(DfuImageHandle hImage, std::uint8_t* pAlternate) = 0;
    virtual std::uint32_t STDFUFILES_GetImageName(DfuImageHandle hImage, std::string* pName) = 0;
    virtual std::uint32_t STDFUFILES_SetImageName(DfuImageHandle hImage, const std::string& strName) = 0;
    virtual std::uint32_t STDFUFILES_GetImageSize(DfuImageHandle hImage, std::uint32_t* pSize) = 0;
    virtual std::uint32_t STDFUFILES_GetImageNbElement(DfuImageHandle hImage, std::uint32_t* pNbElements) = 0;
    virtual std::uint32_t STDFUFILES_GetImageElement(DfuImageHandle hImage, std::uint32_t dwIndex,
                                                     DfuElement* pElement) = 0;
    virtual std::uint32_t STDFUFILES_SetImageElement(DfuImageHandle hImage, std::uint32_t dwIndex, bool bInsert,
                                                     DfuElement element) = 0;
};

} // namespace nemora::dfuse

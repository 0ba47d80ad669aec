#include "fake_dfuse_library.h"

#include "dfuse/dfuse_operations.h"

#include <cstdio>

using namespace nemora::dfuse;

namespace {

std::string Hex(const std::uint8_t* bytes, std::uint32_t n)
{
    std::string text;
    for (std::uint32_t i = 0; i < n; ++i) {
        char part[4];
        std::snprintf(part, sizeof part, "%s%02X", i ? " " : "", bytes[i]);
        text += part;
    }
    return text;
}

} // namespace

FakeDfuseLibrary::FakeDfuseLibrary()
{
    MappingTarget flash{0, "Internal Flash  ", {}};
    for (std::uint32_t i = 0; i < 64; ++i) {
        flash.sectors.push_back({0x08000000 + i * 1024, 1024, kSectorReadable | kSectorErasable | kSectorWritable});
    }
    mapping.push_back(flash);
    mapping.push_back({1, kOptionBytesTargetName, {{0x1FFFF800, 16, kSectorReadable | kSectorWritable}}});
}

std::uint8_t FakeDfuseLibrary::Read(std::uint32_t address) const
{
    const auto it = memory.find(address);
    return it == memory.end() ? 0xFF : it->second;
}

void FakeDfuseLibrary::Write(std::uint32_t address, const std::vector<std::uint8_t>& bytes)
{
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        memory[address + static_cast<std::uint32_t>(i)] = bytes[i];
    }
}

std::vector<std::string> FakeDfuseLibrary::LaunchedOperations() const
{
    static const char* names[] = {"detach", "leave", "upload", "erase", "download"};
    std::vector<std::string> out;
    for (const auto& l : launches) {
        out.push_back(l.operation < 5 ? names[l.operation] : "?");
    }
    return out;
}

std::uint32_t FakeDfuseLibrary::STDFU_Open(const std::string& strDevicePath, DfuDeviceHandle* phDevice)
{
    calls.push_back("Open " + strDevicePath);
    if (!openOk) {
        return 0x12340005;
    }
    *phDevice = reinterpret_cast<DfuDeviceHandle>(std::uintptr_t{0x42});
    return STDFU_NOERROR;
}

std::uint32_t FakeDfuseLibrary::STDFU_Close(DfuDeviceHandle* phDevice)
{
    calls.push_back("Close");
    *phDevice = nullptr;
    return STDFU_NOERROR;
}

std::uint32_t FakeDfuseLibrary::STDFU_GetDeviceDescriptor(DfuDeviceHandle, std::array<std::uint8_t, 18>& desc)
{
    calls.push_back("GetDeviceDescriptor");
    if (deviceDescriptorCode != STDFU_NOERROR) {
        return deviceDescriptorCode;
    }
    desc = {18, 1, 0x00, 0x01, 0, 0, 0, 64};
    desc[8] = static_cast<std::uint8_t>(vid);
    desc[9] = static_cast<std::uint8_t>(vid >> 8);
    desc[10] = static_cast<std::uint8_t>(pid);
    desc[11] = static_cast<std::uint8_t>(pid >> 8);
    desc[12] = static_cast<std::uint8_t>(bcd);
    desc[13] = static_cast<std::uint8_t>(bcd >> 8);
    desc[17] = 1;
    return STDFU_NOERROR;
}

std::uint32_t FakeDfuseLibrary::STDFU_GetDFUDescriptor(DfuDeviceHandle, std::uint32_t* pDfuInterfaceNum,
                                                       std::uint32_t* pNbOfAlternates,
                                                       std::array<std::uint8_t, 9>& desc)
{
    calls.push_back("GetDFUDescriptor");
    if (dfuDescriptorCode != STDFU_NOERROR) {
        return dfuDescriptorCode;
    }
    desc = {9,
            0x21,
            0x0B,
            0xFF,
            0,
            0x00,
            0x08,
            static_cast<std::uint8_t>(dfuVersion),
            static_cast<std::uint8_t>(dfuVersion >> 8)};
    *pDfuInterfaceNum = 0;
    *pNbOfAlternates = static_cast<std::uint32_t>(mapping.size());
    return STDFU_NOERROR;
}

std::uint32_t FakeDfuseLibrary::STDFU_SelectCurrentConfiguration(DfuDeviceHandle, std::uint32_t nConfigIndex,
                                                                 std::uint32_t nInterfaceIndex,
                                                                 std::uint32_t nAlternateSetIndex)
{
    calls.push_back("Select " + std::to_string(nConfigIndex) + " " + std::to_string(nInterfaceIndex) + " " +
                    std::to_string(nAlternateSetIndex));
    return STDFU_NOERROR;
}

std::uint32_t FakeDfuseLibrary::STDFU_Getstatus(DfuDeviceHandle, DFUSTATUS* pStatus)
{
    calls.push_back("Getstatus");
    *pStatus = {};
    pStatus->bState = (m_errorPending || neverIdle) ? STATE_DFU_ERROR : STATE_DFU_IDLE;
    pStatus->bStatus = m_errorPending ? 11 : 0;
    return STDFU_NOERROR;
}

std::uint32_t FakeDfuseLibrary::STDFU_Clrstatus(DfuDeviceHandle)
{
    calls.push_back("Clrstatus");
    m_errorPending = false;
    return STDFU_NOERROR;
}

std::uint32_t FakeDfuseLibrary::STDFU_Dnload(DfuDeviceHandle, const std::uint8_t* pBuffer, std::uint32_t nBytes,
                                             std::uint16_t nBlock)
{
    calls.push_back("Dnload " + Hex(pBuffer, nBytes) + " #" + std::to_string(nBlock));
    return STDFU_NOERROR;
}

std::uint32_t FakeDfuseLibrary::STDFU_Upload(DfuDeviceHandle, std::uint8_t* pBuffer, std::uint32_t nBytes,
                                             std::uint16_t nBlock)
{
    calls.push_back("Upload " + std::to_string(nBytes) + " #" + std::to_string(nBlock));
    if (readProtected) {
        m_errorPending = true;
        return 0x12340009;
    }
    for (std::uint32_t i = 0; i < nBytes; ++i) {
        pBuffer[i] = 0xA5;
    }
    return STDFU_NOERROR;
}

std::uint32_t FakeDfuseLibrary::STDFUPRT_CreateMappingFromDevice(const std::string&,
                                                                 std::vector<MappingTarget>* pTargets)
{
    calls.push_back("CreateMapping");
    if (mappingCode != STDFU_NOERROR) {
        return mappingCode;
    }
    *pTargets = mapping;
    return STDFU_NOERROR;
}

std::uint32_t FakeDfuseLibrary::STDFUPRT_DestroyMapping(std::vector<MappingTarget>* pTargets)
{
    calls.push_back("DestroyMapping");
    pTargets->clear();
    return STDFU_NOERROR;
}

std::uint32_t FakeDfuseLibrary::STDFUPRT_LaunchOperation(const DFUThreadContext& context,
                                                         DfuOperationHandle* phOperation)
{
    Launched launched{context.Operation, context.hImage, context.szDevLink, context.bDontSendFFTransfersForUpgrade, {}};
    if (auto image = CopyImage(context.hImage)) {
        launched.elements = image->elements;
    }
    launches.push_back(launched);
    std::uint32_t code = STDFUPRT_NOERROR;
    if (!launchCodes.empty()) {
        code = launchCodes.front();
        launchCodes.pop_front();
    }
    if (code != STDFUPRT_NOERROR) {
        return code;
    }
    Running running;
    running.context = context;
    running.context.wTransferSize = 2048;
    if (!scripts.empty()) {
        running.steps = scripts.front();
        scripts.pop_front();
    } else {
        running.steps = {Step{50}, Step{100}};
    }
    running.launchIndex = launches.size() - 1;
    const std::uintptr_t handle = m_nextHandle++;
    m_running[handle] = running;
    *phOperation = reinterpret_cast<DfuOperationHandle>(handle);
    return STDFUPRT_NOERROR;
}

void FakeDfuseLibrary::DoWork(Running& running)
{
    running.worked = true;
    auto image = CopyImage(running.context.hImage);
    if (!image) {
        return;
    }
    switch (running.context.Operation) {
    case OPERATION_UPLOAD:
        for (auto& element : image->elements) {
            for (std::size_t i = 0; i < element.data.size(); ++i) {
                element.data[i] = Read(element.address + static_cast<std::uint32_t>(i));
            }
        }
        ReplaceImage(running.context.hImage, *image);
        break;
    case OPERATION_ERASE:
        for (const auto& element : image->elements) {
            for (std::size_t i = 0; i < element.data.size(); ++i) {
                memory.erase(element.address + static_cast<std::uint32_t>(i));
            }
        }
        break;
    case OPERATION_UPGRADE:
        for (const auto& element : image->elements) {
            Write(element.address, element.data);
        }
        break;
    default:
        break;
    }
    if (afterWork) {
        afterWork(launches[running.launchIndex]);
    }
}

std::uint32_t FakeDfuseLibrary::STDFUPRT_GetOperationStatus(DfuOperationHandle hOperation, DFUThreadContext* pContext)
{
    auto it = m_running.find(reinterpret_cast<std::uintptr_t>(hOperation));
    if (it == m_running.end()) {
        return STDFUPRT_BADPARAMETER;
    }
    if (statusCallCode != STDFUPRT_NOERROR) {
        return statusCallCode;
    }
    Running& running = it->second;
    const Step step = running.steps.empty() ? Step{} : running.steps[running.next];
    if (running.next + 1 < running.steps.size()) {
        ++running.next;
    }
    running.context.Percent = step.percent;
    running.context.ErrorCode = step.error;
    running.context.LastDFUStatus.bState = step.state;
    running.context.LastDFUStatus.bStatus = step.status;
    running.context.CurrentRequest = step.request;
    running.context.CurrentNBlock = 2 + step.percent / 10;
    running.context.CurrentLength = 2048;
    if (step.percent == 100 && step.error == STDFUPRT_NOERROR && !running.worked) {
        DoWork(running);
    }
    *pContext = running.context;
    return STDFUPRT_NOERROR;
}

std::uint32_t FakeDfuseLibrary::STDFUPRT_StopOperation(DfuOperationHandle hOperation, DFUThreadContext* pContext)
{
    ++stops;
    auto it = m_running.find(reinterpret_cast<std::uintptr_t>(hOperation));
    if (it == m_running.end()) {
        return STDFUPRT_BADPARAMETER;
    }
    *pContext = it->second.context;
    m_running.erase(it);
    return STDFUPRT_NOERROR;
}

// Files and images: the real calls.

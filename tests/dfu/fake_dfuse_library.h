#pragma once

// A scripted DfuSe library for the engine tests: one device with descriptors, a memory map and a sparse
// memory, background operations that follow a script of status steps (percent, error code, state,
// status, request), and a log of every device call. File and image calls go to the real ones.

#include "dfuse/dfuse_file_calls.h"

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

class FakeDfuseLibrary : public nemora::dfuse::DfuseFileCalls {
public:
    struct Step {
        std::uint8_t percent = 100;
        std::uint32_t error = nemora::dfuse::STDFUPRT_NOERROR;
        std::uint8_t state = 2;
        std::uint8_t status = 0;
        std::uint32_t request = 0;
    };
    struct Launched {
        std::uint32_t operation = 0;
        DfuImageHandle image = nullptr;
        std::string path;
        bool skipBlank = false;
        std::vector<nemora::dfuse::Element> elements; // the image's elements at launch
    };

    FakeDfuseLibrary();

    // Device.
    bool openOk = true;
    std::uint32_t deviceDescriptorCode = nemora::dfuse::STDFU_NOERROR;
    std::uint32_t dfuDescriptorCode = nemora::dfuse::STDFU_NOERROR;
    std::uint32_t mappingCode = nemora::dfuse::STDFU_NOERROR;
    std::uint16_t vid = 0x0483, pid = 0xDF11, bcd = 0x004C, dfuVersion = 0x011A;
    std::vector<nemora::dfuse::MappingTarget> mapping;
    // What STDFUPRT_GetOperationStatus returns (it fills nothing when this is not success).
    std::uint32_t statusCallCode = nemora::dfuse::STDFUPRT_NOERROR;
    bool readProtected = false;
    bool neverIdle = false;
    std::map<std::uint32_t, std::uint8_t> memory; // absent bytes read as 0xFF
    std::vector<std::string> calls;               // device calls in order

    // Operations: each launch takes the next script (default: 50 %, then 100 %) and the next launch code.
    std::deque<std::vector<Step>> scripts;
    std::deque<std::uint32_t> launchCodes;
    std::vector<Launched> launches;
    // Runs right after an operation's work is done (when its status first reports 100 %).
    std::function<void(const Launched&)> afterWork;
    int RunningCount() const { return static_cast<int>(m_running.size()); }
    int stops = 0;

    std::uint8_t Read(std::uint32_t address) const;
    void Write(std::uint32_t address, const std::vector<std::uint8_t>& bytes);
    std::vector<std::string> LaunchedOperations() const; // "erase", "download", "upload", "leave"

    // IDfuseLibrary
    std::uint32_t STDFU_Open(const std::string& strDevicePath, nemora::dfuse::DfuDeviceHandle* phDevice) override;
    std::uint32_t STDFU_Close(nemora::dfuse::DfuDeviceHandle* phDevice) override;
    std::uint32_t STDFU_GetDeviceDescriptor(nemora::dfuse::DfuDeviceHandle hDevice,
                                            std::array<std::uint8_t, 18>& desc) override;
    std::uint32_t STDFU_GetDFUDescriptor(nemora::dfuse::DfuDeviceHandle hDevice, std::uint32_t* pDfuInterfaceNum,
                                         std::uint32_t* pNbOfAlternates, std::array<std::uint8_t, 9>& desc) override;
    std::uint32_t STDFU_SelectCurrentConfiguration(nemora::dfuse::DfuDeviceHandle hDevice, std::uint32_t nConfigIndex,
                                                   std::uint32_t nInterfaceIndex,
                                                   std::uint32_t nAlternateSetIndex) override;
    std::uint32_t STDFU_Getstatus(nemora::dfuse::DfuDeviceHandle hDevice, nemora::dfuse::DFUSTATUS* pStatus) override;
    std::uint32_t STDFU_Clrstatus(nemora::dfuse::DfuDeviceHandle hDevice) override;
    std::uint32_t STDFU_Dnload(nemora::dfuse::DfuDeviceHandle hDevice, const std::uint8_t* pBuffer,
                               std::uint32_t nBytes, std::uint16_t nBlock) override;
    std::uint32_t STDFU_Upload(nemora::dfuse::DfuDeviceHandle hDevice, std::uint8_t* pBuffer, std::uint32_t nBytes,
                               std::uint16_t nBlock) override;
    std::uint32_t STDFUPRT_CreateMappingFromDevice(const std::string& strDevicePath,
                                                   std::vector<nemora::dfuse::MappingTarget>* pTargets) override;
    std::uint32_t STDFUPRT_DestroyMapping(std::vector<nemora::dfuse::MappingTarget>* pTargets) override;
    std::uint32_t STDFUPRT_LaunchOperation(const nemora::dfuse::DFUThreadContext& context,
                                           nemora::dfuse::DfuOperationHandle* phOperation) override;
    std::uint32_t STDFUPRT_GetOperationStatus(nemora::dfuse::DfuOperationHandle hOperation,
                                              nemora::dfuse::DFUThreadContext* pContext) override;
    std::uint32_t STDFUPRT_StopOperation(nemora::dfuse::DfuOperationHandle hOperation,
                                         nemora::dfuse::DFUThreadContext* pContext) override;

private:
    struct Running {
        nemora::dfuse::DFUThreadContext context;
        std::vector<Step> steps;
        std::size_t next = 0;
        bool worked = false;
        std::size_t launchIndex = 0;
    };
    void DoWork(Running& running);

    std::map<std::uintptr_t, Running> m_running;
    std::uintptr_t m_nextHandle = 0x100;
    bool m_errorPending = false;
};

#pragma once

// Helpers shared by the DfuSe tests: sample files and a scratch folder.

#include "dfuse/dfu_file.h"
#include "dfuse/dfuse_file_calls.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace dfuse_test {

inline nemora::dfuse::DfuFile SampleFile()
{
    using namespace nemora::dfuse;
    DfuFile file{0x0483, 0xDF11, 0x03C5, {}};
    Image flash{0, "Internal Flash  ", {}};
    flash.elements.push_back(Element{0x08000000, {0x00, 0x50, 0x00, 0x20, 0xC1, 0x00, 0x00, 0x08}});
    std::vector<std::uint8_t> big(3000);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i * 7);
    flash.elements.push_back(Element{0x08004000, big});
    Image options{1, "Option Bytes  ", {Element{0x1FFFF800, std::vector<std::uint8_t>(16, 0xA5)}}};
    Image unnamed{0, "", {Element{0x0800F000, {}}}};
    file.images = {flash, options, unnamed};
    return file;
}

inline std::vector<std::uint8_t> Bytes(const nemora::dfuse::DfuFile& file)
{
    std::vector<std::uint8_t> out;
    nemora::dfuse::SerializeDfuFile(file, out);
    return out;
}

// A fresh empty folder under the system's temporary folder, removed again by the destructor.
class ScratchDir {
public:
    ScratchDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "nemora-dfuse-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

inline void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The file and image calls alone: every device, map and operation call is refused.
class FileCallsOnly final : public nemora::dfuse::DfuseFileCalls {
public:
    static constexpr std::uint32_t kRefused = 0x12340005;
    std::uint32_t STDFU_Open(const std::string&, nemora::dfuse::DfuDeviceHandle*) override { return kRefused; }
    std::uint32_t STDFU_Close(nemora::dfuse::DfuDeviceHandle*) override { return kRefused; }
    std::uint32_t STDFU_GetDeviceDescriptor(nemora::dfuse::DfuDeviceHandle, std::array<std::uint8_t, 18>&) override
    {
        return kRefused;
    }
    std::uint32_t STDFU_GetDFUDescriptor(nemora::dfuse::DfuDeviceHandle, std::uint32_t*, std::uint32_t*,
                                         std::array<std::uint8_t, 9>&) override
    {
        return kRefused;
    }
    std::uint32_t STDFU_SelectCurrentConfiguration(nemora::dfuse::DfuDeviceHandle, std::uint32_t, std::uint32_t,
                                                   std::uint32_t) override
    {
        return kRefused;
    }
    std::uint32_t STDFU_Getstatus(nemora::dfuse::DfuDeviceHandle, nemora::dfuse::DFUSTATUS*) override
    {
        return kRefused;
    }
    std::uint32_t STDFU_Clrstatus(nemora::dfuse::DfuDeviceHandle) override { return kRefused; }
    std::uint32_t STDFU_Dnload(nemora::dfuse::DfuDeviceHandle, const std::uint8_t*, std::uint32_t,
                               std::uint16_t) override
    {
        return kRefused;
    }
    std::uint32_t STDFU_Upload(nemora::dfuse::DfuDeviceHandle, std::uint8_t*, std::uint32_t, std::uint16_t) override
    {
        return kRefused;
    }
    std::uint32_t STDFUPRT_CreateMappingFromDevice(const std::string&,
                                                   std::vector<nemora::dfuse::MappingTarget>*) override
    {
        return kRefused;
    }
    std::uint32_t STDFUPRT_DestroyMapping(std::vector<nemora::dfuse::MappingTarget>*) override { return kRefused; }
    std::uint32_t STDFUPRT_LaunchOperation(const nemora::dfuse::DFUThreadContext&,
                                           nemora::dfuse::DfuOperationHandle*) override
    {
        return kRefused;
    }
    std::uint32_t STDFUPRT_GetOperationStatus(nemora::dfuse::DfuOperationHandle,
                                              nemora::dfuse::DFUThreadContext*) override
    {
        return kRefused;
    }
    std::uint32_t STDFUPRT_StopOperation(nemora::dfuse::DfuOperationHandle, nemora::dfuse::DFUThreadContext*) override
    {
        return kRefused;
    }
};

} // namespace dfuse_test

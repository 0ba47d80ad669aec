#include "dfuse/dfuse_file_calls.h"

#include "dfuse/device_link.h"

#include <cstring>

namespace nemora::dfuse {
namespace {

constexpr std::uint32_t Code(FileError e)
{
    return ErrorCode(e);
}

constexpr std::uint32_t kOk = STDFUFILES_NOERROR;

} // namespace

// ---------------------------------------------------------------- tables

Image* DfuseFileCalls::FindImage(DfuImageHandle hImage)
{
    const auto it = m_images.find(reinterpret_cast<std::uintptr_t>(hImage));
    return it == m_images.end() ? nullptr : &it->second;
}

DfuseFileCalls::OpenFile* DfuseFileCalls::FindFile(DfuFileHandle hFile)
{
    const auto it = m_files.find(reinterpret_cast<std::uintptr_t>(hFile));
    return it == m_files.end() ? nullptr : &it->second;
}

DfuImageHandle DfuseFileCalls::AddImage(Image image)
{
    const std::uintptr_t id = ++m_lastHandle;
    m_images.emplace(id, std::move(image));
    return reinterpret_cast<DfuImageHandle>(id);
}

DfuFileHandle DfuseFileCalls::AddFile(OpenFile file)
{
    const std::uintptr_t id = ++m_lastHandle;
    m_files.emplace(id, std::move(file));
    return reinterpret_cast<DfuFileHandle>(id);
}

template <class Use>
std::uint32_t DfuseFileCalls::WithImage(DfuImageHandle hImage, const void* pOutput, Use use)
{
    if (!pOutput)
        return Code(FileError::BadParameter);
    std::lock_guard lock(m_mutex);
    Image* image = FindImage(hImage);
    if (!image)
        return Code(FileError::BadHandle);
    return use(*image);
}

// ---------------------------------------------------------------- files

std::uint32_t DfuseFileCalls::STDFUFILES_OpenExistingDFUFile(const std::string& strPath, DfuFileHandle* phFile,
                                                             std::uint16_t* pVid, std::uint16_t* pPid,
                                                             std::uint16_t* pBcd, std::uint8_t* pNbImages)
{
    if (!phFile)
        return Code(FileError::BadParameter);
    ParseResult parsed = ReadDfuFile(strPath);
    if (!parsed.file)
        return Code(parsed.error.code);
    const DfuFile& file = *parsed.file;
    if (pVid)
        *pVid = file.vid;
    if (pPid)
        *pPid = file.pid;
    if (pBcd)
        *pBcd = file.bcdDevice;
    if (pNbImages)
        *pNbImages = static_cast<std::uint8_t>(file.images.size());
    std::lock_guard lock(m_mutex);
    *phFile = AddFile(OpenFile{strPath, std::move(*parsed.file)});
    return kOk;
}

std::uint32_t DfuseFileCalls::STDFUFILES_CreateNewDFUFile(const std::string& strPath, DfuFileHandle* phFile,
                                                          std::uint16_t wVid, std::uint16_t wPid, std::uint16_t wBcd)
{
    if (!phFile)
        return Code(FileError::BadParameter);
    OpenFile open{strPath, DfuFile{wVid, wPid, wBcd, {}}};
    if (Error e = WriteDfuFile(open.path, open.file))
        return Code(e.code);
    std::lock_guard lock(m_mutex);
    *phFile = AddFile(std::move(open));
    return kOk;
}

std::uint32_t DfuseFileCalls::STDFUFILES_ReadImageFromDFUFile(DfuFileHandle hFile, int nImage, DfuImageHandle* phImage)
{
    if (!phImage)
        return Code(FileError::BadParameter);
    std::lock_guard lock(m_mutex);
    OpenFile* f = FindFile(hFile);
    if (!f)
        return Code(FileError::BadHandle);
    if (nImage < 0 || static_cast<std::size_t>(nImage) >= f->file.images.size())
        return Code(FileError::IndexOutOfRange);
    *phImage = AddImage(f->file.images[static_cast<std::size_t>(nImage)]);
    return kOk;
}

std::uint32_t DfuseFileCalls::STDFUFILES_AppendImageToDFUFile(DfuFileHandle hFile, DfuImageHandle hImage)
{
    std::lock_guard lock(m_mutex);
    OpenFile* f = FindFile(hFile);
    Image* image = FindImage(hImage);
    if (!f || !image)
        return Code(FileError::BadHandle);
    if (f->file.images.size() >= kMaxImages)
        return Code(FileError::TooManyImages);
    f->file.images.push_back(*image);
    if (Error e = WriteDfuFile(f->path, f->file)) {
        f->file.images.pop_back();
        return Code(e.code);
    }
    return kOk;
}

std::uint32_t DfuseFileCalls::STDFUFILES_CloseDFUFile(DfuFileHandle hFile)
{
    std::lock_guard lock(m_mutex);
    return m_files.erase(reinterpret_cast<std::uintptr_t>(hFile)) ? kOk : Code(FileError::BadHandle);
}

// ---------------------------------------------------------------- images

std::uint32_t DfuseFileCalls::STDFUFILES_CreateImage(DfuImageHandle* phImage, std::uint8_t nAlternate)
{
    if (!phImage)
        return Code(FileError::BadParameter);
    Image image;
    image.alternate = nAlternate;
    std::lock_guard lock(m_mutex);
    *phImage = AddImage(std::move(image));
    return kOk;
}

std::uint32_t DfuseFileCalls::STDFUFILES_CreateImageFromMapping(DfuImageHandle* phImage, const MappingTarget* pTarget)
{
    if (!phImage || !pTarget)
        return Code(FileError::BadParameter);
    Image image;
    if (Error e = ImageFromMapping(*pTarget, image))
        return Code(e.code);
    std::lock_guard lock(m_mutex);
    *phImage = AddImage(std::move(image));
    return kOk;
}

std::uint32_t DfuseFileCalls::STDFUFILES_DuplicateImage(DfuImageHandle hSource, DfuImageHandle* phCopy)
{
    if (!phCopy)
        return Code(FileError::BadParameter);
    std::lock_guard lock(m_mutex);
    const Image* source = FindImage(hSource);
    if (!source)
        return Code(FileError::BadHandle);
    *phCopy = AddImage(Image(*source));
    return kOk;
}

std::uint32_t DfuseFileCalls::STDFUFILES_DestroyImage(DfuImageHandle hImage)
{
    std::lock_guard lock(m_mutex);
    return m_images.erase(reinterpret_cast<std::uintptr_t>(hImage)) ? kOk : Code(FileError::BadHandle);
}

std::uint32_t DfuseFileCalls::STDFUFILES_FilterImageForOperation(DfuImageHandle hImage, const MappingTarget* pTarget,
                                                                 std::uint32_t dwOperation, bool bSkipBlank)
{
    if (!pTarget)
        return Code(FileError::BadParameter);
    return Code(FilterImageHandle(hImage, *pTarget, dwOperation, bSkipBlank).error.code);
}

std::uint32_t DfuseFileCalls::STDFUFILES_GetImageAlternate(DfuImageHandle hImage, std::uint8_t* pAlternate)
{
    return WithImage(hImage, pAlternate, [&](const Image& image) {
        *pAlternate = image.alternate;
        return kOk;
    });
}

std::uint32_t DfuseFileCalls::STDFUFILES_GetImageName(DfuImageHandle hImage, std::string* pName)
{
    return WithImage(hImage, pName, [&](const Image& image) {
        *pName = image.name;
        return kOk;
    });
}

std::uint32_t DfuseFileCalls::STDFUFILES_SetImageName(DfuImageHandle hImage, const std::string& strName)
{
    if (!IsStorableImageName(strName))
        return Code(FileError::BadParameter); // too long for a file, or a NUL that would cut it short
    std::lock_guard lock(m_mutex);
    Image* image = FindImage(hImage);
    if (!image)
        return Code(FileError::BadHandle);
    image->name = strName;
    return kOk;
}

std::uint32_t DfuseFileCalls::STDFUFILES_GetImageSize(DfuImageHandle hImage, std::uint32_t* pSize)
{
    return WithImage(hImage, pSize, [&](const Image& image) {
        const std::uint64_t size = image.DataSize();
        if (size > 0xFFFFFFFFu)
            return Code(FileError::TooLarge);
        *pSize = static_cast<std::uint32_t>(size);
        return kOk;
    });
}

std::uint32_t DfuseFileCalls::STDFUFILES_GetImageNbElement(DfuImageHandle hImage, std::uint32_t* pNbElements)
{
    return WithImage(hImage, pNbElements, [&](const Image& image) {
        *pNbElements = static_cast<std::uint32_t>(image.elements.size());
        return kOk;
    });
}

std::uint32_t DfuseFileCalls::STDFUFILES_GetImageElement(DfuImageHandle hImage, std::uint32_t dwIndex,
                                                         DfuElement* pElement)
{
    return WithImage(hImage, pElement, [&](const Image& image) {
        if (dwIndex >= image.elements.size())
            return Code(FileError::IndexOutOfRange);
        const Element& e = image.elements[dwIndex];
        const auto length = static_cast<std::uint32_t>(e.data.size());
        if (pElement->Data) {
            if (pElement->dwDataLength < length) {
                pElement->dwDataLength = length;
                return Code(FileError::BufferTooSmall);
            }
            if (length > 0)
                std::memcpy(pElement->Data, e.data.data(), length);
        }
        pElement->dwAddress = e.address;
        pElement->dwDataLength = length;
        return kOk;
    });
}

std::uint32_t DfuseFileCalls::STDFUFILES_SetImageElement(DfuImageHandle hImage, std::uint32_t dwIndex, bool bInsert,
                                                         DfuElement element)
{
    if (!element.Data && element.dwDataLength > 0)
        return Code(FileError::BadParameter);
    std::lock_guard lock(m_mutex);
    Image* image = FindImage(hImage);
    if (!image)
        return Code(FileError::BadHandle);
    const std::size_t count = image->elements.size();
    if (bInsert ? dwIndex > count : dwIndex >= count)
        return Code(FileError::IndexOutOfRange);
    std::uint64_t newSize = image->DataSize() + element.dwDataLength;
    if (!bInsert)
        newSize -= image->elements[dwIndex].data.size();
    if (newSize > kMaxFileSize)
        return Code(FileError::TooLarge);
    Element copy;
    copy.address = element.dwAddress;
    if (element.dwDataLength > 0)
        copy.data.assign(element.Data, element.Data + element.dwDataLength);
    if (bInsert)
        image->elements.insert(image->elements.begin() + dwIndex, std::move(copy));
    else
        image->elements[dwIndex] = std::move(copy);
    return kOk;
}

// ---------------------------------------------------------------- values

DfuImageHandle DfuseFileCalls::AdoptImage(Image image)
{
    if (!IsStorableImageName(image.name))
        return nullptr;
    std::lock_guard lock(m_mutex);
    return AddImage(std::move(image));
}

std::optional<Image> DfuseFileCalls::CopyImage(DfuImageHandle hImage) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_images.find(reinterpret_cast<std::uintptr_t>(hImage));
    if (it == m_images.end())
        return std::nullopt;
    return it->second;
}

bool DfuseFileCalls::ReplaceImage(DfuImageHandle hImage, Image image)
{
    if (!IsStorableImageName(image.name))
        return false;
    std::lock_guard lock(m_mutex);
    Image* target = FindImage(hImage);
    if (!target)
        return false;
    *target = std::move(image);
    return true;
}

FilterReport DfuseFileCalls::FilterImageHandle(DfuImageHandle hImage, const MappingTarget& target,
                                               std::uint32_t operation, bool skipBlank)
{
    std::lock_guard lock(m_mutex);
    Image* image = FindImage(hImage);
    if (!image) {
        FilterReport report;
        report.error = Error{FileError::BadHandle, "unknown image handle"};
        return report;
    }
    return FilterImage(*image, target, operation, skipBlank);
}

std::size_t DfuseFileCalls::OpenHandleCount() const
{
    std::lock_guard lock(m_mutex);
    return m_images.size() + m_files.size();
}

// ---------------------------------------------------------------- device operations over the contract

LinkOutcome DfuseFileCalls::OpenLink(const std::string& devicePath, DeviceLink& link, LinkDescriptors& descriptors)
{
    return OpenDeviceLink(*this, devicePath, link, descriptors);
}

std::optional<usb::DeviceInfo> DfuseFileCalls::ListedDevice(const std::string& devicePath)
{
    static_cast<void>(devicePath);
    return std::nullopt;
}

std::uint32_t DfuseFileCalls::StartOperation(std::uint32_t operation, const std::string& devicePath, Image image,
                                             std::function<void()> onFinished, DfuOperationHandle* phOperation)
{
    if (phOperation == nullptr) {
        return STDFUPRT_BADPARAMETER;
    }
    DFUThreadContext context;
    context.Operation = operation;
    context.szDevLink = devicePath.substr(0, 259);
    context.onFinished = std::move(onFinished);
    context.hImage = AdoptImage(std::move(image));
    if (context.hImage == nullptr) {
        return STDFUPRT_BADPARAMETER;
    }
    const std::uint32_t code = STDFUPRT_LaunchOperation(context, phOperation);
    if (code != STDFUPRT_NOERROR) {
        STDFUFILES_DestroyImage(context.hImage);
    }
    return code;
}

std::uint32_t DfuseFileCalls::OperationStatus(DfuOperationHandle hOperation, DFUThreadContext* pContext)
{
    return STDFUPRT_GetOperationStatus(hOperation, pContext);
}

std::uint32_t DfuseFileCalls::FinishOperation(DfuOperationHandle hOperation, DFUThreadContext* pContext, Image* pRead)
{
    DFUThreadContext final;
    const std::uint32_t code = STDFUPRT_StopOperation(hOperation, &final);
    if (code != STDFUPRT_NOERROR) {
        return code;
    }
    if (pRead != nullptr) {
        if (auto image = CopyImage(final.hImage)) {
            *pRead = std::move(*image);
        }
    }
    STDFUFILES_DestroyImage(final.hImage);
    final.hImage = nullptr;
    if (pContext != nullptr) {
        *pContext = std::move(final);
    }
    return STDFUPRT_NOERROR;
}

} // namespace nemora::dfuse

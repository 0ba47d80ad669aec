#include "dfuse/dfu_files_api.h"

#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

namespace {

using nemora::dfuse::DfuFile;
using nemora::dfuse::Element;
using nemora::dfuse::ErrorCode;
using nemora::dfuse::FileError;
using nemora::dfuse::Image;

struct OpenFile {
    std::string path;
    DfuFile file;
};

// The library's handle tables. Handle values count up from 1 and are never reused, so a stale handle
// cannot reach an object made later.
class HandleTables {
public:
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, Image> images;
    std::unordered_map<std::uintptr_t, OpenFile> files;

    std::uintptr_t Next() { return ++m_last; }

    Image* FindImage(DfuImageHandle h)
    {
        auto it = images.find(reinterpret_cast<std::uintptr_t>(h));
        return it == images.end() ? nullptr : &it->second;
    }
    OpenFile* FindFile(DfuFileHandle h)
    {
        auto it = files.find(reinterpret_cast<std::uintptr_t>(h));
        return it == files.end() ? nullptr : &it->second;
    }
    DfuImageHandle AddImage(Image image)
    {
        const std::uintptr_t id = Next();
        images.emplace(id, std::move(image));
        return reinterpret_cast<DfuImageHandle>(id);
    }
    DfuFileHandle AddFile(OpenFile file)
    {
        const std::uintptr_t id = Next();
        files.emplace(id, std::move(file));
        return reinterpret_cast<DfuFileHandle>(id);
    }

private:
    std::uintptr_t m_last = 0;
};

HandleTables& Tables()
{
    static HandleTables tables;
    return tables;
}

constexpr std::uint32_t Code(FileError e)
{
    return ErrorCode(e);
}

constexpr std::uint32_t kOk = STDFUFILES_NOERROR;

} // namespace

std::uint32_t STDFUFILES_OpenExistingDFUFile(const char* pszPath, DfuFileHandle* phFile, std::uint16_t* pVid,
                                             std::uint16_t* pPid, std::uint16_t* pBcdDevice, std::uint8_t* pNbImages)
{
    if (!pszPath || !phFile)
        return Code(FileError::BadParameter);
    nemora::dfuse::ParseResult parsed = nemora::dfuse::ReadDfuFile(pszPath);
    if (!parsed.file)
        return Code(parsed.error.code);
    const DfuFile& file = *parsed.file;
    if (pVid)
        *pVid = file.vid;
    if (pPid)
        *pPid = file.pid;
    if (pBcdDevice)
        *pBcdDevice = file.bcdDevice;
    if (pNbImages)
        *pNbImages = static_cast<std::uint8_t>(file.images.size());
    HandleTables& t = Tables();
    std::lock_guard lock(t.mutex);
    *phFile = t.AddFile(OpenFile{pszPath, std::move(*parsed.file)});
    return kOk;
}

std::uint32_t STDFUFILES_CreateNewDFUFile(const char* pszPath, DfuFileHandle* phFile, std::uint16_t wVid,
                                          std::uint16_t wPid, std::uint16_t wBcdDevice)
{
    if (!pszPath || !phFile)
        return Code(FileError::BadParameter);
    OpenFile open{pszPath, DfuFile{wVid, wPid, wBcdDevice, {}}};
    if (nemora::dfuse::Error e = nemora::dfuse::WriteDfuFile(open.path, open.file))
        return Code(e.code);
    HandleTables& t = Tables();
    std::lock_guard lock(t.mutex);
    *phFile = t.AddFile(std::move(open));
    return kOk;
}

std::uint32_t STDFUFILES_ReadImageFromDFUFile(DfuFileHandle hFile, int nImage, DfuImageHandle* phImage)
{
    if (!phImage)
        return Code(FileError::BadParameter);
    HandleTables& t = Tables();
    std::lock_guard lock(t.mutex);
    OpenFile* f = t.FindFile(hFile);
    if (!f)
        return Code(FileError::BadHandle);
    if (nImage < 0 || static_cast<std::size_t>(nImage) >= f->file.images.size())
        return Code(FileError::IndexOutOfRange);
    *phImage = t.AddImage(f->file.images[static_cast<std::size_t>(nImage)]);
    return kOk;
}

std::uint32_t STDFUFILES_AppendImageToDFUFile(DfuFileHandle hFile, DfuImageHandle hImage)
{
    HandleTables& t = Tables();
    std::lock_guard lock(t.mutex);
    OpenFile* f = t.FindFile(hFile);
    Image* image = t.FindImage(hImage);
    if (!f || !image)
        return Code(FileError::BadHandle);
    if (f->file.images.size() >= nemora::dfuse::kMaxImages)
        return Code(FileError::TooManyImages);
    f->file.images.push_back(*image);
    if (nemora::dfuse::Error e = nemora::dfuse::WriteDfuFile(f->path, f->file)) {
        f->file.images.pop_back();
        return Code(e.code);
    }
    return kOk;
}

std::uint32_t STDFUFILES_CloseDFUFile(DfuFileHandle hFile)
{
    HandleTables& t = Tables();
    std::lock_guard lock(t.mutex);
    return t.files.erase(reinterpret_cast<std::uintptr_t>(hFile)) ? kOk : Code(FileError::BadHandle);
}

std::uint32_t STDFUFILES_CreateImage(DfuImageHandle* phImage, std::uint8_t nAlternate)
{
    if (!phImage)
        return Code(FileError::BadParameter);
    Image image;
    image.alternate = nAlternate;
    HandleTables& t = Tables();
    std::lock_guard lock(t.mutex);
    *phImage = t.AddImage(std::move(image));
    return kOk;
}

std::uint32_t STDFUFILES_CreateImageFromMapping(DfuImageHandle* phImage, const nemora::dfuse::MappingTarget* pTarget)
{
    if (!phImage || !pTarget)
        return Code(FileError::BadParameter);
    Image image;
    if (nemora::dfuse::Error e = nemora::dfuse::ImageFromMapping(*pTarget, image))
        return Code(e.code);
    HandleTables& t = Tables();
    std::lock_guard lock(t.mutex);
    *phImage = t.AddImage(std::move(image));
    return kOk;
}

std::uint32_t STDFUFILES_DuplicateImage(DfuImageHandle hSource, DfuImageHandle* phCopy)
{
    if (!phCopy)
        return Code(FileError::BadParameter);
    HandleTables& t = Tables();
    std::lock_guard lock(t.mutex);
    const Image* source = t.FindImage(hSource);
    if (!source)
        return Code(FileError::BadHandle);
    *phCopy = t.AddImage(Image(*source));
    return kOk;
}

std::uint32_t STDFUFILES_DestroyImage(DfuImageHandle hImage)
{
    HandleTables& t = Tables();
    std::lock_guard lock(t.mutex);
    return t.images.erase(reinterpret_cast<std::uintptr_t>(hImage)) ? kOk : Code(FileError::BadHandle);
}

std::uint32_t STDFUFILES_FilterImageForOperation(DfuImageHandle hImage, const nemora::dfuse::MappingTarget* pTarget,
                                                 std::uint32_t dwOperation, bool bSkipBlank)
{
    if (!pTarget)
        return Code(FileError::BadParameter);
    return Code(nemora::dfuse::FilterImageHandle(hImage, *pTarget, dwOperation, bSkipBlank).error.code);
}

// Runs `use` on the image behind a handle, under the tables' lock. A null output pointer or an unknown
// handle gives its code without calling it.
template <class Use>
std::uint32_t WithImage(DfuImageHandle hImage, const void* pOutput, Use use)
{
    if (!pOutput)
        return Code(FileError::BadParameter);
    HandleTables& t = Tables();
    std::lock_guard lock(t.mutex);
    Image* image = t.FindImage(hImage);
    if (!image)
        return Code(FileError::BadHandle);
    return use(*image);
}

std::uint32_t STDFUFILES_GetImageAlternate(DfuImageHandle hImage, std::uint8_t* pAlternate)
{
    return WithImage(hImage, pAlternate, [&](const Image& image) {
        *pAlternate = image.alternate;
        return kOk;
    });
}

std::uint32_t STDFUFILES_GetImageName(DfuImageHandle hImage, char* pszName)
{
    return WithImage(hImage, pszName, [&](const Image& image) {
        // Names never exceed kMaxImageNameLength: SetImageName and the parser refuse longer ones.
        std::memcpy(pszName, image.name.c_str(), image.name.size() + 1);
        return kOk;
    });
}

std::uint32_t STDFUFILES_SetImageName(DfuImageHandle hImage, const char* pszName)
{
    if (!pszName)
        return Code(FileError::BadParameter);
    const std::size_t length = ::strnlen(pszName, nemora::dfuse::kMaxImageNameLength + 1);
    if (length > nemora::dfuse::kMaxImageNameLength)
        return Code(FileError::BadParameter);
    HandleTables& t = Tables();
    std::lock_guard lock(t.mutex);
    Image* image = t.FindImage(hImage);
    if (!image)
        return Code(FileError::BadHandle);
    image->name.assign(pszName, length);
    return kOk;
}

std::uint32_t STDFUFILES_GetImageSize(DfuImageHandle hImage, std::uint32_t* pSize)
{
    return WithImage(hImage, pSize, [&](const Image& image) {
        const std::uint64_t size = image.DataSize();
        if (size > 0xFFFFFFFFu)
            return Code(FileError::TooLarge);
        *pSize = static_cast<std::uint32_t>(size);
        return kOk;
    });
}

std::uint32_t STDFUFILES_GetImageNbElement(DfuImageHandle hImage, std::uint32_t* pNbElements)
{
    return WithImage(hImage, pNbElements, [&](const Image& image) {
        *pNbElements = static_cast<std::uint32_t>(image.elements.size());
        return kOk;
    });
}

std::uint32_t STDFUFILES_GetImageElement(DfuImageHandle hImage, std::uint32_t dwIndex, DfuElement* pElement)
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

std::uint32_t STDFUFILES_SetImageElement(DfuImageHandle hImage, std::uint32_t dwIndex, bool bInsert, DfuElement element)
{
    if (!element.Data && element.dwDataLength > 0)
        return Code(FileError::BadParameter);
    HandleTables& t = Tables();
    std::lock_guard lock(t.mutex);
    Image* image = t.FindImage(hImage);
    if (!image)
        return Code(FileError::BadHandle);
    const std::size_t count = image->elements.size();
    if (bInsert ? dwIndex > count : dwIndex >= count)
        return Code(FileError::IndexOutOfRange);
    std::uint64_t newSize = image->DataSize() + element.dwDataLength;
    if (!bInsert)
        newSize -= image->elements[dwIndex].data.size();
    if (newSize > nemora::dfuse::kMaxFileSize)
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

namespace nemora::dfuse {

DfuImageHandle AdoptImage(Image image)
{
    HandleTables& t = Tables();
    std::lock_guard lock(t.mutex);
    return t.AddImage(std::move(image));
}

std::optional<Image> CopyImage(DfuImageHandle hImage)
{
    HandleTables& t = Tables();
    std::lock_guard lock(t.mutex);
    const Image* image = t.FindImage(hImage);
    if (!image)
        return std::nullopt;
    return *image;
}

bool ReplaceImage(DfuImageHandle hImage, Image image)
{
    HandleTables& t = Tables();
    std::lock_guard lock(t.mutex);
    Image* target = t.FindImage(hImage);
    if (!target)
        return false;
    *target = std::move(image);
    return true;
}

FilterReport FilterImageHandle(DfuImageHandle hImage, const MappingTarget& target, std::uint32_t operation,
                               bool skipBlank)
{
    HandleTables& t = Tables();
    std::lock_guard lock(t.mutex);
    Image* image = t.FindImage(hImage);
    if (!image) {
        FilterReport report;
        report.error = Error{FileError::BadHandle, "unknown image handle"};
        return report;
    }
    return FilterImage(*image, target, operation, skipBlank);
}

std::size_t OpenHandleCount()
{
    HandleTables& t = Tables();
    std::lock_guard lock(t.mutex);
    return t.images.size() + t.files.size();
}

} // namespace nemora::dfuse

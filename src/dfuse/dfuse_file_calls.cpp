#include "dfuse/dfuse_file_calls.h"

#include <string.h>

namespace nemora::dfuse {

std::uint32_t DfuseFileCalls::STDFUFILES_OpenExistingDFUFile(const std::string& strPath, DfuFileHandle* phFile,
                                                             std::uint16_t* pVid, std::uint16_t* pPid,
                                                             std::uint16_t* pBcd, std::uint8_t* pNbImages)
{
    return ::STDFUFILES_OpenExistingDFUFile(strPath.c_str(), phFile, pVid, pPid, pBcd, pNbImages);
}

std::uint32_t DfuseFileCalls::STDFUFILES_CreateNewDFUFile(const std::string& strPath, DfuFileHandle* phFile,
                                                          std::uint16_t wVid, std::uint16_t wPid, std::uint16_t wBcd)
{
    return ::STDFUFILES_CreateNewDFUFile(strPath.c_str(), phFile, wVid, wPid, wBcd);
}

std::uint32_t DfuseFileCalls::STDFUFILES_ReadImageFromDFUFile(DfuFileHandle hFile, int nImage, DfuImageHandle* phImage)
{
    return ::STDFUFILES_ReadImageFromDFUFile(hFile, nImage, phImage);
}

std::uint32_t DfuseFileCalls::STDFUFILES_AppendImageToDFUFile(DfuFileHandle hFile, DfuImageHandle hImage)
{
    return ::STDFUFILES_AppendImageToDFUFile(hFile, hImage);
}

std::uint32_t DfuseFileCalls::STDFUFILES_CloseDFUFile(DfuFileHandle hFile)
{
    return ::STDFUFILES_CloseDFUFile(hFile);
}

std::uint32_t DfuseFileCalls::STDFUFILES_CreateImage(DfuImageHandle* phImage, std::uint8_t nAlternate)
{
    return ::STDFUFILES_CreateImage(phImage, nAlternate);
}

std::uint32_t DfuseFileCalls::STDFUFILES_CreateImageFromMapping(DfuImageHandle* phImage, const MappingTarget* pTarget)
{
    return ::STDFUFILES_CreateImageFromMapping(phImage, pTarget);
}

std::uint32_t DfuseFileCalls::STDFUFILES_DuplicateImage(DfuImageHandle hSource, DfuImageHandle* phCopy)
{
    return ::STDFUFILES_DuplicateImage(hSource, phCopy);
}

std::uint32_t DfuseFileCalls::STDFUFILES_DestroyImage(DfuImageHandle hImage)
{
    return ::STDFUFILES_DestroyImage(hImage);
}

std::uint32_t DfuseFileCalls::STDFUFILES_FilterImageForOperation(DfuImageHandle hImage, const MappingTarget* pTarget,
                                                                 std::uint32_t dwOperation, bool bSkipBlank)
{
    return ::STDFUFILES_FilterImageForOperation(hImage, pTarget, dwOperation, bSkipBlank);
}

std::uint32_t DfuseFileCalls::STDFUFILES_GetImageAlternate(DfuImageHandle hImage, std::uint8_t* pAlternate)
{
    return ::STDFUFILES_GetImageAlternate(hImage, pAlternate);
}

std::uint32_t DfuseFileCalls::STDFUFILES_GetImageName(DfuImageHandle hImage, std::string* pName)
{
    if (pName == nullptr) {
        return ::STDFUFILES_GetImageName(hImage, nullptr);
    }
    char buffer[STDFUFILES_NAME_BUFFER_SIZE] = {};
    const std::uint32_t code = ::STDFUFILES_GetImageName(hImage, buffer);
    if (code == STDFUFILES_NOERROR) {
        *pName = std::string(buffer, ::strnlen(buffer, sizeof buffer));
    }
    return code;
}

std::uint32_t DfuseFileCalls::STDFUFILES_SetImageName(DfuImageHandle hImage, const std::string& strName)
{
    if (strName.find('\0') != std::string::npos) {
        return ErrorCode(FileError::BadParameter); // a NUL would silently cut the name short
    }
    return ::STDFUFILES_SetImageName(hImage, strName.c_str());
}

std::uint32_t DfuseFileCalls::STDFUFILES_GetImageSize(DfuImageHandle hImage, std::uint32_t* pSize)
{
    return ::STDFUFILES_GetImageSize(hImage, pSize);
}

std::uint32_t DfuseFileCalls::STDFUFILES_GetImageNbElement(DfuImageHandle hImage, std::uint32_t* pNbElements)
{
    return ::STDFUFILES_GetImageNbElement(hImage, pNbElements);
}

std::uint32_t DfuseFileCalls::STDFUFILES_GetImageElement(DfuImageHandle hImage, std::uint32_t dwIndex,
                                                         DfuElement* pElement)
{
    return ::STDFUFILES_GetImageElement(hImage, dwIndex, pElement);
}

std::uint32_t DfuseFileCalls::STDFUFILES_SetImageElement(DfuImageHandle hImage, std::uint32_t dwIndex, bool bInsert,
                                                         DfuElement element)
{
    return ::STDFUFILES_SetImageElement(hImage, dwIndex, bInsert, element);
}

} // namespace nemora::dfuse

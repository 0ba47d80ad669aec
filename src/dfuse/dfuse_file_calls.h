#pragma once

// The file and image half of the contract interface, over the library's own file calls
// (dfu_files_api.h). Every implementation of the contract derives from it, so there is one place where
// the contract's file calls meet the container code; a test double overrides single calls to fail them.

#include "dfuse/dfuse_contract.h"

namespace nemora::dfuse {

class DfuseFileCalls : public IDfuseLibrary {
public:
    std::uint32_t STDFUFILES_OpenExistingDFUFile(const std::string& strPath, DfuFileHandle* phFile, std::uint16_t* pVid,
                                                 std::uint16_t* pPid, std::uint16_t* pBcd,
                                                 std::uint8_t* pNbImages) override;
    std::uint32_t STDFUFILES_CreateNewDFUFile(const std::string& strPath, DfuFileHandle* phFile, std::uint16_t wVid,
                                              std::uint16_t wPid, std::uint16_t wBcd) override;
    std::uint32_t STDFUFILES_ReadImageFromDFUFile(DfuFileHandle hFile, int nImage, DfuImageHandle* phImage) override;
    std::uint32_t STDFUFILES_AppendImageToDFUFile(DfuFileHandle hFile, DfuImageHandle hImage) override;
    std::uint32_t STDFUFILES_CloseDFUFile(DfuFileHandle hFile) override;
    std::uint32_t STDFUFILES_CreateImage(DfuImageHandle* phImage, std::uint8_t nAlternate) override;
    std::uint32_t STDFUFILES_CreateImageFromMapping(DfuImageHandle* phImage, const MappingTarget* pTarget) override;
    std::uint32_t STDFUFILES_DuplicateImage(DfuImageHandle hSource, DfuImageHandle* phCopy) override;
    std::uint32_t STDFUFILES_DestroyImage(DfuImageHandle hImage) override;
    std::uint32_t STDFUFILES_FilterImageForOperation(DfuImageHandle hImage, const MappingTarget* pTarget,
                                                     std::uint32_t dwOperation, bool bSkipBlank) override;
    std::uint32_t STDFUFILES_GetImageAlternate(DfuImageHandle hImage, std::uint8_t* pAlternate) override;
    std::uint32_t STDFUFILES_GetImageName(DfuImageHandle hImage, std::string* pName) override;
    std::uint32_t STDFUFILES_SetImageName(DfuImageHandle hImage, const std::string& strName) override;
    std::uint32_t STDFUFILES_GetImageSize(DfuImageHandle hImage, std::uint32_t* pSize) override;
    std::uint32_t STDFUFILES_GetImageNbElement(DfuImageHandle hImage, std::uint32_t* pNbElements) override;
    std::uint32_t STDFUFILES_GetImageElement(DfuImageHandle hImage, std::uint32_t dwIndex,
                                             DfuElement* pElement) override;
    std::uint32_t STDFUFILES_SetImageElement(DfuImageHandle hImage, std::uint32_t dwIndex, bool bInsert,
                                             DfuElement element) override;
};

} // namespace nemora::dfuse

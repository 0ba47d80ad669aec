#pragma once

// The file and image half of the contract interface: the library's file and image handles and the
// STDFUFILES_* calls on them. Every implementation of the contract derives from it, so there is one place
// where the contract's file calls meet the container code; a test double overrides single calls to fail
// them.
//
// Every call returns a 32-bit code: STDFUFILES_NOERROR (0x12340000) on success, otherwise
// nemora::dfuse::ErrorCode(FileError) (0x12347000 + the FileError value, see dfu_file.h). Output
// parameters are written only on success.
//
// Handles are opaque numbers owned by this object: they are never dereferenced, a released or forged
// handle gives the BadHandle code, and a file handle is not accepted where an image handle belongs (or
// the other way round). Handle values count up from 1 and are never reused. The tables behind them are
// locked, so images may be used from a background operation's thread while the user-interface thread
// works with others. Every call that changes an image works on it as a whole under the lock.
//
// Files: opening reads and checks the whole container (suffix, CRC, structure) and keeps it in memory;
// creating writes an empty container at once; appending writes the whole container again. Writes go to
// a temporary file in the same folder that is renamed over the target, so a failed call leaves the file
// on disk as it was, and the in-memory file as well.
//
// Names: an image's name is what a file can hold, at most kMaxImageNameLength bytes and no NUL. Every way
// in (SetImageName, AdoptImage, ReplaceImage, the parser) refuses a longer one and keeps what was there.

#include "dfuse/device_operations.h"
#include "dfuse/dfu_file.h"
#include "dfuse/dfuse_contract.h"
#include "dfuse/image_filter.h"
#include "dfuse/memory_map.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace nemora::dfuse {

class DfuseFileCalls : public IDfuseLibrary, public DeviceOperations {
public:
    DfuseFileCalls() = default;
    DfuseFileCalls(const DfuseFileCalls&) = delete;
    DfuseFileCalls& operator=(const DfuseFileCalls&) = delete;

    DeviceOperations& Operations() override { return *this; }
    // The device operations over this object's own contract calls: the link through OpenDeviceLink, an
    // operation's image held behind a handle of these tables for as long as it runs. An implementation
    // with a value path of its own overrides them.
    LinkOutcome OpenLink(const std::string& devicePath, DeviceLink& link, LinkDescriptors& descriptors) override;
    // Nothing lists devices here: a device is known by its path alone.
    std::optional<usb::DeviceInfo> ListedDevice(const std::string& devicePath) override;
    std::uint32_t StartOperation(std::uint32_t operation, const std::string& devicePath, Image image,
                                 std::function<void()> onFinished, DfuOperationHandle* phOperation) override;
    std::uint32_t OperationStatus(DfuOperationHandle hOperation, DFUThreadContext* pContext) override;
    std::uint32_t FinishOperation(DfuOperationHandle hOperation, DFUThreadContext* pContext, Image* pRead) override;

    // Opens and checks a container. Each identity output may be null when not wanted.
    std::uint32_t STDFUFILES_OpenExistingDFUFile(const std::string& strPath, DfuFileHandle* phFile, std::uint16_t* pVid,
                                                 std::uint16_t* pPid, std::uint16_t* pBcd,
                                                 std::uint8_t* pNbImages) override;
    // Writes an empty container (replacing any file at the path) and opens it.
    std::uint32_t STDFUFILES_CreateNewDFUFile(const std::string& strPath, DfuFileHandle* phFile, std::uint16_t wVid,
                                              std::uint16_t wPid, std::uint16_t wBcd) override;
    // A new image handle holding a copy of image nImage (0-based) of the file.
    std::uint32_t STDFUFILES_ReadImageFromDFUFile(DfuFileHandle hFile, int nImage, DfuImageHandle* phImage) override;
    // Appends a copy of the image and rewrites the file.
    std::uint32_t STDFUFILES_AppendImageToDFUFile(DfuFileHandle hFile, DfuImageHandle hImage) override;
    std::uint32_t STDFUFILES_CloseDFUFile(DfuFileHandle hFile) override;
    // An empty, unnamed image for an alternate setting.
    std::uint32_t STDFUFILES_CreateImage(DfuImageHandle* phImage, std::uint8_t nAlternate) override;
    // An image covering the whole target (see ImageFromMapping).
    std::uint32_t STDFUFILES_CreateImageFromMapping(DfuImageHandle* phImage, const MappingTarget* pTarget) override;
    std::uint32_t STDFUFILES_DuplicateImage(DfuImageHandle hSource, DfuImageHandle* phCopy) override;
    std::uint32_t STDFUFILES_DestroyImage(DfuImageHandle hImage) override;
    // Fits the image to the target for an operation (see image_filter.h for the rules).
    std::uint32_t STDFUFILES_FilterImageForOperation(DfuImageHandle hImage, const MappingTarget* pTarget,
                                                     std::uint32_t dwOperation, bool bSkipBlank) override;
    std::uint32_t STDFUFILES_GetImageAlternate(DfuImageHandle hImage, std::uint8_t* pAlternate) override;
    std::uint32_t STDFUFILES_GetImageName(DfuImageHandle hImage, std::string* pName) override;
    // Names are kept byte for byte; one that a file cannot hold gives BadParameter and keeps the old name.
    std::uint32_t STDFUFILES_SetImageName(DfuImageHandle hImage, const std::string& strName) override;
    // Data bytes of all elements.
    std::uint32_t STDFUFILES_GetImageSize(DfuImageHandle hImage, std::uint32_t* pSize) override;
    std::uint32_t STDFUFILES_GetImageNbElement(DfuImageHandle hImage, std::uint32_t* pNbElements) override;
    // With pElement->Data null: fills address and length. Otherwise copies the element's bytes into Data,
    // which must hold dwDataLength bytes; a buffer shorter than the element gives BufferTooSmall, copies
    // nothing and sets dwDataLength to the length needed. On success dwDataLength is the element's length.
    std::uint32_t STDFUFILES_GetImageElement(DfuImageHandle hImage, std::uint32_t dwIndex,
                                             DfuElement* pElement) override;
    // With bInsert: inserts a copy of the element before index dwIndex (0..count). Without: replaces
    // element dwIndex. Data may be null only when dwDataLength is 0.
    std::uint32_t STDFUFILES_SetImageElement(DfuImageHandle hImage, std::uint32_t dwIndex, bool bInsert,
                                             DfuElement element) override;

    // Value access to the same handles, for the background operations, the CLI and the tests.
    // A new handle for the image; nullptr when its name is one a file cannot hold.
    DfuImageHandle AdoptImage(Image image);
    std::optional<Image> CopyImage(DfuImageHandle hImage) const;
    // False (and the image behind the handle unchanged) for an unknown handle or an unfit name.
    bool ReplaceImage(DfuImageHandle hImage, Image image);
    // Filter with the full report (how many bytes were left out).
    FilterReport FilterImageHandle(DfuImageHandle hImage, const MappingTarget& target, std::uint32_t operation,
                                   bool skipBlank);
    // Open file and image handles; a test expects it back where it started.
    std::size_t OpenHandleCount() const;

private:
    struct OpenFile {
        std::string path;
        DfuFile file;
    };

    // Runs `use` on the image behind a handle, under the lock. A null output pointer or an unknown handle
    // gives its code without calling it.
    template <class Use>
    std::uint32_t WithImage(DfuImageHandle hImage, const void* pOutput, Use use);
    Image* FindImage(DfuImageHandle hImage); // under m_mutex
    OpenFile* FindFile(DfuFileHandle hFile); // under m_mutex
    DfuImageHandle AddImage(Image image);    // under m_mutex
    DfuFileHandle AddFile(OpenFile file);    // under m_mutex

    mutable std::mutex m_mutex;
    std::unordered_map<std::uintptr_t, Image> m_images;   // guarded by m_mutex
    std::unordered_map<std::uintptr_t, OpenFile> m_files; // guarded by m_mutex
    std::uintptr_t m_lastHandle = 0;                      // guarded by m_mutex
};

} // namespace nemora::dfuse

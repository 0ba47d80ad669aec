#pragma once

// The file and image calls of the DfuSe library, as the console uses them.
//
// Every call returns a 32-bit code: STDFUFILES_NOERROR (0x12340000) on success, otherwise
// nemora::dfuse::ErrorCode(FileError) (0x12347000 + the FileError value, see dfu_file.h). Output
// parameters are written only on success.
//
// Handles are opaque numbers owned by the library: they are never dereferenced, a released or forged
// handle gives the BadHandle code, and a file handle is not accepted where an image handle belongs (or
// the other way round). The tables behind them are locked, so images may be used from a background
// operation's thread while the user-interface thread works with others. Every call that changes an
// image works on it as a whole under the lock.
//
// Files: opening reads and checks the whole container (suffix, CRC, structure) and keeps it in memory;
// creating writes an empty container at once; appending writes the whole container again. Writes go to
// a temporary file in the same folder that is renamed over the target, so a failed call leaves the file
// on disk as it was, and the in-memory file as well.

#include "dfuse/dfu_file.h"
#include "dfuse/image_filter.h"
#include "dfuse/memory_map.h"

#include <cstddef>
#include <cstdint>
#include <optional>

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
// Buffer size GetImageName needs: the longest name and its NUL.
inline constexpr std::size_t STDFUFILES_NAME_BUFFER_SIZE = nemora::dfuse::kNameFieldSize;

// Opens and checks a container. Each identity output may be null when not wanted.
std::uint32_t STDFUFILES_OpenExistingDFUFile(const char* pszPath, DfuFileHandle* phFile, std::uint16_t* pVid,
                                             std::uint16_t* pPid, std::uint16_t* pBcdDevice, std::uint8_t* pNbImages);
// Writes an empty container (replacing any file at the path) and opens it.
std::uint32_t STDFUFILES_CreateNewDFUFile(const char* pszPath, DfuFileHandle* phFile, std::uint16_t wVid,
                                          std::uint16_t wPid, std::uint16_t wBcdDevice);
// A new image handle holding a copy of image nImage (0-based) of the file.
std::uint32_t STDFUFILES_ReadImageFromDFUFile(DfuFileHandle hFile, int nImage, DfuImageHandle* phImage);
// Appends a copy of the image and rewrites the file.
std::uint32_t STDFUFILES_AppendImageToDFUFile(DfuFileHandle hFile, DfuImageHandle hImage);
std::uint32_t STDFUFILES_CloseDFUFile(DfuFileHandle hFile);

// An empty, unnamed image for an alternate setting.
std::uint32_t STDFUFILES_CreateImage(DfuImageHandle* phImage, std::uint8_t nAlternate);
// An image covering the whole target (see nemora::dfuse::ImageFromMapping).
std::uint32_t STDFUFILES_CreateImageFromMapping(DfuImageHandle* phImage, const nemora::dfuse::MappingTarget* pTarget);
std::uint32_t STDFUFILES_DuplicateImage(DfuImageHandle hSource, DfuImageHandle* phCopy);
std::uint32_t STDFUFILES_DestroyImage(DfuImageHandle hImage);
// Fits the image to the target for an operation (see image_filter.h for the rules).
std::uint32_t STDFUFILES_FilterImageForOperation(DfuImageHandle hImage, const nemora::dfuse::MappingTarget* pTarget,
                                                 std::uint32_t dwOperation, bool bSkipBlank);

std::uint32_t STDFUFILES_GetImageAlternate(DfuImageHandle hImage, std::uint8_t* pAlternate);
// Copies the name and its NUL into a buffer of at least STDFUFILES_NAME_BUFFER_SIZE bytes.
std::uint32_t STDFUFILES_GetImageName(DfuImageHandle hImage, char* pszName);
// Names are kept byte for byte; longer than 254 bytes gives BadParameter and keeps the old name.
std::uint32_t STDFUFILES_SetImageName(DfuImageHandle hImage, const char* pszName);
// Data bytes of all elements.
std::uint32_t STDFUFILES_GetImageSize(DfuImageHandle hImage, std::uint32_t* pSize);
std::uint32_t STDFUFILES_GetImageNbElement(DfuImageHandle hImage, std::uint32_t* pNbElements);
// With pElement->Data null: fills address and length. Otherwise copies the element's bytes into Data,
// which must hold dwDataLength bytes; a buffer shorter than the element gives BufferTooSmall, copies
// nothing and sets dwDataLength to the length needed. On success dwDataLength is the element's length.
std::uint32_t STDFUFILES_GetImageElement(DfuImageHandle hImage, std::uint32_t dwIndex, DfuElement* pElement);
// With bInsert: inserts a copy of the element before index dwIndex (0..count). Without: replaces
// element dwIndex. Data may be null only when dwDataLength is 0.
std::uint32_t STDFUFILES_SetImageElement(DfuImageHandle hImage, std::uint32_t dwIndex, bool bInsert,
                                         DfuElement element);

namespace nemora::dfuse {

// Value access to the same handle tables, for the protocol code, the CLI and the tests.
DfuImageHandle AdoptImage(Image image);
std::optional<Image> CopyImage(DfuImageHandle hImage);
bool ReplaceImage(DfuImageHandle hImage, Image image);
// Filter with the full report (how many bytes were left out).
FilterReport FilterImageHandle(DfuImageHandle hImage, const MappingTarget& target, std::uint32_t operation,
                               bool skipBlank);
// Open file and image handles; a test of the calls above expects it back where it started.
std::size_t OpenHandleCount();

} // namespace nemora::dfuse

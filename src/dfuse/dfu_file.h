#pragma once

// The DfuSe file container as plain values: a prefix, one image per alternate setting, the elements of
// each image, and the 16-byte DFU suffix with the USB ids and a CRC. Parsing checks every length before
// it reads, never allocates more than the input holds, and tells what is wrong and where.
//
// Layout (all integers little-endian):
//   prefix   "DfuSe", version 1, image size (u32), image count (u8)                     11 bytes
//   image    "Target", alternate (u8), named flag (u32), name (255, NUL-padded),
//            image size (u32, elements with their headers), element count (u32)        274 bytes
//   element  address (u32), size (u32), data                                             8 + size
//   suffix   bcdDevice, idProduct, idVendor, bcdDFU 0x011A (u16 each), "UFD", length 16 (u8),
//            CRC (u32) over every byte before it                                        16 bytes

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nemora::dfuse {

inline constexpr std::size_t kPrefixSize = 11;
inline constexpr std::size_t kImagePrefixSize = 274;
inline constexpr std::size_t kElementHeaderSize = 8;
inline constexpr std::size_t kSuffixSize = 16;
inline constexpr std::size_t kNameFieldSize = 255;
// Longest image name: the 255-byte field keeps a terminating NUL.
inline constexpr std::size_t kMaxImageNameLength = kNameFieldSize - 1;
inline constexpr std::size_t kMaxImages = 255;
inline constexpr std::uint16_t kDfuSeBcdDfu = 0x011A;
// Files larger than this are refused before they are read, and never made: the parts that boot into DfuSe
// hold at most 2 MiB of flash, so a firmware file eight times that, other targets included, is not one.
inline constexpr std::uint64_t kMaxFileSize = 16u * 1024 * 1024;
// A settings file or snapshot holds two user areas of a few KiB; one larger than this is not one.
inline constexpr std::uint64_t kMaxSettingsFileSize = 1024u * 1024;

// Why a file, an image or a call was refused. Each value has its own 32-bit code (see ErrorCode).
enum class FileError : std::uint32_t {
    None = 0,
    BadParameter,        // a null pointer, an out-of-range value or a name that is too long
    BadHandle,           // the handle is unknown or was already released
    IndexOutOfRange,     // no image or element with that index
    BufferTooSmall,      // the caller's element buffer is shorter than the element
    ReadFailed,          // the file cannot be opened or read
    WriteFailed,         // the file cannot be written; an existing file is left as it was
    FileTooLarge,        // the file is larger than any of its kind (kMaxFileSize)
    SuffixTooShort,      // fewer than 16 suffix bytes, or a suffix length field below 16
    BadSuffixSignature,  // the suffix does not carry "UFD"
    BadSuffixLength,     // the suffix length field is longer than the file allows
    BadSuffixVersion,    // bcdDFU is not 0x011A
    BadCrc,              // the CRC does not match the bytes
    TruncatedPrefix,     // fewer than 11 bytes before the suffix
    BadPrefixSignature,  // the file does not start with "DfuSe"
    BadPrefixVersion,    // the prefix version is not 1
    ImageSizeMismatch,   // the prefix's size field fits neither the file with nor without the suffix
    TruncatedImage,      // an image prefix runs past the end of the data
    BadImageSignature,   // an image prefix does not start with "Target"
    NameNotTerminated,   // a named image's 255-byte name has no NUL
    TruncatedElement,    // an element header or its data runs past its image or the data
    ElementSizeMismatch, // an image's size field disagrees with its elements
    TrailingData,        // bytes left between the last image and the suffix
    TooManyImages,       // more than 255 images
    TooLarge,            // an element, image or file would exceed what the 32-bit fields can hold
};

// 0x12340000 is success; failures are 0x12347000 + the FileError value.
inline constexpr std::uint32_t kSuccessCode = 0x12340000;
inline constexpr std::uint32_t kFileErrorBase = 0x12347000;
constexpr std::uint32_t ErrorCode(FileError error)
{
    return error == FileError::None ? kSuccessCode : kFileErrorBase + static_cast<std::uint32_t>(error);
}
// The FileError behind a code, or nothing for codes that are not ours.
std::optional<FileError> FileErrorFromCode(std::uint32_t code);
// A short lower-case description, e.g. "CRC mismatch".
std::string_view Describe(FileError error);
// The same in the user's language, for the console's messages.
std::string DescribeShown(FileError error);

struct Error {
    FileError code = FileError::None;
    std::string message; // what is wrong, with the offending offset or value

    explicit operator bool() const { return code != FileError::None; }
};

struct Element {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> data;

    // One past the last address, in 64 bits so that it cannot wrap.
    std::uint64_t End() const { return std::uint64_t{address} + data.size(); }
    bool operator==(const Element&) const = default;
};

struct Image {
    std::uint8_t alternate = 0;
    std::string name; // kept byte for byte, trailing blanks included; empty = not named
    std::vector<Element> elements;

    // Data bytes of all elements (headers not counted).
    std::uint64_t DataSize() const;
    bool operator==(const Image&) const = default;
};

struct DfuFile {
    std::uint16_t vid = 0xFFFF;
    std::uint16_t pid = 0xFFFF;
    std::uint16_t bcdDevice = 0xFFFF;
    std::vector<Image> images;

    bool operator==(const DfuFile&) const = default;
};

struct ParseResult {
    std::optional<DfuFile> file;
    Error error;
    bool crcOk = false; // true when the suffix was found and its CRC matched
};

// The CRC the suffix carries: reflected CRC-32 (polynomial 0xEDB88320), preset 0xFFFFFFFF, no final
// inversion; that is the bitwise NOT of zlib's crc32.
std::uint32_t DfuCrc(std::span<const std::uint8_t> bytes);

// Parses a whole container. With checkCrc false a wrong CRC is reported in crcOk but does not stop the
// parse (for inspecting a damaged file); every structural fault still does.
ParseResult ParseDfuFile(std::span<const std::uint8_t> bytes, bool checkCrc = true);

// Builds the container bytes. The prefix's size field is the file length without the suffix.
// Fails (TooManyImages, TooLarge, BadParameter for a name longer than kMaxImageNameLength).
Error SerializeDfuFile(const DfuFile& file, std::vector<std::uint8_t>& out);

// True when the name fits an image's name field: at most kMaxImageNameLength bytes and no NUL.
bool IsStorableImageName(std::string_view name);

// A file the user named, opened for reading without blocking, so that a named pipe with no writer is
// refused at once instead of waiting for ever. `fd` is open (the caller closes it) only when `kind` is
// Regular; `size` is then the file's length, and `error` says why otherwise (errno's text).
struct OpenedFile {
    enum class Kind { Regular, Missing, Folder, Other, Failed };
    Kind kind = Kind::Failed;
    int fd = -1;
    std::uint64_t size = 0;
    std::string error;
};
OpenedFile OpenRegularFile(const std::filesystem::path& path);

// Reads and parses a regular file, refusing one larger than maxBytes before reading it, and a folder,
// device or named pipe at once.
ParseResult ReadDfuFile(const std::filesystem::path& path, bool checkCrc = true, std::uint64_t maxBytes = kMaxFileSize);

// Makes each missing folder of the path with mode 0700. False with `error` set when one cannot be made.
bool MakePrivateFolders(const std::filesystem::path& path, std::string& error);

// A folder the program keeps the user's files in (`what` names it in messages, "the snapshot folder"):
// made with mode 0700 when missing (parents too), then taken only when it is a real folder, not a symbolic
// link, and owned by this user. One of the user's that others may enter is tightened to 0700 and one line
// on stderr says so. False with `error` naming the folder and what to do; `remedy` ends that message.
bool MakeOwnFolder(const std::filesystem::path& folder, std::string_view what, std::string_view remedy,
                   std::string& error);

// A new file ".<base>.<random>.tmp" in `folder`, created exclusively, with `mode` (exactly, whatever the
// umask, when `exactMode`), holding `bytes` flushed to disk. Its path, or nothing with `error` set and
// nothing left behind.
std::optional<std::filesystem::path> WriteTemporaryFile(const std::filesystem::path& folder, const std::string& base,
                                                        std::span<const std::uint8_t> bytes, unsigned mode,
                                                        bool exactMode, std::string& error);

// Writes bytes to a temporary file in the same folder, flushes it and renames it over path, so that a
// failure at any step leaves an existing file untouched.
Error WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// SerializeDfuFile followed by WriteFileAtomically.
Error WriteDfuFile(const std::filesystem::path& path, const DfuFile& file);

} // namespace nemora::dfuse

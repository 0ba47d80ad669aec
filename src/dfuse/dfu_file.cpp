#include "dfuse/dfu_file.h"

#include "i18n/translate.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace nemora::dfuse {

namespace {

constexpr std::array<std::uint8_t, 5> kPrefixSignature = {'D', 'f', 'u', 'S', 'e'};
constexpr std::array<std::uint8_t, 6> kImageSignature = {'T', 'a', 'r', 'g', 'e', 't'};
constexpr std::array<std::uint8_t, 3> kSuffixSignature = {'U', 'F', 'D'};

std::uint16_t Le16(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at)
{
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
           (std::uint32_t{b[at + 3]} << 24);
}

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

template <std::size_t N>
bool Matches(std::span<const std::uint8_t> b, std::size_t at, const std::array<std::uint8_t, N>& sig)
{
    return std::memcmp(b.data() + at, sig.data(), N) == 0;
}

std::string Hex(std::uint64_t v, int digits)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(v));
    return text;
}

std::string Hex32(std::uint64_t v)
{
    return Hex(v, 8);
}

Error Fail(FileError code, std::string message)
{
    return Error{code, std::move(message)};
}

ParseResult ParseFailure(FileError code, std::string message, bool crcOk = false)
{
    ParseResult r;
    r.error = Fail(code, std::move(message));
    r.crcOk = crcOk;
    return r;
}

std::string At(std::size_t offset)
{
    return " at offset " + std::to_string(offset);
}

// Parses one image starting at pos; on success advances pos past its elements.
Error ParseImage(std::span<const std::uint8_t> body, std::size_t& pos, std::size_t index, Image& image)
{
    const std::string which = "image " + std::to_string(index);
    if (body.size() - pos < kImagePrefixSize)
        return Fail(FileError::TruncatedImage, which + ": the image prefix needs 274 bytes but only " +
                                                   std::to_string(body.size() - pos) + " remain" + At(pos));
    if (!Matches(body, pos, kImageSignature))
        return Fail(FileError::BadImageSignature, which + ": no \"Target\" signature" + At(pos));
    image.alternate = body[pos + 6];
    const std::uint32_t named = Le32(body, pos + 7);
    const std::uint8_t* name = body.data() + pos + 11;
    if (named != 0) {
        const void* nul = std::memchr(name, 0, kNameFieldSize);
        if (!nul)
            return Fail(FileError::NameNotTerminated, which + ": the name has no terminating NUL" + At(pos + 11));
        image.name.assign(reinterpret_cast<const char*>(name), static_cast<const std::uint8_t*>(nul) - name);
    }
    const std::uint32_t imageSize = Le32(body, pos + 266);
    const std::uint32_t elementCount = Le32(body, pos + 270);
    pos += kImagePrefixSize;

    const std::size_t available = body.size() - pos;
    if (imageSize > available)
        return Fail(FileError::TruncatedImage, which + ": its elements need " + std::to_string(imageSize) +
                                                   " bytes but only " + std::to_string(available) + " remain");
    // Every element takes at least its 8-byte header: a count beyond that cannot be right, and checking it
    // first keeps a forged count from reserving memory.
    if (std::uint64_t{elementCount} * kElementHeaderSize > imageSize)
        return Fail(FileError::ElementSizeMismatch, which + ": " + std::to_string(elementCount) +
                                                        " elements cannot fit in " + std::to_string(imageSize) +
                                                        " bytes");
    const std::size_t end = pos + imageSize;
    image.elements.reserve(elementCount);
    for (std::uint32_t e = 0; e < elementCount; ++e) {
        const std::string element = which + ", element " + std::to_string(e);
        if (end - pos < kElementHeaderSize)
            return Fail(FileError::TruncatedElement, element + ": header runs past the image" + At(pos));
        Element el;
        el.address = Le32(body, pos);
        const std::uint32_t size = Le32(body, pos + 4);
        pos += kElementHeaderSize;
        if (size > end - pos)
            return Fail(FileError::TruncatedElement, element + ": size " + std::to_string(size) + " (" + Hex32(size) +
                                                         ") but only " + std::to_string(end - pos) +
                                                         " bytes remain in the image");
        el.data.assign(body.begin() + static_cast<std::ptrdiff_t>(pos),
                       body.begin() + static_cast<std::ptrdiff_t>(pos + size));
        pos += size;
        image.elements.push_back(std::move(el));
    }
    if (pos != end)
        return Fail(FileError::ElementSizeMismatch, which + ": size field says " + std::to_string(imageSize) +
                                                        " bytes but its elements take " +
                                                        std::to_string(imageSize - (end - pos)));
    return {};
}

} // namespace

std::optional<FileError> FileErrorFromCode(std::uint32_t code)
{
    if (code == kSuccessCode)
        return FileError::None;
    if (code > kFileErrorBase && code <= kFileErrorBase + static_cast<std::uint32_t>(FileError::TooLarge))
        return static_cast<FileError>(code - kFileErrorBase);
    return std::nullopt;
}

namespace {

// The descriptions once, for both languages: `Tr` gives a text in the words wanted.
template <typename Say>
auto DescribeWith(FileError error, Say Tr)
{
    switch (error) {
    case FileError::None:
        return Tr("DfuFile", "no error");
    case FileError::BadParameter:
        return Tr("DfuFile", "bad parameter");
    case FileError::BadHandle:
        return Tr("DfuFile", "unknown handle");
    case FileError::IndexOutOfRange:
        return Tr("DfuFile", "index out of range");
    case FileError::BufferTooSmall:
        return Tr("DfuFile", "buffer too small");
    case FileError::ReadFailed:
        return Tr("DfuFile", "cannot read the file");
    case FileError::WriteFailed:
        return Tr("DfuFile", "cannot write the file");
    case FileError::FileTooLarge:
        return Tr("DfuFile", "file too large");
    case FileError::SuffixTooShort:
        return Tr("DfuFile", "DFU suffix too short");
    case FileError::BadSuffixSignature:
        return Tr("DfuFile", "no DFU suffix");
    case FileError::BadSuffixLength:
        return Tr("DfuFile", "bad DFU suffix length");
    case FileError::BadSuffixVersion:
        return Tr("DfuFile", "not a DfuSe suffix");
    case FileError::BadCrc:
        return Tr("DfuFile", "CRC mismatch");
    case FileError::TruncatedPrefix:
        return Tr("DfuFile", "truncated DfuSe prefix");
    case FileError::BadPrefixSignature:
        return Tr("DfuFile", "not a DfuSe file");
    case FileError::BadPrefixVersion:
        return Tr("DfuFile", "unsupported DfuSe version");
    case FileError::ImageSizeMismatch:
        return Tr("DfuFile", "DfuSe size field does not match the file");
    case FileError::TruncatedImage:
        return Tr("DfuFile", "truncated image");
    case FileError::BadImageSignature:
        return Tr("DfuFile", "bad image signature");
    case FileError::NameNotTerminated:
        return Tr("DfuFile", "image name not terminated");
    case FileError::TruncatedElement:
        return Tr("DfuFile", "truncated element");
    case FileError::ElementSizeMismatch:
        return Tr("DfuFile", "image size does not match its elements");
    case FileError::TrailingData:
        return Tr("DfuFile", "image count does not match the file");
    case FileError::TooManyImages:
        return Tr("DfuFile", "too many images");
    case FileError::TooLarge:
        return Tr("DfuFile", "too large");
    }
    return Tr("DfuFile", "unknown error");
}

} // namespace

std::string_view Describe(FileError error)
{
    return DescribeWith(error, [](const char*, const char* source) { return std::string_view(source); });
}

std::string DescribeShown(FileError error)
{
    return DescribeWith(error, [](const char* context, const char* source) { return i18n::Tr(context, source); });
}

std::uint64_t Image::DataSize() const
{
    std::uint64_t total = 0;
    for (const Element& e : elements)
        total += e.data.size();
    return total;
}

std::uint32_t DfuCrc(std::span<const std::uint8_t> bytes)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t b : bytes)
        crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc;
}

ParseResult ParseDfuFile(std::span<const std::uint8_t> bytes, bool checkCrc)
{
    const std::size_t size = bytes.size();
    if (size < kSuffixSize)
        return ParseFailure(FileError::SuffixTooShort,
                            "the file has " + std::to_string(size) + " bytes, fewer than the 16 of a DFU suffix");
    const std::size_t suffixAt = size - kSuffixSize;
    if (!Matches(bytes, suffixAt + 8, kSuffixSignature))
        return ParseFailure(FileError::BadSuffixSignature, "no \"UFD\" signature in the last 16 bytes");
    const std::uint8_t suffixLength = bytes[suffixAt + 11];
    if (suffixLength < kSuffixSize)
        return ParseFailure(FileError::SuffixTooShort,
                            "the suffix length field is " + std::to_string(suffixLength) + ", not 16");
    const std::uint32_t storedCrc = Le32(bytes, size - 4);
    const std::uint32_t crc = DfuCrc(bytes.first(size - 4));
    const bool crcOk = storedCrc == crc;
    if (checkCrc && !crcOk)
        return ParseFailure(FileError::BadCrc,
                            "the file's CRC is " + Hex32(storedCrc) + " but its bytes give " + Hex32(crc));
    if (suffixLength > size)
        return ParseFailure(FileError::BadSuffixLength,
                            "the suffix length field is " + std::to_string(suffixLength) + ", longer than the file",
                            crcOk);
    const std::uint16_t bcdDfu = Le16(bytes, suffixAt + 6);
    if (bcdDfu != kDfuSeBcdDfu)
        return ParseFailure(FileError::BadSuffixVersion, "bcdDFU is " + Hex(bcdDfu, 4) + ", not 0x011A", crcOk);

    ParseResult result;
    result.crcOk = crcOk;
    DfuFile file;
    file.bcdDevice = Le16(bytes, suffixAt);
    file.pid = Le16(bytes, suffixAt + 2);
    file.vid = Le16(bytes, suffixAt + 4);

    // A longer suffix (extra vendor fields before the standard 16 bytes) is part of the suffix.
    const std::span<const std::uint8_t> body = bytes.first(size - suffixLength);
    if (body.size() < kPrefixSize)
        return ParseFailure(FileError::TruncatedPrefix,
                            "only " + std::to_string(body.size()) + " bytes before the suffix, 11 needed", crcOk);
    if (!Matches(body, 0, kPrefixSignature))
        return ParseFailure(FileError::BadPrefixSignature, "the file does not start with \"DfuSe\"", crcOk);
    if (body[5] != 1)
        return ParseFailure(FileError::BadPrefixVersion,
                            "prefix version " + std::to_string(body[5]) + ", only version 1 is known", crcOk);
    // Writers disagree on whether the size counts the suffix; both are accepted.
    const std::uint32_t imageSize = Le32(body, 6);
    if (imageSize != body.size() && imageSize != size)
        return ParseFailure(FileError::ImageSizeMismatch,
                            "the prefix gives the size " + std::to_string(imageSize) + " but the file has " +
                                std::to_string(size) + " bytes (" + std::to_string(body.size()) +
                                " without the suffix)",
                            crcOk);
    const std::uint8_t imageCount = body[10];

    std::size_t pos = kPrefixSize;
    file.images.reserve(imageCount);
    for (std::size_t i = 0; i < imageCount; ++i) {
        Image image;
        if (Error e = ParseImage(body, pos, i, image)) {
            result.error = std::move(e);
            return result;
        }
        file.images.push_back(std::move(image));
    }
    if (pos != body.size())
        return ParseFailure(FileError::TrailingData,
                            std::to_string(body.size() - pos) + " bytes follow the last of " +
                                std::to_string(imageCount) + " images" + At(pos),
                            crcOk);
    result.file = std::move(file);
    return result;
}

Error SerializeDfuFile(const DfuFile& file, std::vector<std::uint8_t>& out)
{
    out.clear();
    if (file.images.size() > kMaxImages)
        return Fail(FileError::TooManyImages, std::to_string(file.images.size()) + " images, at most 255 fit");
    std::uint64_t total = kPrefixSize + kSuffixSize;
    for (const Image& image : file.images) {
        if (!IsStorableImageName(image.name))
            return Fail(FileError::BadParameter, image.name.size() > kMaxImageNameLength
                                                     ? "image name longer than 254 bytes"
                                                     : "image name holds a NUL");
        std::uint64_t imageSize = 0;
        for (const Element& e : image.elements)
            imageSize += kElementHeaderSize + e.data.size();
        if (imageSize > 0xFFFFFFFFu || image.elements.size() > 0xFFFFFFFFu)
            return Fail(FileError::TooLarge, "an image exceeds 4 GiB");
        total += kImagePrefixSize + imageSize;
    }
    if (total > kMaxFileSize)
        return Fail(FileError::TooLarge, "the file would have " + std::to_string(total) + " bytes");

    out.reserve(static_cast<std::size_t>(total));
    out.insert(out.end(), kPrefixSignature.begin(), kPrefixSignature.end());
    out.push_back(1);
    Put32(out, static_cast<std::uint32_t>(total - kSuffixSize));
    out.push_back(static_cast<std::uint8_t>(file.images.size()));
    for (const Image& image : file.images) {
        out.insert(out.end(), kImageSignature.begin(), kImageSignature.end());
        out.push_back(image.alternate);
        Put32(out, image.name.empty() ? 0 : 1);
        std::array<std::uint8_t, kNameFieldSize> name{};
        std::memcpy(name.data(), image.name.data(), image.name.size());
        out.insert(out.end(), name.begin(), name.end());
        std::uint64_t imageSize = 0;
        for (const Element& e : image.elements)
            imageSize += kElementHeaderSize + e.data.size();
        Put32(out, static_cast<std::uint32_t>(imageSize));
        Put32(out, static_cast<std::uint32_t>(image.elements.size()));
        for (const Element& e : image.elements) {
            Put32(out, e.address);
            Put32(out, static_cast<std::uint32_t>(e.data.size()));
            out.insert(out.end(), e.data.begin(), e.data.end());
        }
    }
    Put16(out, file.bcdDevice);
    Put16(out, file.pid);
    Put16(out, file.vid);
    Put16(out, kDfuSeBcdDfu);
    out.insert(out.end(), kSuffixSignature.begin(), kSuffixSignature.end());
    out.push_back(static_cast<std::uint8_t>(kSuffixSize));
    Put32(out, DfuCrc(out));
    return {};
}

bool IsStorableImageName(std::string_view name)
{
    return name.size() <= kMaxImageNameLength && name.find('\0') == std::string_view::npos;
}

OpenedFile OpenRegularFile(const std::filesystem::path& path)
{
    using Kind = OpenedFile::Kind;
    OpenedFile opened;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        opened.kind = errno == ENOENT ? Kind::Missing : Kind::Failed;
        opened.error = std::strerror(errno);
        return opened;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        opened.error = std::strerror(errno);
        ::close(fd);
        return opened;
    }
    if (!S_ISREG(st.st_mode)) {
        opened.kind = S_ISDIR(st.st_mode) ? Kind::Folder : Kind::Other;
        ::close(fd);
        return opened;
    }
    opened.kind = Kind::Regular;
    opened.fd = fd;
    opened.size = static_cast<std::uint64_t>(st.st_size);
    return opened;
}

ParseResult ReadDfuFile(const std::filesystem::path& path, bool checkCrc, std::uint64_t maxBytes)
{
    const OpenedFile opened = OpenRegularFile(path);
    if (opened.kind == OpenedFile::Kind::Folder || opened.kind == OpenedFile::Kind::Other)
        return ParseFailure(FileError::ReadFailed, "not a regular file (a folder, device or pipe is never read)");
    if (opened.kind != OpenedFile::Kind::Regular)
        return ParseFailure(FileError::ReadFailed, opened.error);
    const int fd = opened.fd;
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        ::close(fd);
        return ParseFailure(FileError::ReadFailed, std::strerror(errno));
    }
    if (opened.size > maxBytes) {
        std::fclose(f);
        return ParseFailure(FileError::FileTooLarge, std::to_string(opened.size) +
                                                         " bytes, larger than any file of its kind (at most " +
                                                         std::to_string(maxBytes) + "); it was not read");
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(opened.size));
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    const bool bad = std::ferror(f) != 0;
    std::fclose(f);
    if (bad || got != bytes.size())
        return ParseFailure(FileError::ReadFailed, "read error");
    return ParseDfuFile(bytes, checkCrc);
}

bool MakePrivateFolders(const std::filesystem::path& path, std::string& error)
{
    std::filesystem::path made;
    for (const auto& part : path) {
        made /= part;
        if (::mkdir(made.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "cannot create " + made.string() + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

bool MakeOwnFolder(const std::filesystem::path& folder, std::string_view what, std::string_view remedy,
                   std::string& error)
{
    const std::string named = std::string(what) + " " + folder.string();
    if (!MakePrivateFolders(folder, error)) {
        return false;
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        error = named + " is a symbolic link: " + std::string(remedy);
        return false;
    }
    // Checked and tightened through one descriptor, so that what is checked is what is changed.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        error = err == ENOTDIR || err == ELOOP ? named + " is not a folder: " + std::string(remedy)
                                               : "cannot open " + named + ": " + std::strerror(err);
        return false;
    }
    bool ok = true;
    if (::fstat(fd, &info) != 0) {
        error = "cannot examine " + named + ": " + std::strerror(errno);
        ok = false;
    } else if (info.st_uid != ::geteuid()) {
        error = named + " belongs to another user (uid " + std::to_string(info.st_uid) + "): " + std::string(remedy);
        ok = false;
    } else if ((info.st_mode & 077) != 0) {
        if (::fchmod(fd, 0700) != 0) {
            error = "cannot make " + named + " private: " + std::strerror(errno);
            ok = false;
        } else {
            std::fprintf(stderr, "%s was open to other users; it is now private (mode 0700)\n", named.c_str());
        }
    }
    ::close(fd);
    return ok;
}

std::optional<std::filesystem::path> WriteTemporaryFile(const std::filesystem::path& folder, const std::string& base,
                                                        std::span<const std::uint8_t> bytes, unsigned mode,
                                                        bool exactMode, std::string& error)
{
    std::random_device random;
    std::filesystem::path path;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        char tag[16];
        std::snprintf(tag, sizeof tag, "%08x", random());
        path = folder / ("." + base + "." + tag + ".tmp");
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode));
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        error = "cannot create a temporary file in " + folder.string() + ": " + std::strerror(errno);
        return std::nullopt;
    }
    bool written = !exactMode || ::fchmod(fd, static_cast<mode_t>(mode)) == 0;
    for (std::size_t done = 0; written && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        written = n > 0;
        done += written ? static_cast<std::size_t>(n) : 0;
    }
    written = written && ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        err = errno;
    }
    if (!written) {
        ::unlink(path.c_str());
        error = std::string("cannot write a temporary file: ") + std::strerror(err != 0 ? err : EIO);
        return std::nullopt;
    }
    return path;
}

Error WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes)
{
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::string error;
    const auto temporary = WriteTemporaryFile(folder, path.filename().string(), bytes, 0644, false, error);
    if (!temporary)
        return Fail(FileError::WriteFailed, error);
    if (std::rename(temporary->c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temporary->c_str());
        return Fail(FileError::WriteFailed, "cannot replace " + path.string() + ": " + std::strerror(err));
    }
    return {};
}

Error WriteDfuFile(const std::filesystem::path& path, const DfuFile& file)
{
    std::vector<std::uint8_t> bytes;
    if (Error e = SerializeDfuFile(file, bytes))
        return e;
    return WriteFileAtomically(path, bytes);
}

} // namespace nemora::dfuse

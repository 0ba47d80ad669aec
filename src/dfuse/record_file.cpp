#include "dfuse/record_file.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <unistd.h>

namespace nemora::dfuse {

namespace {

// An exclusive lock on "<file>.lock" for as long as it lives; without one (the folder cannot take the
// lock file) the rewrite goes ahead as it would alone.
class RewriteLock {
public:
    explicit RewriteLock(const std::filesystem::path& path)
    {
        const std::string lockPath = path.string() + ".lock";
        m_fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_fd >= 0) {
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~RewriteLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // lets go of the lock
    }
    RewriteLock(const RewriteLock&) = delete;
    RewriteLock& operator=(const RewriteLock&) = delete;

private:
    int m_fd = -1;
};

} // namespace

std::string JoinFields(std::span<const std::string> fields)
{
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i)
            line += '\t';
        for (const char c : fields[i])
            line += c == '\t' || c == '\n' || c == '\r' ? ' ' : c;
    }
    return line + '\n';
}

std::vector<std::string> SplitFields(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t from = 0;
    for (std::size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', from)) {
        fields.push_back(line.substr(from, tab - from));
        from = tab + 1;
    }
    fields.push_back(line.substr(from));
    return fields;
}

std::vector<std::string> ReadRecordLines(const std::filesystem::path& path, std::uintmax_t maxSize)
{
    std::vector<std::string> lines;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec) || std::filesystem::file_size(path, ec) > maxSize)
        return lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(std::move(line));
    return lines;
}

bool RewriteRecordFile(const std::filesystem::path& path, std::uintmax_t maxSize, std::size_t kept,
                       const std::function<void(std::vector<std::string>&)>& change, bool privateFile,
                       std::string& error)
{
    RewriteLock lock(path);
    std::vector<std::string> lines = ReadRecordLines(path, maxSize);
    change(lines);
    const std::size_t from = lines.size() > kept ? lines.size() - kept : 0;
    std::string text;
    for (std::size_t i = from; i < lines.size(); ++i)
        text += lines[i] + '\n';
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    if (!privateFile) {
        if (const Error failed = WriteFileAtomically(path, bytes)) {
            error = failed.message.empty() ? path.string() + " cannot be written" : failed.message;
            return false;
        }
        return true;
    }
    const auto temporary = WriteTemporaryFile(path.parent_path(), path.filename().string(), bytes, 0600, true, error);
    if (!temporary)
        return false;
    std::error_code ec;
    std::filesystem::rename(*temporary, path, ec);
    if (ec) {
        std::filesystem::remove(*temporary, ec);
        error = path.string() + " cannot be written: " + ec.message();
        return false;
    }
    return true;
}

std::string UtcNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

} // namespace nemora::dfuse

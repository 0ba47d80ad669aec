#include "dfuse/write_journal.h"

#include "dfuse/dfu_file.h"
#include "dfuse/dfuse_operations.h"
#include "dfuse/record_file.h"
#include "dfuse/sha256.h"
#include "i18n/translate.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string_view>
#include <unistd.h>
#include <utility>

namespace nemora::dfuse {

namespace {

constexpr std::size_t kFields = 16;
constexpr std::uintmax_t kMaxWritesSize = 64 * 1024;

std::filesystem::path FileOf(const std::filesystem::path& folder)
{
    return folder / kWritesFileName;
}

std::string Line(const WriteRecord& r)
{
    const std::array<std::string, kFields> fields = {r.id,
                                                     r.started,
                                                     r.program,
                                                     r.model,
                                                     std::to_string(r.vid),
                                                     std::to_string(r.pid),
                                                     std::to_string(r.bcd),
                                                     r.serial,
                                                     r.port,
                                                     r.title,
                                                     r.detail,
                                                     r.file,
                                                     r.hash,
                                                     r.snapshot,
                                                     r.resolves,
                                                     r.done ? "done" : "started"};
    std::string line = JoinFields(fields);
    line.pop_back();
    return line;
}

std::optional<WriteRecord> Parse(const std::string& line)
{
    const std::vector<std::string> f = SplitFields(line);
    if (f.size() != kFields || f[0].empty() || (f[15] != "done" && f[15] != "started"))
        return std::nullopt;
    const auto u16 = [](const std::string& text) {
        return static_cast<std::uint16_t>(std::strtoul(text.c_str(), nullptr, 10));
    };
    return WriteRecord{f[0], f[1], f[2],  f[3],  u16(f[4]), u16(f[5]), u16(f[6]), f[7],
                       f[8], f[9], f[10], f[11], f[12],     f[13],     f[14],     f[15] == "done"};
}

bool SameDevice(const WriteRecord& a, const WriteRecord& b)
{
    return WentTo(a, b.vid, b.pid, b.bcd, b.serial, b.port);
}

using i18n::Tr;

// "9 Dec" for the day of a month (0 is January), in the user's language.
std::string DayOfMonth(int month, int day)
{
    std::string format;
    switch (month) {
    case 0:
        format = Tr("WriteJournal", "%d Jan");
        break;
    case 1:
        format = Tr("WriteJournal", "%d Feb");
        break;
    case 2:
        format = Tr("WriteJournal", "%d Mar");
        break;
    case 3:
        format = Tr("WriteJournal", "%d Apr");
        break;
    case 4:
        format = Tr("WriteJournal", "%d May");
        break;
    case 5:
        format = Tr("WriteJournal", "%d Jun");
        break;
    case 6:
        format = Tr("WriteJournal", "%d Jul");
        break;
    case 7:
        format = Tr("WriteJournal", "%d Aug");
        break;
    case 8:
        format = Tr("WriteJournal", "%d Sep");
        break;
    case 9:
        format = Tr("WriteJournal", "%d Oct");
        break;
    case 10:
        format = Tr("WriteJournal", "%d Nov");
        break;
    default:
        format = Tr("WriteJournal", "%d Dec");
        break;
    }
    char text[40];
    std::snprintf(text, sizeof text, format.c_str(), day);
    return text;
}

// What the records call a write, as the user reads it; a title of no known kind as it is.
std::string ShownTitle(const std::string& title)
{
    if (title == "firmware update")
        return Tr("WriteJournal", "firmware update");
    if (title == "settings write")
        return Tr("WriteJournal", "settings write");
    if (title == "settings restore")
        return Tr("WriteJournal", "settings restore");
    return title;
}

// "9 Dec at 14:02" in local time, from "YYYY-MM-DDTHH:MM:SSZ".
std::string LocalDate(const std::string& utc)
{
    std::tm parts{};
    if (std::sscanf(utc.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ", &parts.tm_year, &parts.tm_mon, &parts.tm_mday,
                    &parts.tm_hour, &parts.tm_min, &parts.tm_sec) != 6)
        return utc;
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    const std::time_t when = timegm(&parts);
    std::tm local{};
    localtime_r(&when, &local);
    char text[80];
    std::snprintf(text, sizeof text, Tr("WriteJournal", "%s at %02d:%02d").c_str(),
                  DayOfMonth(local.tm_mon % 12, local.tm_mday).c_str(), local.tm_hour, local.tm_min);
    return text;
}

} // namespace

std::vector<WriteRecord> ReadWrites(const std::filesystem::path& folder)
{
    std::vector<WriteRecord> records;
    for (const std::string& line : ReadRecordLines(FileOf(folder), kMaxWritesSize)) {
        if (auto record = Parse(line))
            records.push_back(std::move(*record));
    }
    return records;
}

bool KeepWrite(const std::filesystem::path& folder, WriteRecord& record, std::string& error)
{
    static std::atomic<unsigned> s_count{0};
    if (record.started.empty())
        record.started = UtcNow();
    record.id = record.started + "-" + std::to_string(::getpid()) + "-" + std::to_string(++s_count);
    return RewriteRecordFile(
        FileOf(folder), kMaxWritesSize, kWritesKept,
        [&](std::vector<std::string>& lines) {
            std::erase_if(lines, [](const std::string& line) { return !Parse(line); });
            lines.push_back(Line(record));
        },
        true, error);
}

bool UpdateWrite(const std::filesystem::path& folder, const std::string& id,
                 const std::function<bool(WriteRecord&)>& change, std::string& error)
{
    return RewriteRecordFile(
        FileOf(folder), kMaxWritesSize, kWritesKept,
        [&](std::vector<std::string>& lines) {
            std::vector<std::string> kept;
            for (const std::string& line : lines) {
                auto record = Parse(line);
                if (!record)
                    continue;
                if (record->id != id)
                    kept.push_back(line);
                else if (change(*record))
                    kept.push_back(Line(*record));
            }
            lines = std::move(kept);
        },
        true, error);
}

std::vector<WriteRecord> CutShortWrites(const std::vector<WriteRecord>& records)
{
    std::vector<WriteRecord> cut;
    for (std::size_t i = records.size(); i-- > 0;) {
        const WriteRecord& r = records[i];
        if (r.done)
            continue;
        bool finished = false;
        for (std::size_t later = i + 1; later < records.size() && !finished; ++later)
            finished = records[later].done && records[later].title == r.title && SameDevice(records[later], r);
        if (!finished)
            cut.push_back(r);
    }
    return cut;
}

bool WentTo(const WriteRecord& record, std::uint16_t vid, std::uint16_t pid, std::uint16_t bcd,
            const std::string& serial, const std::string& port)
{
    if (record.vid != vid || record.pid != pid || (record.bcd >> 6) != (bcd >> 6))
        return false;
    return record.serial.empty() ? serial.empty() && record.port == port : record.serial == serial;
}

bool KeptByThisProcess(const WriteRecord& record)
{
    return record.id.find("Z-" + std::to_string(::getpid()) + "-") != std::string::npos;
}

std::string HashOfFile(const std::filesystem::path& path)
{
    OpenedFile opened = OpenRegularFile(path);
    if (opened.kind != OpenedFile::Kind::Regular)
        return {};
    std::vector<std::uint8_t> bytes;
    std::size_t at = 0;
    if (opened.size <= kMaxFileSize) {
        bytes.resize(static_cast<std::size_t>(opened.size));
        while (at < bytes.size()) {
            const ssize_t got = ::read(opened.fd, bytes.data() + at, bytes.size() - at);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            at += static_cast<std::size_t>(got);
        }
    }
    const bool ok = opened.size <= kMaxFileSize && at == bytes.size();
    ::close(opened.fd);
    return ok ? Sha256Hex(bytes) : std::string();
}

WriteFile CheckWriteFile(const WriteRecord& record)
{
    std::error_code ec;
    if (record.file.empty() || !std::filesystem::exists(record.file, ec))
        return WriteFile::Missing;
    return HashOfFile(record.file) == record.hash && !record.hash.empty() ? WriteFile::Same : WriteFile::Changed;
}

std::string WriteAgainRefusal(const WriteRecord& record)
{
    const std::string name = std::filesystem::path(record.file).filename().string();
    switch (CheckWriteFile(record)) {
    case WriteFile::Same:
        return {};
    case WriteFile::Missing:
        return record.file.empty() ? Tr("WriteJournal", "the write kept no file")
                                   : i18n::Fill(Tr("WriteJournal", "%1 is not there any more"), {record.file});
    case WriteFile::Changed:
        break;
    }
    return i18n::Fill(Tr("WriteJournal", "%1 has changed since (its bytes are not those that were written)"),
                      {record.file});
}

std::string CutShortText(const WriteRecord& record)
{
    // Shown, never stored: the record's own fields stay as they were written.
    const std::string title = ShownTitle(record.title);
    const std::string when = LocalDate(record.started);
    if (record.detail.empty())
        return i18n::Fill(Tr("WriteJournal", "The %1 of %2 was cut short on %3"), {title, record.model, when});
    return i18n::Fill(Tr("WriteJournal", "The %1 of %2 was cut short on %3 (%4)"),
                      {title, record.model, when, record.detail});
}

// ---------------------------------------------------------------- one write

WriteJournal::WriteJournal(std::filesystem::path folder, WriteRecord record)
    : m_folder(std::move(folder)), m_record(std::move(record))
{}

bool WriteJournal::Begin(std::string& error)
{
    m_kept = KeepWrite(m_folder, m_record, error);
    return m_kept;
}

void WriteJournal::See(const JobEvent& event)
{
    if (!m_kept)
        return;
    if (event.kind == JobEvent::Kind::Snapshot && m_record.snapshot.empty()) {
        m_record.snapshot = event.text;
        std::string error;
        UpdateWrite(
            m_folder, m_record.id,
            [&](WriteRecord& r) {
                r.snapshot = event.text;
                return true;
            },
            error);
    } else if (event.kind == JobEvent::Kind::Launched &&
               (event.operation == OPERATION_ERASE || event.operation == OPERATION_UPGRADE)) {
        m_changing = true;
    }
}

void WriteJournal::End(bool verified)
{
    if (!m_kept)
        return;
    m_kept = false;
    std::string error;
    if (verified || !m_changing) {
        // Done, or nothing reached the device: either way nothing is left to finish.
        UpdateWrite(
            m_folder, m_record.id,
            [&](WriteRecord& r) {
                r.done = true;
                return verified;
            },
            error);
    }
    if (verified && !m_record.resolves.empty()) {
        UpdateWrite(
            m_folder, m_record.resolves,
            [](WriteRecord& r) {
                r.done = true;
                return true;
            },
            error);
    }
}

} // namespace nemora::dfuse

#pragma once

// The writes to each device's flash, kept in a small private file of the state folder so that a write cut
// short (the device unplugged, the program closed or crashed, a failed erase or verify) is not forgotten
// when the program ends. A write is kept before anything reaches the device and marked done once it
// verified; one that ended without changing the device is forgotten again. The newest kWritesKept stay.

#include "dfuse/transfer_job.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nemora::dfuse {

inline constexpr std::size_t kWritesKept = 20;
inline constexpr const char* kWritesFileName = "writes.tsv";

struct WriteRecord {
    std::string id;      // unique among the records; given by KeepWrite
    std::string started; // UTC, "YYYY-MM-DDTHH:MM:SSZ"; given by KeepWrite when empty
    std::string program; // "nemora" or "nemora-cli"
    std::string model;   // the catalogue's model name ("Product 01")
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    std::uint16_t bcd = 0; // in update mode
    std::string serial;
    std::string port;
    std::string title;    // "firmware update", "settings write", "settings restore"
    std::string detail;   // what the user knows it by: the file's name, or "Write To Device (Power Line)"
    std::string file;     // the file written from
    std::string hash;     // SHA-256 of its bytes
    std::string snapshot; // the snapshot kept before it; empty when none was
    std::string resolves; // the id of the write cut short that this one finishes
    bool done = false;
};

std::vector<WriteRecord> ReadWrites(const std::filesystem::path& folder);

// Adds the record (its id and start filled in). False with `error` set when it cannot be written.
bool KeepWrite(const std::filesystem::path& folder, WriteRecord& record, std::string& error);

// Changes the record with that id: `change` edits it, or returns false to forget it.
bool UpdateWrite(const std::filesystem::path& folder, const std::string& id,
                 const std::function<bool(WriteRecord&)>& change, std::string& error);

// The writes cut short, newest first: those not done that no later write of the same kind to the same
// device has finished.
std::vector<WriteRecord> CutShortWrites(const std::vector<WriteRecord>& records);

// The device in update mode the record's write went to: the same ids and model, then the same serial
// number, or the same port when the write knew no serial.
bool WentTo(const WriteRecord& record, std::uint16_t vid, std::uint16_t pid, std::uint16_t bcd,
            const std::string& serial, const std::string& port);

// Whether the file is still there with the bytes that were written from it.
enum class WriteFile { Same, Changed, Missing };
WriteFile CheckWriteFile(const WriteRecord& record);
// Why it cannot be written again ("demo.vek has changed since (its bytes differ)"); empty when it can.
std::string WriteAgainRefusal(const WriteRecord& record);

// "The firmware update of Product 01 was cut short on 9 Dec at 14:02 (demo-k01-v1.2.vek)", in local time.
std::string CutShortText(const WriteRecord& record);

// The write was kept by this process (its id says so).
bool KeptByThisProcess(const WriteRecord& record);

// The SHA-256 of a regular file's bytes; empty when it cannot be read.
std::string HashOfFile(const std::filesystem::path& path);

// One write followed through its job's events: kept when it begins, done when it verified, forgotten when
// it ended without an erase or download having started, left as cut short otherwise (and when the program
// never gets to End).
class WriteJournal {
public:
    WriteJournal(std::filesystem::path folder, WriteRecord record);
    bool Begin(std::string& error);
    void See(const JobEvent& event);
    void End(bool verified);
    const WriteRecord& Record() const { return m_record; }

private:
    std::filesystem::path m_folder;
    WriteRecord m_record;
    bool m_kept = false;
    bool m_changing = false; // an erase or a download started
};

} // namespace nemora::dfuse

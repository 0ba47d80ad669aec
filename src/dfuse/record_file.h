#pragma once

// Small files of records the program keeps in its state folder (the outcomes of the last operations, the
// writes not yet finished): one record per line, fields separated by tabs, the newest lines kept. Each
// rewrite is whole or not at all and holds a lock beside the file, so that the console and nemora-cli
// rewriting the same file one after the other never lose each other's lines.

#include "dfuse/dfu_file.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace nemora::dfuse {

// The fields as one line (with its line break); tabs and line breaks inside a field become blanks.
std::string JoinFields(std::span<const std::string> fields);
// The fields of a line, empty ones at its end included.
std::vector<std::string> SplitFields(const std::string& line);

// The lines of the file, without their line breaks; nothing when it is missing, not a plain file or larger
// than maxSize.
std::vector<std::string> ReadRecordLines(const std::filesystem::path& path, std::uintmax_t maxSize);

// Rewrites the file under its lock: `change` gets the lines as they are and leaves those to keep, of which
// the last `kept` are written. With `privateFile` the file is made readable by this user only. False with
// `error` set when it cannot be written; the file is then as it was.
bool RewriteRecordFile(const std::filesystem::path& path, std::uintmax_t maxSize, std::size_t kept,
                       const std::function<void(std::vector<std::string>&)>& change, bool privateFile,
                       std::string& error);

// Now, in UTC: "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcNow();

} // namespace nemora::dfuse

#include "dfuse/hex_records.h"

#include <algorithm>
#include <optional>

namespace nemora::dfuse {

namespace {

struct Chunk {
    std::uint64_t address;
    std::vector<std::uint8_t> data;
    std::size_t line;
};

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Decodes pairs of hex digits; nothing when the text has an odd length or a non-hex character.
std::optional<std::vector<std::uint8_t>> DecodeHex(std::string_view text)
{
    if (text.size() % 2 != 0)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = HexDigit(text[i]);
        const int lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return bytes;
}

RecordsResult Failed(std::size_t line, const std::string& what)
{
    RecordsResult r;
    r.message = "line " + std::to_string(line) + ": " + what;
    return r;
}

// A fault of the whole file rather than of one line (an empty file, a missing end record).
RecordsResult FailedFile(const std::string& what)
{
    RecordsResult r;
    r.message = what;
    return r;
}

// Sorts the chunks, refuses overlaps and merges contiguous ones.
RecordsResult Assemble(std::vector<Chunk> chunks)
{
    std::stable_sort(chunks.begin(), chunks.end(),
                     [](const Chunk& a, const Chunk& b) { return a.address < b.address; });
    RecordsResult result;
    std::uint64_t end = 0;
    std::size_t endLine = 0;
    for (Chunk& c : chunks) {
        if (c.data.empty())
            continue;
        if (!result.elements.empty() && c.address < end)
            return Failed(
                c.line, "data at 0x" +
                            [&] {
                                char t[16];
                                std::snprintf(t, sizeof t, "%08llX", static_cast<unsigned long long>(c.address));
                                return std::string(t);
                            }() +
                            " overlaps data given on line " + std::to_string(endLine));
        if (!result.elements.empty() && c.address == end) {
            auto& data = result.elements.back().data;
            data.insert(data.end(), c.data.begin(), c.data.end());
        } else {
            result.elements.push_back(Element{static_cast<std::uint32_t>(c.address), std::move(c.data)});
        }
        end = result.elements.back().End();
        endLine = c.line;
    }
    result.ok = true;
    return result;
}

// Splits text into lines, dropping a trailing carriage return; calls f(lineNumber, line) for every line
// that is not blank, stopping when f returns false.
template <typename F>
void ForEachLine(std::string_view text, F f)
{
    std::size_t number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.empty())
            continue;
        if (!f(number, line))
            return;
    }
}

} // namespace

RecordsResult ParseIntelHex(std::string_view text)
{
    std::vector<Chunk> chunks;
    std::uint64_t base = 0;
    bool ended = false;
    std::optional<RecordsResult> failure;
    ForEachLine(text, [&](std::size_t n, std::string_view line) {
        if (ended) {
            failure = Failed(n, "data after the end-of-file record");
            return false;
        }
        if (line[0] != ':') {
            failure = Failed(n, "a record must start with ':'");
            return false;
        }
        auto bytes = DecodeHex(line.substr(1));
        if (!bytes || bytes->size() < 5) {
            failure = Failed(n, "not a well-formed record");
            return false;
        }
        const std::vector<std::uint8_t>& b = *bytes;
        const std::size_t count = b[0];
        if (b.size() != count + 5) {
            failure = Failed(n, "byte count " + std::to_string(count) + " does not match the record's length");
            return false;
        }
        unsigned sum = 0;
        for (std::uint8_t v : b)
            sum += v;
        if ((sum & 0xFF) != 0) {
            failure = Failed(n, "checksum mismatch");
            return false;
        }
        const unsigned offset = (unsigned{b[1]} << 8) | b[2];
        const std::uint8_t type = b[3];
        const std::uint8_t* data = b.data() + 4;
        switch (type) {
        case 0x00: {
            const std::uint64_t address = base + offset;
            if (address + count > 0x100000000ull) {
                failure = Failed(n, "data beyond the 32-bit address space");
                return false;
            }
            chunks.push_back(Chunk{address, std::vector<std::uint8_t>(data, data + count), n});
            return true;
        }
        case 0x01:
            if (count != 0) {
                failure = Failed(n, "end-of-file record with data");
                return false;
            }
            ended = true;
            return true;
        case 0x02:
        case 0x04:
            if (count != 2) {
                failure = Failed(n, "address record needs 2 data bytes");
                return false;
            }
            base = ((std::uint64_t{data[0]} << 8) | data[1]) << (type == 0x02 ? 4 : 16);
            return true;
        case 0x03:
        case 0x05:
            return true; // start address: not part of the image
        default:
            failure = Failed(n, "unknown record type " + std::to_string(type));
            return false;
        }
    });
    if (failure)
        return *failure;
    if (!ended)
        return FailedFile(chunks.empty() ? "no records and no end-of-file record: the file is empty or not Intel HEX"
                                         : "no end-of-file record: the file is incomplete");
    return Assemble(std::move(chunks));
}

RecordsResult ParseSRecords(std::string_view text)
{
    std::vector<Chunk> chunks;
    std::size_t dataRecords = 0;
    bool ended = false;
    std::optional<RecordsResult> failure;
    ForEachLine(text, [&](std::size_t n, std::string_view line) {
        if (ended) {
            failure = Failed(n, "data after the termination record");
            return false;
        }
        if (line.size() < 2 || line[0] != 'S' || line[1] < '0' || line[1] > '9') {
            failure = Failed(n, "a record must start with 'S' and a type digit");
            return false;
        }
        const int type = line[1] - '0';
        auto bytes = DecodeHex(line.substr(2));
        if (!bytes || bytes->empty()) {
            failure = Failed(n, "not a well-formed record");
            return false;
        }
        const std::vector<std::uint8_t>& b = *bytes;
        const std::size_t count = b[0];
        if (b.size() != count + 1) {
            failure = Failed(n, "byte count " + std::to_string(count) + " does not match the record's length");
            return false;
        }
        unsigned sum = 0;
        for (std::uint8_t v : b)
            sum += v;
        if ((sum & 0xFF) != 0xFF) {
            failure = Failed(n, "checksum mismatch");
            return false;
        }
        std::size_t addressBytes = 0;
        switch (type) {
        case 0:
            return true; // header
        case 5:
        case 6: {
            // The count of S1, S2 and S3 records so far: a file that lost or gained records fails here.
            const std::size_t width = type == 5 ? 2 : 3;
            if (count != width + 1) {
                failure = Failed(n, "record count S" + std::to_string(type) + " needs " + std::to_string(width) +
                                        " count bytes");
                return false;
            }
            std::size_t stated = 0;
            for (std::size_t i = 0; i < width; ++i)
                stated = (stated << 8) | b[1 + i];
            if (stated != dataRecords) {
                failure = Failed(n, "record count S" + std::to_string(type) + " says " + std::to_string(stated) +
                                        " data records, but " + std::to_string(dataRecords) + " come before it");
                return false;
            }
            return true;
        }
        case 1:
        case 9:
            addressBytes = 2;
            break;
        case 2:
        case 8:
            addressBytes = 3;
            break;
        case 3:
        case 7:
            addressBytes = 4;
            break;
        default:
            failure = Failed(n, "unknown record type S" + std::to_string(type));
            return false;
        }
        if (count < addressBytes + 1) {
            failure = Failed(n, "record too short for its address");
            return false;
        }
        if (type >= 7) {
            ended = true;
            return true;
        }
        std::uint64_t address = 0;
        for (std::size_t i = 0; i < addressBytes; ++i)
            address = (address << 8) | b[1 + i];
        const std::size_t dataLength = count - addressBytes - 1;
        const std::uint8_t* data = b.data() + 1 + addressBytes;
        if (address + dataLength > 0x100000000ull) {
            failure = Failed(n, "data beyond the 32-bit address space");
            return false;
        }
        chunks.push_back(Chunk{address, std::vector<std::uint8_t>(data, data + dataLength), n});
        ++dataRecords;
        return true;
    });
    if (failure)
        return *failure;
    if (!ended)
        return FailedFile(chunks.empty() ? "no records and no termination record: the file is empty or not S-records"
                                         : "no termination record (S7, S8 or S9): the file is incomplete");
    return Assemble(std::move(chunks));
}

} // namespace nemora::dfuse

#include "dfuse/memory_layout.h"

#include <cctype>

namespace nemora::dfuse {
namespace {

class LayoutReader {
public:
    explicit LayoutReader(std::string_view text) : m_text(text) {}

    bool AtEnd() const { return m_pos >= m_text.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_text[m_pos]; }
    std::size_t Pos() const { return m_pos; }
    void Skip() { ++m_pos; }

    bool Accept(char c)
    {
        if (Peek() == c && !AtEnd()) {
            ++m_pos;
            return true;
        }
        return false;
    }

    // Decimal digits into `value`; false when there are none or the value passes `limit`.
    bool Decimal(std::uint64_t limit, std::uint64_t& value)
    {
        value = 0;
        const std::size_t start = m_pos;
        while (!AtEnd() && std::isdigit(static_cast<unsigned char>(Peek()))) {
            value = value * 10 + static_cast<std::uint64_t>(Peek() - '0');
            if (value > limit) {
                return false;
            }
            ++m_pos;
        }
        return m_pos > start;
    }

    // Hexadecimal digits (at most 8) into `value`.
    bool Hex(std::uint32_t& value)
    {
        value = 0;
        const std::size_t start = m_pos;
        while (!AtEnd() && std::isxdigit(static_cast<unsigned char>(Peek()))) {
            if (m_pos - start == 8) {
                return false;
            }
            const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(Peek())));
            value = value << 4 | static_cast<std::uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
            ++m_pos;
        }
        return m_pos > start;
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

LayoutResult Fail(std::size_t position, std::string_view what)
{
    return {false, "character " + std::to_string(position + 1) + ": " + std::string(what)};
}

} // namespace

LayoutResult ParseMemoryLayout(std::string_view text, std::uint8_t alternate, MappingTarget& target)
{
    target = MappingTarget{};
    target.bAlternate = alternate;
    // Some devices pad the string with blanks or NULs at the end; they carry nothing.
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) {
        text.remove_suffix(1);
    }
    if (text.empty() || text.front() != '@') {
        return Fail(0, "a memory layout starts with '@'");
    }
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) {
        return Fail(text.size(), "no '/' after the name: the layout has no address");
    }

    MappingTarget parsed;
    parsed.bAlternate = alternate;
    parsed.szName.assign(text.substr(1, slash - 1));
    LayoutReader in(text);
    for (std::size_t i = 0; i < slash; ++i) {
        in.Skip();
    }
    while (in.Accept('/')) {
        if (!(in.Accept('0') && (in.Accept('x') || in.Accept('X')))) {
            return Fail(in.Pos(), "an address starts with 0x");
        }
        std::uint32_t address = 0;
        if (!in.Hex(address)) {
            return Fail(in.Pos(), "an address needs one to eight hexadecimal digits");
        }
        if (!in.Accept('/')) {
            return Fail(in.Pos(), "expected '/' after the address");
        }
        std::uint64_t next = address;
        do {
            std::uint64_t count = 0;
            std::uint64_t size = 0;
            if (!in.Decimal(kMaxLayoutSectors, count) || count == 0) {
                return Fail(in.Pos(), "a sector count from 1 to 65536 is expected");
            }
            if (!in.Accept('*')) {
                return Fail(in.Pos(), "expected '*' after the sector count");
            }
            if (!in.Decimal(0xFFFFFFFFu, size) || size == 0) {
                return Fail(in.Pos(), "a sector size from 1 to 4294967295 is expected");
            }
            std::uint64_t unit = 1;
            if (in.Accept('K')) {
                unit = 1024;
            } else if (in.Accept('M')) {
                unit = 1024 * 1024;
            } else if (!in.Accept('B')) {
                in.Accept(' ');
            }
            const char type = in.Peek();
            if (type < 'a' || type > 'g') {
                return Fail(in.Pos(), "a sector type letter from 'a' to 'g' is expected");
            }
            in.Skip();
            const std::uint64_t sectorSize = size * unit;
            if (sectorSize > 0xFFFFFFFFu) {
                return Fail(in.Pos(), "a sector is larger than 4 GiB");
            }
            if (parsed.sectors.size() + count > kMaxLayoutSectors) {
                return Fail(in.Pos(), "more than 65536 sectors");
            }
            if (next + count * sectorSize > 0x100000000ull) {
                return Fail(in.Pos(), "the sectors run past the end of the 32-bit address space");
            }
            for (std::uint64_t k = 0; k < count; ++k) {
                parsed.sectors.push_back(MappingSector{static_cast<std::uint32_t>(next),
                                                       static_cast<std::uint32_t>(sectorSize),
                                                       static_cast<std::uint8_t>(type & 0x07)});
                next += sectorSize;
            }
        } while (in.Accept(','));
    }
    if (!in.AtEnd()) {
        return Fail(in.Pos(), "unexpected character after the sectors");
    }
    target = std::move(parsed);
    return {true, {}};
}

} // namespace nemora::dfuse

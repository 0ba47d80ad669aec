#pragma once

// Reads a fuzz input from its front: fixed-size little-endian fields, then the rest as bytes. A field
// past the end reads as zero, so every input is a valid one and seeds are easy to write by hand.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>
#include <type_traits>

namespace nemora::fuzz {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_bytes(data, size) {}

    template <class T>
    T Take()
    {
        static_assert(std::is_integral_v<T>);
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < sizeof(T) && m_at < m_bytes.size(); ++i)
            value |= std::uint64_t{m_bytes[m_at++]} << (8 * i);
        return static_cast<T>(static_cast<std::make_unsigned_t<T>>(value));
    }

    // Up to n bytes.
    std::span<const std::uint8_t> Bytes(std::size_t n)
    {
        const std::size_t count = n < Remaining() ? n : Remaining();
        const auto out = m_bytes.subspan(m_at, count);
        m_at += count;
        return out;
    }
    std::span<const std::uint8_t> Rest() { return Bytes(Remaining()); }
    std::string_view Text(std::size_t n)
    {
        const auto b = Bytes(n);
        return {reinterpret_cast<const char*>(b.data()), b.size()};
    }
    std::size_t Remaining() const { return m_bytes.size() - m_at; }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_at = 0;
};

// A failed property: the fuzzer reports the input.
inline void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace nemora::fuzz

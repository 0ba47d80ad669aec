#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace nemora::settings {

// `format` with %1, %2 ... replaced by the values, in one pass: a '%' inside a value is never read again.
// The words around the values come from Tr(), so a translation may put the values in another order.
inline std::string Fill(std::string_view format, std::initializer_list<std::string_view> values)
{
    std::string text;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] >= '1' && format[i + 1] <= '9') {
            const auto n = static_cast<std::size_t>(format[i + 1] - '1');
            if (n < values.size()) {
                text += values.begin()[n];
                ++i;
                continue;
            }
        }
        text += format[i];
    }
    return text;
}

} // namespace nemora::settings

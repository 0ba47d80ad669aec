#include "settings/parameter_values.h"

#include <algorithm>
#include <limits>

namespace nemora::settings {

int ParseBoxText(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min(value * 10 + (text[i] - '0'), static_cast<long long>(std::numeric_limits<int>::max()) + 1);
    }
    if (negative)
        value = -value;
    return static_cast<int>(
        std::clamp<long long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

int LimitForCommit(int nValue)
{
    return std::clamp(nValue, kParameterMin, kParameterMax);
}

int ApplyArrowStep(int nValue, int nDelta)
{
    if (nDelta < 0) {
        const long long v = static_cast<long long>(nValue) + nDelta;
        return v < kParameterMin ? kParameterMin : static_cast<int>(v);
    }
    if (nDelta > 0) {
        const long long v = static_cast<long long>(nValue) + nDelta;
        return v > kParameterMax ? kParameterMax : static_cast<int>(v);
    }
    return nValue;
}

int AcceleratedStep(std::span<const UpDownAccel> table, std::int64_t nHeldMs)
{
    int step = 1;
    for (const UpDownAccel& entry : table) {
        if (nHeldMs >= static_cast<std::int64_t>(entry.nSec) * 1000)
            step = entry.nInc;
    }
    return step;
}

} // namespace nemora::settings

#include "i18n/translate.h"

#include <cstdarg>
#include <cstdio>

namespace nemora::i18n {

namespace {

Translator g_translator = nullptr;

} // namespace

void SetTranslator(Translator translator)
{
    g_translator = translator;
}

std::string Tr(const char* context, const char* source)
{
    return g_translator ? g_translator(context, source) : std::string(source);
}

std::string Fill(std::string_view format, std::initializer_list<std::string_view> values)
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

std::string FormatText(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (needed > 0) {
        text.resize(static_cast<std::size_t>(needed) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<std::size_t>(needed));
    }
    va_end(args);
    return text;
}

} // namespace nemora::i18n

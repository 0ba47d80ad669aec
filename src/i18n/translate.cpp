#include "i18n/translate.h"

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

} // namespace nemora::i18n

#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// The words of the console in the user's language. Texts built in the platform-free core go through Tr()
// with a context and the source text as the design wrote it; the console installs a translator at start,
// so they come out in the language it loaded. Without one (the CLI, the tests) Tr() returns the source
// text unchanged. The source texts are collected into the catalogues by lupdate, which reads Tr() as
// QCoreApplication::translate() and NEMORA_TR_NOOP() as QT_TRANSLATE_NOOP().
namespace nemora::i18n {

// Returns the translation of `source` in `context`, or the source text itself when it has none. Called
// on any thread; it must not keep the pointers it is given.
using Translator = std::string (*)(const char* context, const char* source);

// Installs the console's translator; nullptr removes it. Set once at start, before any other thread runs.
void SetTranslator(Translator translator);

// `source` in the language of the installed translator.
std::string Tr(const char* context, const char* source);

// `format` with %1, %2 ... %9 replaced by the values, in one pass: a '%' inside a value is never read
// again. Texts from Tr() take their values this way, so that a translation may put them in another order.
std::string Fill(std::string_view format, std::initializer_list<std::string_view> values);

// printf-style formatting into a std::string of whatever length the text takes, for the texts from Tr()
// that keep printf's placeholders.
std::string FormatText(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

} // namespace nemora::i18n

// Marks a text kept in a table for the catalogues; it stays as written there and is translated where it
// is shown, with Tr() and the same context.
#define NEMORA_TR_NOOP(context, text) text

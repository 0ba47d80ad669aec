#include "cli/cli.h"

#include <charconv>
#include <cstdio>
#include <iostream>

namespace nemora::cli {

std::optional<std::string> ParsedArgs::Value(std::string_view name) const
{
    auto it = options.find(name);
    if (it == options.end() || it->second.empty())
        return std::nullopt;
    return it->second.back();
}

std::vector<std::string> ParsedArgs::Values(std::string_view name) const
{
    auto it = options.find(name);
    return it == options.end() ? std::vector<std::string>{} : it->second;
}

std::optional<ParsedArgs> ParseArgs(Args args, std::span<const OptionSpec> spec, std::string& error)
{
    ParsedArgs parsed;
    bool onlyPositionals = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (onlyPositionals || arg.size() < 2 || arg[0] != '-') {
            parsed.positionals.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyPositionals = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
            continue;
        }
        std::string_view name = arg;
        std::optional<std::string_view> inlineValue;
        if (auto eq = arg.find('='); eq != std::string_view::npos && arg.starts_with("--")) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        const OptionSpec* option = nullptr;
        for (const OptionSpec& s : spec) {
            if (s.name == name)
                option = &s;
        }
        if (!option) {
            error = "unknown option '" + std::string(name) + "'";
            return std::nullopt;
        }
        auto& values = parsed.options[std::string(name)];
        if (!values.empty() && !option->repeatable) {
            error = "option '" + std::string(name) + "' given more than once";
            return std::nullopt;
        }
        if (!option->takesValue) {
            if (inlineValue && !option->optionalValue) {
                error = "option '" + std::string(name) + "' takes no value";
                return std::nullopt;
            }
            if (inlineValue && inlineValue->empty()) {
                error = "option '" + std::string(name) + "' needs a value after '='";
                return std::nullopt;
            }
            values.emplace_back(inlineValue.value_or(std::string_view()));
            continue;
        }
        if (inlineValue) {
            values.emplace_back(*inlineValue);
        } else if (i + 1 < args.size()) {
            values.emplace_back(args[++i]);
        } else {
            error = "option '" + std::string(name) + "' needs a value";
            return std::nullopt;
        }
    }
    return parsed;
}

std::optional<ParsedArgs> ParseCommand(std::string_view command, Args args, std::span<const OptionSpec> spec,
                                       std::string_view help, int& exitCode)
{
    std::string error;
    std::optional<ParsedArgs> parsed = ParseArgs(args, spec, error);
    if (!parsed) {
        exitCode = UsageError(command, error);
        return std::nullopt;
    }
    if (parsed->help) {
        std::cout << help;
        exitCode = kExitOk;
        return std::nullopt;
    }
    return parsed;
}

int UsageError(std::string_view command, std::string_view message)
{
    std::cerr << "nemora-cli " << command << ": " << message << " (see 'nemora-cli " << command << " --help')\n";
    return kExitUsage;
}

int Failure(std::string_view command, std::string_view message)
{
    std::cerr << "nemora-cli " << command << ": " << message << '\n';
    return kExitFailure;
}

std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t maxValue)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || value > maxValue)
        return std::nullopt;
    return value;
}

std::string FileProblem(const std::string& path, const dfuse::Error& error)
{
    std::string line = path + ": " + std::string(dfuse::Describe(error.code));
    if (!error.message.empty())
        line += ": " + error.message;
    return line;
}

std::string PrintableText(std::string_view text)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || (b >= 0x80 && b < 0xA0) || b == '\\') {
            out += "\\x";
            out += kDigits[b >> 4];
            out += kDigits[b & 0xF];
        } else if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

std::string Hex(std::uint64_t value, int digits)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

void JsonWriter::Separate()
{
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_first.empty()) {
        if (!m_first.back())
            m_out << ',';
        m_first.back() = false;
    }
}

JsonWriter& WriteNames(JsonWriter& json, const CatalogueNames& names)
{
    return json.Key("product_name")
        .String(names.product)
        .Key("model_name")
        .String(names.model)
        .Key("firmware_version")
        .String(names.firmware);
}

JsonWriter& JsonWriter::BeginObject()
{
    Separate();
    m_out << '{';
    m_first.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::EndObject()
{
    m_out << '}';
    m_first.pop_back();
    return *this;
}

JsonWriter& JsonWriter::BeginArray()
{
    Separate();
    m_out << '[';
    m_first.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::EndArray()
{
    m_out << ']';
    m_first.pop_back();
    return *this;
}

JsonWriter& JsonWriter::Key(std::string_view key)
{
    Separate();
    m_out << '"' << Escape(key) << "\":";
    m_afterKey = true;
    return *this;
}

JsonWriter& JsonWriter::String(std::string_view value)
{
    Separate();
    m_out << '"' << Escape(value) << '"';
    return *this;
}

JsonWriter& JsonWriter::Int(long long value)
{
    Separate();
    m_out << value;
    return *this;
}

JsonWriter& JsonWriter::Raw(std::string_view value)
{
    Separate();
    m_out << value;
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value)
{
    Separate();
    m_out << (value ? "true" : "false");
    return *this;
}

std::string Latin1ToUtf8(std::string_view text)
{
    std::string out;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

std::string JsonWriter::Escape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
                out += esc;
            } else {
                out += c;
            }
        }
    }
    return out;
}

} // namespace nemora::cli

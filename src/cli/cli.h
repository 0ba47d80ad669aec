#pragma once

// Shared pieces of nemora-cli: the subcommand table, option parsing and JSON output.
// Conventions: data on stdout, messages on stderr, exit 0 on success, 1 on failure, 2 on bad arguments.

#include "device/device_identity.h"
#include "dfuse/dfu_file.h"

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nemora::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

using Args = std::span<const std::string_view>;

struct Command {
    std::string_view name;
    std::string_view summary;
    int (*run)(Args args); // args exclude the subcommand's name
};

// One option a subcommand accepts. Flags take no value (unless `optionalValue`: then "--name=VALUE" is
// accepted too, and "--name" alone keeps an empty value); the others take exactly one.
struct OptionSpec {
    std::string_view name; // with the dashes, e.g. "--vid" or "-o"
    bool takesValue;
    bool repeatable = false;
    bool optionalValue = false;
};

struct ParsedArgs {
    bool help = false;
    std::map<std::string, std::vector<std::string>, std::less<>> options;
    std::vector<std::string> positionals;

    bool Has(std::string_view name) const { return options.find(name) != options.end(); }
    // The last value given for an option, if any.
    std::optional<std::string> Value(std::string_view name) const;
    std::vector<std::string> Values(std::string_view name) const;
};

// Parses args against the option table. "--help" and "-h" are always accepted. On a bad argument returns
// nothing and sets error to a one-line explanation.
std::optional<ParsedArgs> ParseArgs(Args args, std::span<const OptionSpec> spec, std::string& error);

// The usual start of a subcommand: parses its arguments. With --help, prints the help text on stdout and
// returns nothing with exitCode kExitOk; on a bad argument, prints the one-line usage error and returns
// nothing with exitCode kExitUsage.
std::optional<ParsedArgs> ParseCommand(std::string_view command, Args args, std::span<const OptionSpec> spec,
                                       std::string_view help, int& exitCode);

// Prints "nemora-cli <command>: <message>" on stderr and returns kExitUsage.
int UsageError(std::string_view command, std::string_view message);
// Prints "nemora-cli <command>: <message>" on stderr and returns kExitFailure.
int Failure(std::string_view command, std::string_view message);

// Parses decimal or 0x-prefixed hexadecimal text that must fit in maxValue.
std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t maxValue);

// Text from a file made safe for a terminal: control characters (C0, DEL, C1) and backslashes as \xHH,
// bytes above 0x7F taken as Latin-1, so every byte stays visible and none can move the cursor.
std::string PrintableText(std::string_view text);

// "FILE: what is wrong: details", the one line every file problem gets.
std::string FileProblem(const std::string& path, const dfuse::Error& error);

// Names from files and devices are bytes in the device's code page; JSON wants UTF-8, so bytes above 0x7F
// are taken as Latin-1 (one code point each), which keeps every byte visible.
std::string Latin1ToUtf8(std::string_view text);

// "0x%04X"-style hexadecimal text.
std::string Hex(std::uint64_t value, int digits);

// A small streaming JSON writer; it puts commas where they belong.
class JsonWriter {
public:
    explicit JsonWriter(std::ostream& out) : m_out(out) {}
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    JsonWriter& Key(std::string_view key);
    JsonWriter& String(std::string_view value);
    JsonWriter& Int(long long value);
    JsonWriter& Bool(bool value);
    // A value written as it is given, for numbers that are not integers.
    JsonWriter& Raw(std::string_view value);

    static std::string Escape(std::string_view text);

private:
    void Separate();

    std::ostream& m_out;
    std::vector<bool> m_first; // one entry per open container
    bool m_afterKey = false;
};

// The names as the members "product_name", "model_name" and "firmware_version" of the open object.
JsonWriter& WriteNames(JsonWriter& json, const CatalogueNames& names);

// Subcommands, one function each; the table lives in main.cpp.
int RunModels(Args args);
int RunIdentify(Args args);
int RunInspect(Args args);
int RunPack(Args args);
int RunUnpack(Args args);
int RunList(Args args);
int RunFlash(Args args);
int RunRead(Args args);
int RunLeave(Args args);
int RunSettings(Args args);
int RunSettingsSnapshots(Args args); // settings snapshots
int RunSettingsRestore(Args args);   // settings restore
int RunLogo(Args args);              // only in builds with Qt (NEMORA_CLI_LOGO)
int RunInstallUdevRule(Args args);
int RunReport(Args args);
int RunRecover(Args args);

} // namespace nemora::cli

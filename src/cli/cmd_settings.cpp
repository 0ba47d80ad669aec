// nemora-cli settings show, set, save and load: the parameter area (the settings record) and settings files,
// over the same record, file layout and transfer jobs the console's "Customize" tab uses.

#include "cli/cli.h"
#include "cli/cli_device.h"
#include "settings/curve_chart.h"
#include "settings/settings_file.h"
#include "settings/settings_record.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <iostream>

namespace nemora::cli {
namespace {

constexpr std::string_view kSettingsHelp =
    "Usage: nemora-cli settings SUBCOMMAND [OPTIONS]\n\n"
    "The user settings of a device in update mode (its parameter area) and settings files (.vek).\n\n"
    "Subcommands:\n"
    "  show [--json]            print the settings record\n"
    "  set KEY=VALUE ...        change fields of the record on the device\n"
    "  save FILE                back up both user areas into a settings file\n"
    "  load FILE [--exact]      write a settings file's areas to the device\n"
    "  snapshots [--json]       list the snapshots kept before every write to a device\n"
    "  restore FILE|--latest    write a snapshot's areas back to the device\n\n"
    "Every subcommand takes --help and chooses its device with --device PATH or --serial SERIAL, and\n"
    "waits for it with --wait[=SECONDS]; those that write refuse to guess among several devices.\n";

using settings::kParameterFields;
using Field = settings::ParameterFieldSpec;

// A whole number, decimal or 0x-prefixed hexadecimal, as every number nemora-cli takes.
std::optional<int> ParseInt(std::string_view text)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// Exactly ten comma-separated whole numbers: an eleventh value or an empty one (a trailing comma) is
// refused rather than dropped.
std::optional<std::array<int, kCurvePointCount>> ParseCurve(std::string_view text)
{
    std::array<int, kCurvePointCount> values{};
    std::size_t count = 0;
    for (;;) {
        const std::size_t comma = text.find(',');
        const auto value = ParseInt(text.substr(0, comma));
        if (!value || count == values.size()) {
            return std::nullopt;
        }
        values[count++] = *value;
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
    }
    if (count != values.size()) {
        return std::nullopt;
    }
    return values;
}

// Tenths of a watt as the record holds them: whole watts without a decimal, else one decimal.
std::string PowerText(std::uint16_t tenths)
{
    return tenths % 10 == 0 ? std::to_string(tenths / 10)
                            : std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

std::string JoinPower(const CurvePoints& points)
{
    std::string text;
    for (std::size_t i = 0; i < points.size(); ++i) {
        text += (i ? "," : "") + PowerText(points[i]);
    }
    return text;
}

std::string JoinTemperature(const CurvePoints& points)
{
    std::string text;
    for (std::size_t i = 0; i < points.size(); ++i) {
        text += (i ? "," : "") + std::to_string(points[i]);
    }
    return text;
}

int ReadRecord(std::string_view command, AreaDevice& device, SettingsRecord& record)
{
    std::vector<std::uint8_t> bytes;
    if (const int status =
            ReadArea(command, device, device.identity.m_dwParamAddress, device.identity.m_dwParamSize, bytes);
        status >= 0) {
        return status;
    }
    record.TakeIn(bytes.data(), bytes.size());
    return -1;
}

// The parameter area as the record's bytes, the length of the device's area.
std::span<const std::uint8_t> AreaBytes(const SettingsRecord& record, const CDeviceIdentity& identity)
{
    return {record.Data(), std::min<std::size_t>(identity.m_dwParamSize, SettingsRecord::kSize)};
}

// ---------------------------------------------------------------- show

int RunShow(Args args)
{
    static constexpr std::array<OptionSpec, 4> kSpec = {
        {{"--json", false}, kDevicePathOption, kSerialOption, kWaitOption}};
    int exitCode = kExitOk;
    auto parsed =
        ParseCommand("settings show", args, kSpec,
                     "Usage: nemora-cli settings show [--json] [--device PATH | --serial SERIAL] [--wait[=S]]\n\n"
                     "Reads the device's parameter area and prints its fields as stored (even when out\n"
                     "of range): ni, ti, ss, tcr, tcr_m1, tcr_m2, display_level, temperature_unit (F or C),\n"
                     "power (ten points in watts), temperature (ten points in the record's unit),\n"
                     "marker_ok (bytes 0 and 1 are 5A 5A) and limits (min_power, max_power,\n"
                     "min_temperature, max_temperature for this device and the record's unit).\n\n"
                     "  --json   one JSON object with exactly those keys\n",
                     exitCode);
    if (!parsed) {
        return exitCode;
    }
    if (!parsed->positionals.empty()) {
        return UsageError("settings show", "unexpected argument '" + parsed->positionals.front() + "'");
    }
    AreaDevice device;
    if (const int status = OpenAreaDevice("settings show", *parsed, DeviceUse::Reads, device); status >= 0) {
        return status;
    }
    SettingsRecord record;
    if (const int status = ReadRecord("settings show", device, record); status >= 0) {
        return status;
    }
    const CurveLimits limits = CurveLimitsFor(device.identity, record.TemperatureUnit());
    const char* unit = record.IsFahrenheit() ? "F" : "C";
    const bool markerOk = record.Marker() == SettingsRecord::kMarkerValue;
    if (parsed->Has("--json")) {
        JsonWriter w(std::cout);
        w.BeginObject();
        for (const Field& f : kParameterFields) {
            w.Key(f.key).Int(record.Word(f.offset));
        }
        w.Key("temperature_unit").String(unit);
        w.Key("power").BeginArray();
        for (std::uint16_t p : record.PowerCurve()) {
            w.Raw(PowerText(p));
        }
        w.EndArray().Key("temperature").BeginArray();
        for (std::uint16_t t : record.TemperatureCurve()) {
            w.Int(t);
        }
        w.EndArray().Key("marker_ok").Bool(markerOk);
        w.Key("limits")
            .BeginObject()
            .Key("min_power")
            .Int(limits.wMinPower)
            .Key("max_power")
            .Int(limits.wMaxPower)
            .Key("min_temperature")
            .Int(limits.wMinTemperature)
            .Key("max_temperature")
            .Int(limits.wMaxTemperature)
            .EndObject();
        w.EndObject();
        std::cout << '\n';
        return kExitOk;
    }
    for (const Field& f : kParameterFields) {
        std::cout << f.key << ": " << record.Word(f.offset) << '\n';
    }
    std::cout << "temperature_unit: " << unit << '\n'
              << "power: " << JoinPower(record.PowerCurve()) << " W\n"
              << "temperature: " << JoinTemperature(record.TemperatureCurve()) << " " << unit << '\n'
              << "marker_ok: " << (markerOk ? "yes" : "no") << '\n'
              << "limits: power " << limits.wMinPower << " to " << limits.wMaxPower << " W, temperature "
              << limits.wMinTemperature << " to " << limits.wMaxTemperature << " " << unit << '\n';
    return kExitOk;
}

// ---------------------------------------------------------------- set

struct Change {
    std::string key;
    std::string value;
};

int RunSet(Args args)
{
    static constexpr std::array<OptionSpec, 4> kSpec = {
        {kNoSnapshotOption, kDevicePathOption, kSerialOption, kWaitOption}};
    int exitCode = kExitOk;
    auto parsed =
        ParseCommand("settings set", args, kSpec,
                     "Usage: nemora-cli settings set KEY=VALUE ... [--device PATH | --serial SERIAL] [--wait[=S]]\n\n"
                     "Changes fields of the device's settings record: reads the parameter area, changes only\n"
                     "the named fields and the marker, writes the area (erase, download, verify) and prints\n"
                     "each changed field, old and new. Every other byte of the area keeps its value.\n\n"
                     "Keys: ni, ti, ss, tcr, tcr_m1, tcr_m2 (1 to 1000), display_level (0 to 255),\n"
                     "power (ten comma-separated whole watts within the device's limits), temperature (ten\n"
                     "comma-separated values in the record's unit within its limits, snapped to 10 F or 5 C).\n"
                     "Both user areas are kept as a snapshot before the write.\n\n" NEMORA_CLI_SNAPSHOT_HELP,
                     exitCode);
    if (!parsed) {
        return exitCode;
    }
    constexpr std::string_view kCommand = "settings set";
    if (parsed->positionals.empty()) {
        return UsageError(kCommand, "at least one KEY=VALUE is required");
    }
    // Everything that can be checked without the device is checked before it is opened.
    std::vector<Change> changes;
    for (const std::string& arg : parsed->positionals) {
        const std::size_t eq = arg.find('=');
        if (eq == std::string::npos) {
            return UsageError(kCommand, "'" + arg + "' is not KEY=VALUE");
        }
        Change c{arg.substr(0, eq), arg.substr(eq + 1)};
        if (const Field* f = settings::FindParameterField(c.key)) {
            const auto value = ParseInt(c.value);
            if (!value || *value < f->min || *value > f->max) {
                return UsageError(kCommand, Format("%s takes a whole number from %d to %d, not '%s'",
                                                   std::string(f->key).c_str(), f->min, f->max, c.value.c_str()));
            }
        } else if (c.key == "power" || c.key == "temperature") {
            if (!ParseCurve(c.value)) {
                return UsageError(kCommand, c.key + " takes ten comma-separated whole numbers, not '" + c.value + "'");
            }
        } else {
            return UsageError(kCommand, "unknown key '" + c.key +
                                            "' (ni, ti, ss, tcr, tcr_m1, tcr_m2, display_level, power, temperature)");
        }
        changes.push_back(std::move(c));
    }

    AreaDevice device;
    if (const int status = OpenAreaDevice(kCommand, *parsed, DeviceUse::Writes, device); status >= 0) {
        return status;
    }
    SettingsRecord record;
    if (const int status = ReadRecord(kCommand, device, record); status >= 0) {
        return status;
    }
    const SettingsRecord old = record;
    const CurveLimits limits = CurveLimitsFor(device.identity, record.TemperatureUnit());
    for (const Change& c : changes) {
        if (const Field* f = settings::FindParameterField(c.key)) {
            record.SetWord(f->offset, static_cast<std::uint16_t>(*ParseInt(c.value)));
            continue;
        }
        const auto values = *ParseCurve(c.value);
        CurvePoints points{};
        const bool power = c.key == "power";
        const int lo = power ? limits.wMinPower : limits.wMinTemperature;
        const int hi = power ? limits.wMaxPower : limits.wMaxTemperature;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const int value = power ? values[i] : settings::SnapTemperature(values[i], limits.bFahrenheit);
            if (value < lo || value > hi) {
                return UsageError(kCommand, Format("%s point %zu is %d%s; this device takes %d to %d %s", c.key.c_str(),
                                                   i + 1, values[i], power ? " W" : "", lo, hi,
                                                   power ? "W" : (limits.bFahrenheit ? "F" : "C")));
            }
            points[i] = static_cast<std::uint16_t>(power ? value * 10 : value);
        }
        if (power) {
            record.SetPowerCurve(points);
        } else {
            record.SetTemperatureCurve(points);
        }
    }
    record.StoreMarker();
    if (const int status =
            WriteArea(kCommand, device, device.identity.m_dwParamAddress, AreaBytes(record, device.identity));
        status >= 0) {
        return status;
    }
    for (const Field& f : kParameterFields) {
        if (old.Word(f.offset) != record.Word(f.offset)) {
            std::cout << f.key << ": " << old.Word(f.offset) << " -> " << record.Word(f.offset) << '\n';
        }
    }
    if (old.PowerCurve() != record.PowerCurve()) {
        std::cout << "power: " << JoinPower(old.PowerCurve()) << " -> " << JoinPower(record.PowerCurve()) << '\n';
    }
    if (old.TemperatureCurve() != record.TemperatureCurve()) {
        std::cout << "temperature: " << JoinTemperature(old.TemperatureCurve()) << " -> "
                  << JoinTemperature(record.TemperatureCurve()) << '\n';
    }
    ReportChanges(device);
    return kExitOk;
}

// ---------------------------------------------------------------- save and load

int RunSave(Args args)
{
    static constexpr std::array<OptionSpec, 3> kSpec = {{kDevicePathOption, kSerialOption, kWaitOption}};
    int exitCode = kExitOk;
    auto parsed = ParseCommand("settings save", args, kSpec,
                               "Usage: nemora-cli settings save FILE [--device PATH | --serial SERIAL] [--wait[=S]]\n\n"
                               "Backs up both user areas exactly as the device holds them into a settings file in\n"
                               "the console's layout (VID 0x0483, PID 0xDF11, bcdDevice 0x0200; image \"user_log\"\n"
                               "with the logo area, then \"user_para\" with the parameter area). The file is written\n"
                               "whole or not at all.\n",
                               exitCode);
    if (!parsed) {
        return exitCode;
    }
    constexpr std::string_view kCommand = "settings save";
    if (parsed->positionals.size() != 1) {
        return UsageError(kCommand, parsed->positionals.empty() ? "FILE is required" : "only one FILE is accepted");
    }
    const std::string path = parsed->positionals.front();
    AreaDevice device;
    if (const int status = OpenAreaDevice(kCommand, *parsed, DeviceUse::Reads, device); status >= 0) {
        return status;
    }
    std::vector<std::uint8_t> logo, param;
    if (const int status =
            ReadArea(kCommand, device, device.identity.m_dwLogoAddress, LogoDataLength(device.identity), logo);
        status >= 0) {
        return status;
    }
    if (const int status =
            ReadArea(kCommand, device, device.identity.m_dwParamAddress, device.identity.m_dwParamSize, param);
        status >= 0) {
        return status;
    }
    if (const dfuse::Error e = dfuse::WriteDfuFile(path, settings::MakeSettingsFile(device.identity, logo, param))) {
        return Failure(kCommand, FileProblem(path, e));
    }
    std::cerr << "Saved the logo area (" << logo.size() << " bytes) and the parameter area (" << param.size()
              << " bytes) into " << path << '\n';
    return kExitOk;
}

int RunLoad(Args args)
{
    static constexpr std::array<OptionSpec, 5> kSpec = {
        {{"--exact", false}, kNoSnapshotOption, kDevicePathOption, kSerialOption, kWaitOption}};
    int exitCode = kExitOk;
    auto parsed =
        ParseCommand("settings load", args, kSpec,
                     "Usage: nemora-cli settings load FILE [--exact] [--device PATH | --serial SERIAL] [--wait[=S]]\n\n"
                     "Writes the areas a settings file supplies to the device, taking its images as the\n"
                     "console's \"Load File\" does: only \"user_log\", \"user_para\", \"user_power\" and\n"
                     "\"user_temp\" (names compared byte for byte), by the address of their element, in file\n"
                     "order (a later image wins). A logo element shorter than the area changes only the\n"
                     "whole pages it holds. Prints the areas written and the images ignored, with why.\n\n"
                     "  --exact   write the file's parameter area byte for byte; by default only the fields the\n"
                     "            console edits (the seven parameters, both curves and the marker) are taken\n"
                     "            from the file and the device's other bytes, TemperatureUnit included, "
                     "stay;\n"
                     "            a file with values beyond the device's limits is refused (exit 1)\n\n"
                     "Without --exact each value is taken in as the console's editors take it: the parameters\n"
                     "within their ranges, the power curve in whole watts within the device's limits, the\n"
                     "temperature curve on its step within the limits of its unit; a line \"limited:\" names\n"
                     "every field changed so.\n" NEMORA_CLI_SNAPSHOT_HELP,
                     exitCode);
    if (!parsed) {
        return exitCode;
    }
    constexpr std::string_view kCommand = "settings load";
    if (parsed->positionals.size() != 1) {
        return UsageError(kCommand, parsed->positionals.empty() ? "FILE is required" : "only one FILE is accepted");
    }
    const std::string path = parsed->positionals.front();
    const dfuse::ParseResult file = dfuse::ReadDfuFile(path, true, dfuse::kMaxSettingsFileSize);
    if (!file.file) {
        return Failure(kCommand, FileProblem(path, file.error));
    }
    AreaDevice device;
    if (const int status = OpenAreaDevice(kCommand, *parsed, DeviceUse::Writes, device); status >= 0) {
        return status;
    }
    const CDeviceIdentity& id = device.identity;
    std::vector<settings::IgnoredImage> ignored;
    const auto elements = settings::SettingsElements(*file.file, &ignored);

    // The device's areas as they are, then what the file supplies over them, in file order.
    std::vector<std::uint8_t> logo, param;
    bool logoGiven = false, paramGiven = false;
    std::size_t logoTaken = 0;         // bytes of the logo area the file supplied
    std::vector<LimitedField> limited; // of the last parameter area taken
    for (const auto& element : elements) {
        const UserArea area = ClassifyAreaAddress(id, element.address);
        if (area == UserArea::None) {
            ignored.push_back({element.imageName, Format("its address 0x%08X is neither the logo area (0x%08X) nor "
                                                         "the parameter area (0x%08X) of this device",
                                                         unsigned{element.address}, unsigned{id.m_dwLogoAddress},
                                                         unsigned{id.m_dwParamAddress})});
            continue;
        }
        if (area == UserArea::Logo) {
            if (!logoGiven) {
                if (const int status = ReadArea(kCommand, device, id.m_dwLogoAddress, LogoDataLength(id), logo);
                    status >= 0) {
                    return status;
                }
            }
            // Only whole pages (eight pixel rows of one screen) are taken from a short element, and nothing
            // past the end of the area from a long one.
            const std::size_t page = static_cast<std::size_t>(std::max(id.m_nScreenWidth, 1));
            const std::size_t length = std::min(element.bytes.size(), logo.size()) / page * page;
            if (length == 0) {
                ignored.push_back({element.imageName, Format("its logo element holds %zu bytes, less than one page "
                                                             "(%zu bytes) of a screen",
                                                             element.bytes.size(), page)});
                continue;
            }
            if (element.bytes.size() > length) {
                ignored.push_back(
                    {element.imageName, Format("the last %zu of its %zu bytes lie %s and were left out",
                                               element.bytes.size() - length, element.bytes.size(),
                                               element.bytes.size() > logo.size() ? "past the end of the logo area"
                                                                                  : "in a page it does not fill")});
            }
            logoGiven = true;
            logoTaken = std::max(logoTaken, length);
            std::copy_n(element.bytes.begin(), length, logo.begin());
            continue;
        }
        if (!paramGiven) {
            if (const int status = ReadArea(kCommand, device, id.m_dwParamAddress, id.m_dwParamSize, param);
                status >= 0) {
                return status;
            }
        }
        paramGiven = true;
        SettingsRecord current;
        current.TakeIn(param.data(), param.size());
        SettingsRecord given = current;
        given.TakeIn(element.bytes.data(), element.bytes.size());
        if (!parsed->Has("--exact")) {
            current.SetParameters(given.Parameters());
            current.SetPowerCurve(given.PowerCurve());
            current.SetTemperatureCurve(given.TemperatureCurve());
            current.StoreMarker();
            given = current;
        }
        // Values beyond the device's limits never reach it: taken in as the console's editors take them,
        // or, byte for byte, not at all.
        SettingsRecord kept = given;
        limited = LimitRecordToEditors(kept, CurveLimitsFor(device.identity, kept.TemperatureUnit()));
        if (parsed->Has("--exact")) {
            std::string outside;
            for (const LimitedField& f : limited) {
                if (f.outOfRange) {
                    outside += (outside.empty() ? "" : ", ") + f.name + " " + f.from;
                }
            }
            if (!outside.empty()) {
                return Failure(kCommand, path + " holds values beyond this device's limits (" + outside +
                                             "); nothing was written. Load it without --exact to have them "
                                             "limited");
            }
            limited.clear();
        } else {
            given = kept;
        }
        std::copy_n(given.Data(), param.size(), param.begin());
    }
    if (logoGiven) {
        if (const int status = WriteArea(kCommand, device, id.m_dwLogoAddress, logo); status >= 0) {
            return status;
        }
        std::cout << "written: logo area (" << logo.size() << " bytes at " << Hex(id.m_dwLogoAddress, 8);
        if (logoTaken < logo.size()) {
            std::cout << "; the first " << logoTaken << " from the file, the rest as the device held it";
        }
        std::cout << ")\n";
    }
    if (paramGiven) {
        if (const int status = WriteArea(kCommand, device, id.m_dwParamAddress, param); status >= 0) {
            return status;
        }
        std::cout << "written: parameter area (" << param.size() << " bytes at " << Hex(id.m_dwParamAddress, 8)
                  << (parsed->Has("--exact") ? ", exactly as in the file" : "") << ")\n";
        for (const LimitedField& f : limited) {
            std::cout << "limited: " << f.name << " " << f.from << " -> " << f.to << '\n';
        }
    }
    for (const auto& image : ignored) {
        std::cout << "ignored: image \"" << PrintableText(image.imageName) << "\": " << image.reason << '\n';
    }
    if (!logoGiven && !paramGiven) {
        return Failure(kCommand, path + ": the file supplies neither area of this device; nothing was written");
    }
    ReportChanges(device);
    return kExitOk;
}

} // namespace

int RunSettings(Args args)
{
    static constexpr std::array<std::pair<std::string_view, int (*)(Args)>, 6> kSubcommands = {{
        {"show", RunShow},
        {"set", RunSet},
        {"save", RunSave},
        {"load", RunLoad},
        {"snapshots", RunSettingsSnapshots},
        {"restore", RunSettingsRestore},
    }};
    if (args.empty()) {
        return UsageError("settings",
                          "a subcommand is required (show, set, save, load, snapshots, restore; see --help)");
    }
    if (args[0] == "--help" || args[0] == "-h") {
        std::cout << kSettingsHelp;
        return kExitOk;
    }
    for (const auto& [name, run] : kSubcommands) {
        if (args[0] == name) {
            return run(args.subspan(1));
        }
    }
    return UsageError("settings",
                      "unknown subcommand '" + std::string(args[0]) + "' (show, set, save, load, snapshots, restore)");
}

} // namespace nemora::cli

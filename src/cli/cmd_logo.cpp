// nemora-cli logo export, export-all, import and default: the twelve screen images of a device's logo area,
// through the console's logo-area codec, default sets and import conversion.

#include "cli/cli.h"
#include "cli/cli_device.h"
#include "screens/default_sets.h"
#include "screens/logo_codec.h"
#include "screens/logo_import.h"
#include "screens/picture_file.h"
#include "settings/settings_record.h"

#include <QCoreApplication>
#include <QDir>

#include <array>
#include <iostream>
#include <memory>

namespace nemora::cli {
namespace {

constexpr std::string_view kLogoHelp =
    "Usage: nemora-cli logo SUBCOMMAND [OPTIONS]\n\n"
    "The twelve screen images of a device in update mode (its logo area).\n\n"
    "Subcommands:\n"
    "  export N OUT             screen N (1 to 12) as a picture; the format follows OUT's extension\n"
    "  export-all DIR           every screen as DIR/screen-01.png to screen-12.png\n"
    "  import N IN [--threshold T] [--dither] [--fit] [--invert]\n"
    "                           put a picture into screen N and write the area back, verified\n"
    "  default [N]              write the default image of screen N, or of all twelve\n\n"
    "Every subcommand takes --help and chooses its device with --device PATH or --serial SERIAL, and\n"
    "waits for it with --wait[=SECONDS]; those that write refuse to guess among several devices.\n";

// Qt finds its image plugins (JPEG, GIF, TIFF...) through an application object.
void EnsureQtApplication()
{
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "nemora-cli";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
    }
}

std::optional<int> ScreenNumber(std::string_view text)
{
    const auto n = ParseNumber(text, 12);
    if (!n || *n < 1) {
        return std::nullopt;
    }
    return static_cast<int>(*n);
}

// The device's logo area and its screens.
struct LogoArea {
    std::vector<std::uint8_t> bytes;
    std::vector<MonoImage> screens;
};

// Opens the device for its user areas and reads its logo area. Returns an exit status, or -1.
int ReadLogo(std::string_view command, const ParsedArgs& args, DeviceUse use, AreaDevice& device, LogoArea& logo)
{
    if (const int status = OpenAreaDevice(command, args, use, device); status >= 0) {
        return status;
    }
    const CDeviceIdentity& id = device.identity;
    if (const int status = ReadArea(command, device, id.m_dwLogoAddress, LogoDataLength(id), logo.bytes); status >= 0) {
        return status;
    }
    logo.screens.assign(static_cast<std::size_t>(id.m_nImageCount), MonoImage(id.m_nScreenWidth, id.m_nScreenHeight));
    DecodeLogoArea(logo.bytes, logo.screens, id);
    return -1;
}

int WriteLogo(std::string_view command, AreaDevice& device, LogoArea& logo)
{
    EncodeLogoArea(logo.bytes, logo.screens, device.identity);
    if (const int status = WriteArea(command, device, device.identity.m_dwLogoAddress, logo.bytes); status >= 0) {
        return status;
    }
    ReportChanges(device);
    return -1;
}

int Export(std::string_view command, const MonoImage& screen, const std::string& out)
{
    QString error;
    if (!screens::WritePicture(QString::fromStdString(out), screens::PictureFromMono(screen), error)) {
        return Failure(command, out + ": " + error.toStdString());
    }
    std::cout << out << '\n';
    return -1;
}

// ---------------------------------------------------------------- export

int RunExport(Args args, bool all)
{
    static constexpr std::array<OptionSpec, 3> kSpec = {{kDevicePathOption, kSerialOption, kWaitOption}};
    const std::string_view command = all ? "logo export-all" : "logo export";
    int exitCode = kExitOk;
    auto parsed =
        ParseCommand(command, args, kSpec,
                     all ? "Usage: nemora-cli logo export-all DIR [--device PATH | --serial SERIAL] [--wait[=S]]\n\n"
                           "Writes every screen of the device's logo area as DIR/screen-01.png to screen-12.png\n"
                           "(DIR is made if missing): lit pixels pure black on white, the screen's size.\n"
                         : "Usage: nemora-cli logo export N OUT [--device PATH | --serial SERIAL] [--wait[=S]]\n\n"
                           "Writes screen N (1 to 12) of the device's logo area as a picture of the screen's size,\n"
                           "lit pixels pure black on white. The format follows OUT's extension (.png, .bmp as a\n"
                           "24-bit BMP, .jpg and every other format Qt writes).\n",
                     exitCode);
    if (!parsed) {
        return exitCode;
    }
    const std::size_t wanted = all ? 1 : 2;
    if (parsed->positionals.size() != wanted) {
        return UsageError(command, all ? "DIR is required" : "N and OUT are required");
    }
    std::optional<int> screen;
    if (!all && !(screen = ScreenNumber(parsed->positionals[0]))) {
        return UsageError(command, "N is a screen number from 1 to 12, not '" + parsed->positionals[0] + "'");
    }
    EnsureQtApplication();
    AreaDevice device;
    LogoArea logo;
    if (const int status = ReadLogo(command, *parsed, DeviceUse::Reads, device, logo); status >= 0) {
        return status;
    }
    if (!all) {
        const int status =
            Export(command, logo.screens.at(static_cast<std::size_t>(*screen - 1)), parsed->positionals[1]);
        return status >= 0 ? status : kExitOk;
    }
    const QString dir = QString::fromStdString(parsed->positionals[0]);
    if (!QDir().mkpath(dir)) {
        return Failure(command, parsed->positionals[0] + ": cannot create the folder");
    }
    for (std::size_t i = 0; i < logo.screens.size(); ++i) {
        const std::string out = QDir(dir).filePath(QString::asprintf("screen-%02zu.png", i + 1)).toStdString();
        if (const int status = Export(command, logo.screens[i], out); status >= 0) {
            return status;
        }
    }
    return kExitOk;
}

// ---------------------------------------------------------------- import

int RunImport(Args args)
{
    static constexpr std::array<OptionSpec, 8> kSpec = {{{"--threshold", true},
                                                         {"--dither", false},
                                                         {"--fit", false},
                                                         {"--invert", false},
                                                         kNoSnapshotOption,
                                                         kDevicePathOption,
                                                         kSerialOption,
                                                         kWaitOption}};
    constexpr std::string_view kCommand = "logo import";
    int exitCode = kExitOk;
    auto parsed =
        ParseCommand(kCommand, args, kSpec,
                     "Usage: nemora-cli logo import N IN [--threshold T] [--dither] [--fit] [--invert]\n"
                     "                              [--device PATH | --serial SERIAL] [--wait[=S]]\n\n"
                     "Reads the device's logo area, puts the picture IN (any format Qt reads) into screen N\n"
                     "(1 to 12) and writes the area back, verified. Without options the console's rule holds:\n"
                     "every pixel that is not pure white is lit, the picture sits at the top-left corner,\n"
                     "clipped to the screen, and pixels it does not cover keep their values.\n\n"
                     "  --threshold T   light the pixels darker than grey level T (0 to 255)\n"
                     "  --dither        convert with Floyd-Steinberg error diffusion\n"
                     "  --fit           scale the picture to the screen keeping its aspect ratio, centred on white\n"
                     "  --invert        swap lit and unlit\n" NEMORA_CLI_SNAPSHOT_HELP,
                     exitCode);
    if (!parsed) {
        return exitCode;
    }
    if (parsed->positionals.size() != 2) {
        return UsageError(kCommand, "N and IN are required");
    }
    const auto screen = ScreenNumber(parsed->positionals[0]);
    if (!screen) {
        return UsageError(kCommand, "N is a screen number from 1 to 12, not '" + parsed->positionals[0] + "'");
    }
    ImportOptions options;
    if (const auto t = parsed->Value("--threshold")) {
        const auto value = ParseNumber(*t, 255);
        if (!value) {
            return UsageError(kCommand, "--threshold takes a grey level from 0 to 255, not '" + *t + "'");
        }
        options.threshold = static_cast<int>(*value);
    }
    options.dither = parsed->Has("--dither");
    options.fit = parsed->Has("--fit");
    options.invert = parsed->Has("--invert");

    EnsureQtApplication();
    const std::string in = parsed->positionals[1];
    GreyImage picture;
    QString error;
    if (!screens::ReadPicture(QString::fromStdString(in), picture, error)) {
        return Failure(kCommand, in + ": " + error.toStdString());
    }
    AreaDevice device;
    LogoArea logo;
    if (const int status = ReadLogo(kCommand, *parsed, DeviceUse::Writes, device, logo); status >= 0) {
        return status;
    }
    MonoImage& target = logo.screens.at(static_cast<std::size_t>(*screen - 1));
    const MonoImage converted = ConvertPicture(picture, options, target.Width(), target.Height());
    if (converted.IsNull()) {
        return Failure(kCommand, in + ": the picture cannot be converted");
    }
    for (int y = 0; y < std::min(target.Height(), converted.Height()); ++y) {
        for (int x = 0; x < std::min(target.Width(), converted.Width()); ++x) {
            target.SetLit(x, y, converted.IsLit(x, y));
        }
    }
    if (const int status = WriteLogo(kCommand, device, logo); status >= 0) {
        return status;
    }
    std::cerr << "Screen " << *screen << " now holds " << in << '\n';
    return kExitOk;
}

// ---------------------------------------------------------------- default

int RunDefault(Args args)
{
    static constexpr std::array<OptionSpec, 4> kSpec = {
        {kNoSnapshotOption, kDevicePathOption, kSerialOption, kWaitOption}};
    constexpr std::string_view kCommand = "logo default";
    int exitCode = kExitOk;
    auto parsed =
        ParseCommand(kCommand, args, kSpec,
                     "Usage: nemora-cli logo default [N] [--device PATH | --serial SERIAL] [--wait[=S]]\n\n"
                     "Writes the default image of screen N (1 to 12), or of all twelve, from the default\n"
                     "set of the device's model; the other screens keep their images.\n\n" NEMORA_CLI_SNAPSHOT_HELP,
                     exitCode);
    if (!parsed) {
        return exitCode;
    }
    if (parsed->positionals.size() > 1) {
        return UsageError(kCommand, "only one N is accepted");
    }
    std::optional<int> screen;
    if (!parsed->positionals.empty() && !(screen = ScreenNumber(parsed->positionals[0]))) {
        return UsageError(kCommand, "N is a screen number from 1 to 12, not '" + parsed->positionals[0] + "'");
    }
    AreaDevice device;
    LogoArea logo;
    if (const int status = ReadLogo(kCommand, *parsed, DeviceUse::Writes, device, logo); status >= 0) {
        return status;
    }
    const DefaultImageSet& set = GetDefaultImageSet(DefaultImageSetForModel(device.identity.m_wModelId));
    for (std::size_t i = 0; i < logo.screens.size() && i < set.assets.size(); ++i) {
        if (screen && static_cast<std::size_t>(*screen - 1) != i) {
            continue;
        }
        const auto image = LoadDefaultAsset(set.assets[i]);
        if (!image) {
            return Failure(kCommand, Format("the default image of screen %zu is missing from this program", i + 1));
        }
        MonoImage& target = logo.screens[i];
        for (int y = 0; y < target.Height(); ++y) {
            for (int x = 0; x < target.Width(); ++x) {
                target.SetLit(x, y, image->IsLit(x, y));
            }
        }
    }
    if (const int status = WriteLogo(kCommand, device, logo); status >= 0) {
        return status;
    }
    std::cerr << (screen ? "Screen " + std::to_string(*screen) + " holds" : std::string("Every screen holds"))
              << " its default image (set " << set.nSet << ")\n";
    return kExitOk;
}

} // namespace

int RunLogo(Args args)
{
    if (args.empty()) {
        return UsageError("logo", "a subcommand is required (export, export-all, import, default; see --help)");
    }
    if (args[0] == "--help" || args[0] == "-h") {
        std::cout << kLogoHelp;
        return kExitOk;
    }
    const Args rest = args.subspan(1);
    if (args[0] == "export") {
        return RunExport(rest, false);
    }
    if (args[0] == "export-all") {
        return RunExport(rest, true);
    }
    if (args[0] == "import") {
        return RunImport(rest);
    }
    if (args[0] == "default") {
        return RunDefault(rest);
    }
    return UsageError("logo",
                      "unknown subcommand '" + std::string(args[0]) + "' (export, export-all, import, default)");
}

} // namespace nemora::cli

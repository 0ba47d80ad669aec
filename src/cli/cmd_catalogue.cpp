// nemora-cli models and identify: the catalogue and what the console derives from a device's ids.

#include "cli/cli.h"
#include "device/device_identity.h"
#include "screens/default_sets.h"

#include <array>
#include <cstdio>
#include <iostream>

namespace nemora::cli {

namespace {

std::string Geometry(int width, int height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

} // namespace

int RunModels(Args args)
{
    static constexpr std::array<OptionSpec, 1> kSpec = {{{"--json", false}}};
    int exitCode = kExitOk;
    auto parsed = ParseCommand("models", args, kSpec,
                               "Usage: nemora-cli models [--json]\n\n"
                               "Lists the model catalogue, one row per model: model id, product name, model code,\n"
                               "model name, power limits in watts and screen geometry.\n\n"
                               "  --json   one JSON list of objects instead of a table\n",
                               exitCode);
    if (!parsed)
        return exitCode;
    if (!parsed->positionals.empty())
        return UsageError("models", "unexpected argument '" + parsed->positionals.front() + "'");

    if (parsed->Has("--json")) {
        JsonWriter json(std::cout);
        json.BeginArray();
        for (const ModelCatalogueEntry& row : g_ModelCatalogue) {
            CDeviceIdentity identity;
            identity.SetIds(0, 0, static_cast<std::uint16_t>(row.wModelId << 6));
            json.BeginObject()
                .Key("model_id")
                .Int(row.wModelId)
                .Key("product_name")
                .String(row.pszProductName)
                .Key("model_code")
                .String(row.pszModelCode)
                .Key("model_name")
                .String(row.pszModelName)
                .Key("min_power")
                .Int(row.wMinPower)
                .Key("max_power")
                .Int(row.wMaxPower)
                .Key("min_temperature_f")
                .Int(row.wMinTemperatureF)
                .Key("max_temperature_f")
                .Int(row.wMaxTemperatureF)
                .Key("min_temperature_c")
                .Int(row.wMinTemperatureC)
                .Key("max_temperature_c")
                .Int(row.wMaxTemperatureC)
                .Key("screen_width")
                .Int(identity.m_nScreenWidth)
                .Key("screen_height")
                .Int(identity.m_nScreenHeight)
                .EndObject();
        }
        json.EndArray();
        std::cout << '\n';
        return kExitOk;
    }

    std::printf("%-3s  %-8s  %-8s  %-11s  %-9s  %s\n", "ID", "PRODUCT", "CODE", "MODEL", "POWER(W)", "SCREEN");
    for (const ModelCatalogueEntry& row : g_ModelCatalogue) {
        CDeviceIdentity identity;
        identity.SetIds(0, 0, static_cast<std::uint16_t>(row.wModelId << 6));
        const std::string power = std::to_string(row.wMinPower) + "-" + std::to_string(row.wMaxPower);
        std::printf("%-3u  %-8s  %-8s  %-11s  %-9s  %s\n", row.wModelId, *row.pszProductName ? row.pszProductName : "-",
                    row.pszModelCode, row.pszModelName, power.c_str(),
                    Geometry(identity.m_nScreenWidth, identity.m_nScreenHeight).c_str());
    }
    return kExitOk;
}

int RunIdentify(Args args)
{
    static constexpr std::array<OptionSpec, 4> kSpec = {
        {{"--bcd", true}, {"--vid", true}, {"--pid", true}, {"--json", false}}};
    int exitCode = kExitOk;
    auto parsed = ParseCommand("identify", args, kSpec,
                               "Usage: nemora-cli identify --bcd 0xNNNN [--vid 0xNNNN] [--pid 0xNNNN] [--json]\n\n"
                               "Shows everything the console derives from a device's USB ids: model id, firmware\n"
                               "version, catalogue texts, screen geometry, the logo and parameter areas, power and\n"
                               "temperature limits and the default screen image set.\n\n"
                               "  --bcd N   bcdDevice (required); decimal or 0x-prefixed hexadecimal\n"
                               "  --vid N   idVendor (default 0x0483)\n"
                               "  --pid N   idProduct (default 0xDF11)\n"
                               "  --json    one JSON object instead of text\n",
                               exitCode);
    if (!parsed)
        return exitCode;
    if (!parsed->positionals.empty())
        return UsageError("identify", "unexpected argument '" + parsed->positionals.front() + "'");

    std::uint16_t ids[3] = {0x0483, 0xDF11, 0};
    const char* names[3] = {"--vid", "--pid", "--bcd"};
    if (!parsed->Has("--bcd"))
        return UsageError("identify", "--bcd is required");
    for (int i = 0; i < 3; ++i) {
        if (auto text = parsed->Value(names[i])) {
            auto value = ParseNumber(*text, 0xFFFF);
            if (!value)
                return UsageError("identify",
                                  std::string(names[i]) + " needs a number from 0 to 0xFFFF, not '" + *text + "'");
            ids[i] = static_cast<std::uint16_t>(*value);
        }
    }

    CDeviceIdentity identity;
    identity.SetIds(ids[0], ids[1], ids[2]);
    const CatalogueNames catalogue = NamesOf(identity);
    std::string modelCode;
    const bool catalogued = catalogue.catalogued;
    identity.GetModelCode(modelCode);
    const int imageSet = DefaultImageSetForModel(identity.m_wModelId);

    if (parsed->Has("--json")) {
        JsonWriter json(std::cout);
        json.BeginObject()
            .Key("vid")
            .Int(identity.m_wVid)
            .Key("pid")
            .Int(identity.m_wPid)
            .Key("bcd_device")
            .Int(identity.m_wBcdDevice)
            .Key("model_id")
            .Int(identity.m_wModelId)
            .Key("catalogued")
            .Bool(catalogued)
            .Key("incomplete")
            .Bool(identity.IsIncomplete())
            .Key("firmware_version")
            .String(catalogue.firmware)
            .Key("product_name")
            .String(catalogue.product)
            .Key("model_code")
            .String(modelCode)
            .Key("model_name")
            .String(catalogue.model)
            .Key("screen_width")
            .Int(identity.m_nScreenWidth)
            .Key("screen_height")
            .Int(identity.m_nScreenHeight)
            .Key("image_count")
            .Int(identity.m_nImageCount)
            .Key("logo_address")
            .Int(identity.m_dwLogoAddress)
            .Key("logo_size")
            .Int(identity.m_dwLogoSize)
            .Key("param_address")
            .Int(identity.m_dwParamAddress)
            .Key("param_size")
            .Int(identity.m_dwParamSize)
            .Key("min_power")
            .Int(identity.GetMinPower())
            .Key("max_power")
            .Int(identity.GetMaxPower())
            .Key("min_temperature_f")
            .Int(identity.GetMinTemperature(1))
            .Key("max_temperature_f")
            .Int(identity.GetMaxTemperature(1))
            .Key("min_temperature_c")
            .Int(identity.GetMinTemperature(0))
            .Key("max_temperature_c")
            .Int(identity.GetMaxTemperature(0))
            .Key("default_image_set")
            .Int(imageSet)
            .EndObject();
        std::cout << '\n';
        return kExitOk;
    }

    std::printf("USB ids:          VID %s  PID %s  bcdDevice %s\n", Hex(identity.m_wVid, 4).c_str(),
                Hex(identity.m_wPid, 4).c_str(), Hex(identity.m_wBcdDevice, 4).c_str());
    std::printf("Model id:         %u%s%s\n", identity.m_wModelId, catalogued ? "" : " (not in the catalogue)",
                identity.IsIncomplete() ? " (incomplete identity)" : "");
    std::printf("Product name:     %s\n", catalogue.product.c_str());
    std::printf("Model code:       %s\n", modelCode.c_str());
    std::printf("Model name:       %s\n", catalogue.model.c_str());
    std::printf("Firmware version: %s\n", catalogue.firmware.c_str());
    std::printf("Screen:           %d x %d, %d images, default image set %d\n", identity.m_nScreenWidth,
                identity.m_nScreenHeight, identity.m_nImageCount, imageSet);
    std::printf("Logo area:        %s, %u bytes\n", Hex(identity.m_dwLogoAddress, 8).c_str(), identity.m_dwLogoSize);
    std::printf("Parameter area:   %s, %u bytes\n", Hex(identity.m_dwParamAddress, 8).c_str(), identity.m_dwParamSize);
    std::printf("Power:            %u to %u W\n", identity.GetMinPower(), identity.GetMaxPower());
    std::printf("Temperature:      %u to %u F, %u to %u C\n", identity.GetMinTemperature(1),
                identity.GetMaxTemperature(1), identity.GetMinTemperature(0), identity.GetMaxTemperature(0));
    return kExitOk;
}

} // namespace nemora::cli

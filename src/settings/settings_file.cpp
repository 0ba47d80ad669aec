#include "settings/settings_file.h"

#include "device/device_identity.h"
#include "i18n/translate.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace nemora::settings {
namespace {

using i18n::Tr;

dfuse::Image OneElementImage(const char* name, std::uint32_t address, std::span<const std::uint8_t> bytes)
{
    return dfuse::Image{0, name, {dfuse::Element{address, std::vector<std::uint8_t>(bytes.begin(), bytes.end())}}};
}

bool IsSettingsImageName(const std::string& name)
{
    for (const char* accepted : {kLogoImageName, kParamImageName, kPowerImageName, kTemperatureImageName}) {
        if (name == accepted) {
            return true;
        }
    }
    return false;
}

} // namespace

dfuse::DfuFile MakeSettingsFile(const CDeviceIdentity& identity, std::span<const std::uint8_t> logoArea,
                                std::span<const std::uint8_t> paramArea)
{
    return dfuse::DfuFile{kSettingsFileVid,
                          kSettingsFilePid,
                          kSettingsFileBcd,
                          {OneElementImage(kLogoImageName, identity.m_dwLogoAddress, logoArea),
                           OneElementImage(kParamImageName, identity.m_dwParamAddress, paramArea)}};
}

dfuse::DfuFile MakeStagingFile(const CDeviceIdentity& identity, std::uint32_t address,
                               std::span<const std::uint8_t> bytes)
{
    return dfuse::DfuFile{
        identity.m_wVid, identity.m_wPid, identity.m_wBcdDevice, {OneElementImage(kStagingImageName, address, bytes)}};
}

std::vector<SettingsElement> SettingsElements(const dfuse::DfuFile& file, std::vector<IgnoredImage>* ignored)
{
    std::vector<SettingsElement> taken;
    for (const dfuse::Image& image : file.images) {
        if (!IsSettingsImageName(image.name)) {
            if (ignored != nullptr) {
                ignored->push_back({image.name, Tr("SettingsFile", "not a settings image name")});
            }
            continue;
        }
        if (image.elements.empty()) {
            if (ignored != nullptr) {
                ignored->push_back({image.name, Tr("SettingsFile", "no element")});
            }
            continue;
        }
        taken.push_back({image.name, image.elements.front().address, image.elements.front().data});
    }
    return taken;
}

std::optional<std::filesystem::path> TransferFolder(std::string& error)
{
    std::filesystem::path folder;
    if (const char* dir = std::getenv("NEMORA_TRANSFER_DIR"); dir != nullptr && *dir != '\0') {
        folder = dir;
    } else if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/') {
        folder = std::filesystem::path(state) / "Nemora";
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        folder = std::filesystem::path(home) / ".local" / "state" / "Nemora";
    } else {
        error = Tr("SettingsFile", "neither NEMORA_TRANSFER_DIR, XDG_STATE_HOME nor HOME is set");
        return std::nullopt;
    }
    if (!dfuse::MakeOwnFolder(folder, Tr("SettingsFile", "the transfer folder"),
                              Tr("SettingsFile", "remove it, or set NEMORA_TRANSFER_DIR to a folder of your own"),
                              error)) {
        return std::nullopt;
    }
    return folder;
}

} // namespace nemora::settings

#pragma once

// Settings files and the files of the transfer folder, as DfuSe containers.
//
// A settings file carries the two user areas as images "user_log" and "user_para" (alternate setting 0,
// one element each, at the device's addresses) under VID 0x0483, PID 0xDF11, bcdDevice 0x0200, whatever
// device is attached. When one is loaded, only images named exactly "user_log", "user_para", "user_power"
// or "user_temp" are taken, in file order, by the address of their first element; the rest is ignored.
//
// The transfer folder is a folder of the user's own (mode 0700): the staging file "param.vek" that a write
// downloads, and the areas as last read (user_log.vek, user_para.vek).

#include "dfuse/dfu_file.h"
#include "settings/settings_record.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

class CDeviceIdentity;

namespace nemora::settings {

inline constexpr std::uint16_t kSettingsFileVid = 0x0483;
inline constexpr std::uint16_t kSettingsFilePid = 0xDF11;
inline constexpr std::uint16_t kSettingsFileBcd = 0x0200;
inline constexpr const char* kStagingImageName = "param";
inline constexpr const char* kStagingFileName = "param.vek";

// A settings file holding the logo area and the parameter record at the identity's addresses.
dfuse::DfuFile MakeSettingsFile(const CDeviceIdentity& identity, std::span<const std::uint8_t> logoArea,
                                std::span<const std::uint8_t> paramArea);

// The one-image file a write downloads: the device's ids, image "param", one element.
dfuse::DfuFile MakeStagingFile(const CDeviceIdentity& identity, std::uint32_t address,
                               std::span<const std::uint8_t> bytes);

// An element a settings file supplies, and an image it does not.
struct SettingsElement {
    std::string imageName;
    std::uint32_t address = 0;
    std::vector<std::uint8_t> bytes;
};
struct IgnoredImage {
    std::string imageName;
    std::string reason;
};

// The first elements of the images a load takes, in file order (names compared byte for byte). Images
// with another name, or without an element, are listed in `ignored` when it is given.
std::vector<SettingsElement> SettingsElements(const dfuse::DfuFile& file, std::vector<IgnoredImage>* ignored = nullptr);

using dfuse::MakePrivateFolders; // every missing folder of a path, with mode 0700

// The transfer folder: $NEMORA_TRANSFER_DIR, else $XDG_STATE_HOME/Nemora, else ~/.local/state/Nemora.
// Made with mode 0700 when missing (parents too). Returns nothing with `error` set when it cannot be made
// or is not a folder.
std::optional<std::filesystem::path> TransferFolder(std::string& error);

} // namespace nemora::settings

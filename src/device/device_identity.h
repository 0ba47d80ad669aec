#pragma once

#include <cstdint>
#include <span>
#include <string>

// Everything the console needs to know about the hardware of a family of models: the screen, the two
// user areas in flash and the default screen images. Models that share a family share one row.
struct DeviceFamily {
    std::int32_t nScreenWidth;
    std::int32_t nScreenHeight;
    std::int32_t nImageCount;
    std::uint32_t dwLogoAddress;
    std::uint32_t dwLogoSize; // nImageCount * width * height / 8, one bit per pixel
    std::uint32_t dwParamAddress;
    std::uint32_t dwParamSize;
    int nImageSet; // the default screen images (screens/default_sets.h)
};

// One row of the model catalogue. Temperature limits are the same in every row, but they are kept per
// row so that a future model with other limits is one more line, not a special case. A new family is
// one DeviceFamily beside the catalogue, the rows that name it and its default pictures.
struct ModelCatalogueEntry {
    std::uint16_t wModelId;
    std::uint16_t wMinPower; // watts
    std::uint16_t wMaxPower; // watts
    const char* pszProductName;
    const char* pszModelCode;
    const char* pszModelName;
    std::uint16_t wMinTemperatureF;
    std::uint16_t wMaxTemperatureF;
    std::uint16_t wMinTemperatureC;
    std::uint16_t wMaxTemperatureC;
    const DeviceFamily* pFamily;
};

// The compiled-in catalogue, keyed by model id (bcdDevice >> 6). Never changed at run time.
extern const std::span<const ModelCatalogueEntry> g_ModelCatalogue;

// Returns the catalogue row for a model id, or nullptr when the model is not catalogued.
const ModelCatalogueEntry* FindModelCatalogueEntry(std::uint16_t wModelId);

// The family of a model id; a model that is not catalogued belongs to the 128 x 32 family.
const DeviceFamily& FamilyOfModel(std::uint16_t wModelId);

// A device's USB ids and everything the console derives from them.
//
// Only the three USB ids are input; the geometry and area fields follow from the model id's family and
// are kept up to date by SetIds, Reset and copies. AssignIds is the one copy that takes the ids and
// the model id only: the derived fields of the target lag behind until the next UpdateGeometry().
//
// Text lookups return 0 and overwrite the text when the model is catalogued, and return -1 and leave
// the caller's text untouched otherwise, so callers preset their own default first.
class CDeviceIdentity {
public:
    CDeviceIdentity();

    CDeviceIdentity& SetIds(std::uint16_t wVid, std::uint16_t wPid, std::uint16_t wBcdDevice);
    CDeviceIdentity& AssignIds(const CDeviceIdentity& other);
    bool Reset();
    std::uint16_t UpdateGeometry();
    bool IsIncomplete() const;

    // Lookups by the model id of the current bcdDevice.
    std::uint16_t GetMaxPower() const;
    std::uint16_t GetMinPower() const;
    std::uint16_t GetMaxTemperature(int bFahrenheit) const;
    std::uint16_t GetMinTemperature(int bFahrenheit) const;
    int GetProductName(std::string& strText) const;
    int GetModelCode(std::string& strText) const;
    int GetModelName(std::string& strText) const;
    int GetFirmwareVersion(std::string& strText) const;
    const DeviceFamily& Family() const;

    std::uint16_t m_wVid = 0;
    std::uint16_t m_wPid = 0;
    std::uint16_t m_wBcdDevice = 0;
    std::int32_t m_nScreenWidth = 0;
    std::int32_t m_nScreenHeight = 0;
    std::int32_t m_nImageCount = 0;
    std::uint32_t m_dwLogoAddress = 0;
    std::uint32_t m_dwLogoSize = 0;
    std::uint32_t m_dwParamAddress = 0;
    std::uint32_t m_dwParamSize = 0;
    std::uint16_t m_wModelId = 0;

private:
    const ModelCatalogueEntry* Lookup() const;
};

// Values used when a model id has no catalogue row.
inline constexpr std::uint16_t kUncataloguedMaxPower = 80;
inline constexpr std::uint16_t kUncataloguedMinPower = 5;
inline constexpr std::uint16_t kUncataloguedMaxTemperature = 600;
inline constexpr std::uint16_t kUncataloguedMinTemperature = 200;

// The texts callers preset before a lookup. Records and comparisons keep them as they are; what the
// console shows comes from the functions below.
inline constexpr const char* kUnknownProductName = "Unknow product name";
inline constexpr const char* kUnknownModelName = "Unknow model";
inline constexpr const char* kUnknownDeviceName = "Unknow Device";
inline constexpr const char* kUnknownFirmwareVersion = "----";

// The same texts in the user's language (context "CDeviceIdentity"), to preset a lookup whose result is
// only shown.
std::string UnknownProductNameText();
std::string UnknownModelNameText();
std::string UnknownDeviceNameText();

// The catalogue's texts for an identity, each preset to the text shown when the model is not catalogued.
struct CatalogueNames {
    std::string product = kUnknownProductName;
    std::string model = kUnknownModelName;
    std::string firmware = kUnknownFirmwareVersion;
    bool catalogued = false;
};
CatalogueNames NamesOf(const CDeviceIdentity& identity);
// The same for a device's three USB ids.
CatalogueNames NamesOf(std::uint16_t wVid, std::uint16_t wPid, std::uint16_t wBcdDevice);

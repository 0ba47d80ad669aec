#pragma once

#include <array>
#include <cstdint>
#include <string>

// One row of the model catalogue. Temperature limits are the same in every row, but they are kept per
// row so that a future model with other limits is one more line, not a special case.
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
};

inline constexpr std::size_t kModelCatalogueSize = 39;

// The compiled-in catalogue, keyed by model id (bcdDevice >> 6). Never changed at run time.
extern const std::array<ModelCatalogueEntry, kModelCatalogueSize> g_ModelCatalogue;

// Returns the catalogue row for a model id, or nullptr when the model is not catalogued.
const ModelCatalogueEntry* FindModelCatalogueEntry(std::uint16_t wModelId);

// A device's USB ids and everything the console derives from them.
//
// Only the three USB ids are input; the geometry and area fields follow from the model id. Copy
// assignment copies the ids and the model id only, so the derived fields of the target lag behind
// until the next UpdateGeometry(); every catalogue lookup runs UpdateGeometry() first.
//
// Text lookups return 0 and overwrite the text when the model is catalogued, and return -1 and leave
// the caller's text untouched otherwise, so callers preset their own default first.
class CDeviceIdentity {
public:
    CDeviceIdentity();
    CDeviceIdentity(const CDeviceIdentity& other) = default;
    CDeviceIdentity& operator=(const CDeviceIdentity& other);

    CDeviceIdentity& SetIds(std::uint16_t wVid, std::uint16_t wPid, std::uint16_t wBcdDevice);
    bool Reset();
    std::uint16_t UpdateGeometry();
    bool IsIncomplete() const;

    std::uint16_t GetMaxPower();
    std::uint16_t GetMinPower();
    std::uint16_t GetMaxTemperature(int bFahrenheit);
    std::uint16_t GetMinTemperature(int bFahrenheit);
    int GetProductName(std::string& strText);
    int GetModelCode(std::string& strText);
    int GetModelName(std::string& strText);
    int GetFirmwareVersion(std::string& strText);

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
    const ModelCatalogueEntry* Lookup();
};

// Values used when a model id has no catalogue row.
inline constexpr std::uint16_t kUncataloguedMaxPower = 80;
inline constexpr std::uint16_t kUncataloguedMinPower = 5;
inline constexpr std::uint16_t kUncataloguedMaxTemperature = 600;
inline constexpr std::uint16_t kUncataloguedMinTemperature = 200;

// The texts callers preset before a lookup.
inline constexpr const char* kUnknownProductName = "Unknow product name";
inline constexpr const char* kUnknownModelName = "Unknow model";
inline constexpr const char* kUnknownDeviceName = "Unknow Device";
inline constexpr const char* kUnknownFirmwareVersion = "----";

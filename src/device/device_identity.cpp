#include "device/device_identity.h"

#include "i18n/translate.h"

#include <array>
#include <cstdio>

namespace {

// clang-format off
//                                  width height images logo area              parameter area       image set
constexpr DeviceFamily kWide       {128,  32,    12,    0x0800D000, 0x1800, 0x0800F000, 0x800, 1};
constexpr DeviceFamily kWideSet2   {128,  32,    12,    0x0800D000, 0x1800, 0x0800F000, 0x800, 2};
constexpr DeviceFamily kWideSet3   {128,  32,    12,    0x0800D000, 0x1800, 0x0800F000, 0x800, 3};
constexpr DeviceFamily kSquare     { 96,  96,    12,    0x08005000, 0x3600, 0x0800F000, 0x800, 4};
constexpr DeviceFamily kNarrow     { 64,  32,    12,    0x0800D000, 0x0C00, 0x0800F000, 0x800, 5};
constexpr DeviceFamily kSquareSet6 { 96,  96,    12,    0x08005000, 0x3600, 0x0800F000, 0x800, 6};
// clang-format on

constexpr ModelCatalogueEntry Row(std::uint16_t id, std::uint16_t maxPower, const char* product, const char* code,
                                  const char* name, const DeviceFamily& family = kWide)
{
    return {id, 5, maxPower, product, code, name, 200, 600, 100, 315, &family};
}

// clang-format off
constexpr std::array kCatalogue = {
    Row(1, 160, "Brand A", "K01", "Product 01"),
    Row(2, 80, "Brand A", "K02", "Product 02"),
    Row(3, 80, "Brand A", "K03", "Product 03"),
    Row(4, 80, "Brand A", "K04", "Product 04"),
    Row(5, 120, "Brand A", "K05", "Product 05"),
    Row(6, 80, "Brand B", "K06", "Product 06"),
    Row(7, 160, "Brand B", "K07", "Product 07"),
    Row(8, 100, "Brand A", "K08", "K08"),
    Row(9, 80, "Brand A", "K09", "K09"),
    Row(10, 80, "Brand C", "K10", "K10"),
    Row(11, 80, "", "K11", "Product 11", kWideSet3),
    Row(12, 80, "Brand A", "K12", "Product 12", kSquare),
    Row(13, 80, "", "K13", "Product 13"),
    Row(14, 80, "Brand A", "K14", "Product 14", kWideSet2),
    Row(15, 40, "Brand D", "Brand D", "Product 15", kNarrow),
    Row(16, 220, "Brand A", "K12", "Product 12", kSquareSet6),
    Row(17, 100, "Brand A", "K17", "Product 17", kWideSet3),
    Row(18, 80, "", "K18", "K18"),
    Row(19, 80, "", "K19", "K19"),
    Row(20, 80, "", "K20", "K20"),
    Row(21, 80, "", "K21", "K21"),
    Row(22, 80, "", "K22", "K22"),
    Row(23, 80, "", "K23", "K23"),
    Row(24, 80, "", "K24", "K24"),
    Row(25, 80, "", "K25", "K25"),
    Row(26, 80, "", "K26", "K26"),
    Row(27, 80, "", "K27", "K27"),
    Row(28, 80, "", "K28", "K28"),
    Row(29, 80, "", "K29", "K29"),
    Row(30, 80, "", "K30", "K30"),
    Row(31, 80, "", "K31", "K31"),
    Row(32, 80, "", "K32", "K32"),
    Row(33, 80, "", "K33", "K33"),
    Row(34, 80, "", "K34", "K34"),
    Row(35, 80, "", "K35", "K35"),
    Row(36, 80, "", "K36", "K36"),
    Row(37, 80, "", "K37", "K37"),
    Row(38, 80, "", "K38", "K38"),
    Row(39, 80, "", "K39", "K39"),
};
// clang-format on

} // namespace

const std::span<const ModelCatalogueEntry> g_ModelCatalogue = kCatalogue;

const ModelCatalogueEntry* FindModelCatalogueEntry(std::uint16_t wModelId)
{
    for (const ModelCatalogueEntry& entry : g_ModelCatalogue) {
        if (entry.wModelId == wModelId)
            return &entry;
    }
    return nullptr;
}

const DeviceFamily& FamilyOfModel(std::uint16_t wModelId)
{
    const ModelCatalogueEntry* row = FindModelCatalogueEntry(wModelId);
    return row ? *row->pFamily : kWide;
}

CDeviceIdentity::CDeviceIdentity()
{
    UpdateGeometry();
}

CDeviceIdentity& CDeviceIdentity::AssignIds(const CDeviceIdentity& other)
{
    if (this != &other) {
        m_wVid = other.m_wVid;
        m_wPid = other.m_wPid;
        m_wBcdDevice = other.m_wBcdDevice;
        m_wModelId = other.m_wModelId;
    }
    return *this;
}

CDeviceIdentity& CDeviceIdentity::SetIds(std::uint16_t wVid, std::uint16_t wPid, std::uint16_t wBcdDevice)
{
    m_wVid = wVid;
    m_wPid = wPid;
    m_wBcdDevice = wBcdDevice;
    UpdateGeometry();
    return *this;
}

bool CDeviceIdentity::Reset()
{
    SetIds(0, 0, 0);
    return true;
}

std::uint16_t CDeviceIdentity::UpdateGeometry()
{
    m_wModelId = static_cast<std::uint16_t>(m_wBcdDevice >> 6);
    const DeviceFamily& family = FamilyOfModel(m_wModelId);
    m_nScreenWidth = family.nScreenWidth;
    m_nScreenHeight = family.nScreenHeight;
    m_nImageCount = family.nImageCount;
    m_dwLogoAddress = family.dwLogoAddress;
    m_dwLogoSize = family.dwLogoSize;
    m_dwParamAddress = family.dwParamAddress;
    m_dwParamSize = family.dwParamSize;
    return m_wModelId;
}

bool CDeviceIdentity::IsIncomplete() const
{
    return m_wVid == 0 || m_wPid == 0 || m_wBcdDevice == 0;
}

const ModelCatalogueEntry* CDeviceIdentity::Lookup() const
{
    return FindModelCatalogueEntry(static_cast<std::uint16_t>(m_wBcdDevice >> 6));
}

const DeviceFamily& CDeviceIdentity::Family() const
{
    return FamilyOfModel(static_cast<std::uint16_t>(m_wBcdDevice >> 6));
}

std::uint16_t CDeviceIdentity::GetMaxPower() const
{
    const ModelCatalogueEntry* row = Lookup();
    return row ? row->wMaxPower : kUncataloguedMaxPower;
}

std::uint16_t CDeviceIdentity::GetMinPower() const
{
    const ModelCatalogueEntry* row = Lookup();
    return row ? row->wMinPower : kUncataloguedMinPower;
}

std::uint16_t CDeviceIdentity::GetMaxTemperature(int bFahrenheit) const
{
    const ModelCatalogueEntry* row = Lookup();
    if (!row)
        return kUncataloguedMaxTemperature;
    return bFahrenheit ? row->wMaxTemperatureF : row->wMaxTemperatureC;
}

std::uint16_t CDeviceIdentity::GetMinTemperature(int bFahrenheit) const
{
    const ModelCatalogueEntry* row = Lookup();
    if (!row)
        return kUncataloguedMinTemperature;
    return bFahrenheit ? row->wMinTemperatureF : row->wMinTemperatureC;
}

int CDeviceIdentity::GetProductName(std::string& strText) const
{
    const ModelCatalogueEntry* row = Lookup();
    if (!row)
        return -1;
    strText = row->pszProductName;
    return 0;
}

int CDeviceIdentity::GetModelCode(std::string& strText) const
{
    const ModelCatalogueEntry* row = Lookup();
    if (!row)
        return -1;
    strText = row->pszModelCode;
    return 0;
}

int CDeviceIdentity::GetModelName(std::string& strText) const
{
    const ModelCatalogueEntry* row = Lookup();
    if (!row)
        return -1;
    strText = row->pszModelName;
    return 0;
}

int CDeviceIdentity::GetFirmwareVersion(std::string& strText) const
{
    if (!Lookup())
        return -1;
    const int v = m_wBcdDevice & 0x3F;
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d", v / 10, v % 10);
    strText = text;
    return 0;
}

std::string UnknownProductNameText()
{
    return nemora::i18n::Tr("CDeviceIdentity", "Unknow product name");
}

std::string UnknownModelNameText()
{
    return nemora::i18n::Tr("CDeviceIdentity", "Unknow model");
}

std::string UnknownDeviceNameText()
{
    return nemora::i18n::Tr("CDeviceIdentity", "Unknow Device");
}

CatalogueNames NamesOf(const CDeviceIdentity& identity)
{
    CatalogueNames names;
    names.catalogued = identity.GetProductName(names.product) == 0;
    identity.GetModelName(names.model);
    identity.GetFirmwareVersion(names.firmware);
    return names;
}

CatalogueNames NamesOf(std::uint16_t wVid, std::uint16_t wPid, std::uint16_t wBcdDevice)
{
    CDeviceIdentity identity;
    identity.SetIds(wVid, wPid, wBcdDevice);
    return NamesOf(identity);
}

#include "device/device_identity.h"

#include <cstdio>

namespace {

constexpr ModelCatalogueEntry Row(std::uint16_t id, std::uint16_t maxPower, const char* product, const char* code,
                                  const char* name)
{
    return {id, 5, maxPower, product, code, name, 200, 600, 100, 315};
}

} // namespace

// clang-format off
const std::array<ModelCatalogueEntry, kModelCatalogueSize> g_ModelCatalogue = {{
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
    Row(11, 80, "", "K11", "Product 11"),
    Row(12, 80, "Brand A", "K12", "Product 12"),
    Row(13, 80, "", "K13", "Product 13"),
    Row(14, 80, "Brand A", "K14", "Product 14"),
    Row(15, 40, "Brand D", "Brand D", "Product 15"),
    Row(16, 220, "Brand A", "K12", "Product 12"),
    Row(17, 100, "Brand A", "K17", "Product 17"),
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
}};
// clang-format on

const ModelCatalogueEntry* FindModelCatalogueEntry(std::uint16_t wModelId)
{
    for (const ModelCatalogueEntry& entry : g_ModelCatalogue) {
        if (entry.wModelId == wModelId)
            return &entry;
    }
    return nullptr;
}

CDeviceIdentity::CDeviceIdentity()
{
    UpdateGeometry();
}

CDeviceIdentity& CDeviceIdentity::operator=(const CDeviceIdentity& other)
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
    m_nImageCount = 12;
    m_dwParamAddress = 0x0800F000;
    m_dwParamSize = 0x800;
    if (m_wModelId == 12 || m_wModelId == 16) {
        m_nScreenWidth = 96;
        m_nScreenHeight = 96;
        m_dwLogoAddress = 0x08005000;
        m_dwLogoSize = 0x3600;
    } else {
        m_nScreenHeight = 32;
        m_dwLogoAddress = 0x0800D000;
        if (m_wModelId == 15) {
            m_nScreenWidth = 64;
            m_dwLogoSize = 0xC00;
        } else {
            m_nScreenWidth = 128;
            m_dwLogoSize = 0x1800;
        }
    }
    return m_wModelId;
}

bool CDeviceIdentity::IsIncomplete() const
{
    return m_wVid == 0 || m_wPid == 0 || m_wBcdDevice == 0;
}

const ModelCatalogueEntry* CDeviceIdentity::Lookup()
{
    return FindModelCatalogueEntry(UpdateGeometry());
}

std::uint16_t CDeviceIdentity::GetMaxPower()
{
    const ModelCatalogueEntry* row = Lookup();
    return row ? row->wMaxPower : kUncataloguedMaxPower;
}

std::uint16_t CDeviceIdentity::GetMinPower()
{
    const ModelCatalogueEntry* row = Lookup();
    return row ? row->wMinPower : kUncataloguedMinPower;
}

std::uint16_t CDeviceIdentity::GetMaxTemperature(int bFahrenheit)
{
    const ModelCatalogueEntry* row = Lookup();
    if (!row)
        return kUncataloguedMaxTemperature;
    return bFahrenheit ? row->wMaxTemperatureF : row->wMaxTemperatureC;
}

std::uint16_t CDeviceIdentity::GetMinTemperature(int bFahrenheit)
{
    const ModelCatalogueEntry* row = Lookup();
    if (!row)
        return kUncataloguedMinTemperature;
    return bFahrenheit ? row->wMinTemperatureF : row->wMinTemperatureC;
}

int CDeviceIdentity::GetProductName(std::string& strText)
{
    const ModelCatalogueEntry* row = Lookup();
    if (!row)
        return -1;
    strText = row->pszProductName;
    return 0;
}

int CDeviceIdentity::GetModelCode(std::string& strText)
{
    const ModelCatalogueEntry* row = Lookup();
    if (!row)
        return -1;
    strText = row->pszModelCode;
    return 0;
}

int CDeviceIdentity::GetModelName(std::string& strText)
{
    const ModelCatalogueEntry* row = Lookup();
    if (!row)
        return -1;
    strText = row->pszModelName;
    return 0;
}

int CDeviceIdentity::GetFirmwareVersion(std::string& strText)
{
    if (!Lookup())
        return -1;
    const int v = m_wBcdDevice & 0x3F;
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d", v / 10, v % 10);
    strText = text;
    return 0;
}

#include "device/device_identity.h"
#include "screens/default_sets.h"
#include "sim/virtual_device.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

CDeviceIdentity Identity(std::uint16_t bcd, std::uint16_t vid = 0x0483, std::uint16_t pid = 0xDF11)
{
    CDeviceIdentity id;
    id.SetIds(vid, pid, bcd);
    return id;
}

struct DerivedCase {
    std::uint16_t bcd;
    std::uint16_t modelId;
    int width, height;
    std::uint32_t logoAddress, logoSize;
    std::uint16_t maxPower;
    const char* version; // nullptr: not catalogued
};

class DerivedFromBcd : public testing::TestWithParam<DerivedCase> {};

TEST_P(DerivedFromBcd, GeometryLimitsAndVersion)
{
    const DerivedCase& c = GetParam();
    CDeviceIdentity id = Identity(c.bcd);
    EXPECT_EQ(id.m_wModelId, c.modelId);
    EXPECT_EQ(id.m_nScreenWidth, c.width);
    EXPECT_EQ(id.m_nScreenHeight, c.height);
    EXPECT_EQ(id.m_nImageCount, 12);
    EXPECT_EQ(id.m_dwLogoAddress, c.logoAddress);
    EXPECT_EQ(id.m_dwLogoSize, c.logoSize);
    EXPECT_EQ(id.m_dwLogoSize, static_cast<std::uint32_t>(12 * c.width * c.height / 8));
    EXPECT_EQ(id.m_dwParamAddress, 0x0800F000u);
    EXPECT_EQ(id.m_dwParamSize, 0x800u);
    EXPECT_EQ(id.GetMaxPower(), c.maxPower);
    std::string version = "----";
    EXPECT_EQ(id.GetFirmwareVersion(version), c.version ? 0 : -1);
    EXPECT_EQ(version, c.version ? c.version : "----");
}

INSTANTIATE_TEST_SUITE_P(Catalogue, DerivedFromBcd,
                         testing::Values(DerivedCase{0x004C, 1, 128, 32, 0x0800D000, 0x1800, 160, "1.2"},
                                         DerivedCase{0x0300, 12, 96, 96, 0x08005000, 0x3600, 80, "0.0"},
                                         DerivedCase{0x0400, 16, 96, 96, 0x08005000, 0x3600, 220, "0.0"},
                                         DerivedCase{0x03C5, 15, 64, 32, 0x0800D000, 0xC00, 40, "0.5"},
                                         DerivedCase{0x09FF, 39, 128, 32, 0x0800D000, 0x1800, 80, "6.3"},
                                         DerivedCase{0x0A00, 40, 128, 32, 0x0800D000, 0x1800, 80, nullptr},
                                         DerivedCase{0x0000, 0, 128, 32, 0x0800D000, 0x1800, 80, nullptr},
                                         DerivedCase{0xFFFF, 1023, 128, 32, 0x0800D000, 0x1800, 80, nullptr}));

TEST(ModelCatalogue, RowsRunFromOneToThirtyNineInOrderWithFixedTemperatureLimits)
{
    ASSERT_EQ(g_ModelCatalogue.size(), 39u);
    std::set<std::string> texts;
    for (std::size_t i = 0; i < g_ModelCatalogue.size(); ++i) {
        const ModelCatalogueEntry& row = g_ModelCatalogue[i];
        EXPECT_EQ(row.wModelId, i + 1);
        EXPECT_EQ(row.wMinPower, 5);
        EXPECT_EQ(row.wMinTemperatureF, 200);
        EXPECT_EQ(row.wMaxTemperatureF, 600);
        EXPECT_EQ(row.wMinTemperatureC, 100);
        EXPECT_EQ(row.wMaxTemperatureC, 315);
    }
    // Spot checks on rows whose texts are irregular.
    EXPECT_STREQ(g_ModelCatalogue[14].pszModelCode, "Brand D");
    EXPECT_STREQ(g_ModelCatalogue[7].pszModelName, "K08");
    EXPECT_EQ(g_ModelCatalogue[4].wMaxPower, 120);
    EXPECT_EQ(g_ModelCatalogue[6].wMaxPower, 160);
    EXPECT_EQ(g_ModelCatalogue[16].wMaxPower, 100);
    EXPECT_STREQ(g_ModelCatalogue[9].pszProductName, "Brand C");
}

TEST(ModelCatalogue, ModelsTwelveAndSixteenDifferOnlyInMaximumPower)
{
    CDeviceIdentity a = Identity(12 << 6), b = Identity(16 << 6);
    std::string ta, tb;
    a.GetProductName(ta);
    b.GetProductName(tb);
    EXPECT_EQ(ta, tb);
    a.GetModelCode(ta);
    b.GetModelCode(tb);
    EXPECT_EQ(ta, tb);
    a.GetModelName(ta);
    b.GetModelName(tb);
    EXPECT_EQ(ta, "Product 12");
    EXPECT_EQ(tb, "Product 12");
    EXPECT_EQ(a.GetMaxPower(), 80);
    EXPECT_EQ(b.GetMaxPower(), 220);
}

TEST(TextLookups, CataloguedModelOverwritesEvenWithAnEmptyText)
{
    CDeviceIdentity id = Identity(11 << 6);
    std::string product = "Unknow product name";
    EXPECT_EQ(id.GetProductName(product), 0);
    EXPECT_EQ(product, "");

    CDeviceIdentity k08 = Identity(8 << 6);
    std::string p, code, name;
    k08.GetProductName(p);
    k08.GetModelCode(code);
    k08.GetModelName(name);
    EXPECT_EQ(p, "Brand A");
    EXPECT_EQ(code, "K08");
    EXPECT_EQ(name, "K08");
}

TEST(TextLookups, UncataloguedModelLeavesEveryPresetAndUsesFallbackLimits)
{
    CDeviceIdentity id = Identity(0x0A00);
    std::string product = "p", code = "c", name = "n", version = "v";
    EXPECT_EQ(id.GetProductName(product), -1);
    EXPECT_EQ(id.GetModelCode(code), -1);
    EXPECT_EQ(id.GetModelName(name), -1);
    EXPECT_EQ(id.GetFirmwareVersion(version), -1);
    EXPECT_EQ(product + code + name + version, "pcnv");
    EXPECT_EQ(id.GetMinPower(), 5);
    for (int flag : {0, 1, 7}) {
        EXPECT_EQ(id.GetMaxTemperature(flag), 600);
        EXPECT_EQ(id.GetMinTemperature(flag), 200);
    }
}

TEST(TextLookups, TemperatureFlagSelectsTheUnitForCataloguedModels)
{
    CDeviceIdentity id = Identity(0x0040);
    EXPECT_EQ(id.GetMaxTemperature(1), 600);
    EXPECT_EQ(id.GetMinTemperature(1), 200);
    EXPECT_EQ(id.GetMaxTemperature(0), 315);
    EXPECT_EQ(id.GetMinTemperature(0), 100);
    EXPECT_EQ(id.GetMaxTemperature(2), 600); // any non-zero flag means Fahrenheit
}

TEST(Identity, DefaultAndResetGiveTheLastGeometryRowAndAreIncomplete)
{
    CDeviceIdentity fresh;
    EXPECT_EQ(fresh.m_wModelId, 0);
    EXPECT_EQ(fresh.m_nScreenWidth, 128);
    EXPECT_EQ(fresh.m_dwLogoSize, 0x1800u);
    EXPECT_TRUE(fresh.IsIncomplete());

    CDeviceIdentity id = Identity(0x0300);
    EXPECT_TRUE(id.Reset());
    EXPECT_EQ(id.m_wVid, 0);
    EXPECT_EQ(id.m_nScreenWidth, 128);
    EXPECT_EQ(id.m_dwLogoAddress, 0x0800D000u);
}

// What every family must be: its two areas inside the device's flash, apart, the logo area exactly
// twelve screens, and an image set of its own screen size.
TEST(ModelCatalogue, EveryFamilyFitsItsDevice)
{
    std::vector<const DeviceFamily*> families = {&FamilyOfModel(0)};
    for (const ModelCatalogueEntry& row : g_ModelCatalogue) {
        ASSERT_NE(row.pFamily, nullptr) << "model " << row.wModelId;
        families.push_back(row.pFamily);
    }
    const std::uint64_t flashEnd = std::uint64_t{nemora::sim::kFlashBase} + nemora::sim::kFlashSize;
    for (const DeviceFamily* f : families) {
        const std::uint64_t logoEnd = std::uint64_t{f->dwLogoAddress} + f->dwLogoSize;
        const std::uint64_t paramEnd = std::uint64_t{f->dwParamAddress} + f->dwParamSize;
        EXPECT_GE(f->dwLogoAddress, nemora::sim::kFlashBase);
        EXPECT_GE(f->dwParamAddress, nemora::sim::kFlashBase);
        EXPECT_LE(logoEnd, flashEnd);
        EXPECT_LE(paramEnd, flashEnd);
        EXPECT_TRUE(logoEnd <= f->dwParamAddress || paramEnd <= f->dwLogoAddress) << "areas overlap";
        EXPECT_EQ(f->dwLogoSize, static_cast<std::uint32_t>(f->nImageCount * f->nScreenWidth * f->nScreenHeight / 8));
        const DefaultImageSet& set = GetDefaultImageSet(f->nImageSet);
        EXPECT_EQ(set.nSet, f->nImageSet);
        EXPECT_EQ(set.nWidth, f->nScreenWidth);
        EXPECT_EQ(set.nHeight, f->nScreenHeight);
    }
}

TEST(Identity, IncompleteWhenAnyIdIsZero)
{
    EXPECT_FALSE(Identity(0x0040).IsIncomplete());
    EXPECT_TRUE(Identity(0x0040, 0x0483, 0).IsIncomplete());
    EXPECT_TRUE(Identity(0x0040, 0, 0xDF11).IsIncomplete());
    EXPECT_TRUE(Identity(0x0000).IsIncomplete());
}

TEST(Identity, AssignIdsCopiesIdsOnlyUntilTheNextUpdate)
{
    CDeviceIdentity target = Identity(0x0040);
    const CDeviceIdentity source = Identity(0x0300, 0x1111, 0x2222);
    target.AssignIds(source);
    EXPECT_EQ(target.m_wVid, 0x1111);
    EXPECT_EQ(target.m_wPid, 0x2222);
    EXPECT_EQ(target.m_wBcdDevice, 0x0300);
    EXPECT_EQ(target.m_wModelId, 12);
    EXPECT_EQ(target.m_nScreenWidth, 128); // geometry lags behind
    EXPECT_EQ(target.m_dwLogoAddress, 0x0800D000u);
    EXPECT_EQ(target.GetMaxPower(), 80); // lookups follow the ids at once
    target.UpdateGeometry();
    EXPECT_EQ(target.m_nScreenWidth, 96);
    EXPECT_EQ(target.m_dwLogoAddress, 0x08005000u);

    CDeviceIdentity& self = target;
    target.AssignIds(self);
    EXPECT_EQ(target.m_wBcdDevice, 0x0300);

    CDeviceIdentity copy = Identity(0x0040);
    copy = Identity(0x03C5);
    EXPECT_EQ(copy.m_nScreenWidth, 64); // a plain copy takes the geometry too
    EXPECT_EQ(copy.m_dwLogoSize, 0xC00u);
}

} // namespace

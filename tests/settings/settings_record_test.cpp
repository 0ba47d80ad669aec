#include "device/device_identity.h"
#include "settings/settings_record.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {

// A record whose every byte holds its own offset's low byte, so a field at the wrong offset shows.
SettingsRecord Patterned()
{
    std::vector<std::uint8_t> bytes(SettingsRecord::kSize);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
    SettingsRecord r;
    r.TakeIn(bytes.data(), bytes.size());
    return r;
}

SettingsEditorValues Edited()
{
    SettingsEditorValues v;
    v.params = {11, 12, 13, 14, 15, 16, 17};
    for (std::size_t i = 0; i < kCurvePointCount; ++i) {
        v.powerCurve[i] = static_cast<std::uint16_t>(100 + i * 10);
        v.temperatureCurve[i] = static_cast<std::uint16_t>(0x0300 + i);
    }
    return v;
}

TEST(SettingsRecord, FieldsSitAtTheirOffsetsLittleEndian)
{
    SettingsRecord r;
    r.SetParameters({0x0102, 0x0304, 0x0506, 0x0708, 0x090A, 0x0B0C, 0x0D0E});
    CurvePoints power{}, temperature{};
    for (std::size_t i = 0; i < kCurvePointCount; ++i) {
        power[i] = static_cast<std::uint16_t>(0xA000 + i);
        temperature[i] = static_cast<std::uint16_t>(0xB000 + i);
    }
    r.SetPowerCurve(power);
    r.SetTemperatureCurve(temperature);
    r.StoreMarker();

    const std::uint8_t* b = r.Data();
    EXPECT_EQ(b[0], 0x5A);
    EXPECT_EQ(b[1], 0x5A);
    EXPECT_EQ(b[26], 0x02); // TcrM1 low byte first
    EXPECT_EQ(b[27], 0x01);
    EXPECT_EQ(b[28], 0x04);
    EXPECT_EQ(b[36], 0x00); // power point 0
    EXPECT_EQ(b[37], 0xA0);
    EXPECT_EQ(b[54], 0x09); // power point 9
    EXPECT_EQ(b[56], 0x00); // temperature point 0
    EXPECT_EQ(b[57], 0xB0);
    EXPECT_EQ(b[74], 0x09); // temperature point 9
    EXPECT_EQ(b[76], 0x06); // Ni
    EXPECT_EQ(b[78], 0x08); // Ti
    EXPECT_EQ(b[80], 0x0A); // Ss
    EXPECT_EQ(b[82], 0x0C); // Tcr
    EXPECT_EQ(b[84], 0x0E); // DisplayLevel
    EXPECT_EQ(b[85], 0x0D);
    // Nothing else was touched.
    for (std::size_t i : {2u, 13u, 14u, 15u, 25u, 30u, 35u, 86u, 2047u})
        EXPECT_EQ(b[i], 0xFF) << "offset " << i;
}

TEST(SettingsRecord, ReadsFieldsFromRawBytes)
{
    const SettingsRecord r = Patterned();
    EXPECT_EQ(r.Marker(), 0x0100);
    EXPECT_EQ(r.TemperatureUnit(), 0x0F0E);
    const SettingsParameters p = r.Parameters();
    EXPECT_EQ(p.wTcrM1, 0x1B1A);
    EXPECT_EQ(p.wTcrM2, 0x1D1C);
    EXPECT_EQ(p.wNi, 0x4D4C);
    EXPECT_EQ(p.wTi, 0x4F4E);
    EXPECT_EQ(p.wSs, 0x5150);
    EXPECT_EQ(p.wTcr, 0x5352);
    EXPECT_EQ(p.wDisplayLevel, 0x5554);
    EXPECT_EQ(r.PowerCurve()[0], 0x2524);
    EXPECT_EQ(r.TemperatureCurve()[9], 0x4B4A);
}

TEST(SettingsRecord, TakeInCopiesAtMostTheRecordAndKeepsTheRestOfAShortOne)
{
    SettingsRecord r = Patterned();
    const std::vector<std::uint8_t> shortData(10, 0x00);
    r.TakeIn(shortData.data(), shortData.size());
    EXPECT_EQ(r.Data()[9], 0x00);
    EXPECT_EQ(r.Data()[10], 10);
    EXPECT_EQ(r.Marker(), 0); // not 5A5A, taken in all the same

    const std::vector<std::uint8_t> longData(SettingsRecord::kSize + 100, 0x33);
    r.TakeIn(longData.data(), longData.size());
    EXPECT_EQ(r.Data()[SettingsRecord::kSize - 1], 0x33);
}

TEST(SettingsRecord, DefaultsOfTheEditors)
{
    const SettingsParameters p;
    EXPECT_EQ(p, (SettingsParameters{100, 100, 800, 305, 105, 100, 255}));
    for (std::uint16_t v : DefaultPowerCurve())
        EXPECT_EQ(v, 350);
    for (std::uint16_t v : DefaultTemperatureCurve(100))
        EXPECT_EQ(v, 100);
}

TEST(AssembleForDevice, StoresMarkerAndOnlyTheCurrentSubPage)
{
    const SettingsEditorValues v = Edited();
    for (SettingsSubPage page :
         {SettingsSubPage::Parameters, SettingsSubPage::TemperatureCurve, SettingsSubPage::PowerCurve}) {
        const SettingsRecord before = Patterned();
        SettingsRecord r = before;
        AssembleRecordForDevice(r, page, v);
        EXPECT_EQ(r.Marker(), 0x5A5A);
        EXPECT_EQ(r.TemperatureUnit(), before.TemperatureUnit());
        // The parameters page does not show TCR, so its write leaves TCR as read.
        SettingsParameters params = page == SettingsSubPage::Parameters ? v.params : before.Parameters();
        params.wTcr = before.Parameters().wTcr;
        EXPECT_EQ(r.Parameters(), params);
        EXPECT_EQ(r.PowerCurve(), page == SettingsSubPage::PowerCurve ? v.powerCurve : before.PowerCurve());
        EXPECT_EQ(r.TemperatureCurve(),
                  page == SettingsSubPage::TemperatureCurve ? v.temperatureCurve : before.TemperatureCurve());
        // Uninterpreted bytes keep what was read.
        for (std::size_t i : {2u, 16u, 30u, 86u, 1000u, 2047u})
            EXPECT_EQ(r.Data()[i], before.Data()[i]) << "offset " << i;
    }
}

TEST(AssembleForFile, FillsUninterpretedBytesWithFFAndStoresEveryField)
{
    const SettingsRecord memory = Patterned();
    const SettingsEditorValues v = Edited();
    const SettingsRecord file = AssembleRecordForFile(memory, 0x800, v);
    EXPECT_EQ(file.Marker(), 0x5A5A);
    EXPECT_EQ(file.TemperatureUnit(), 0xFFFF);
    EXPECT_TRUE(file.IsFahrenheit());
    EXPECT_EQ(file.Parameters(), v.params);
    EXPECT_EQ(file.PowerCurve(), v.powerCurve);
    EXPECT_EQ(file.TemperatureCurve(), v.temperatureCurve);
    auto allFF = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i <= to; ++i) {
            if (file.Data()[i] != 0xFF)
                return false;
        }
        return true;
    };
    EXPECT_TRUE(allFF(2, 25));
    EXPECT_TRUE(allFF(30, 35));
    EXPECT_TRUE(allFF(86, 2047));
}

TEST(AssembleForFile, LeavesTheInMemoryRecordForLaterWritesUntouched)
{
    SettingsRecord memory = Patterned();
    const SettingsRecord before = memory;
    const SettingsEditorValues v = Edited();
    (void)AssembleRecordForFile(memory, 0x800, v);
    EXPECT_EQ(memory, before);

    // A write after the save still sends the device's own uninterpreted bytes.
    AssembleRecordForDevice(memory, SettingsSubPage::PowerCurve, v);
    EXPECT_EQ(memory.TemperatureUnit(), before.TemperatureUnit());
    EXPECT_EQ(memory.Data()[100], before.Data()[100]);
}

TEST(CurveLimits, FollowTheCatalogueAndTheTemperatureUnit)
{
    EXPECT_EQ(CurveLimits{}, (CurveLimits{160, 5, 600, 200, true}));

    CDeviceIdentity k01;
    k01.SetIds(0x0483, 0xDF11, 0x0040);
    EXPECT_EQ(CurveLimitsFor(k01, 0), (CurveLimits{160, 5, 315, 100, false}));
    EXPECT_EQ(CurveLimitsFor(k01, 0xFFFF), (CurveLimits{160, 5, 600, 200, true}));

    CDeviceIdentity unknown;
    unknown.SetIds(0x0483, 0xDF11, 0x0A00);
    EXPECT_EQ(CurveLimitsFor(unknown, 0), (CurveLimits{80, 5, 600, 200, false}));
}

TEST(UserAreas, AreTellApartByAddressOnly)
{
    CDeviceIdentity id;
    EXPECT_EQ(ClassifyAreaAddress(id, 0x0800D000), UserArea::Logo);
    EXPECT_EQ(ClassifyAreaAddress(id, 0x0800F000), UserArea::Param);
    EXPECT_EQ(ClassifyAreaAddress(id, 0x08005000), UserArea::None);
    EXPECT_EQ(LogoDataLength(id), 6144u);

    id.SetIds(0x0483, 0xDF11, 0x0300);
    EXPECT_EQ(ClassifyAreaAddress(id, 0x08005000), UserArea::Logo);
    EXPECT_EQ(LogoDataLength(id), 13824u);
    id.SetIds(0x0483, 0xDF11, 0x03C0);
    EXPECT_EQ(LogoDataLength(id), 3072u);
}

} // namespace

#include "settings/settings_record.h"

#include "device/device_identity.h"
#include "settings/curve_chart.h"

#include <algorithm>
#include <cstring>

SettingsRecord::SettingsRecord()
{
    m_bytes.fill(0xFF);
}

std::uint16_t SettingsRecord::Word(std::size_t offset) const
{
    return static_cast<std::uint16_t>(m_bytes.at(offset) | (m_bytes.at(offset + 1) << 8));
}

void SettingsRecord::SetWord(std::size_t offset, std::uint16_t value)
{
    m_bytes.at(offset) = static_cast<std::uint8_t>(value & 0xFF);
    m_bytes.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t SettingsParameters::Get(Field field) const
{
    switch (field) {
    case Field::Ni:
        return wNi;
    case Field::Ti:
        return wTi;
    case Field::Ss:
        return wSs;
    case Field::Tcr:
        return wTcr;
    case Field::TcrM1:
        return wTcrM1;
    case Field::TcrM2:
        return wTcrM2;
    case Field::DisplayLevel:
        return wDisplayLevel;
    }
    return 0;
}

void SettingsParameters::Set(Field field, std::uint16_t value)
{
    switch (field) {
    case Field::Ni:
        wNi = value;
        break;
    case Field::Ti:
        wTi = value;
        break;
    case Field::Ss:
        wSs = value;
        break;
    case Field::Tcr:
        wTcr = value;
        break;
    case Field::TcrM1:
        wTcrM1 = value;
        break;
    case Field::TcrM2:
        wTcrM2 = value;
        break;
    case Field::DisplayLevel:
        wDisplayLevel = value;
        break;
    }
}

SettingsParameters SettingsRecord::Parameters() const
{
    SettingsParameters p;
    for (const auto& field : nemora::settings::kParameterFields)
        p.Set(field.id, Word(field.offset));
    return p;
}

void SettingsRecord::SetParameters(const SettingsParameters& p)
{
    for (const auto& field : nemora::settings::kParameterFields)
        SetWord(field.offset, p.Get(field.id));
}

CurvePoints SettingsRecord::Curve(std::size_t offset) const
{
    CurvePoints points{};
    for (std::size_t i = 0; i < points.size(); ++i)
        points[i] = Word(offset + 2 * i);
    return points;
}

void SettingsRecord::SetCurve(std::size_t offset, const CurvePoints& points)
{
    for (std::size_t i = 0; i < points.size(); ++i)
        SetWord(offset + 2 * i, points[i]);
}

CurvePoints SettingsRecord::PowerCurve() const
{
    return Curve(kPowerCurveOffset);
}

void SettingsRecord::SetPowerCurve(const CurvePoints& points)
{
    SetCurve(kPowerCurveOffset, points);
}

CurvePoints SettingsRecord::TemperatureCurve() const
{
    return Curve(kTemperatureCurveOffset);
}

void SettingsRecord::SetTemperatureCurve(const CurvePoints& points)
{
    SetCurve(kTemperatureCurveOffset, points);
}

void SettingsRecord::TakeIn(const std::uint8_t* data, std::size_t length)
{
    if (!data)
        return;
    std::memcpy(m_bytes.data(), data, std::min(length, kSize));
}

CurvePoints DefaultPowerCurve()
{
    CurvePoints points;
    points.fill(kDefaultPowerPoint);
    return points;
}

CurvePoints DefaultTemperatureCurve(std::uint16_t wMinTemperature)
{
    CurvePoints points;
    points.fill(wMinTemperature);
    return points;
}

void AssembleRecordForDevice(SettingsRecord& record, SettingsSubPage current, const SettingsEditorValues& values)
{
    record.StoreMarker();
    switch (current) {
    case SettingsSubPage::Parameters:
        for (const auto& field : nemora::settings::kParameterFields) {
            if (field.shown) // a field the page does not show keeps what was read
                record.SetWord(field.offset, values.params.Get(field.id));
        }
        break;
    case SettingsSubPage::TemperatureCurve:
        record.SetTemperatureCurve(values.temperatureCurve);
        break;
    case SettingsSubPage::PowerCurve:
        record.SetPowerCurve(values.powerCurve);
        break;
    }
}

SettingsRecord AssembleRecordForFile(const SettingsRecord& record, std::uint32_t paramSize,
                                     const SettingsEditorValues& values)
{
    SettingsRecord file = record;
    std::memset(file.Data(), 0xFF, std::min<std::size_t>(paramSize, SettingsRecord::kSize));
    file.StoreMarker();
    file.SetParameters(values.params);
    file.SetTemperatureCurve(values.temperatureCurve);
    file.SetPowerCurve(values.powerCurve);
    return file;
}

CurveLimits CurveLimitsFor(CDeviceIdentity& identity, std::uint16_t wTemperatureUnit)
{
    CurveLimits limits;
    limits.bFahrenheit = wTemperatureUnit != 0;
    limits.wMaxPower = identity.GetMaxPower();
    limits.wMinPower = identity.GetMinPower();
    limits.wMaxTemperature = identity.GetMaxTemperature(limits.bFahrenheit);
    limits.wMinTemperature = identity.GetMinTemperature(limits.bFahrenheit);
    return limits;
}

namespace {

std::string Watts(int nTenths)
{
    return std::to_string(nTenths / 10) + (nTenths % 10 ? "." + std::to_string(nTenths % 10) : std::string()) + " W";
}

} // namespace

std::vector<LimitedField> LimitRecordToEditors(SettingsRecord& record, const CurveLimits& limits)
{
    using nemora::settings::kParameterFields;
    std::vector<LimitedField> limited;
    for (const auto& field : kParameterFields) {
        const int value = record.Word(field.offset);
        const int kept = nemora::settings::LimitToField(field, value);
        if (kept != value) {
            limited.push_back({std::string(field.key), std::to_string(value), std::to_string(kept), true});
            record.SetWord(field.offset, static_cast<std::uint16_t>(kept));
        }
    }
    const nemora::settings::PowerLimits power{limits.wMaxPower, limits.wMinPower};
    CurvePoints points = record.PowerCurve();
    for (std::size_t k = 0; k < points.size(); ++k) {
        const int kept = nemora::settings::NormalisePower(points[k], power) * 10;
        if (kept != points[k]) {
            const bool outside = points[k] < power.wMin * 10 || points[k] > power.wMax * 10;
            limited.push_back({"power point " + std::to_string(k + 1), Watts(points[k]), Watts(kept), outside});
            points[k] = static_cast<std::uint16_t>(kept);
        }
    }
    record.SetPowerCurve(points);
    const nemora::settings::TemperatureLimits temperature{limits.wMaxTemperature, limits.wMinTemperature,
                                                          limits.bFahrenheit};
    const std::string unit = limits.bFahrenheit ? " F" : " C";
    points = record.TemperatureCurve();
    for (std::size_t k = 0; k < points.size(); ++k) {
        const int kept = nemora::settings::NormaliseTemperature(points[k], temperature);
        if (kept != points[k]) {
            const bool outside = points[k] < temperature.wMin || points[k] > temperature.wMax;
            limited.push_back({"temperature point " + std::to_string(k + 1), std::to_string(points[k]) + unit,
                               std::to_string(kept) + unit, outside});
            points[k] = static_cast<std::uint16_t>(kept);
        }
    }
    record.SetTemperatureCurve(points);
    return limited;
}

UserArea ClassifyAreaAddress(const CDeviceIdentity& identity, std::uint32_t dwAddress)
{
    if (dwAddress == identity.m_dwLogoAddress)
        return UserArea::Logo;
    if (dwAddress == identity.m_dwParamAddress)
        return UserArea::Param;
    return UserArea::None;
}

std::uint32_t LogoDataLength(const CDeviceIdentity& identity)
{
    const auto bits = static_cast<std::uint64_t>(identity.m_nImageCount) *
                      static_cast<std::uint64_t>(identity.m_nScreenWidth) *
                      static_cast<std::uint64_t>(identity.m_nScreenHeight);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(bits / 8, identity.m_dwLogoSize));
}

#pragma once

#include "settings/settings_fields.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CDeviceIdentity;

// Names the user areas carry as DfuSe images, in devices' memory and in settings files.
inline constexpr const char* kLogoImageName = "user_log";
inline constexpr const char* kParamImageName = "user_para";
// Accepted when loading a settings file; they have no area of their own.
inline constexpr const char* kPowerImageName = "user_power";
inline constexpr const char* kTemperatureImageName = "user_temp";

inline constexpr std::size_t kCurvePointCount = 10;
using CurvePoints = std::array<std::uint16_t, kCurvePointCount>;

// The seven single-value fields of the record; see kParameterFields for where each lives.
struct SettingsParameters {
    using Field = nemora::settings::ParameterField;
    std::uint16_t wTcrM1 = nemora::settings::Spec(Field::TcrM1).defaultValue;
    std::uint16_t wTcrM2 = nemora::settings::Spec(Field::TcrM2).defaultValue;
    std::uint16_t wNi = nemora::settings::Spec(Field::Ni).defaultValue;
    std::uint16_t wTi = nemora::settings::Spec(Field::Ti).defaultValue;
    std::uint16_t wSs = nemora::settings::Spec(Field::Ss).defaultValue;
    std::uint16_t wTcr = nemora::settings::Spec(Field::Tcr).defaultValue;
    std::uint16_t wDisplayLevel = nemora::settings::Spec(Field::DisplayLevel).defaultValue;

    std::uint16_t Get(Field field) const;
    void Set(Field field, std::uint16_t value);

    bool operator==(const SettingsParameters&) const = default;
};

// The 2048-byte record of the parameter area. Every field is an unsigned 16-bit value stored least
// significant byte first; bytes the console does not interpret are kept as they came. Fields are read and
// written through the accessors, never by overlaying a struct on the bytes.
class SettingsRecord {
public:
    static constexpr std::size_t kSize = 2048;
    static constexpr std::uint16_t kMarkerValue = 0x5A5A;

    // Byte offsets of the fields the console uses.
    static constexpr std::size_t kMarkerOffset = 0;
    static constexpr std::size_t kTemperatureUnitOffset = 14;
    static constexpr std::size_t kPowerCurveOffset = 36;
    static constexpr std::size_t kTemperatureCurveOffset = 56;
    static constexpr std::size_t kTcrM1Offset = nemora::settings::Spec(nemora::settings::ParameterField::TcrM1).offset;
    static constexpr std::size_t kTcrM2Offset = nemora::settings::Spec(nemora::settings::ParameterField::TcrM2).offset;
    static constexpr std::size_t kNiOffset = nemora::settings::Spec(nemora::settings::ParameterField::Ni).offset;
    static constexpr std::size_t kTiOffset = nemora::settings::Spec(nemora::settings::ParameterField::Ti).offset;
    static constexpr std::size_t kSsOffset = nemora::settings::Spec(nemora::settings::ParameterField::Ss).offset;
    static constexpr std::size_t kTcrOffset = nemora::settings::Spec(nemora::settings::ParameterField::Tcr).offset;
    static constexpr std::size_t kDisplayLevelOffset =
        nemora::settings::Spec(nemora::settings::ParameterField::DisplayLevel).offset;

    // A record whose every byte is 0xFF, as in an erased area or a saved settings file.
    SettingsRecord();

    std::uint16_t Word(std::size_t offset) const;
    void SetWord(std::size_t offset, std::uint16_t value);

    std::uint16_t Marker() const { return Word(kMarkerOffset); }
    std::uint16_t TemperatureUnit() const { return Word(kTemperatureUnitOffset); }
    bool IsFahrenheit() const { return TemperatureUnit() != 0; }

    SettingsParameters Parameters() const;
    void SetParameters(const SettingsParameters& params);
    CurvePoints PowerCurve() const;
    void SetPowerCurve(const CurvePoints& points);
    CurvePoints TemperatureCurve() const;
    void SetTemperatureCurve(const CurvePoints& points);
    void StoreMarker() { SetWord(kMarkerOffset, kMarkerValue); }

    // Copies min(length, kSize) bytes in; bytes beyond a shorter input keep their values. The marker is
    // not checked: a record is taken in whatever its first bytes hold.
    void TakeIn(const std::uint8_t* data, std::size_t length);

    const std::uint8_t* Data() const { return m_bytes.data(); }
    std::uint8_t* Data() { return m_bytes.data(); }
    static constexpr std::size_t Size() { return kSize; }

    bool operator==(const SettingsRecord&) const = default;

private:
    CurvePoints Curve(std::size_t offset) const;
    void SetCurve(std::size_t offset, const CurvePoints& points);

    std::array<std::uint8_t, kSize> m_bytes;
};

// Default values the editors restore.
inline constexpr std::uint16_t kDefaultPowerPoint = 350; // tenths of a watt
CurvePoints DefaultPowerCurve();
CurvePoints DefaultTemperatureCurve(std::uint16_t wMinTemperature);

// The sub-page that is current when the record is assembled for the device.
enum class SettingsSubPage { Parameters, TemperatureCurve, PowerCurve };

// The values the three editors hold when a record is assembled.
struct SettingsEditorValues {
    SettingsParameters params;
    CurvePoints temperatureCurve{};
    CurvePoints powerCurve{};
};

// Assembles the record for a write to the device, in place: the marker, then only the fields the current
// sub-page shows (for the parameters page, the fields kParameterFields marks as shown). Every other byte
// keeps what the last read or load put there.
void AssembleRecordForDevice(SettingsRecord& record, SettingsSubPage current, const SettingsEditorValues& values);

// Assembles the record for a settings file in a buffer of its own: the first paramSize bytes are 0xFF
// (bytes past it, if any, come from the in-memory record), then the marker and every edited field. The
// in-memory record is left as it is, so a save never changes what a later write sends to the device.
SettingsRecord AssembleRecordForFile(const SettingsRecord& record, std::uint32_t paramSize,
                                     const SettingsEditorValues& values);

// The bounds the curve editors apply.
struct CurveLimits {
    std::uint16_t wMaxPower = 160; // watts
    std::uint16_t wMinPower = 5;
    std::uint16_t wMaxTemperature = 600;
    std::uint16_t wMinTemperature = 200;
    bool bFahrenheit = true;

    bool operator==(const CurveLimits&) const = default;
};

// Limits for a device and the temperature unit of a record (0 = Celsius, anything else = Fahrenheit).
CurveLimits CurveLimitsFor(CDeviceIdentity& identity, std::uint16_t wTemperatureUnit);

// A field a record brought from outside that the editors change when they take it in: out of its range or,
// for a curve point, not on the editor's step.
struct LimitedField {
    std::string name; // "ni", "power point 3", "temperature point 10"
    std::string from; // as the record held it, with its unit: "9990", "99.9 W", "9990 F"
    std::string to;
    bool outOfRange = false; // beyond the field's range, not only off the step
};

// Brings every field the console edits into what its editors keep: the single values into their ranges,
// the power curve to whole watts within the limits, the temperature curve onto its step within the limits
// of the record's unit. Returns each field it changed, in record order.
std::vector<LimitedField> LimitRecordToEditors(SettingsRecord& record, const CurveLimits& limits);

// Which user area an element belongs to. Areas are told apart by address, never by image name.
enum class UserArea { None, Logo, Param };
UserArea ClassifyAreaAddress(const CDeviceIdentity& identity, std::uint32_t dwAddress);

// Length of the logo data the console builds: min(images x width x height / 8, logo area size).
std::uint32_t LogoDataLength(const CDeviceIdentity& identity);

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

class CDeviceIdentity;

// Names the user areas carry as DfuSe images, in devices' memory and in settings files.
inline constexpr const char* kLogoImageName = "user_log";
inline constexpr const char* kParamImageName = "user_para";
// Accepted when loading a settings file; they have no area of their own.
inline constexpr const char* kPowerImageName = "user_power";
inline constexpr const char* kTemperatureImageName = "user_temp";

inline constexpr std::size_t kCurvePointCount = 10;
using CurvePoints = std::array<std::uint16_t, kCurvePointCount>;

// The seven values of the parameters page.
struct SettingsParameters {
    std::uint16_t wTcrM1 = 100;
    std::uint16_t wTcrM2 = 100;
    std::uint16_t wNi = 800;
    std::uint16_t wTi = 305;
    std::uint16_t wSs = 105;
    std::uint16_t wTcr = 100;
    std::uint16_t wDisplayLevel = 255;

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
    static constexpr std::size_t kTcrM1Offset = 26;
    static constexpr std::size_t kTcrM2Offset = 28;
    static constexpr std::size_t kPowerCurveOffset = 36;
    static constexpr std::size_t kTemperatureCurveOffset = 56;
    static constexpr std::size_t kNiOffset = 76;
    static constexpr std::size_t kTiOffset = 78;
    static constexpr std::size_t kSsOffset = 80;
    static constexpr std::size_t kTcrOffset = 82;
    static constexpr std::size_t kDisplayLevelOffset = 84;

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

// Assembles the record for a write to the device, in place: the marker, then only the fields of the
// current sub-page. Every other byte keeps what the last read or load put there.
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

// Which user area an element belongs to. Areas are told apart by address, never by image name.
enum class UserArea { None, Logo, Param };
UserArea ClassifyAreaAddress(const CDeviceIdentity& identity, std::uint32_t dwAddress);

// Length of the logo data the console builds: min(images x width x height / 8, logo area size).
std::uint32_t LogoDataLength(const CDeviceIdentity& identity);

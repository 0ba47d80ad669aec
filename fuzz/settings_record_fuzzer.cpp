// libFuzzer target for a parameter record taken in from any bytes and handed on as the editors do: the
// curve limits of a device whose ids come from the input, the power and temperature charts drawn in a
// frame and with a pointer from the input, and the parameters page's box text, ranges and arrow steps.
//
// Input, little-endian: 6 bytes of ids (VID, PID, bcdDevice), 27 bytes of options (chart frame as four
// 16-bit coordinates, pointer x and y, flags, table length, arrow step, time held), 1 byte of box-text
// length and the text, then the record's bytes (up to 2048; a shorter record keeps 0xFF past its end).

#include "device/device_identity.h"
#include "settings/curve_chart.h"
#include "settings/parameter_values.h"
#include "settings/settings_record.h"

#include "fuzz_input.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

using namespace nemora::settings;

using nemora::fuzz::Check;
using nemora::fuzz::Input;

// Chart frame (8), pointer (4), flags (1), table length (2), arrow step (4), time held (8).
constexpr std::size_t kOptionBytes = 27;

// Window coordinates: a chart frame lies within what a screen can show.
ChartRect FrameFrom(Input& in)
{
    ChartRect r;
    r.left = in.Take<std::int16_t>();
    r.top = in.Take<std::int16_t>();
    r.right = in.Take<std::int16_t>();
    r.bottom = in.Take<std::int16_t>();
    return r;
}

void CheckView(const ChartView& view)
{
    Check(view.hit >= -1 && view.hit < static_cast<int>(kChartPointCount));
    Check(view.axis.ticks.size() == 41 || view.axis.ticks.size() == 51);
    if (view.hit >= 0)
        Check(view.points[static_cast<std::size_t>(view.hit)].highlighted);
}

void Charts(const SettingsRecord& record, const CurveLimits& limits, Input& in)
{
    const ChartRect frame = FrameFrom(in);
    const int x = in.Take<std::int16_t>();
    const int y = in.Take<std::int16_t>();
    const auto flags = in.Take<std::uint8_t>();
    const bool pressed = (flags & 1) != 0;
    const int length = in.Take<std::int16_t>();

    // The pages load the record's curve bytes with the table length they are given.
    const PowerLimits power{limits.wMaxPower, limits.wMinPower};
    ChartTable powerPoints{};
    Check(LoadChartPoints(powerPoints, record.Data() + SettingsRecord::kPowerCurveOffset, length) ==
          std::clamp(length, 0, kChartTableBytes));
    Check(LoadChartPoints(powerPoints, nullptr, length) == -1);
    const ChartView pv = ComputePowerChart(frame, power, powerPoints, x, y, pressed);
    CheckView(pv);
    for (std::size_t k = 0; k < kChartPointCount; ++k) {
        const int watts = powerPoints[k] / 10;
        Check(powerPoints[k] % 10 == 0 && watts == pv.points[k].value);
        Check(watts == NormalisePower(powerPoints[k], power));
        Check(power.wMin > power.wMax || (watts >= power.wMin && watts <= power.wMax));
    }
    // A second drawing without a press changes nothing.
    ChartTable again = powerPoints;
    ComputePowerChart(frame, power, again, x, y, false);
    Check(again == powerPoints);
    StepPowerPoint(again, flags % 11, static_cast<std::int8_t>(flags), power);

    const TemperatureLimits temperature{limits.wMaxTemperature, limits.wMinTemperature, limits.bFahrenheit};
    ChartTable tempPoints{};
    LoadChartPoints(tempPoints, record.Data() + SettingsRecord::kTemperatureCurveOffset, length);
    const ChartView tv = ComputeTemperatureChart(frame, temperature, tempPoints, x, y, pressed);
    CheckView(tv);
    for (std::size_t k = 0; k < kChartPointCount; ++k) {
        const int degrees = tempPoints[k];
        Check(degrees == tv.points[k].value);
        Check(temperature.wMin > temperature.wMax || (degrees >= temperature.wMin && degrees <= temperature.wMax));
        Check(NormaliseTemperature(degrees, temperature) == degrees); // already normal
    }
    again = tempPoints;
    ComputeTemperatureChart(frame, temperature, again, x, y, false);
    Check(again == tempPoints);
    StepTemperaturePoint(again, flags % 11, static_cast<std::int8_t>(flags), temperature);

    std::array<std::uint8_t, kChartTableBytes> out{};
    Check(CopyChartPoints(powerPoints, out.data(), length) == std::clamp(length, 0, kChartTableBytes));
}

void Parameters(const SettingsRecord& record, std::string_view text, Input& in)
{
    const int delta = in.Take<int>();
    const int parsed = ParseBoxText(text);
    const int commit = LimitForCommit(parsed);
    Check(commit >= kParameterMin && commit <= kParameterMax);
    const SettingsParameters p = record.Parameters();
    for (const int value : {int{p.wTcrM1}, int{p.wTcrM2}, int{p.wNi}, int{p.wTi}, int{p.wSs}, int{p.wTcr}, parsed}) {
        const int stepped = ApplyArrowStep(value, delta);
        if (delta < 0)
            Check(stepped >= kParameterMin && stepped <= std::max(value, kParameterMin));
        else if (delta > 0)
            Check(stepped <= kParameterMax && stepped >= std::min(value, kParameterMax));
        else
            Check(stepped == value);
    }
    Check(AcceleratedStep(kParameterAcceleration, in.Take<std::int64_t>()) >= 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in(data, size);
    CDeviceIdentity identity;
    const auto vid = in.Take<std::uint16_t>();
    const auto pid = in.Take<std::uint16_t>();
    identity.SetIds(vid, pid, in.Take<std::uint16_t>());
    const auto options = in.Bytes(kOptionBytes);
    Input opts(options.data(), options.size());
    const std::string_view text = in.Text(in.Take<std::uint8_t>());

    const auto recordBytes = in.Bytes(SettingsRecord::kSize);
    SettingsRecord record;
    record.TakeIn(recordBytes.data(), recordBytes.size());
    Check(std::memcmp(record.Data(), recordBytes.data(), recordBytes.size()) == 0);
    SettingsRecord copy;
    copy.TakeIn(record.Data(), record.Size());
    Check(copy == record && copy.Parameters() == record.Parameters());

    const CurveLimits limits = CurveLimitsFor(identity, record.TemperatureUnit());
    Check(limits.bFahrenheit == record.IsFahrenheit());

    Charts(record, limits, opts);
    Parameters(record, text, opts);
    // What the editors write back keeps every byte they do not own.
    SettingsEditorValues values{record.Parameters(), record.TemperatureCurve(), record.PowerCurve()};
    SettingsRecord device = record;
    AssembleRecordForDevice(device, SettingsSubPage::PowerCurve, values);
    Check(std::memcmp(device.Data() + 2, record.Data() + 2, SettingsRecord::kSize - 2) == 0);
    const SettingsRecord file = AssembleRecordForFile(record, identity.m_dwParamSize, values);
    Check(file.Parameters() == record.Parameters() && file.PowerCurve() == record.PowerCurve());
    (void)ClassifyAreaAddress(identity, record.Word(2) | static_cast<std::uint32_t>(record.Word(4)) << 16);
    Check(LogoDataLength(identity) <= identity.m_dwLogoSize);
    return 0;
}

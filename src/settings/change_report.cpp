#include "settings/change_report.h"

#include "i18n/translate.h"
#include "settings/settings_fields.h"
#include "settings/settings_record.h"

#include <algorithm>
#include <set>
#include <vector>

namespace nemora::settings {

namespace {

using i18n::Fill;
using i18n::Tr;

SettingsRecord RecordOf(std::span<const std::uint8_t> bytes)
{
    SettingsRecord record;
    record.TakeIn(bytes.data(), bytes.size());
    return record;
}

// "3", "3 and 4", "2, 3 and 5".
std::string AndList(const std::vector<int>& numbers)
{
    std::string text;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i > 0)
            text += i + 1 == numbers.size() ? Tr("ChangeReport", " and ") : Tr("ChangeReport", ", ");
        text += std::to_string(numbers[i]);
    }
    return text;
}

// "power point 3: 35 -> 55 W", "power points 3 and 4: 35 -> 55 W, 35 -> 70 W". `one` and `many` are the
// words around the point numbers (%1) and the values (%2).
std::string CurveChange(const std::string& one, const std::string& many, const CurvePoints& was, const CurvePoints& now,
                        int divisor, const std::string& unit)
{
    std::vector<int> points;
    std::string values;
    for (std::size_t k = 0; k < kCurvePointCount; ++k) {
        if (was[k] == now[k])
            continue;
        points.push_back(static_cast<int>(k) + 1);
        values += (values.empty() ? "" : ", ") + std::to_string(was[k] / divisor) + " -> " +
                  std::to_string(now[k] / divisor) + " " + unit;
    }
    if (points.empty())
        return {};
    return Fill(points.size() == 1 ? one : many, {AndList(points), values});
}

std::string Finish(const std::vector<std::string>& parts, bool others)
{
    if (parts.empty() && !others)
        return Tr("ChangeReport", "nothing changed");
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : Tr("ChangeReport", "; ")) + part;
    if (others)
        return text + (text.empty() ? "" : Tr("ChangeReport", "; ")) +
               Tr("ChangeReport", "other bytes of the area changed too");
    return text + Tr("ChangeReport", "; nothing else");
}

// The parts a settings change adds, and whether bytes outside the known fields changed.
bool AddSettingsParts(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after,
                      std::vector<std::string>& parts)
{
    const SettingsRecord was = RecordOf(before), now = RecordOf(after);
    std::set<std::size_t> known = {SettingsRecord::kMarkerOffset, SettingsRecord::kTemperatureUnitOffset};
    for (const ParameterFieldSpec& f : kParameterFields) {
        known.insert(f.offset);
        if (was.Word(f.offset) != now.Word(f.offset))
            parts.push_back(
                (f.id == ParameterField::DisplayLevel ? Tr("ChangeReport", "display level") : std::string(f.label)) +
                " " + std::to_string(was.Word(f.offset)) + " -> " + std::to_string(now.Word(f.offset)));
    }
    if (was.TemperatureUnit() != now.TemperatureUnit())
        parts.push_back(Fill(Tr("ChangeReport", "temperature unit %1 -> %2"),
                             {was.IsFahrenheit() ? "F" : "C", now.IsFahrenheit() ? "F" : "C"}));
    if (std::string power =
            CurveChange(Tr("ChangeReport", "power point %1: %2"), Tr("ChangeReport", "power points %1: %2"),
                        was.PowerCurve(), now.PowerCurve(), 10, "W");
        !power.empty())
        parts.push_back(std::move(power));
    if (std::string temperature =
            CurveChange(Tr("ChangeReport", "temperature point %1: %2"), Tr("ChangeReport", "temperature points %1: %2"),
                        was.TemperatureCurve(), now.TemperatureCurve(), 1, now.IsFahrenheit() ? "F" : "C");
        !temperature.empty())
        parts.push_back(std::move(temperature));
    for (std::size_t k = 0; k < kCurvePointCount; ++k) {
        known.insert(SettingsRecord::kPowerCurveOffset + 2 * k);
        known.insert(SettingsRecord::kTemperatureCurveOffset + 2 * k);
    }
    bool others = false;
    const std::size_t size = std::min(before.size(), after.size());
    for (std::size_t at = 0; at + 1 < size && !others; at += 2)
        others = !known.count(at) && (before[at] != after[at] || before[at + 1] != after[at + 1]);
    return others || before.size() != after.size();
}

bool IsBlank(std::span<const std::uint8_t> bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

// "screen 7 changed", "screens 1 and 7 changed".
std::string ScreensChanged(const std::vector<int>& changed)
{
    return Fill(changed.size() == 1 ? Tr("ChangeReport", "screen %1 changed")
                                    : Tr("ChangeReport", "screens %1 changed"),
                {AndList(changed)});
}

// A user area as the firmware report names it: "the logo area".
std::string TheArea(const std::string& name)
{
    if (name == "logo area")
        return Tr("ChangeReport", "the logo area");
    if (name == "parameter area")
        return Tr("ChangeReport", "the parameter area");
    return "the " + name;
}

} // namespace

std::string DescribeSettingsChange(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after)
{
    if (IsBlank(before) && !std::ranges::equal(before, after))
        return Tr("ChangeReport", "the parameter area was blank: every setting in it is new");
    std::vector<std::string> parts;
    const bool others = AddSettingsParts(before, after, parts);
    return Finish(parts, others);
}

std::string DescribeAreasChange(const AreaChange& logo, const AreaChange& param, int screenCount)
{
    std::vector<std::string> parts;
    bool others = false;
    if (param.written) {
        if (param.before.empty())
            parts.push_back(Tr("ChangeReport", "the parameter area was written (what it held before is not known)"));
        else if (IsBlank(param.before) && !std::ranges::equal(param.before, param.after))
            parts.push_back(Tr("ChangeReport", "the parameter area was blank: every setting in it is new"));
        else
            others = AddSettingsParts(param.before, param.after, parts);
    }
    if (logo.written) {
        if (screenCount <= 0 || logo.before.size() != logo.after.size()) {
            parts.push_back(Tr("ChangeReport", "the whole logo area was written"));
        } else if (const std::vector<int> changed = ScreensDiffering(logo.before, logo.after, screenCount);
                   !changed.empty()) {
            parts.push_back(ScreensChanged(changed));
        }
    }
    return Finish(parts, others);
}

std::string DescribeFirmwareChange(std::size_t pagesWritten, std::size_t pagesCompared, bool wholeWrite,
                                   const std::vector<std::string>& userAreas)
{
    std::string text;
    if (wholeWrite)
        text = Tr("ChangeReport", "every page the file touches was erased and written");
    else if (pagesWritten == 0)
        text = Tr("ChangeReport", "no page changed: the device held these bytes already");
    else
        text = Fill(pagesCompared == 1 ? Tr("ChangeReport", "%1 of %2 page changed")
                                       : Tr("ChangeReport", "%1 of %2 pages changed"),
                    {std::to_string(pagesWritten), std::to_string(pagesCompared)});
    if (userAreas.empty())
        return text + Tr("ChangeReport", "; no user area touched");
    std::string areas;
    for (std::size_t i = 0; i < userAreas.size(); ++i)
        areas = i == 0 ? TheArea(userAreas[i]) : Fill(Tr("ChangeReport", "%1 and %2"), {areas, TheArea(userAreas[i])});
    return text + Fill(Tr("ChangeReport", "; the file also wrote %1"), {areas});
}

std::vector<int> ScreensDiffering(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after,
                                  int screenCount)
{
    std::vector<int> differing;
    if (screenCount <= 0 || before.size() != after.size())
        return differing;
    const std::size_t chunk = after.size() / static_cast<std::size_t>(screenCount);
    for (int i = 0; i < screenCount; ++i) {
        const std::size_t at = static_cast<std::size_t>(i) * chunk;
        if (!std::ranges::equal(before.subspan(at, chunk), after.subspan(at, chunk)))
            differing.push_back(i + 1);
    }
    return differing;
}

std::string DescribeScreensChange(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after,
                                  int screenCount)
{
    if (screenCount <= 0 || before.size() != after.size())
        return Tr("ChangeReport", "the whole logo area was written");
    const std::vector<int> changed = ScreensDiffering(before, after, screenCount);
    if (changed.empty())
        return Tr("ChangeReport", "nothing changed");
    return ScreensChanged(changed) + Tr("ChangeReport", "; nothing else");
}

} // namespace nemora::settings

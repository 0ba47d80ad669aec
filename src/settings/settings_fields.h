#pragma once

// The single-value fields of the settings record: where each lives, the values it takes, its default and
// whether the "Parameters" page shows it. The record, the page and nemora-cli all read this table, so a
// value one of them accepts is a value the others accept.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace nemora::settings {

enum class ParameterField { Ni, Ti, Ss, Tcr, TcrM1, TcrM2, DisplayLevel };

struct ParameterFieldSpec {
    ParameterField id;
    std::string_view key;   // nemora-cli's name, also the key of `settings show --json`
    std::string_view label; // the page's label
    std::size_t offset;     // byte offset in the record
    int min;
    int max;
    std::uint16_t defaultValue;
    bool shown; // on the "Parameters" page; a write from the page changes only these
};

inline constexpr std::array<ParameterFieldSpec, 7> kParameterFields{{
    {ParameterField::Ni, "ni", "NI", 76, 1, 1000, 800, true},
    {ParameterField::Ti, "ti", "TI", 78, 1, 1000, 305, true},
    {ParameterField::Ss, "ss", "SS", 80, 1, 1000, 105, true},
    {ParameterField::Tcr, "tcr", "TCR", 82, 1, 1000, 100, false},
    {ParameterField::TcrM1, "tcr_m1", "TCR-M1", 26, 1, 1000, 100, true},
    {ParameterField::TcrM2, "tcr_m2", "TCR-M2", 28, 1, 1000, 100, true},
    {ParameterField::DisplayLevel, "display_level", "Display setting", 84, 0, 255, 255, true},
}};

constexpr const ParameterFieldSpec& Spec(ParameterField id)
{
    return kParameterFields[static_cast<std::size_t>(id)];
}

// The field nemora-cli calls key, or nullptr.
constexpr const ParameterFieldSpec* FindParameterField(std::string_view key)
{
    for (const ParameterFieldSpec& f : kParameterFields) {
        if (f.key == key)
            return &f;
    }
    return nullptr;
}

constexpr int LimitToField(const ParameterFieldSpec& field, int nValue)
{
    return nValue < field.min ? field.min : nValue > field.max ? field.max : nValue;
}

} // namespace nemora::settings

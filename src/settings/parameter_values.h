#pragma once

// Value rules of the parameters page, free of any toolkit: how box text becomes a number, the ranges the
// page enforces and the steps of the up-down arrows.

#include "settings/settings_fields.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace nemora::settings {

// The coil values all take the same range; the display level has its own.
inline constexpr int kParameterMin = Spec(ParameterField::Ni).min;
inline constexpr int kParameterMax = Spec(ParameterField::Ni).max;
inline constexpr int kDisplayLevelMin = Spec(ParameterField::DisplayLevel).min;
inline constexpr int kDisplayLevelMax = Spec(ParameterField::DisplayLevel).max;

// The text of a box as a decimal integer: leading blanks and one sign allowed, conversion stops at the
// first other character, no digits gives 0. Values beyond the int range saturate.
int ParseBoxText(std::string_view text);

// What Enter commits and what a getter returns and writes back: 1 to 1000, the range the record's field
// takes, so an empty or zero box never reaches the device as 0.
int LimitForCommit(int nValue);

// An arrow step from the page value: down steps stop at 1, up steps at 1000, a zero step changes nothing.
// A value a record brought from outside the range: 1200 goes down to 1199 and up to 1000, 0 goes to 1.
int ApplyArrowStep(int nValue, int nDelta);

// One entry of an arrow's acceleration table: from nSec seconds of holding on, each step goes nInc.
struct UpDownAccel {
    int nSec = 0;
    int nInc = 1;
};

// The parameters page's arrows: 1 per step from the start of a press, 13 once held for two seconds.
inline constexpr std::array<UpDownAccel, 2> kParameterAcceleration{{{0, 1}, {2, 13}}};

// The step of the last entry whose time has been reached; 1 when none has.
int AcceleratedStep(std::span<const UpDownAccel> table, std::int64_t nHeldMs);

} // namespace nemora::settings

#include "settings/write_outcome.h"

#include "i18n/translate.h"

#include <algorithm>

namespace nemora::settings {
namespace {

using i18n::Fill;
using i18n::Tr;

// The record's marker and every field the console uses lie before this byte.
constexpr std::size_t kFieldsEnd = 86;

bool Blank(std::span<const std::uint8_t> bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

bool Same(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// "Screens 5 to 12 are blank" or "screen 4 is incomplete".
struct Told {
    const std::vector<int>* screens;
    std::string one;  // what a single screen is, around its number
    std::string many; // what several are, around their list
};

std::string Clause(const Told& told, bool first)
{
    std::string text = Fill(told.screens->size() == 1 ? told.one : told.many, {ScreenList(*told.screens)});
    if (first && !text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A'); // the sentence begins with it
    return text;
}

} // namespace

std::string ScreenList(const std::vector<int>& screens)
{
    std::string list;
    for (std::size_t i = 0; i < screens.size();) {
        std::size_t j = i;
        while (j + 1 < screens.size() && screens[j + 1] == screens[j] + 1)
            ++j;
        list += list.empty() ? "" : ", ";
        if (j > i + 1)
            list += Fill(Tr("WriteOutcome", "%1 to %2"), {std::to_string(screens[i]), std::to_string(screens[j])});
        else
            list += std::to_string(screens[i]) + (j > i ? ", " + std::to_string(screens[j]) : std::string());
        i = j + 1;
    }
    return list;
}

AreaAfterFailure DescribeSettingsAfterFailure(std::span<const std::uint8_t> before,
                                              std::span<const std::uint8_t> wanted, std::span<const std::uint8_t> now)
{
    if (now.empty() || now.size() != wanted.size())
        return {};
    if (Same(now, before))
        return {true,
                Tr("WriteOutcome", "Nothing was changed: the device holds the settings it held before the write.")};
    if (Same(now, wanted))
        return {false,
                Tr("WriteOutcome", "The new settings reached the device whole, though the write did not end cleanly.")};
    if (Blank(now.first(std::min(now.size(), kFieldsEnd))))
        return {false, Tr("WriteOutcome", "The parameter area was erased but not written: the device has no settings "
                                          "until you write them again.")};
    return {false, Tr("WriteOutcome", "The parameter area is only partly written: the device has no valid settings "
                                      "until you write them again.")};
}

AreaAfterFailure DescribeScreensAfterFailure(std::span<const std::uint8_t> before, std::span<const std::uint8_t> wanted,
                                             std::span<const std::uint8_t> now, int screenCount)
{
    if (screenCount <= 0 || now.empty() || now.size() != wanted.size() || now.size() != before.size())
        return {};
    const std::size_t chunk = now.size() / static_cast<std::size_t>(screenCount);
    std::vector<int> blank;
    std::vector<int> partial;
    std::vector<int> written;
    for (int i = 0; i < screenCount; ++i) {
        const std::size_t at = static_cast<std::size_t>(i) * chunk;
        const auto part = [&](std::span<const std::uint8_t> area) { return area.subspan(at, chunk); };
        if (Same(part(now), part(before)))
            continue; // as it was
        if (Same(part(now), part(wanted)))
            written.push_back(i + 1);
        else if (Blank(part(now)))
            blank.push_back(i + 1);
        else
            partial.push_back(i + 1);
    }
    if (blank.empty() && partial.empty() && written.empty())
        return {true, Tr("WriteOutcome",
                         "Nothing was changed: the screens on the device are as they were before the write.")};
    std::string text;
    for (const Told& told :
         {Told{&blank, Tr("WriteOutcome", "screen %1 is blank"), Tr("WriteOutcome", "screens %1 are blank")},
          Told{&partial, Tr("WriteOutcome", "screen %1 is incomplete"),
               Tr("WriteOutcome", "screens %1 are incomplete")},
          Told{&written, Tr("WriteOutcome", "screen %1 already shows its new image"),
               Tr("WriteOutcome", "screens %1 already show their new images")}}) {
        if (told.screens->empty())
            continue;
        const std::string clause = Clause(told, text.empty());
        text = text.empty() ? clause : Fill(Tr("WriteOutcome", "%1, %2"), {text, clause});
    }
    if (blank.size() + partial.size() + written.size() < static_cast<std::size_t>(screenCount))
        text = Fill(Tr("WriteOutcome", "%1; the other screens are as they were"), {text});
    text = Fill(Tr("WriteOutcome", "%1."), {text});
    if (!blank.empty() || !partial.empty())
        text += Tr("WriteOutcome", " Write the screens again to complete them.");
    return {false, text};
}

} // namespace nemora::settings

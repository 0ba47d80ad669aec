// libFuzzer target for the logo-area walks and for the elements a settings file hands to the editors.
//
// Input, little-endian: 6 bytes of ids (VID, PID, bcdDevice: any model), 1 byte of flags, 12 bytes of
// screen geometry (width, height, count: used instead of the catalogue's when flag bit 0 is set), 1 byte
// of image count (0 to 14), 2 bytes of size per image (used when flag bit 1 is set), 2 bytes of a probe
// pixel, then the area itself. The area is also read as a DfuSe settings file, whose elements go where a
// load sends them: the logo element decoded into the screens, the parameter element into a record.

#include "device/device_identity.h"
#include "dfuse/dfu_file.h"
#include "screens/logo_codec.h"
#include "settings/settings_file.h"
#include "settings/settings_record.h"

#include "fuzz_input.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

using nemora::MonoImage;
using nemora::fuzz::Check;

std::vector<MonoImage> Blank(const std::vector<MonoImage>& like)
{
    std::vector<MonoImage> out;
    for (const MonoImage& image : like)
        out.emplace_back(image.Width(), image.Height());
    return out;
}

void Walks(std::span<const std::uint8_t> area, std::vector<MonoImage> images, const CDeviceIdentity& identity,
           int probeX, int probeY)
{
    DecodeLogoArea(area, images, identity);

    // Writing the decoded screens into an erased area and decoding that gives the same screens.
    std::vector<std::uint8_t> written(area.size(), 0xFF);
    EncodeLogoArea(written, images, identity);
    std::vector<MonoImage> again = Blank(images);
    DecodeLogoArea(written, again, identity);
    Check(again == images);

    // With whole pages only, writing the screens back over the area they came from changes nothing.
    const bool wholePages =
        identity.m_nScreenHeight % 8 == 0 &&
        std::all_of(images.begin(), images.end(), [](const MonoImage& i) { return i.Height() % 8 == 0; });
    if (wholePages) {
        std::vector<std::uint8_t> over(area.begin(), area.end());
        EncodeLogoArea(over, images, identity);
        Check(std::equal(over.begin(), over.end(), area.begin(), area.end()));
    }

    // A pixel both walks reach sits at the byte LogoAreaOffset names.
    if (!images.empty() && identity.m_nImageCount > 0 &&
        probeX < std::min(images[0].Width(), identity.m_nScreenWidth) &&
        probeY < std::min(images[0].Height(), identity.m_nScreenHeight / 8 * 8)) {
        const std::size_t at = LogoAreaOffset(identity, 0, probeX, probeY);
        if (at < area.size())
            Check(images[0].IsLit(probeX, probeY) == (((area[at] >> (probeY % 8)) & 1) != 0));
    }
}

// What loading a settings file does with its elements.
void Load(std::span<const std::uint8_t> bytes, CDeviceIdentity identity)
{
    const nemora::dfuse::ParseResult parsed = nemora::dfuse::ParseDfuFile(bytes, false);
    if (!parsed.file)
        return;
    std::vector<nemora::settings::IgnoredImage> ignored;
    const auto elements = nemora::settings::SettingsElements(*parsed.file, &ignored);
    Check(elements.size() + ignored.size() == parsed.file->images.size());
    identity.UpdateGeometry();
    std::vector<MonoImage> screens;
    for (int k = 0; k < identity.m_nImageCount; ++k)
        screens.emplace_back(identity.m_nScreenWidth, identity.m_nScreenHeight);
    SettingsRecord record;
    for (const auto& element : elements) {
        switch (ClassifyAreaAddress(identity, element.address)) {
        case UserArea::Logo:
            DecodeLogoArea(element.bytes, screens, identity);
            break;
        case UserArea::Param:
            record.TakeIn(element.bytes.data(), element.bytes.size());
            break;
        case UserArea::None:
            break;
        }
    }
    // And saving them again.
    std::vector<std::uint8_t> logo(LogoDataLength(identity), 0xFF);
    EncodeLogoArea(logo, screens, identity);
    const nemora::dfuse::DfuFile file = nemora::settings::MakeSettingsFile(
        identity, logo, std::span(record.Data(), std::min<std::size_t>(identity.m_dwParamSize, record.Size())));
    std::vector<std::uint8_t> out;
    Check(!nemora::dfuse::SerializeDfuFile(file, out));
    const auto back = nemora::dfuse::ParseDfuFile(out);
    Check(back.file && *back.file == file);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    nemora::fuzz::Input in(data, size);
    CDeviceIdentity identity;
    const auto vid = in.Take<std::uint16_t>();
    const auto pid = in.Take<std::uint16_t>();
    identity.SetIds(vid, pid, in.Take<std::uint16_t>());
    const auto flags = in.Take<std::uint8_t>();
    const auto width = in.Take<std::int32_t>();
    const auto height = in.Take<std::int32_t>();
    const auto count = in.Take<std::int32_t>();
    if ((flags & 1) != 0) {
        identity.m_nScreenWidth = width;
        identity.m_nScreenHeight = height;
        identity.m_nImageCount = count;
    }
    // Images as the editors hold them: the screen's size, or another size when flag bit 1 is set.
    const int images = in.Take<std::uint8_t>() % 15;
    std::vector<MonoImage> screens;
    for (int k = 0; k < images; ++k) {
        const int w = in.Take<std::uint8_t>();
        const int h = in.Take<std::uint8_t>();
        if ((flags & 2) != 0)
            screens.emplace_back(w, h);
        else
            screens.emplace_back(std::clamp(identity.m_nScreenWidth, 0, 256),
                                 std::clamp(identity.m_nScreenHeight, 0, 256));
    }
    const int probeX = in.Take<std::uint8_t>();
    const int probeY = in.Take<std::uint8_t>();
    const std::span<const std::uint8_t> area = in.Rest();

    Walks(area, screens, identity, probeX, probeY);
    Load(area, identity);
    return 0;
}

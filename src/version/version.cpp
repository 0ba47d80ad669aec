#include "version/version.h"

#include <libusb.h>

namespace nemora::version {

std::string_view ProjectVersion()
{
    return NEMORA_PROJECT_VERSION;
}

std::string LibusbVersion()
{
    const libusb_version* v = libusb_get_version();
    if (v == nullptr)
        return "unknown";
    std::string text = std::to_string(v->major) + "." + std::to_string(v->minor) + "." + std::to_string(v->micro);
    if (v->nano != 0)
        text += "." + std::to_string(v->nano);
    if (v->rc != nullptr)
        text += v->rc; // "-rc1" and the like; empty for a release
    return text;
}

std::string VersionText(std::string_view program, std::string_view qtVersion)
{
    std::string text(program);
    text += ' ';
    text += ProjectVersion();
    text += '\n';
    if (!qtVersion.empty()) {
        text += "Qt ";
        text += qtVersion;
        text += '\n';
    }
    text += "libusb " + LibusbVersion() + '\n';
    return text;
}

} // namespace nemora::version

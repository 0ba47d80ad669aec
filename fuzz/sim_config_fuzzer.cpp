// libFuzzer target for the virtual device's configuration: a NEMORA_SIM value, and the lines of the
// control file that other processes append to.
//
// Input: 2 bytes of a split point, then the text. The text is parsed as a NEMORA_SIM value and as a
// piece of the control file; the control file is also read in two pieces cut at the split point, as a
// bus does when a writer has not finished its line, and must give the same commands as read at once.

#include "sim/bus.h"
#include "sim/sim_config.h"

#include "fuzz_input.h"

#include <algorithm>
#include <cstdlib>

namespace {

using namespace nemora::sim;
using nemora::fuzz::Check;

void CheckDevice(const DeviceConfig& device)
{
    for (const Fault& fault : device.faults) {
        Check(fault.nth >= 1);
        Check(fault.request < RequestKind::Count);
        Check(fault.kind != FaultKind::Status || fault.status != 0);
        Check(RequestKindName(fault.request) != "?");
    }
    Check(device.serial.size() <= 126);
    for (const char c : device.serial)
        Check(c > 0x20 && c < 0x7F && c != ';');
}

bool Same(const ControlCommand& a, const ControlCommand& b)
{
    if (a.kind != b.kind || a.location != b.location || a.mode != b.mode)
        return false;
    const DeviceConfig& x = a.device;
    const DeviceConfig& y = b.device;
    return x.mode == y.mode && x.vid == y.vid && x.pid == y.pid && x.bcd == y.bcd && x.dfuVersion == y.dfuVersion &&
           x.serial == y.serial && x.flashPath == y.flashPath && x.protect == y.protect && x.dataFlash == y.dataFlash &&
           x.timing == y.timing && x.faults.size() == y.faults.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    nemora::fuzz::Input in(data, size);
    const std::size_t split = in.Take<std::uint16_t>();
    const std::string_view text = in.Text(in.Remaining());

    const ConfigResult config = ParseSimConfig(text);
    if (config.Ok()) {
        std::size_t parts = 0;
        for (std::string_view rest = text;;) {
            const auto semi = rest.find(';');
            if (rest.substr(0, semi).find_first_not_of(" \t\r\n") != std::string_view::npos)
                ++parts;
            if (semi == std::string_view::npos)
                break;
            rest.remove_prefix(semi + 1);
        }
        Check(config.devices.size() == parts);
        std::for_each(config.devices.begin(), config.devices.end(), CheckDevice);
    } else {
        Check(config.devices.empty() && config.error.starts_with("NEMORA_SIM device "));
    }

    std::vector<ControlCommand> whole;
    const std::size_t taken = ParseControlLines(text, whole);
    Check(taken <= text.size() && (taken == 0 || text[taken - 1] == '\n'));
    Check(text.find('\n', taken) == std::string_view::npos);
    Check(whole.size() <= static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
    for (const ControlCommand& command : whole)
        CheckDevice(command.device);

    // The same bytes arriving in two pieces: what the first read leaves is read again with the rest.
    const std::size_t cut = std::min(split, text.size());
    std::vector<ControlCommand> pieces;
    const std::size_t first = ParseControlLines(text.substr(0, cut), pieces);
    const std::size_t second = ParseControlLines(text.substr(first), pieces);
    Check(first + second == taken);
    Check(std::equal(whole.begin(), whole.end(), pieces.begin(), pieces.end(), Same));
    return 0;
}

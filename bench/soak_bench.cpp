// Soak benchmark: writes and reads back the parameter area of a virtual device 1000 times and its logo area
// 100 times, through the same staging file and transfer jobs the console and nemora-cli use, and checks
// every byte read back. Prints cycles=, mismatches=, failures= and the resident memory at the start and the
// end (rss_start_mb=, rss_end_mb=), so that a leak or a drift shows. Exit status 1 on any mismatch.
//
// Usage: soak_bench [PARAM_CYCLES [LOGO_CYCLES]]

#include "device/device_identity.h"
#include "dfuse/device_link.h"
#include "dfuse/dfuse_blocking.h"
#include "dfuse/dfuse_library.h"
#include "settings/settings_file.h"
#include "settings/settings_record.h"
#include "sim/sim_transport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

namespace {

using namespace nemora;

double ResidentMb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const long paramCycles = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000;
    const long logoCycles = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 100;
    std::string error;
    const auto config = sim::ParseSimConfig("bcd=0x004C");
    auto transport = sim::SimTransport::Create(config.devices, "", error);
    if (!transport) {
        std::fprintf(stderr, "soak_bench: %s\n", error.c_str());
        return 1;
    }
    std::vector<usb::DeviceInfo> devices;
    transport->Enumerate(devices);
    if (devices.empty()) {
        std::fprintf(stderr, "soak_bench: no virtual device\n");
        return 1;
    }
    dfuse::DfuseLibrary library(*transport);
    dfuse::DeviceLink link;
    dfuse::LinkDescriptors descriptors;
    if (dfuse::OpenDeviceLink(library, devices.front().path, link, descriptors) != dfuse::LinkOutcome::Ok) {
        std::fprintf(stderr, "soak_bench: cannot open the virtual device\n");
        return 1;
    }
    CDeviceIdentity identity;
    identity.SetIds(link.vid, link.pid, link.bcdDevice);
    identity.UpdateGeometry();
    const auto folder = std::filesystem::temp_directory_path() / ("nemora-soak-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string staging = (folder / settings::kStagingFileName).string();

    std::mt19937 random(2026);
    long cycles = 0, mismatches = 0, failures = 0;
    auto cycle = [&](std::uint32_t address, std::uint32_t size) {
        std::vector<std::uint8_t> bytes(size);
        for (auto& b : bytes) {
            b = static_cast<std::uint8_t>(random());
        }
        std::vector<std::uint8_t> back;
        const dfuse::DfuFile value = settings::MakeStagingFile(identity, address, bytes);
        const bool written = !dfuse::WriteDfuFile(staging, value) && dfuse::DownloadFile(library, link, value);
        const bool read = written && dfuse::UploadArea(library, link, address, size, back);
        ++cycles;
        if (!read) {
            ++failures;
        } else if (back != bytes) {
            ++mismatches;
        }
    };

    // A first cycle of each kind so that the start figure holds what stays allocated anyway.
    cycle(identity.m_dwParamAddress, identity.m_dwParamSize);
    cycle(identity.m_dwLogoAddress, LogoDataLength(identity));
    cycles = 0;
    const double rssStart = ResidentMb();
    for (long i = 0; i < paramCycles; ++i) {
        cycle(identity.m_dwParamAddress, identity.m_dwParamSize);
    }
    for (long i = 0; i < logoCycles; ++i) {
        cycle(identity.m_dwLogoAddress, LogoDataLength(identity));
    }
    const double rssEnd = ResidentMb();
    std::filesystem::remove_all(folder);
    std::printf("cycles=%ld\nmismatches=%ld\nfailures=%ld\nrss_start_mb=%.1f\nrss_end_mb=%.1f\n", cycles, mismatches,
                failures, rssStart, rssEnd);
    return mismatches == 0 && failures == 0 ? 0 : 1;
}

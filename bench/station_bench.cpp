// The demonstration firmware into one full-speed virtual device and into eight at once, each run a whole
// `nemora-cli flash FILE --all` process (snapshot, smart write and verify per device). Prints one_ms=,
// eight_ms= (the median of three runs each) and parallel_ratio= (eight_ms / one_ms).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// One run with `devices` suitable virtual devices in fresh folders; milliseconds, or -1 when it failed.
double RunOnce(int devices, const std::filesystem::path& scratch)
{
    std::string sim;
    for (int i = 0; i < devices; ++i)
        sim += std::string(i ? ";" : "") + "bcd=0x004C,timing=fullspeed";
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch);
    const std::string command = "NEMORA_SIM='" + sim + "' NEMORA_SIM_CONTROL='" + (scratch / "control").string() +
                                "' XDG_DATA_HOME='" + (scratch / "data").string() + "' XDG_STATE_HOME='" +
                                (scratch / "state").string() + "' NEMORA_LOCK_DIR='" + (scratch / "locks").string() +
                                "' '" NEMORA_CLI "' flash '" NEMORA_DEMO_FIRMWARE "' --all >/dev/null 2>&1";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return status == 0 ? ms : -1;
}

double Median(int devices, const std::filesystem::path& scratch)
{
    std::vector<double> runs;
    for (int i = 0; i < 3; ++i) {
        const double ms = RunOnce(devices, scratch);
        if (ms < 0)
            return -1;
        runs.push_back(ms);
    }
    std::sort(runs.begin(), runs.end());
    return runs[1];
}

} // namespace

int main()
{
    const std::filesystem::path scratch = std::filesystem::temp_directory_path() / "nemora-station-bench";
    const double one = Median(1, scratch);
    const double eight = Median(8, scratch);
    std::filesystem::remove_all(scratch);
    if (one < 0 || eight < 0) {
        std::fprintf(stderr, "station_bench: a flash failed\n");
        return 1;
    }
    std::printf("one_ms=%.0f\neight_ms=%.0f\nparallel_ratio=%.2f\n", one, eight, eight / one);
    return 0;
}

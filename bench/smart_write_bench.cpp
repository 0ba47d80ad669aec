// Smart writes on full-speed virtual devices (timing=fullspeed), through the transfer job as nemora-cli and
// the console drive it. Prints key=value lines:
//   full_ms, unchanged_ms, one_page_ms: a 48 KiB image into blank flash, the same image again, and the image
//     with one 1 KiB page changed;
//   full_logo_ms, one_screen_ms: the 96 x 96 logo area of a model 12 device written whole over an old logo,
//     then again with one of its twelve screens changed, as the Customize tab writes it;
//   pages_erased_<case> for each, and outside_bytes_changed: the bytes outside the images that differ from
//     the pattern they were surrounded with (must be 0).
// Exit status 1 when a write does not verify.

#include "dfuse/device_link.h"
#include "dfuse/dfuse_blocking.h"
#include "dfuse/dfuse_library.h"
#include "dfuse/dfuse_operations.h"
#include "sim/sim_transport.h"
#include "sim/virtual_device.h"

#include <chrono>
#include <cstdio>
#include <random>

namespace {

using namespace nemora;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kBase = 0x08000000;

// The library's device operations, counting the pages each erase takes.
class CountingOperations final : public dfuse::DeviceOperations {
public:
    explicit CountingOperations(dfuse::DeviceOperations& device) : m_device(device) {}
    long pagesErased = 0;

    dfuse::LinkOutcome OpenLink(const std::string& path, dfuse::DeviceLink& link,
                                dfuse::LinkDescriptors& descriptors) override
    {
        return m_device.OpenLink(path, link, descriptors);
    }
    std::optional<usb::DeviceInfo> ListedDevice(const std::string& path) override
    {
        return m_device.ListedDevice(path);
    }
    std::uint32_t StartOperation(std::uint32_t operation, const std::string& path, dfuse::Image image,
                                 std::function<void()> onFinished, dfuse::DfuOperationHandle* phOperation) override
    {
        if (operation == dfuse::OPERATION_ERASE) {
            pagesErased += static_cast<long>(image.elements.size());
        }
        return m_device.StartOperation(operation, path, std::move(image), std::move(onFinished), phOperation);
    }
    std::uint32_t OperationStatus(dfuse::DfuOperationHandle h, dfuse::DFUThreadContext* pContext) override
    {
        return m_device.OperationStatus(h, pContext);
    }
    std::uint32_t FinishOperation(dfuse::DfuOperationHandle h, dfuse::DFUThreadContext* pContext,
                                  dfuse::Image* pRead) override
    {
        return m_device.FinishOperation(h, pContext, pRead);
    }

private:
    dfuse::DeviceOperations& m_device;
};

struct Device {
    std::unique_ptr<sim::SimTransport> transport;
    std::unique_ptr<dfuse::DfuseLibrary> library;
    dfuse::DeviceLink link;
    unsigned location = 0;
};

bool Open(const char* spec, Device& device)
{
    std::string error;
    const auto config = sim::ParseSimConfig(spec);
    device.transport = sim::SimTransport::Create(config.devices, "", error);
    if (!device.transport) {
        std::fprintf(stderr, "smart_write_bench: %s\n", error.c_str());
        return false;
    }
    device.library = std::make_unique<dfuse::DfuseLibrary>(*device.transport);
    std::vector<usb::DeviceInfo> devices;
    device.transport->Enumerate(devices);
    dfuse::LinkDescriptors descriptors;
    if (devices.empty() ||
        dfuse::OpenDeviceLink(*device.library, devices[0].path, device.link, descriptors) != dfuse::LinkOutcome::Ok) {
        std::fprintf(stderr, "smart_write_bench: the virtual device cannot be opened\n");
        return false;
    }
    device.location = sim::SimTransport::LocationOfPath(devices[0].path);
    return true;
}

std::vector<std::uint8_t> Random(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

// Writes the bytes at the address through a job, as an upgrade of target 0, and prints its figures.
bool Write(Device& device, const char* name, std::uint32_t address, const std::vector<std::uint8_t>& bytes,
           std::uint16_t bcd)
{
    CountingOperations counting(device.library->Operations());
    dfuse::TransferJob job(counting);
    const dfuse::DfuFile file{0x0483, 0xDF11, bcd, {dfuse::Image{0, "Internal Flash  ", {{address, bytes}}}}};
    bool failed = false;
    bool verified = false;
    const auto start = Clock::now();
    dfuse::RunJob(
        job, [&] { return job.StartUpgrade(device.link, {0}, file); },
        [&](const dfuse::JobEvent& event) {
            failed = failed || dfuse::IsFailureEvent(event);
            verified = verified || event.kind == dfuse::JobEvent::Kind::Verified;
        },
        std::chrono::milliseconds(20));
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (failed || !verified) {
        std::fprintf(stderr, "smart_write_bench: the %s write did not verify\n", name);
        return false;
    }
    std::printf("%s_ms=%.1f\npages_erased_%s=%ld\n", name, ms, name, counting.pagesErased);
    return true;
}

// The bytes of the flash outside [address, address + size) that differ from `around`.
long ChangedOutside(Device& device, std::uint32_t address, std::size_t size, const std::vector<std::uint8_t>& around)
{
    const auto flash = device.transport->Flash(device.location).value_or(std::vector<std::uint8_t>{});
    long changed = 0;
    for (std::size_t i = 0; i < flash.size() && i < around.size(); ++i) {
        const std::uint64_t at = kBase + i;
        if ((at < address || at >= address + size) && flash[i] != around[i]) {
            ++changed;
        }
    }
    return changed;
}

} // namespace

int main()
{
    // Firmware: 48 KiB into blank flash, again, then with one page changed.
    Device model1;
    if (!Open("bcd=0x004C,timing=fullspeed", model1)) {
        return 1;
    }
    std::vector<std::uint8_t> image = Random(48 * 1024, 1);
    if (!Write(model1, "full", kBase, image, 0x0041) || !Write(model1, "unchanged", kBase, image, 0x0041)) {
        return 1;
    }
    for (std::size_t i = 17 * 1024; i < 17 * 1024 + 100; ++i) {
        image[i] ^= 0x5A;
    }
    if (!Write(model1, "one_page", kBase, image, 0x0041)) {
        return 1;
    }
    long outside = ChangedOutside(model1, kBase, image.size(), std::vector<std::uint8_t>(sim::kFlashSize, 0xFF));

    // The 96 x 96 logo area (12 screens of 1152 bytes from 0x08005000), its last page shared with the bytes
    // after it; every byte of the flash holds a pattern first.
    Device model12;
    if (!Open("bcd=0x0300,timing=fullspeed", model12)) {
        return 1;
    }
    const std::vector<std::uint8_t> around = Random(sim::kFlashSize, 2);
    model12.transport->GetBus().With(model12.location, 0, [&](sim::VirtualDevice& d) { d.LoadFlash(0, around); });
    constexpr std::uint32_t kLogo = 0x08005000, kScreen = 1152;
    std::vector<std::uint8_t> logo = Random(12 * kScreen, 3);
    if (!Write(model12, "full_logo", kLogo, logo, 0x0300)) {
        return 1;
    }
    for (std::size_t i = 5 * kScreen; i < 6 * kScreen; i += 7) {
        logo[i] = static_cast<std::uint8_t>(~logo[i]);
    }
    if (!Write(model12, "one_screen", kLogo, logo, 0x0300)) {
        return 1;
    }
    outside += ChangedOutside(model12, kLogo, logo.size(), around);
    std::printf("outside_bytes_changed=%ld\n", outside);
    return outside == 0 ? 0 : 1;
}

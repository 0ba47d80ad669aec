// nemora-cli flash FILE --all: every attached update-mode device the file suits, at the same time. Each
// device gets its own lock, link, snapshot, smart write and verify; one that fails or goes away never
// stops the others. The jobs are driven from this thread in turn; their operations run on threads of
// their own, so the devices are written side by side.

#include "cli/cli.h"
#include "cli/cli_device.h"
#include "dfuse/dfuse_blocking.h"
#include "dfuse/dfuse_operations.h"
#include "dfuse/outcome_log.h"
#include "settings/change_report.h"
#include "settings/snapshots.h"
#include "transport/transport_factory.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <thread>
#include <unistd.h>

namespace nemora::cli {

namespace {

using Clock = std::chrono::steady_clock;

struct Worker {
    usb::DeviceInfo device;
    std::string name; // "Product 01 …M001"
    dfuse::DeviceLock lock;
    dfuse::DeviceLink link;
    std::unique_ptr<dfuse::TransferJob> job;
    std::string phase = "waiting";
    std::uint32_t percent = 0;
    bool failed = false;
    bool verified = false;
    std::string result;
    std::optional<dfuse::DFUThreadContext> failedContext;
    dfuse::LinkHealth health;
    Clock::time_point started;
    double seconds = 0;
    bool done = false;
    std::optional<dfuse::WriteJournal> journal;
    std::size_t pagesCompared = 0;
    std::size_t pagesWritten = 0;
    int targetsCompared = 0;
    int targetsUpgraded = 0;
};

bool Suits(const dfuse::DfuFile& file, const usb::DeviceInfo& d)
{
    return d.mode == usb::InterfaceMode::Dfu && file.vid == d.vid && file.pid == d.pid &&
           (file.bcdDevice >> 6) == (d.bcdDevice >> 6);
}

std::string NameOf(const usb::DeviceInfo& d)
{
    return NamesOf(d.vid, d.pid, d.bcdDevice).model + " " + (d.serial.empty() ? "port " + DevicePort(d) : d.serial);
}

const char* PhaseOf(const dfuse::JobEvent& e)
{
    if (e.snapshot)
        return "snapshot";
    if (e.compare)
        return "comparing";
    switch (e.operation) {
    case dfuse::OPERATION_ERASE:
        return "erasing";
    case dfuse::OPERATION_UPGRADE:
        return "downloading";
    case dfuse::OPERATION_UPLOAD:
        return "verifying";
    default:
        return "working";
    }
}

void Take(Worker& w, const dfuse::JobEvent& e)
{
    using Kind = dfuse::JobEvent::Kind;
    if (w.journal)
        w.journal->See(e);
    switch (e.kind) {
    case Kind::Plan:
        if (e.pages > 0) {
            ++w.targetsCompared;
            w.pagesCompared += e.pages;
            w.pagesWritten += e.pagesWritten;
        }
        break;
    case Kind::Upgraded:
        ++w.targetsUpgraded;
        break;
    case Kind::Launched:
    case Kind::Progress:
        w.phase = PhaseOf(e);
        w.percent = e.percent;
        break;
    case Kind::Verified:
        w.verified = true;
        break;
    case Kind::Mismatch:
        w.failed = true;
        w.result = "verify found a difference";
        break;
    case Kind::Failed:
    case Kind::SnapshotUnreadable:
        if (!w.failed) {
            w.result = (e.kind == Kind::SnapshotUnreadable ? "cannot read the settings for a snapshot: "
                                                           : w.phase + " failed: ") +
                       DescribeFailure(e.context);
            w.failedContext = e.context;
        }
        w.failed = true;
        break;
    case Kind::Problem:
        if (!w.failed)
            w.result = JobProblemText(e.problem, e.model, e.text);
        w.failed = true;
        break;
    case Kind::Finished:
        w.health += e.context.Health;
        break;
    default:
        break;
    }
}

void Record(Worker& w, bool verify, const dfuse::DfuFile& file)
{
    const bool ok = !w.failed && (w.verified || !verify);
    if (w.journal)
        w.journal->End(ok);
    if (w.result.empty()) {
        w.result = ok ? (verify ? "verified" : "written") : "failed";
        if (ok) {
            CDeviceIdentity identity;
            identity.SetIds(w.device.vid, w.device.pid, w.device.bcdDevice);
            w.result += "; " + settings::DescribeFirmwareChange(w.pagesWritten, w.pagesCompared,
                                                                w.targetsUpgraded > w.targetsCompared,
                                                                settings::UserAreasTouched(file.images, identity));
        }
    }
    dfuse::OperationOutcome outcome;
    outcome.operation = "flash --all";
    outcome.ok = ok;
    outcome.result = w.result;
    outcome.health = w.health;
    if (w.failedContext)
        dfuse::DescribeFailedContext(*w.failedContext, outcome);
    if (const std::string advice = KeepOutcome(w.device, std::move(outcome)); !advice.empty())
        w.result += " (" + advice + ")";
}

class Display {
public:
    explicit Display(std::size_t lines) : m_tty(::isatty(STDERR_FILENO) == 1), m_lines(lines) {}

    void Show(const std::vector<std::unique_ptr<Worker>>& workers)
    {
        if (m_tty) {
            if (m_drawn)
                std::fprintf(stderr, "\x1b[%zuA", m_lines);
            for (const auto& w : workers)
                std::fprintf(stderr, "\r\x1b[K%-28s %-12s %3u%%\n", w->name.c_str(), w->phase.c_str(), w->percent);
            m_drawn = true;
            return;
        }
        // Plain lines: each device's phase as it changes, and every quarter of it.
        for (std::size_t i = 0; i < workers.size(); ++i) {
            const Worker& w = *workers[i];
            const std::string said = w.phase + std::to_string(w.percent / 25);
            if (said != m_said[i]) {
                m_said[i] = said;
                std::fprintf(stderr, "%s: %s %u%%\n", w.name.c_str(), w.phase.c_str(), w.percent);
            }
        }
    }
    void Resize(std::size_t n) { m_said.resize(n); }

private:
    bool m_tty;
    std::size_t m_lines;
    bool m_drawn = false;
    std::vector<std::string> m_said;
};

} // namespace

int RunFlashAll(const ParsedArgs& args, const dfuse::DfuFile& file)
{
    std::optional<std::size_t> count;
    if (const auto text = args.Value("--count")) {
        const auto n = ParseNumber(*text, 64);
        if (!n || *n < 1)
            return UsageError("flash", "--count needs a number of devices from 1 to 64, not '" + *text + "'");
        count = static_cast<std::size_t>(*n);
    }
    WaitOption wait;
    if (const int status = ParseWaitOption("flash", args, wait); status >= 0)
        return status;
    if (count && !wait.wait)
        return UsageError("flash", "--count goes with --wait");
    std::string error;
    auto transport = usb::CreateTransport(&error);
    if (!transport)
        return Failure("flash", error.empty() ? "no USB access" : error);

    // The suitable devices, waiting for --count of them when asked.
    std::vector<usb::DeviceInfo> listed;
    const auto suitable = [&](const std::vector<usb::DeviceInfo>& devices) -> std::optional<usb::DeviceInfo> {
        listed = devices;
        const auto n = static_cast<std::size_t>(
            std::count_if(devices.begin(), devices.end(), [&](const auto& d) { return Suits(file, d); }));
        if (n > 0 && n >= count.value_or(1))
            return devices.front();
        return std::nullopt;
    };
    usb::DeviceInfo any;
    if (wait.wait) {
        if (!WaitForDevice(*transport, wait, suitable, any))
            return Failure("flash", count ? Format("fewer than %zu devices the file suits came", *count)
                                          : std::string("no device the file suits came"));
    } else if (transport->Enumerate(listed) != usb::Status::Ok) {
        return Failure("flash", "cannot list devices");
    }
    dfuse::DfuseLibrary library(*transport);
    std::vector<std::unique_ptr<Worker>> workers;
    for (const usb::DeviceInfo& d : listed) {
        if (!Suits(file, d)) {
            std::cerr << "Left alone: " << NameOf(d) << " ("
                      << (d.mode == usb::InterfaceMode::Dfu ? "the file is not for it" : "not in update mode") << ")\n";
            continue;
        }
        auto w = std::make_unique<Worker>();
        w->device = d;
        w->name = NameOf(d);
        workers.push_back(std::move(w));
    }
    if (workers.empty())
        return Failure("flash", "no attached device in update mode is one the file suits");

    std::vector<int> targets;
    for (const dfuse::Image& image : file.images)
        targets.push_back(image.alternate);
    std::sort(targets.begin(), targets.end());
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
    const bool verify = !args.Has("--no-verify");

    // Each device's lock and link side by side: a device that keeps its lock or answers slowly holds up no other.
    std::vector<std::thread> openers;
    for (auto& w : workers) {
        openers.emplace_back([&library, w = w.get()] {
            w->started = Clock::now();
            dfuse::LockHolder holder;
            std::string lockError;
            if (dfuse::DeviceLock::Acquire(dfuse::DeviceLockKey(w->device.serial, w->device.path),
                                           dfuse::DeviceLockWait(), w->lock, holder,
                                           lockError) != dfuse::DeviceLock::Outcome::Taken) {
                w->failed = true;
                w->result = lockError.empty() ? "busy: " + dfuse::DescribeHolder(holder) + " is using it" : lockError;
                return;
            }
            dfuse::LinkDescriptors descriptors;
            if (library.Operations().OpenLink(w->device.path, w->link, descriptors) != dfuse::LinkOutcome::Ok) {
                w->failed = true;
                w->result = "cannot open its link: unplug it and plug it in again";
            }
        });
    }
    for (std::thread& opener : openers)
        opener.join();

    const std::string filePath = args.positionals.front();
    const std::string fileName = std::filesystem::path(filePath).filename().string();
    const std::string fileHash = dfuse::HashOfFile(filePath);
    dfuse::JobWaker waker;
    for (auto& w : workers) {
        if (w->failed)
            continue;
        w->job = std::make_unique<dfuse::TransferJob>(library.Operations());
        w->job->SetVerifyAfterUpgrade(verify);
        w->job->SetSmartWrites(!args.Has("--full"));
        w->job->SetSnapshot(SnapshotRequestFor("flash", args, w->link, w->device));
        w->job->SetWakeUp(waker.WakeUp());
        w->journal = BeginRecordedWrite(w->device, "firmware update", fileName, filePath, fileHash);
        for (const dfuse::JobEvent& e : w->job->StartUpgrade(w->link, targets, file))
            Take(*w, e);
    }

    Display display(workers.size());
    display.Resize(workers.size());
    while (true) {
        bool running = false;
        for (auto& w : workers) {
            if (w->done)
                continue;
            if (w->job && w->job->Running()) {
                for (const dfuse::JobEvent& e : w->job->Poll())
                    Take(*w, e);
            }
            if (!w->job || !w->job->Running()) {
                w->done = true;
                w->seconds = std::chrono::duration<double>(Clock::now() - w->started).count();
                w->phase = !w->failed && (w->verified || !verify) ? "done" : "failed";
                Record(*w, verify, file);
                if (w->job)
                    w->job->SetWakeUp({});
                w->lock.Release();
            } else {
                running = true;
            }
        }
        display.Show(workers);
        if (!running)
            break;
        waker.Wait(std::chrono::milliseconds(100));
    }

    bool allOk = true;
    for (const auto& w : workers)
        allOk = allOk && w->phase == "done";
    if (args.Has("--json")) {
        JsonWriter json(std::cout);
        json.BeginObject().Key("ok").Bool(allOk).Key("devices").BeginArray();
        for (const auto& w : workers) {
            json.BeginObject()
                .Key("model")
                .String(NamesOf(w->device.vid, w->device.pid, w->device.bcdDevice).model)
                .Key("serial")
                .String(w->device.serial)
                .Key("port")
                .String(DevicePort(w->device))
                .Key("ok")
                .Bool(w->phase == "done")
                .Key("result")
                .String(w->result)
                .Key("seconds")
                .Raw(Format("%.2f", w->seconds))
                .EndObject();
        }
        json.EndArray().EndObject();
        std::cout << "\n";
    } else {
        for (const auto& w : workers)
            std::cout << Format("%-28s %-7s %6.2f s  ", w->name.c_str(), w->phase == "done" ? "ok" : "FAILED",
                                w->seconds)
                      << w->result << "\n";
    }
    return allOk ? kExitOk : kExitFailure;
}

} // namespace nemora::cli

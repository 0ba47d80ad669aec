// Upgrade benchmark: the demonstration firmware into a virtual device that models a full-speed USB part
// (timing=fullspeed), once through the console's engine window (offscreen) and once through the transfer
// job as nemora-cli drives it, both over the same library. Prints the wall time of each, in milliseconds,
// and their ratio: console_ms=, job_ms=, ratio=. Exit status 1 when either run does not verify.
//
// Usage: upgrade_bench [FILE] (default: the demonstration firmware of the source tree)

#include "dfu/dfu_update.h"
#include "dfu/text_progress_ctrl.h"
#include "dfuse/device_link.h"
#include "dfuse/dfuse_blocking.h"
#include "dfuse/dfuse_library.h"
#include "sim/sim_transport.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QTreeWidget>

#include <chrono>
#include <cstdio>

namespace {

using namespace nemora;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

std::unique_ptr<sim::SimTransport> MakeTransport(std::string& path)
{
    std::string error;
    const auto config = sim::ParseSimConfig("timing=fullspeed");
    auto transport = sim::SimTransport::Create(config.devices, "", error);
    if (!transport) {
        std::fprintf(stderr, "upgrade_bench: %s\n", error.c_str());
        return nullptr;
    }
    std::vector<usb::DeviceInfo> devices;
    transport->Enumerate(devices);
    if (devices.empty()) {
        std::fprintf(stderr, "upgrade_bench: no virtual device\n");
        return nullptr;
    }
    path = devices.front().path;
    return transport;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string file = argc > 1 ? argv[1] : NEMORA_DEMO_FIRMWARE;

    // The console: the engine window on its own timer and wake-ups.
    double consoleMs = 0;
    bool consoleOk = false;
    {
        std::string path;
        auto transport = MakeTransport(path);
        if (!transport) {
            return 1;
        }
        dfuse::DfuseLibrary library(*transport);
        QWidget page;
        auto* engine = new CDfuUpdate(&page, library, nullptr);
        engine->show();
        const auto start = Clock::now();
        engine->OpenDevice(QString::fromStdString(path), QString::fromStdString(file));
        engine->StartUpgrade();
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (!engine->IsRunning()) {
                loop.quit();
            }
        });
        check.start(1);
        loop.exec();
        consoleMs = Ms(Clock::now() - start);
        consoleOk = engine->ProgressBar()->GetWindowText().endsWith("Verify successful !");
        if (!consoleOk) {
            std::fprintf(stderr, "upgrade_bench: console: %s\n",
                         engine->ProgressBar()->GetWindowText().toStdString().c_str());
        }
    }

    // The command line's way: the same job, waited on.
    double jobMs = 0;
    bool jobOk = true;
    {
        std::string path;
        auto transport = MakeTransport(path);
        if (!transport) {
            return 1;
        }
        dfuse::DfuseLibrary library(*transport);
        const auto start = Clock::now();
        dfuse::DeviceLink link;
        dfuse::LinkDescriptors descriptors;
        if (dfuse::OpenDeviceLink(library, path, link, descriptors) != dfuse::LinkOutcome::Ok) {
            std::fprintf(stderr, "upgrade_bench: cannot open the virtual device\n");
            return 1;
        }
        const dfuse::ParseResult parsed = dfuse::ReadDfuFile(file);
        if (!parsed.file) {
            std::fprintf(stderr, "upgrade_bench: cannot read %s\n", file.c_str());
            return 1;
        }
        dfuse::TransferJob job(library.Operations());
        bool verified = false;
        dfuse::RunJob(
            job, [&] { return job.StartUpgrade(link, {0}, *parsed.file); },
            [&](const dfuse::JobEvent& e) {
                verified = verified || e.kind == dfuse::JobEvent::Kind::Verified;
                jobOk = jobOk && e.kind != dfuse::JobEvent::Kind::Failed && e.kind != dfuse::JobEvent::Kind::Problem &&
                        e.kind != dfuse::JobEvent::Kind::Mismatch;
            });
        jobMs = Ms(Clock::now() - start);
        jobOk = jobOk && verified;
    }

    std::printf("console_ms=%.0f\njob_ms=%.0f\nratio=%.2f\n", consoleMs, jobMs, jobMs > 0 ? consoleMs / jobMs : 0.0);
    return consoleOk && jobOk ? 0 : 1;
}

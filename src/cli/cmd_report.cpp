// nemora-cli report: the diagnostic report, as text or as one JSON object.

#include "cli/cli.h"
#include "dfuse/dfu_file.h"
#include "dfuse/dfuse_library.h"
#include "report/diagnostic_report.h"
#include "transport/transport_factory.h"

#include <array>
#include <iostream>
#include <sstream>

namespace nemora::cli {

namespace {

void WriteJson(std::ostream& out, const report::Report& r, bool serials)
{
    const auto shown = [&](const std::string& text) { return report::Redact(r, text, serials); };
    JsonWriter json(out);
    json.BeginObject()
        .Key("program")
        .String(r.program)
        .Key("version")
        .String(r.programVersion)
        .Key("libusb")
        .String(r.libusbVersion)
        .Key("system")
        .String(r.system)
        .Key("kernel")
        .String(r.kernel)
        .Key("session")
        .String(r.session)
        .Key("root")
        .Bool(r.root)
        .Key("virtual_devices")
        .Bool(r.simulated)
        .Key("devices")
        .BeginArray();
    for (const report::DeviceFacts& d : r.devices) {
        json.BeginObject()
            .Key("path")
            .String(d.info.path)
            .Key("port")
            .String(d.port)
            .Key("mode")
            .String(d.info.mode == usb::InterfaceMode::Dfu ? "dfu" : "app")
            .Key("vid")
            .Int(d.info.vid)
            .Key("pid")
            .Int(d.info.pid)
            .Key("bcd_device")
            .Int(d.info.bcdDevice)
            .Key("product_name")
            .String(d.product)
            .Key("model_name")
            .String(d.model)
            .Key("firmware_version")
            .String(d.firmware)
            .Key("serial")
            .String(report::ShownSerial(d.info.serial, serials));
        if (d.dfu) {
            json.Key("dfu")
                .BeginObject()
                .Key("attributes")
                .Int(d.dfu->attributes)
                .Key("detach_timeout_ms")
                .Int(d.dfu->detachTimeout)
                .Key("transfer_size")
                .Int(d.dfu->transferSize)
                .Key("dfu_version")
                .Int(d.dfu->dfuVersion)
                .EndObject();
        }
        json.Key("memory_map").BeginArray();
        for (const std::string& line : d.memoryMap)
            json.String(line);
        json.EndArray()
            .Key("read_protected")
            .Bool(d.readProtected)
            .Key("link_problem")
            .String(d.linkProblem)
            .Key("access")
            .BeginObject()
            .Key("can_open")
            .Bool(d.access.canOpen)
            .Key("reason")
            .String(d.access.reason)
            .Key("node")
            .String(d.access.node)
            .Key("node_mode")
            .String(d.access.nodeMode)
            .Key("node_owner")
            .String(d.access.nodeOwner)
            .Key("uaccess")
            .Bool(d.access.uaccess)
            .Key("uaccess_rule")
            .String(d.access.uaccessRule)
            .EndObject()
            .Key("rule_names_device")
            .Bool(d.ruleNamesDevice)
            .EndObject();
    }
    json.EndArray()
        .Key("udev_rule")
        .BeginObject()
        .Key("installed")
        .Bool(r.ruleInstalled)
        .Key("path")
        .String(r.rulePath);
    json.EndObject().Key("outcomes").BeginArray();
    for (const dfuse::OperationOutcome& o : r.outcomes) {
        json.BeginObject()
            .Key("when")
            .String(o.when)
            .Key("program")
            .String(o.program)
            .Key("model")
            .String(o.model)
            .Key("serial")
            .String(report::ShownSerial(o.serial, serials))
            .Key("port")
            .String(o.port)
            .Key("operation")
            .String(o.operation)
            .Key("ok")
            .Bool(o.ok)
            .Key("result")
            .String(shown(o.result))
            .Key("phase")
            .String(o.phase)
            .Key("dfu_state")
            .String(o.dfuState)
            .Key("dfu_status")
            .String(o.dfuStatus)
            .Key("error")
            .String(o.error)
            .Key("link")
            .BeginObject()
            .Key("requests")
            .Int(o.health.requests)
            .Key("stalls")
            .Int(o.health.stalls)
            .Key("timeouts")
            .Int(o.health.timeouts)
            .Key("status_errors")
            .Int(o.health.statusErrors)
            .Key("recoveries")
            .Int(o.health.recoveries)
            .EndObject()
            .EndObject();
    }
    json.EndArray().Key("folders").BeginArray();
    for (const report::FolderFacts& f : r.folders) {
        json.BeginObject()
            .Key("what")
            .String(f.what)
            .Key("path")
            .String(f.path)
            .Key("exists")
            .Bool(f.exists)
            .Key("private")
            .Bool(f.isPrivate)
            .Key("snapshots")
            .BeginArray();
        for (const report::SnapshotCount& c : f.snapshots) {
            json.BeginObject()
                .Key("model")
                .String(c.model)
                .Key("serial")
                .String(report::ShownSerial(c.serial, serials))
                .Key("count")
                .Int(static_cast<long long>(c.count))
                .EndObject();
        }
        json.EndArray().EndObject();
    }
    json.EndArray().Key("advice").BeginArray();
    for (const std::string& line : r.advice)
        json.String(shown(line));
    json.EndArray().EndObject();
    out << "\n";
}

} // namespace

int RunReport(Args args)
{
    static constexpr std::array<OptionSpec, 3> kSpec = {
        {{"--json", false}, {"-o", true}, {"--include-serials", false}}};
    int exitCode = kExitOk;
    auto parsed = ParseCommand(
        "report", args, kSpec,
        "Usage: nemora-cli report [--json] [-o FILE] [--include-serials]\n\n"
        "Prints what a maintainer asks first when something does not work: this program's version, Qt and\n"
        "libusb, the system, every attached device (path, port, mode, ids, what the catalogue names, its DFU\n"
        "descriptor and memory map, and whether this user may open it, and if not why), the udev rule, the\n"
        "outcomes of the last operations on each device, the program's folders and whether virtual devices\n"
        "are in use. It opens each device briefly and sends nothing that changes it; a device another\n"
        "program is using is left alone.\n\n"
        "  --json             one JSON object with the same facts\n"
        "  -o FILE            write the report into FILE (whole or not at all) instead of printing it\n"
        "  --include-serials  show whole serial numbers (by default only their last four characters)\n",
        exitCode);
    if (!parsed)
        return exitCode;
    if (!parsed->positionals.empty())
        return UsageError("report", "unexpected argument '" + parsed->positionals.front() + "'");
    std::string error;
    auto transport = usb::CreateTransport(&error);
    if (!transport)
        return Failure("report", error.empty() ? "no USB access" : error);
    dfuse::DfuseLibrary library(*transport);
    report::ReportOptions options;
    options.program = "nemora-cli";
    const report::Report r = report::CollectReport(*transport, library, options);
    const bool serials = parsed->Has("--include-serials");
    std::ostringstream text;
    if (parsed->Has("--json"))
        WriteJson(text, r, serials);
    else
        text << report::ReportText(r, serials);
    if (const auto file = parsed->Value("-o")) {
        const std::string bytes = text.str();
        if (const dfuse::Error e = dfuse::WriteFileAtomically(
                *file, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()))) {
            return Failure("report", "cannot write " + *file + ": " + e.message + "; nothing was written");
        }
        std::cerr << "Report written to " << *file << "\n";
        return kExitOk;
    }
    std::cout << text.str();
    return kExitOk;
}

} // namespace nemora::cli

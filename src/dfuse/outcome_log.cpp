#include "dfuse/outcome_log.h"

#include "dfuse/dfu_file.h"
#include "dfuse/dfu_names.h"
#include "dfuse/dfuse_operations.h"

#include <array>
#include <cstdlib>
#include <ctime>
#include <fstream>

namespace nemora::dfuse {

namespace {

constexpr std::size_t kFields = 17;
constexpr std::size_t kFieldsWithoutHealth = 12; // records written before the link was counted
constexpr std::uintmax_t kMaxOutcomesSize = 64 * 1024;

// Fields are tab-separated: tabs and line breaks inside a field become blanks.
std::string Clean(std::string text)
{
    for (char& c : text) {
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    }
    return text;
}

std::string NowUtc()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string Line(const OperationOutcome& o)
{
    const std::array<std::string, kFields> fields = {o.when,
                                                     o.program,
                                                     o.model,
                                                     o.serial,
                                                     o.port,
                                                     o.operation,
                                                     o.ok ? "ok" : "failed",
                                                     o.result,
                                                     o.phase,
                                                     o.dfuState,
                                                     o.dfuStatus,
                                                     o.error,
                                                     std::to_string(o.health.requests),
                                                     std::to_string(o.health.stalls),
                                                     std::to_string(o.health.timeouts),
                                                     std::to_string(o.health.statusErrors),
                                                     std::to_string(o.health.recoveries)};
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i)
            line += '\t';
        line += Clean(fields[i]);
    }
    return line + '\n';
}

bool Parse(const std::string& line, OperationOutcome& o)
{
    std::vector<std::string> fields;
    std::size_t from = 0;
    for (std::size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', from)) {
        fields.push_back(line.substr(from, tab - from));
        from = tab + 1;
    }
    fields.push_back(line.substr(from)); // empty fields at the end count too
    if ((fields.size() != kFields && fields.size() != kFieldsWithoutHealth) ||
        (fields[6] != "ok" && fields[6] != "failed"))
        return false;
    o = {fields[0], fields[1], fields[2], fields[3],  fields[4],  fields[5], fields[6] == "ok",
         fields[7], fields[8], fields[9], fields[10], fields[11], {}};
    if (fields.size() == kFields) {
        const auto number = [](const std::string& text) {
            return static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
        };
        o.health = {number(fields[12]), number(fields[13]), number(fields[14]), number(fields[15]), number(fields[16])};
    }
    return true;
}

const char* OperationName(std::uint32_t operation)
{
    switch (operation) {
    case OPERATION_RETURN:
        return "RETURN";
    case OPERATION_UPLOAD:
        return "UPLOAD";
    case OPERATION_ERASE:
        return "ERASE";
    case OPERATION_UPGRADE:
        return "UPGRADE";
    default:
        return "DETACH";
    }
}

} // namespace

void DescribeFailedContext(const DFUThreadContext& context, OperationOutcome& outcome)
{
    outcome.phase = OperationName(context.Operation);
    outcome.dfuState = std::string(DfuStateName(context.LastDFUStatus.bState).value_or("unknown"));
    const DfuStatusNames* status = FindDfuStatus(context.LastDFUStatus.bStatus);
    outcome.dfuStatus = status ? std::string(status->name) : "unknown";
    const OperationErrorNames* error = FindOperationError(context.ErrorCode);
    outcome.error = error ? std::string(error->brief) : "unknown error";
}

std::string HealthText(const LinkHealth& h)
{
    return std::to_string(h.requests) + " requests, " + std::to_string(h.stalls) + " stalls, " +
           std::to_string(h.timeouts) + " timeouts, " + std::to_string(h.statusErrors) + " status errors, " +
           std::to_string(h.recoveries) + " recoveries";
}

std::string HubAdvice(const OperationOutcome& outcome)
{
    const bool linkTrouble = outcome.health.stalls > 0 || outcome.health.timeouts > 0 ||
                             outcome.dfuStatus == "errSTALLEDPKT" ||
                             outcome.error == FindOperationError(STDFUPRT_UNEXPECTEDERROR)->brief ||
                             outcome.error == FindOperationError(STDFUPRT_RETRYERROR)->brief;
    if (outcome.ok || !linkTrouble || outcome.port.find('.') == std::string::npos)
        return {};
    return "The device sits behind a USB hub (port " + outcome.port +
           ") and the transfer met stalls or a failed link: plug it into a port of the computer itself, or try "
           "another cable, and try again.";
}

std::vector<OperationOutcome> ReadOutcomes(const std::filesystem::path& folder)
{
    std::vector<OperationOutcome> outcomes;
    std::error_code ec;
    const std::filesystem::path path = folder / kOutcomesFileName;
    if (!std::filesystem::is_regular_file(path, ec) || std::filesystem::file_size(path, ec) > kMaxOutcomesSize)
        return outcomes;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        OperationOutcome outcome;
        if (Parse(line, outcome))
            outcomes.push_back(std::move(outcome));
    }
    return outcomes;
}

bool RecordOutcome(const std::filesystem::path& folder, OperationOutcome outcome, std::string& error)
{
    if (outcome.when.empty())
        outcome.when = NowUtc();
    std::vector<OperationOutcome> kept = ReadOutcomes(folder);
    kept.push_back(std::move(outcome));
    const std::size_t from = kept.size() > kOutcomesKept ? kept.size() - kOutcomesKept : 0;
    std::string text;
    for (std::size_t i = from; i < kept.size(); ++i)
        text += Line(kept[i]);
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    if (const Error failed = WriteFileAtomically(folder / kOutcomesFileName, bytes)) {
        error = failed.message.empty() ? "the outcomes file cannot be written" : failed.message;
        return false;
    }
    return true;
}

} // namespace nemora::dfuse

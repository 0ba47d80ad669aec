#include "dfuse/outcome_log.h"

#include "dfuse/dfu_file.h"
#include "dfuse/dfu_names.h"
#include "dfuse/dfuse_operations.h"
#include "dfuse/record_file.h"

#include <array>
#include <cstdlib>

namespace nemora::dfuse {

namespace {

constexpr std::size_t kFields = 17;
constexpr std::size_t kFieldsWithoutHealth = 12; // records written before the link was counted
constexpr std::uintmax_t kMaxOutcomesSize = 64 * 1024;

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
    return JoinFields(fields);
}

bool Parse(const std::string& line, OperationOutcome& o)
{
    const std::vector<std::string> fields = SplitFields(line);
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
    for (const std::string& line : ReadRecordLines(folder / kOutcomesFileName, kMaxOutcomesSize)) {
        OperationOutcome outcome;
        if (Parse(line, outcome))
            outcomes.push_back(std::move(outcome));
    }
    return outcomes;
}

bool RecordOutcome(const std::filesystem::path& folder, OperationOutcome outcome, std::string& error)
{
    if (outcome.when.empty())
        outcome.when = UtcNow();
    // Lines that do not parse go with the rewrite, as reading them would leave them out.
    return RewriteRecordFile(
        folder / kOutcomesFileName, kMaxOutcomesSize, kOutcomesKept,
        [&](std::vector<std::string>& lines) {
            std::erase_if(lines, [](const std::string& line) {
                OperationOutcome parsed;
                return !Parse(line, parsed);
            });
            std::string added = Line(outcome);
            added.pop_back();
            lines.push_back(std::move(added));
        },
        false, error);
}

} // namespace nemora::dfuse

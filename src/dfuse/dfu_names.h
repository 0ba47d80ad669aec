#pragma once

// The names of DFU values, one table each, for every program that prints or reads them: the error codes
// of the background operations (STDFUPRT_*), the device statuses (bStatus), the device states (bState)
// and the request codes of the operation context (STDFU_RQ_*). The failure report of the console, the CLI's messages
// and the virtual device's configuration all take their words from here.

#include "dfuse/dfuse_contract.h"
#include "i18n/translate.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace nemora::dfuse {

struct DfuStatusNames {
    std::string_view name;   // as USB DFU 1.1 writes it: "OK", "errTARGET" ... "errSTALLEDPKT"
    std::string_view report; // as the failure report prints it: "STATUS_OK" ... (status 5 is "STATUS_errCHECK_ERASE")
};

// Indexed by bStatus 0 to 15.
inline constexpr std::array<DfuStatusNames, 16> kDfuStatusNames = {{
    {"OK", "STATUS_OK"},
    {"errTARGET", "STATUS_errTARGET"},
    {"errFILE", "STATUS_errFILE"},
    {"errWRITE", "STATUS_errWRITE"},
    {"errERASE", "STATUS_errERASE"},
    {"errCHECK_ERASED", "STATUS_errCHECK_ERASE"},
    {"errPROG", "STATUS_errPROG"},
    {"errVERIFY", "STATUS_errVERIFY"},
    {"errADDRESS", "STATUS_errADDRESS"},
    {"errNOTDONE", "STATUS_errNOTDONE"},
    {"errFIRMWARE", "STATUS_errFIRMWARE"},
    {"errVENDOR", "STATUS_errVENDOR"},
    {"errUSBR", "STATUS_errUSBR"},
    {"errPOR", "STATUS_errPOR"},
    {"errUNKNOWN", "STATUS_errUNKNOWN"},
    {"errSTALLEDPKT", "STATUS_errSTALLEDPKT"},
}};

// Indexed by bState 0 to 10, as the failure report prints them (the names of the STATE_* constants).
inline constexpr std::array<std::string_view, 11> kDfuStateNames = {
    "STATE_IDLE",
    "STATE_DETACH",
    "STATE_DFU_IDLE",
    "STATE_DFU_DOWNLOAD_SYNC",
    "STATE_DFU_DOWNLOAD_BUSY",
    "STATE_DFU_DOWNLOAD_IDLE",
    "STATE_DFU_MANIFEST_SYNC",
    "STATE_DFU_MANIFEST",
    "STATE_DFU_MANIFEST_WAIT_RESET",
    "STATE_DFU_UPLOAD_IDLE",
    "STATE_DFU_ERROR",
};

struct DfuRequestNames {
    std::uint32_t code;      // STDFU_RQ_*
    std::string_view report; // the failure report's sentence: "Getting Device Descriptor."
    std::string_view brief;  // lower case, for one-line messages: "getting device descriptor"
};

inline constexpr std::array<DfuRequestNames, 21> kDfuRequestNames = {{
    {STDFU_RQ_GET_DEVICE_DESCRIPTOR, NEMORA_TR_NOOP("DfuNames", "Getting Device Descriptor."),
     "getting device descriptor"},
    {STDFU_RQ_GET_DFU_DESCRIPTOR, NEMORA_TR_NOOP("DfuNames", "Getting DFU Descriptor."), "getting DFU descriptor"},
    {STDFU_RQ_GET_STRING_DESCRIPTOR, NEMORA_TR_NOOP("DfuNames", "Getting String Descriptor."),
     "getting string descriptor"},
    {STDFU_RQ_GET_NB_OF_CONFIGURATIONS, NEMORA_TR_NOOP("DfuNames", "Getting amount of configurations."),
     "getting amount of configurations"},
    {STDFU_RQ_GET_CONFIGURATION_DESCRIPTOR, NEMORA_TR_NOOP("DfuNames", "Getting Configuration Descriptor."),
     "getting configuration descriptor"},
    {STDFU_RQ_GET_NB_OF_INTERFACES, NEMORA_TR_NOOP("DfuNames", "Getting amount of interfaces."),
     "getting amount of interfaces"},
    {STDFU_RQ_GET_NB_OF_ALTERNATES, NEMORA_TR_NOOP("DfuNames", "Getting amount of alternates."),
     "getting amount of alternates"},
    {STDFU_RQ_GET_INTERFACE_DESCRIPTOR, NEMORA_TR_NOOP("DfuNames", "Getting interface Descriptor."),
     "getting interface descriptor"},
    {STDFU_RQ_OPEN, NEMORA_TR_NOOP("DfuNames", "Opening device."), "opening device"},
    {STDFU_RQ_CLOSE, NEMORA_TR_NOOP("DfuNames", "Closing device."), "closing device"},
    {STDFU_RQ_DETACH, NEMORA_TR_NOOP("DfuNames", "Detach Request."), "detach"},
    {STDFU_RQ_DOWNLOAD, NEMORA_TR_NOOP("DfuNames", "Download Request."), "download"},
    {STDFU_RQ_UPLOAD, NEMORA_TR_NOOP("DfuNames", "Upload Request."), "upload"},
    {STDFU_RQ_GET_STATUS, NEMORA_TR_NOOP("DfuNames", "Get Status Request."), "get status"},
    {STDFU_RQ_CLR_STATUS, NEMORA_TR_NOOP("DfuNames", "Clear Status Request."), "clear status"},
    {STDFU_RQ_GET_STATE, NEMORA_TR_NOOP("DfuNames", "Get State Request."), "get state"},
    {STDFU_RQ_ABORT, NEMORA_TR_NOOP("DfuNames", "Abort Request."), "abort"},
    {STDFU_RQ_SELECT_ALTERNATE, NEMORA_TR_NOOP("DfuNames", "Selecting target."), "selecting target"},
    {STDFU_RQ_AWAITINGPNPUNPLUGEVENT, NEMORA_TR_NOOP("DfuNames", "Awaiting UNPLUG EVENT."), "awaiting unplug"},
    {STDFU_RQ_AWAITINGPNPPLUGEVENT, NEMORA_TR_NOOP("DfuNames", "Awaiting PLUG EVENT."), "awaiting plug"},
    {STDFU_RQ_IDENTIFYINGDEVICE, NEMORA_TR_NOOP("DfuNames", "Identifying device after reenumeration."),
     "identifying device after re-enumeration"},
}};

struct OperationErrorNames {
    std::uint32_t code;      // STDFUPRT_*
    std::string_view report; // what the failure report says after "Error Code: "; empty: it has no words for it
    std::string_view brief;  // lower case, for one-line messages
};

inline constexpr std::array<OperationErrorNames, 9> kOperationErrorNames = {{
    {STDFUPRT_NOERROR, NEMORA_TR_NOOP("DfuNames", "no error (!)"), "no error"},
    {STDFUPRT_UNABLETOLAUNCHDFUTHREAD, NEMORA_TR_NOOP("DfuNames", "Unable to launch operation (Thread problem)"),
     "unable to launch operation"},
    {STDFUPRT_DFUALREADYRUNNING, NEMORA_TR_NOOP("DfuNames", "DFU already running"),
     "an operation is already running on this device"},
    {STDFUPRT_BADPARAMETER, NEMORA_TR_NOOP("DfuNames", "Bad parameter"), "bad parameter"},
    {STDFUPRT_BADFIRMWARESTATEMACHINE, NEMORA_TR_NOOP("DfuNames", "Bad state machine in firmware"),
     "bad state machine in firmware"},
    {STDFUPRT_UNEXPECTEDERROR, NEMORA_TR_NOOP("DfuNames", "Unexpected error"),
     "unexpected error (device gone or link failed)"},
    {STDFUPRT_DFUERROR, NEMORA_TR_NOOP("DfuNames", "DFU error"), "DFU error"},
    {STDFUPRT_RETRYERROR, NEMORA_TR_NOOP("DfuNames", "Retry error"), "device stays busy"},
    {STDFUPRT_UNSUPPORTEDFEATURE, "", "not supported by this firmware"},
}};

// The names of an operation's error code, or nothing for a code outside the table.
constexpr const OperationErrorNames* FindOperationError(std::uint32_t code)
{
    for (const OperationErrorNames& error : kOperationErrorNames) {
        if (error.code == code) {
            return &error;
        }
    }
    return nullptr;
}

// The names of a status, or nothing beyond the table.
constexpr const DfuStatusNames* FindDfuStatus(std::uint8_t status)
{
    return status < kDfuStatusNames.size() ? &kDfuStatusNames[status] : nullptr;
}

// The status with that standard name, in any case ("errprog" is 6), or nothing.
constexpr std::optional<std::uint8_t> DfuStatusFromName(std::string_view name)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < kDfuStatusNames.size(); ++i) {
        const std::string_view known = kDfuStatusNames[i].name;
        bool same = known.size() == name.size();
        for (std::size_t k = 0; same && k < name.size(); ++k) {
            same = lower(known[k]) == lower(name[k]);
        }
        if (same) {
            return static_cast<std::uint8_t>(i);
        }
    }
    return std::nullopt;
}

// The state's name, or nothing beyond the table.
constexpr std::optional<std::string_view> DfuStateName(std::uint8_t state)
{
    if (state < kDfuStateNames.size()) {
        return kDfuStateNames[state];
    }
    return std::nullopt;
}

// The names of a request code, or nothing for a code outside the table.
constexpr const DfuRequestNames* FindDfuRequest(std::uint32_t code)
{
    for (const DfuRequestNames& request : kDfuRequestNames) {
        if (request.code == code) {
            return &request;
        }
    }
    return nullptr;
}

} // namespace nemora::dfuse

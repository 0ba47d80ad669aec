#include "dfu/dfu_texts.h"

#include "dfuse/dfu_names.h"
#include "dfuse/dfuse_operations.h"
#include "i18n/translate.h"

#include <cctype>
#include <cstdio>

namespace nemora::dfu {

using i18n::FormatText;
using i18n::Tr;

namespace {

// Tr() for texts the outcome records keep as well: the records get the source text itself.
auto TranslatorFor(Words words)
{
    return [words](const char* context, const char* source) {
        return words == Words::Shown ? i18n::Tr(context, source) : std::string(source);
    };
}

} // namespace

std::string SectorSizeText(std::uint32_t size)
{
    if (size < 1024) {
        return FormatText("%i b", static_cast<int>(size));
    }
    if (size < 1048576) {
        return FormatText("%i Kb", static_cast<int>(size / 1024));
    }
    return FormatText("%i Mb", static_cast<int>(size / 1048576));
}

std::string SectorListText(const nemora::dfuse::MappingTarget& target)
{
    const bool optionBytes = target.szName == nemora::dfuse::kOptionBytesTargetName;
    std::string text;
    for (std::size_t k = 0; k < target.sectors.size(); ++k) {
        const auto& sector = target.sectors[k];
        const std::uint32_t last = sector.dwStartAddress + sector.dwSectorSize - 1;
        text += FormatText(Tr("DfuTexts", "Sector %03i\t0x%08X\t0x%08X\t%s\t").c_str(), static_cast<int>(k),
                           sector.dwStartAddress, last, SectorSizeText(sector.dwSectorSize).c_str());
        if (sector.IsReadable()) {
            text += "R";
        }
        if (sector.IsWritable()) {
            text += "W";
        }
        if (sector.IsErasable() && !optionBytes) {
            text += "E";
        }
        if (k + 1 < target.sectors.size()) {
            text += "\n";
        }
    }
    return text;
}

std::string TransferSizeText(std::uint32_t size, std::uint32_t percent)
{
    // 64-bit products so that a large image cannot wrap the "done" figures.
    const std::uint64_t kb = size / 1024;
    const auto doneKb = static_cast<std::uint32_t>(kb * percent / 100);
    const auto doneBytes = static_cast<std::uint32_t>(std::uint64_t{size} * percent / 100);
    return FormatText(Tr("DfuTexts", "%i KB(%i Bytes) of %i KB(%i Bytes)").c_str(), static_cast<int>(doneKb),
                      static_cast<int>(doneBytes), static_cast<int>(kb), static_cast<int>(size));
}

std::string ElapsedText(std::int64_t seconds)
{
    if (seconds < 0) {
        seconds = 0;
    }
    return FormatText("%.2i:%.2i:%.2i", static_cast<int>((seconds / 3600) % 24), static_cast<int>((seconds / 60) % 60),
                      static_cast<int>(seconds % 60));
}

std::string PhaseText(std::uint32_t operation, int target, std::uint32_t percent, Words words)
{
    const auto Tr = TranslatorFor(words);
    const int p = static_cast<int>(percent);
    switch (operation) {
    case nemora::dfuse::OPERATION_DETACH:
        return FormatText(Tr("DfuTexts", " Detaching %i%%...").c_str(), p);
    case nemora::dfuse::OPERATION_RETURN:
        return FormatText(Tr("DfuTexts", " Leaving Updating mode %i%%...").c_str(), p);
    case nemora::dfuse::OPERATION_UPLOAD:
        return FormatText(Tr("DfuTexts", " %02i: Uploading %i%%...").c_str(), target, p);
    case nemora::dfuse::OPERATION_UPGRADE:
        return FormatText(Tr("DfuTexts", " %02i: Upgrading - Download Phase (%i%%)...").c_str(), target, p);
    default:
        return FormatText(Tr("DfuTexts", " %02i: Upgrading - Erase Phase (%i%%)...").c_str(), target, p);
    }
}

namespace {

// Reads hexadecimal digits as far as they go, like the platform's text-to-number call; "" is 0.
std::uint32_t ParseHex(const std::string& text)
{
    std::uint32_t value = 0;
    for (char c : text) {
        const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                          : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                          : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                                                                      : -1;
        if (digit < 0) {
            break;
        }
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

} // namespace

std::uint32_t DeviceModelFromBcdText(const std::string& deviceBcdText)
{
    return ParseHex(deviceBcdText) & ~0x3Fu;
}

bool FileSuitsDevice(const std::string& devVid, const std::string& devPid, const std::string& devBcd,
                     const std::string& fileVid, const std::string& filePid, const std::string& fileBcd)
{
    return devVid == fileVid && devPid == filePid && (ParseHex(fileBcd) & ~0x3Fu) == DeviceModelFromBcdText(devBcd);
}

std::string ErrorCodeLine(std::uint32_t errorCode, Words words)
{
    const auto Tr = TranslatorFor(words);
    const auto* names = nemora::dfuse::FindOperationError(errorCode);
    if (names != nullptr && !names->report.empty()) {
        const std::string report = Tr("DfuNames", std::string(names->report).c_str());
        return FormatText(Tr("DfuTexts", "Error Code: %s\n").c_str(), report.c_str());
    }
    return FormatText(Tr("DfuTexts", "Error Code: Unknown error 0x%08X. \n").c_str(), errorCode);
}

std::string OperationLine(std::uint32_t operation)
{
    switch (operation) {
    case nemora::dfuse::OPERATION_DETACH:
        return Tr("DfuTexts", "Operation: DETACH\n");
    case nemora::dfuse::OPERATION_RETURN:
        return Tr("DfuTexts", "Operation: RETURN\n");
    case nemora::dfuse::OPERATION_UPLOAD:
        return Tr("DfuTexts", "Operation: UPLOAD\n");
    case nemora::dfuse::OPERATION_UPGRADE:
        return Tr("DfuTexts", "Operation: UPGRADE\n");
    default:
        return "";
    }
}

std::string StateLine(std::uint8_t state)
{
    if (const auto name = nemora::dfuse::DfuStateName(state)) {
        return FormatText(Tr("DfuTexts", "Updating State: %.*s\n").c_str(), static_cast<int>(name->size()),
                          name->data());
    }
    return FormatText(Tr("DfuTexts", "Updating State: (Unknown 0x%02X)\n").c_str(), state);
}

std::string StatusLine(std::uint8_t status)
{
    if (const auto* names = nemora::dfuse::FindDfuStatus(status)) {
        return FormatText(Tr("DfuTexts", "Updating Status: %.*s\n").c_str(), static_cast<int>(names->report.size()),
                          names->report.data());
    }
    return FormatText(Tr("DfuTexts", "Updating Status: (Unknown 0x%02X)\n").c_str(), status);
}

std::string RequestLine(std::uint32_t request)
{
    if (const auto* names = nemora::dfuse::FindDfuRequest(request)) {
        const std::string report = Tr("DfuNames", std::string(names->report).c_str());
        return FormatText(Tr("DfuTexts", "Request: %s \n").c_str(), report.c_str());
    }
    return FormatText(Tr("DfuTexts", "Request: (unknown 0x%08X). \n").c_str(), request);
}

FailureReport BuildFailureReport(const nemora::dfuse::DFUThreadContext& context, const std::string& deviceName,
                                 int currentTarget)
{
    FailureReport report;
    report.errorLine = ErrorCodeLine(context.ErrorCode);
    report.errorRecord = ErrorCodeLine(context.ErrorCode, Words::Recorded);
    report.message = deviceName + FormatText(" %02i\n", currentTarget);
    report.message += report.errorLine;
    report.message += OperationLine(context.Operation);
    report.message += FormatText(Tr("DfuTexts", "TransferSize: %i\n").c_str(), static_cast<int>(context.wTransferSize));
    report.message += StateLine(context.LastDFUStatus.bState);
    report.message += StatusLine(context.LastDFUStatus.bStatus);
    report.message += RequestLine(context.CurrentRequest);
    report.message += FormatText(Tr("DfuTexts", "CurrentNBlock: 0x%04X\n").c_str(), context.CurrentNBlock);
    report.message += FormatText(Tr("DfuTexts", "CurrentLength: 0x%04X\n").c_str(), context.CurrentLength);
    report.message += FormatText(Tr("DfuTexts", "Percent: %i%%\n").c_str(), static_cast<int>(context.Percent));
    return report;
}

} // namespace nemora::dfu

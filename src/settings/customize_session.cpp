#include "settings/customize_session.h"

#include "dfuse/device_link.h"
#include "dfuse/dfuse_blocking.h"
#include "dfuse/dfuse_operations.h"
#include "i18n/translate.h"
#include "settings/change_report.h"
#include "settings/snapshots.h"

#include <algorithm>
#include <utility>

namespace nemora::settings {

using i18n::Tr;

bool DeviceKey::Same(const DeviceKey& other) const
{
    if (path.empty() || other.path.empty())
        return false;
    return serial.empty() && other.serial.empty() ? path == other.path : serial == other.serial;
}

CustomizeSession::CustomizeSession(dfuse::IDfuseLibrary& library) : m_library(library)
{
    m_identity.UpdateGeometry();
}

DeviceKey CustomizeSession::KeyOf(const std::string& path) const
{
    return {path, m_serialOf && !path.empty() ? m_serialOf(path) : std::string()};
}

// ---------------------------------------------------------------- the settings record

CurveLimits CustomizeSession::TakeInRecord(std::span<const std::uint8_t> bytes)
{
    m_record.TakeIn(bytes.data(), bytes.size());
    return CurveLimitsFor(m_identity, m_record.TemperatureUnit());
}

std::vector<std::uint8_t> CustomizeSession::SettingsAreaFor(SettingsSubPage current, const SettingsEditorValues& values)
{
    AssembleRecordForDevice(m_record, current, values);
    return {m_record.Data(), m_record.Data() + std::min<std::size_t>(m_identity.m_dwParamSize, SettingsRecord::kSize)};
}

std::vector<std::uint8_t> CustomizeSession::SettingsAreaForFile(const SettingsEditorValues& values,
                                                                bool fahrenheit) const
{
    SettingsRecord record = AssembleRecordForFile(m_record, m_identity.m_dwParamSize, values);
    if (!fahrenheit)
        record.SetWord(SettingsRecord::kTemperatureUnitOffset, 0);
    return {record.Data(), record.Data() + std::min<std::size_t>(m_identity.m_dwParamSize, SettingsRecord::kSize)};
}

// ---------------------------------------------------------------- what was read

void CustomizeSession::ScreensTakenIn(bool fromDevice, std::vector<std::uint8_t> encoded)
{
    m_screensKnown = true;
    if (fromDevice)
        m_logoAsRead = std::move(encoded); // a loaded set counts as the user's change until written
}

void CustomizeSession::SettingsReadFromDevice(const SettingsEditorValues& values,
                                              std::vector<std::uint8_t> encodedScreens)
{
    m_readFrom = Chosen();
    m_valuesAsRead = values;
    if (!m_screensKnown)
        m_logoAsRead = std::move(encodedScreens); // the set shown, as the baseline of the user's edits
}

bool CustomizeSession::EditsPending(const SettingsEditorValues& now,
                                    const std::vector<std::uint8_t>& encodedScreens) const
{
    return !(now.params == m_valuesAsRead.params) || now.temperatureCurve != m_valuesAsRead.temperatureCurve ||
           now.powerCurve != m_valuesAsRead.powerCurve || (!m_logoAsRead.empty() && encodedScreens != m_logoAsRead);
}

std::vector<int> CustomizeSession::UntouchedScreens(const std::vector<std::uint8_t>& area, int screenCount) const
{
    // Without a baseline of the area's size every screen counts as untouched.
    const std::vector<int> edited =
        m_logoAsRead.size() == area.size() ? ScreensDiffering(m_logoAsRead, area, screenCount) : std::vector<int>{};
    std::vector<int> untouched;
    for (int screen = 1; screen <= screenCount; ++screen) {
        if (std::find(edited.begin(), edited.end(), screen) == edited.end())
            untouched.push_back(screen);
    }
    return untouched;
}

// ---------------------------------------------------------------- the upload

bool CustomizeSession::PrepareUpload(const char* name, const std::vector<Area>& areas, DfuImageHandle* image)
{
    *image = nullptr;
    bool inserted = m_library.STDFUFILES_CreateImage(image, 0) == dfuse::STDFU_NOERROR;
    if (inserted) {
        m_library.STDFUFILES_SetImageName(*image, name);
        std::uint32_t capacity = 0;
        for (const Area& area : areas)
            capacity = std::max(capacity, area.size);
        m_elementData.assign(capacity, 0);
        for (std::size_t i = 0; inserted && i < areas.size(); ++i) {
            const DfuElement element{areas[i].address, areas[i].size, m_elementData.data()};
            inserted = m_library.STDFUFILES_SetImageElement(*image, static_cast<std::uint32_t>(i), true, element) ==
                       dfuse::STDFU_NOERROR;
        }
        m_element = DfuElement{0, capacity, m_elementData.data()};
        m_elementsDue = areas.size();
    }
    if (!inserted) {
        m_elementData.clear();
        m_element = DfuElement{};
        m_elementsDue = 0;
        if (*image)
            m_library.STDFUFILES_DestroyImage(*image);
        *image = nullptr;
    }
    return inserted;
}

std::optional<CustomizeSession::Arrived> CustomizeSession::ArrivedArea() const
{
    if (!m_element.Data)
        return std::nullopt;
    return Arrived{m_element.dwAddress,
                   {m_element.Data, std::min<std::size_t>(m_element.dwDataLength, m_elementData.size())}};
}

bool CustomizeSession::AreaTaken()
{
    if (m_elementsDue > 1) {
        --m_elementsDue; // the next area of the same upload comes into the same buffer
        m_element.dwDataLength = static_cast<std::uint32_t>(m_elementData.size());
        return true;
    }
    m_elementsDue = 0;
    m_elementData.clear();
    m_elementData.shrink_to_fit();
    m_element.Data = nullptr;
    return false;
}

// ---------------------------------------------------------------- writes

void CustomizeSession::BeginWrite(Writing writing, std::uint32_t address, std::vector<std::uint8_t> bytes)
{
    m_writing = writing;
    m_writingAddress = address;
    m_writingBytes = std::move(bytes);
}

std::string CustomizeSession::WriteFailureText(dfuse::TransferJob::Phase phase, const std::string& snapshot)
{
    using Phase = dfuse::TransferJob::Phase;
    m_nothingChanged = false;
    m_heldNowTold = false;
    if ((phase == Phase::Erase || phase == Phase::Download) &&
        (m_writing == Writing::Settings || m_writing == Writing::Screens)) {
        const AreaAfterFailure told = ReadBackAfterFailure(m_writing, snapshot);
        m_heldNowTold = !told.text.empty();
        if (!told.text.empty()) {
            m_nothingChanged = told.unchanged;
            return told.text;
        }
    }
    if (phase == Phase::Verify) {
        return m_writing == Writing::Nothing ? std::string()
                                             : Tr("CustomizeSession", "Everything was written, but the check of it did "
                                                                      "not finish: read it back to see what the device "
                                                                      "holds.");
    }
    switch (m_writing) {
    case Writing::Settings:
        return phase == Phase::Erase
                   ? Tr("CustomizeSession", "The write stopped while it erased the parameter area: the device may "
                                            "have no settings until you write them again.")
                   : Tr("CustomizeSession", "The write stopped part-way: the parameter area is incomplete, so the "
                                            "device has no valid settings until you write them again.");
    case Writing::Screens:
        return Tr("CustomizeSession", "The write stopped part-way: some screens on the device may be blank or "
                                      "incomplete until you write them again.");
    case Writing::Both:
        return Tr("CustomizeSession", "The restore stopped part-way: the device's screens and settings may be "
                                      "incomplete until the snapshot is written again.");
    case Writing::Nothing:
        break;
    }
    return {};
}

AreaAfterFailure CustomizeSession::ReadBackAfterFailure(Writing writing, const std::string& snapshot)
{
    if ((writing != Writing::Settings && writing != Writing::Screens) || snapshot.empty() ||
        !Chosen().Same(m_written) || m_writingBytes.empty())
        return {}; // gone, or another device chosen in its place: only the phase tells
    const SnapshotAreas before = ReadSnapshot(snapshot, m_identity);
    const std::vector<std::uint8_t>& held = writing == Writing::Settings ? before.param : before.logo;
    if (!before.error.empty() || held.size() < m_writingBytes.size())
        return {};
    dfuse::DeviceLink link;
    dfuse::LinkDescriptors descriptors;
    std::vector<std::uint8_t> now;
    if (m_library.Operations().OpenLink(m_path, link, descriptors) != dfuse::LinkOutcome::Ok ||
        !dfuse::UploadArea(m_library, link, m_writingAddress, static_cast<std::uint32_t>(m_writingBytes.size()), now))
        return {}; // the device went away: only the phase tells
    const std::span<const std::uint8_t> was(held.data(), m_writingBytes.size());
    return writing == Writing::Settings
               ? DescribeSettingsAfterFailure(was, m_writingBytes, now)
               : DescribeScreensAfterFailure(was, m_writingBytes, now, m_identity.m_nImageCount);
}

std::string CustomizeSession::DescribeWrite(const std::string& snapshot) const
{
    if ((m_writing != Writing::Settings && m_writing != Writing::Screens) || snapshot.empty())
        return {};
    const SnapshotAreas before = ReadSnapshot(snapshot, m_identity);
    const std::vector<std::uint8_t>& held = m_writing == Writing::Settings ? before.param : before.logo;
    if (!before.error.empty() || held.size() < m_writingBytes.size())
        return {};
    const std::span<const std::uint8_t> was(held.data(), m_writingBytes.size());
    return m_writing == Writing::Settings ? DescribeSettingsChange(was, m_writingBytes)
                                          : DescribeScreensChange(was, m_writingBytes, m_identity.m_nImageCount);
}

// ---------------------------------------------------------------- the way back

CustomizeSession::RestoreOffer CustomizeSession::AfterFailedWrite(const std::string& lastSnapshot)
{
    RestoreOffer offer;
    offer.snapshot = m_writing == Writing::Both ? m_restoringFrom : lastSnapshot;
    offer.writing = std::exchange(m_writing, Writing::Nothing);
    m_restoring = false;
    if (offer.snapshot.empty() || std::exchange(m_nothingChanged, false))
        return {}; // no snapshot was kept, or the device holds what it held: nothing to offer
    dfuse::DeviceLink link;
    dfuse::LinkDescriptors descriptors;
    if (!Chosen().Same(m_written) ||
        m_library.Operations().OpenLink(m_path, link, descriptors) != dfuse::LinkOutcome::Ok) {
        m_pendingSnapshot = offer.snapshot; // asked when that device, and no other, is back
        m_pendingWriting = offer.writing;
        offer.offer = Offer::Later;
        return offer;
    }
    // Back already, after the words came from where the write stopped: what it holds is known now.
    offer.offer = std::exchange(m_heldNowTold, false) ? Offer::Ask : Offer::AskAfterReadBack;
    return offer;
}

std::optional<CustomizeSession::RestoreOffer> CustomizeSession::TakePendingOfferForChosen()
{
    if (m_pendingSnapshot.empty() || !Chosen().Same(m_written))
        return std::nullopt;
    return RestoreOffer{Offer::AskAfterReadBack, std::exchange(m_pendingSnapshot, std::string()),
                        std::exchange(m_pendingWriting, Writing::Nothing)};
}

// ---------------------------------------------------------------- restores

void CustomizeSession::BeginRestore(std::string from, std::vector<std::uint8_t> logo, std::vector<std::uint8_t> param)
{
    m_writing = Writing::Both;
    m_restoring = true;
    m_restoringFrom = std::move(from);
    m_restoringLogo = std::move(logo);
    m_restoringParam = std::move(param);
}

std::optional<CustomizeSession::Restored> CustomizeSession::WriteEnded(bool verified)
{
    m_writing = Writing::Nothing;
    Restored restored{std::exchange(m_restoringLogo, {}), std::exchange(m_restoringParam, {})};
    if (!std::exchange(m_restoring, false) || !verified)
        return std::nullopt;
    return restored;
}

} // namespace nemora::settings

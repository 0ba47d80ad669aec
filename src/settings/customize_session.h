#pragma once

// What the Customize tab knows between its transfers, apart from any widget: the selected device and its
// identity, the settings record, what the editors and the screens held when last read, the upload that
// hands areas back, and the write in progress or cut short with the way back from it. The page shows the
// session, asks the user and drives the engine; the decisions it takes from what is known are made here.

#include "device/device_identity.h"
#include "dfuse/dfuse_contract.h"
#include "dfuse/transfer_job.h"
#include "settings/settings_record.h"
#include "settings/write_outcome.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace nemora::dfuse {
class IDfuseLibrary;
}

namespace nemora::settings {

// A device as the tab remembers it across removals: by its serial number, or by its path when it has none.
struct DeviceKey {
    std::string path;
    std::string serial;

    // Both are known devices, with the same serial, or the same path when neither has a serial.
    bool Same(const DeviceKey& other) const;
};

// What a write changes.
enum class Writing { Nothing, Screens, Settings, Both };

class CustomizeSession {
public:
    explicit CustomizeSession(dfuse::IDfuseLibrary& library);

    // ---- the device
    // The serial number of the attached device at a path, empty when unknown.
    void SetSerialLookup(std::function<std::string(const std::string&)> lookup) { m_serialOf = std::move(lookup); }
    void SetDevicePath(std::string path) { m_path = std::move(path); }
    const std::string& DevicePath() const { return m_path; }
    DeviceKey KeyOf(const std::string& path) const;
    DeviceKey Chosen() const { return KeyOf(m_path); }
    CDeviceIdentity& Identity() { return m_identity; }
    const CDeviceIdentity& Identity() const { return m_identity; }
    // The device the editors were last read from: it came back, perhaps at another port.
    void ReadFromChosen() { m_readFrom = Chosen(); }
    bool ChosenWasRead() const { return Chosen().Same(m_readFrom); }

    // ---- the settings record
    const SettingsRecord& Record() const { return m_record; }
    // Takes in a parameter area; the limits are those the editors follow for it.
    CurveLimits TakeInRecord(std::span<const std::uint8_t> bytes);
    // The parameter area a write from a sub-page sends: the record as last read with that sub-page's
    // values; the record keeps them.
    std::vector<std::uint8_t> SettingsAreaFor(SettingsSubPage current, const SettingsEditorValues& values);
    // The parameter area a settings file keeps, assembled apart: the record and the next write stay as they
    // are. Points in Celsius are marked so, and load back in Celsius.
    std::vector<std::uint8_t> SettingsAreaForFile(const SettingsEditorValues& values, bool fahrenheit) const;

    // ---- what was read
    // Screens taken in from the device, from a file or from a restore.
    void ScreensTakenIn(bool fromDevice, std::vector<std::uint8_t> encoded);
    // The screens shown are the family's built-in set, not what this device holds.
    void ForgetScreens() { m_screensKnown = false; }
    bool ScreensKnown() const { return m_screensKnown; }
    // The baseline that tells the user's edits of the screens shown from them.
    void SetScreensAsRead(std::vector<std::uint8_t> encoded) { m_logoAsRead = std::move(encoded); }
    // A record read from the chosen device, with the editors and screens as it left them.
    void SettingsReadFromDevice(const SettingsEditorValues& values, std::vector<std::uint8_t> encodedScreens);
    // The editors or the screens differ from the last read or load.
    bool EditsPending(const SettingsEditorValues& now, const std::vector<std::uint8_t>& encodedScreens) const;
    // The screens, numbered from 1, that a write of `area` would send as the last read or load left them.
    std::vector<int> UntouchedScreens(const std::vector<std::uint8_t>& area, int screenCount) const;

    // ---- the upload that hands areas back
    struct Area {
        std::uint32_t address = 0;
        std::uint32_t size = 0;
    };
    // Builds the image that reads these areas into one buffer, handed back area by area. False when the
    // library would not take it (nothing is then due).
    bool PrepareUpload(const char* name, const std::vector<Area>& areas, DfuImageHandle* image);
    DfuElement* Element() { return &m_element; }
    // The upload did not start: nothing is due.
    void CancelUpload() { m_elementsDue = 0; }
    struct Arrived {
        std::uint32_t address = 0;
        std::span<const std::uint8_t> bytes;
    };
    // What the upload handed back last, if any.
    std::optional<Arrived> ArrivedArea() const;
    // Done with it: true while more areas of the same upload are due into the same buffer.
    bool AreaTaken();

    // ---- writes
    void BeginWrite(Writing writing, std::uint32_t address, std::vector<std::uint8_t> bytes);
    // The transfer is about to start on the chosen device.
    void WriteGoesToChosen() { m_written = Chosen(); }
    Writing CurrentWrite() const { return m_writing; }
    void EndWrite() { m_writing = Writing::Nothing; }
    // What a write that stopped in the phase left on the device, in plain words: read back when it still
    // answers, else told from the phase. `snapshot` is what was kept before it.
    std::string WriteFailureText(dfuse::TransferJob::Phase phase, const std::string& snapshot);
    // What the area the failed write was to change holds now, read back and told against the snapshot;
    // empty text when the device cannot be read, or another device is chosen in its place.
    AreaAfterFailure ReadBackAfterFailure(Writing writing, const std::string& snapshot);

    // What the running write of one area changes against the snapshot taken before it, in words ("NI
    // 800 -> 900; nothing else", "screen 7 changed; nothing else"); empty without a snapshot or for a restore.
    std::string DescribeWrite(const std::string& snapshot) const;

    // ---- the way back after a failed write
    enum class Offer { None, Later, Ask, AskAfterReadBack };
    struct RestoreOffer {
        Offer offer = Offer::None;
        std::string snapshot;
        Writing writing = Writing::Nothing;
    };
    // Ends the failed write: nothing to offer (no snapshot, or nothing changed); the offer kept until the
    // same device is chosen again; or asked now, the read-back first unless its words were read back.
    RestoreOffer AfterFailedWrite(const std::string& lastSnapshot);
    // The offer kept for the chosen device, taken; never another device's.
    std::optional<RestoreOffer> TakePendingOfferForChosen();

    // ---- restores
    // A write of both areas from a snapshot; they are shown as read once it verified.
    void BeginRestore(std::string from, std::vector<std::uint8_t> logo, std::vector<std::uint8_t> param);
    const std::string& RestoringFrom() const { return m_restoringFrom; }
    // A restore that did not finish is not followed up any more.
    void DropRestore() { m_restoring = false; }
    struct Restored {
        std::vector<std::uint8_t> logo;
        std::vector<std::uint8_t> param;
    };
    // The write ended as a whole: what a verified restore left on the device.
    std::optional<Restored> WriteEnded(bool verified);

private:
    dfuse::IDfuseLibrary& m_library;
    std::function<std::string(const std::string&)> m_serialOf;
    std::string m_path;
    CDeviceIdentity m_identity;
    SettingsRecord m_record;

    DeviceKey m_readFrom; // the device the editors were last read from
    DeviceKey m_written;  // the device the last write went to
    SettingsEditorValues m_valuesAsRead{};
    std::vector<std::uint8_t> m_logoAsRead; // the screens, encoded, as the last read or load left them
    bool m_screensKnown = false;            // the screens shown were read from this device or loaded

    DfuElement m_element;
    std::vector<std::uint8_t> m_elementData; // what m_element.Data points into while an upload is due
    std::size_t m_elementsDue = 0;

    Writing m_writing = Writing::Nothing;
    std::uint32_t m_writingAddress = 0; // the area the running write changes, and the bytes it is to leave
    std::vector<std::uint8_t> m_writingBytes;
    bool m_heldNowTold = false;    // the failed write's words came from a read-back
    bool m_nothingChanged = false; // its area was read back as it was: nothing to restore
    std::string m_pendingSnapshot; // a snapshot to offer once the device is back
    Writing m_pendingWriting = Writing::Nothing;

    bool m_restoring = false;
    std::string m_restoringFrom;
    std::vector<std::uint8_t> m_restoringLogo;
    std::vector<std::uint8_t> m_restoringParam;
};

} // namespace nemora::settings

#pragma once

// The transfer workflows of the console and the command line, once, over the device operations: the
// upgrade of targets from a DfuSe file with its verify pass, the upload of areas into an upload file, and
// leaving DFU mode. A job launches the background operations, follows them when its driver polls it, chains
// the phases and the targets, and says what happened as a list of events; the driver (the engine window,
// nemora-cli) puts them into words. Platform-free: it knows nothing of windows or terminals. Every image
// is a value the job holds: what an operation is given is exactly what it sends.
//
// Before an upgrade sends anything, the whole file is checked against the device (file_checks.h): an
// image for a target the device lacks, or with bytes outside the writable sectors of its target, refuses
// the upgrade.
//
// Threads: every call is made from the driver's thread. The wake-up function, when set, is called from the
// library's thread as soon as a launched operation has finished, so the driver can poll at once instead of
// waiting for its next tick.

#include "dfuse/device_operations.h"
#include "dfuse/dfuse_contract.h"
#include "dfuse/file_checks.h"
#include "dfuse/memory_map.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace nemora::dfuse {

// Problems with files and images; each has its text in the driver.
enum class JobProblem {
    NoFileData,        // the upgrade file cannot be read or has no image for the target
    IdentityMismatch,  // the file is for another device (JobEvent::model)
    NoTargetData,      // the verify pass finds no image for the target
    SourceImage,       // the file's image cannot be read back
    ReadImageElements, // the read image's elements cannot be counted
    ReadImage,         // an element of the read image cannot be read
    CreateUploadFile,  // the upload file cannot be created or opened
    AppendUploadFile,  // the read image cannot be appended to the upload file
    Refused,           // the file cannot be written whole into this device (JobEvent::text says why)
    SnapshotNotSaved,  // the areas were read but the snapshot could not be written (JobEvent::text says why)
};

// Areas of the device's first target to read before an upgrade erases anything, and what to do with them.
struct SnapshotArea {
    std::uint32_t address = 0;
    std::uint32_t size = 0;
};
struct SnapshotRequest {
    std::vector<SnapshotArea> areas;
    // Gets the bytes of every area, in order. True when they were saved, with what was written in `text`;
    // false with the reason in `text`, which stops the upgrade before anything is erased.
    std::function<bool(const std::vector<std::vector<std::uint8_t>>& bytes, std::string& text)> save;
};

struct JobEvent {
    enum class Kind {
        Launched,           // an operation started (operation; resetBar, restartClock, size when resetSize)
        Progress,           // the running operation's percent, and its image size for upload and download
        Upgraded,           // a target's download finished: "Upgrade successful !"
        Verified,           // a target read back equal to the file: "Verify successful !"
        Mismatch,           // the first difference (address, fileByte, readByte; hasBytes false: lengths differ)
        Uploaded,           // a target's upload was stored in the upload file: "Upload successful !"
        Element,            // an uploaded element for the caller (address, bytes)
        Left,               // the device left DFU mode: "Successfully left updating mode !"
        Snapshot,           // the areas of the snapshot request were read and saved (text: what was written)
        Plan,               // what the write of a target does (text: pages left alone and written, or why all)
        SnapshotUnreadable, // they could not be read (context); the upgrade waits for ContinueWithoutSnapshot
        Failed,             // a launch or an operation failed (context)
        Problem,            // problem
        Finished,           // nothing runs any more; verifyDone when a verify pass ended
    };
    Kind kind = Kind::Progress;
    int target = -1; // the current target when it happened (-1: none)
    std::uint32_t operation = 0;
    std::uint32_t percent = 0;
    std::uint32_t size = 0;
    bool resetBar = false;
    bool restartClock = false;
    bool resetSize = false;
    JobProblem problem = JobProblem::NoFileData;
    std::uint32_t model = 0;
    DFUThreadContext context;
    std::uint32_t address = 0;
    std::uint8_t fileByte = 0;
    std::uint8_t readByte = 0;
    bool hasBytes = true;
    bool verifyDone = false;
    bool snapshot = false; // a Launched or Progress event of the snapshot's read
    bool compare = false;  // a Launched or Progress event of the read that compares a target's pages
    // Plan: the pages compared and, of them, those written; both 0 when every page the file touches is
    // written without a compare.
    std::size_t pages = 0;
    std::size_t pagesWritten = 0;
    std::vector<std::uint8_t> bytes;
    std::string text;
};

using JobEvents = std::vector<JobEvent>;

class TransferJob {
public:
    explicit TransferJob(DeviceOperations& device);
    ~TransferJob(); // stops what runs
    TransferJob(const TransferJob&) = delete;
    TransferJob& operator=(const TransferJob&) = delete;

    void SetWakeUp(std::function<void()> wakeUp) { m_wakeUp = std::move(wakeUp); }
    // Verify after the last target is upgraded (on by default).
    void SetVerifyAfterUpgrade(bool verify) { m_verifyAfterUpgrade = verify; }
    // Read and compare before writing (on by default; see page_plan.h): only pages that differ are erased
    // and programmed, and bytes the file does not cover keep their values. Off, or where the pages cannot
    // be read, every page the file touches is erased and the file's bytes written, as a plain download does.
    void SetSmartWrites(bool smart) { m_smart = smart; }

    // Reads and saves these areas before the next upgrade erases anything (once per upgrade). An empty
    // request takes none.
    void SetSnapshot(SnapshotRequest request) { m_snapshot = std::move(request); }
    // After SnapshotUnreadable: goes on with the upgrade without a snapshot. No events otherwise.
    JobEvents ContinueWithoutSnapshot();
    bool AwaitsSnapshotDecision() const { return m_awaitingSnapshotDecision; }

    // Upgrades the targets (indices into link.mapping, in order) from the file, then verifies them. The
    // job keeps the file as given: exactly its bytes are checked, erased for, downloaded and verified.
    JobEvents StartUpgrade(const DeviceLink& link, std::vector<int> targets, DfuFile file);
    // Uploads the areas `areas` describes (its elements' addresses and lengths) from the first target, then
    // every further target whole, into a DfuSe file at uploadFile (none when it is empty); every element
    // comes back as an Element event. Returns false in `launched` when nothing could be started.
    JobEvents StartUpload(const DeviceLink& link, std::vector<int> targets, Image areas, const std::string& uploadFile,
                          bool& launched);
    // Makes the device leave DFU mode through the first target.
    JobEvents StartLeave(const DeviceLink& link, std::vector<int> targets);

    // One poll of the running operation: progress, and the next phase or target when it has finished.
    JobEvents Poll();
    // Ends whatever runs. No events.
    void Stop();

    bool Running() const { return m_hOperation != nullptr; }

    // What the running operation does, for a driver that must say what an interruption left behind.
    enum class Phase { None, Snapshot, Compare, Erase, Download, Verify, Upload, Leave };
    Phase RunningPhase() const { return Running() ? m_phase : Phase::None; }
    int CurrentTarget() const { return m_nCurrentTarget; }

private:
    void UpgradeTarget(JobEvents& events);
    void OnCompareComplete(const Image& read, JobEvents& events);
    void StartErase(Image erase, bool first, JobEvents& events);
    void StartDownload(bool fresh, JobEvents& events);
    void TargetWritten(JobEvents& events);
    void StartSnapshot(JobEvents& events);
    void OnSnapshotComplete(Image read, JobEvents& events);
    void VerifyTarget(JobEvents& events);
    void OnVerifyComplete(const Image& read, JobEvents& events);
    void UploadNextTarget(JobEvents& events);
    void OnUploadComplete(Image read, JobEvents& events);
    bool StoreUpload(const Image& read, JobEvents& events);
    // The first image of the checked file for the current target, if there is one.
    const Image* SourceImage() const;
    bool Launch(std::uint32_t operation, Phase phase, Image image, JobEvent launched, JobEvents& events);
    const MappingTarget* TargetAt(int index) const;
    int NextTarget(int after) const;
    int FirstTarget() const { return m_targets.empty() ? -1 : m_targets.front(); }
    void Add(JobEvents& events, JobEvent::Kind kind) const;
    void AddProblem(JobEvents& events, JobProblem problem, std::string text = {}) const;

    DeviceOperations& m_device;
    std::function<void()> m_wakeUp;
    bool m_verifyAfterUpgrade = true;
    bool m_smart = true;
    DeviceLink m_link;
    std::vector<int> m_targets;
    DfuFile m_upgradeFile; // the file as checked
    Image m_download;      // the bytes the target's download phase sends (once compared, the merged pages)
    Image m_pages;         // the pages the running compare reads
    std::map<int, Image> m_verifyImages; // per target written: the bytes its verify must read back
    Image m_expected;                    // the running verify's: the bytes the device must hand back
    std::uint32_t m_runningSize = 0;     // the bytes the running operation moves, for its progress
    std::string m_uploadFile;
    DfuFile m_uploaded; // what the upload file holds so far
    int m_nCurrentTarget = -1;
    DfuOperationHandle m_hOperation = nullptr;
    Phase m_phase = Phase::None; // of the running operation
    bool m_verifyDone = false;   // the verify pass has ended
    LinkHealth m_health;         // the operations' since the job started, handed on with Finished
    SnapshotRequest m_snapshot;
    bool m_snapshotSettled = false; // taken, or given up by the driver, for the running upgrade
    bool m_awaitingSnapshotDecision = false;
};

// Reads an image behind a handle as a value, through the contract's calls. False when any call fails.
bool ReadImageValue(IDfuseLibrary& library, DfuImageHandle hImage, Image& image);

} // namespace nemora::dfuse

#pragma once

// The DFU engine: a small modeless window ("Updating") that opens a device, reads its memory map and
// runs the upgrade (erase, download, then verify), upload and leave-DFU operations. Operations return at
// once; the library runs each one on its own thread and the engine follows it with a 300 ms timer on the
// user-interface thread, showing progress, transfer size and elapsed time, and reporting the outcome on
// its bar, in message boxes and through page notifications to the view.
//
// Usage by a page: make the engine on first use and keep it; before every operation show it, call
// OpenDevice, then one of StartUpgrade, StartUpload, LeaveDfuMode or CloseDevice.

#include "device/device_identity.h"
#include "dfuse/device_lock.h"
#include "dfuse/dfuse_contract.h"
#include "dfuse/outcome_log.h"
#include "dfuse/transfer_job.h"
#include "dfuse/write_journal.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "widgets/page_notify.h"

class CTextProgressCtrl;
class CMessageBoxDialog;
class QLabel;
class QPushButton;
class QTreeWidget;

class CDfuUpdate : public QDialog {
    Q_OBJECT
public:
    // Seconds since 1970.
    using Clock = std::function<std::int64_t()>;

    // pParentPage: the page that owns the engine (sender of NOTIFY_ENGINE_DONE). pView receives the
    // notifications; it may be null.
    CDfuUpdate(QWidget* pParentPage, nemora::dfuse::IDfuseLibrary& library, INotifyReceiver* pView);
    ~CDfuUpdate() override;

    // Takes the device's lock (waiting a few seconds for another program when the engine is in view, not at
    // all when it is hidden), opens the device, checks its descriptors, reads its memory map, records its
    // identity and fills the target list, then closes it again. The outcome shows on the bar and in the
    // target list; a device another program holds is left alone and the bar says who has it. The lock is
    // held until the operation that follows has ended.
    void OpenDevice(const QString& strDevicePath, const QString& strFilePath);
    // Upgrades the selected targets from the file given to OpenDevice, then verifies them. The file is read
    // once, here: what was checked is what is written and verified.
    void StartUpgrade();
    // The same from a file the caller holds (the customize page's staging image): nothing is read back.
    void StartUpgrade(const nemora::dfuse::DfuFile& file);
    // Uploads the areas the caller's image describes into a DfuSe file at the path given to OpenDevice and
    // hands every element back through pBuffer (its length is the capacity on entry and the bytes copied
    // on return), one NOTIFY_UPLOAD_DONE per element. Returns true when the engine took the image over (it
    // destroys it when the upload ends); false leaves the image with the caller.
    bool StartUpload(DfuImageHandle hImage, DfuElement* pBuffer);
    // Makes the device leave DFU mode through the first selected target.
    void LeaveDfuMode();
    // Stops whatever runs and hides the engine, without a notification.
    void CloseDevice();
    // The device went away. An operation that was running is stopped and the engine stays in view, saying
    // in red what the interruption left on the device and how to recover; otherwise as CloseDevice.
    void DeviceGone();

    // One poll of the running operation; the 300 ms timer calls it.
    void OnTimer();

    // Bar texts: ShowError in red, ShowStatus in the current colours; both prefix the device name and the
    // target number while a target is current. The outcome records keep the text as it is given.
    void ShowError(const QString& strText);
    void ShowStatus(const QString& strText);
    // Decodes a failed operation's record onto the bar and into a message box.
    void ReportOperationFailure(const nemora::dfuse::DFUThreadContext& context);

    // true: take the size and elapsed texts from the labels; false: show the engine's texts in them.
    void UpdateData(bool bSaveAndValidate);

    void SetClock(Clock clock) { m_clock = std::move(clock); }
    // Upgrades compare the pages first and write only those that differ (on by default); off, every page
    // the file touches is erased and written.
    void SetSmartWrites(bool smart) { m_job.SetSmartWrites(smart); }
    // For a write that failed or was cut short after it changed the device (in its erase, download or
    // verify): `explain` gives the plain words that come before the decoded report, and `offer` is called
    // once the report has been shown (to offer the snapshot taken before the write).
    struct WriteFailureHooks {
        std::function<QString(nemora::dfuse::TransferJob::Phase)> explain;
        std::function<void()> offer;
    };
    void SetWriteFailureHooks(WriteFailureHooks hooks) { m_writeFailure = std::move(hooks); }
    // Every engine's operations end here, with the outcome as the Log gets it (the device path; serial and
    // port not filled in). Set once, by the main window.
    using OutcomeRecorder = std::function<void(const QString&, nemora::dfuse::OperationOutcome)>;
    static void SetOutcomeRecorder(OutcomeRecorder record);
    // Every engine's upgrades are kept from before they start until they verified, so that one cut short
    // can be finished later: this makes the record's keeper for the device path (serial and port filled
    // in), or nothing when none can be kept. Set once, by the main window.
    using JournalMaker = std::function<std::optional<nemora::dfuse::WriteJournal>(const QString& strDevicePath,
                                                                                  nemora::dfuse::WriteRecord record)>;
    static void SetJournalMaker(JournalMaker make);
    // What the records call the next upgrade ("settings write", "Write To Device (Power Line)"), and the
    // id of the write cut short it finishes; a firmware update of the file's name when not set.
    void DescribeNextWrite(const QString& strTitle, const QString& strDetail, const std::string& strResolves = {});
    // What the last upgrade wrote: of the pages it compared, how many it wrote; `whole` when a target was
    // written without a compare.
    struct WriteCounts {
        std::size_t pagesCompared = 0;
        std::size_t pagesWritten = 0;
        int targetsCompared = 0;
        int targetsUpgraded = 0;
        bool Whole() const { return targetsUpgraded > targetsCompared; }
    };
    const WriteCounts& LastWriteCounts() const { return m_writeCounts; }
    // The line under the bar, in the window's colours: what a verified write changed.
    void ShowOutcomeLine(const QString& strText);
    // An engine of this program, other than `except`, runs a transfer on the device at that path.
    static bool TransferRunsOn(const QString& strPath, const CDfuUpdate* except = nullptr);
    // Starts the driver installer (the "Install Driver" button's). When a device cannot be opened for lack
    // of permission the engine says so and offers to run it; without one it only says so.
    void SetDriverInstaller(std::function<void()> install) { m_installDriver = std::move(install); }
    // What every upgrade reads and keeps before it erases anything (none when not set): made for the
    // device path and identity of the upgrade.
    // strBefore says what the snapshot is taken before ("firmware update demo.vek").
    using SnapshotMaker = std::function<nemora::dfuse::SnapshotRequest(
        const QString& strDevicePath, const CDeviceIdentity& identity, const QString& strBefore)>;
    void SetSnapshotMaker(SnapshotMaker maker) { m_makeSnapshot = std::move(maker); }
    // What the next upgrade's snapshot is taken before; "update from <file>" when none was set.
    void SetSnapshotReason(const QString& strBefore) { m_strSnapshotBefore = strBefore; }
    // The snapshot the last upgrade saved; empty when it took none.
    const QString& LastSnapshot() const { return m_strLastSnapshot; }
    // The last upgrade wrote its file and read back the same bytes.
    bool LastVerified() const { return m_bVerified; }

    bool IsRunning() const { return m_job.Running(); }
    bool IsTimerRunning() const { return m_timer.isActive(); }
    int CurrentTarget() const { return m_nCurrentTarget; }
    const QString& DevicePath() const { return m_strDevicePath; }
    const QString& UpgradeFile() const { return m_strUpgradeFile; }
    const QString& UploadFile() const { return m_strUploadFile; }
    const QString& DeviceName() const { return m_strDeviceName; }
    const QString& SizeText() const { return m_strSizeText; }
    const QString& ElapsedText() const { return m_strElapsed; }
    // The text of the last message box the engine showed.
    const QString& LastMessage() const { return m_strLastMessage; }
    const CDeviceIdentity& DeviceIdentity() const { return m_DeviceIdentity; }
    // The device went away: forget whose identity the engine held.
    void ResetDeviceIdentity() { m_DeviceIdentity.Reset(); }
    const std::vector<std::uint8_t>& SelectedTargets() const { return m_SelectedTargets; }
    const std::vector<nemora::dfuse::MappingTarget>& Mapping() const { return m_Mapping; }

    CTextProgressCtrl* ProgressBar() const { return m_pProgress; }
    QTreeWidget* TargetList() const { return m_pTargetList; }
    QLabel* SizeLabel() const { return m_pSizeLabel; }
    QLabel* ElapsedLabel() const { return m_pElapsedLabel; }
    QPushButton* OkButton() const { return m_pOkButton; }
    // The line under the bar that says what an error means for the device and what to do.
    QLabel* DetailLabel() const { return m_pDetailLabel; }

public slots:
    // Dismissal: the OK button, Escape and the close box. Asks first while an operation runs.
    void reject() override;

private:
    // A bar text in the user's language, and in the words the outcome records keep (the source text).
    struct BarText {
        QString shown;
        QString recorded;
    };
    BarText Say(const char* source) const;
    // `format`'s %1 filled in with the value's words.
    BarText Say(const char* format, const BarText& value) const;
    // A printf-style `format` filled in with the values, in both words.
    template <typename... Args>
    BarText SayPrintf(const char* format, Args... args) const
    {
        return {QString::asprintf(tr(format).toUtf8().constData(), args...), QString::asprintf(format, args...)};
    }
    // The device's name as the user reads it, and as the records keep it.
    QString ShownName() const;
    BarText Name() const { return {ShownName(), m_strDeviceName}; }
    void SetBar(const BarText& text);
    void ShowError(const BarText& text);
    void ShowStatus(const BarText& text);

    void OnInitDialog();
    void DestroyMapping();
    // Takes the lock of the device at the path into m_deviceLock; false, with the bar saying why, when it
    // cannot.
    bool LockDevice(const QString& strDevicePath);
    // Lets go of the device's lock once no operation runs or waits for the user's answer.
    void ReleaseIfIdle();
    void FillTargetList();

    int FirstSelectedTarget() const;
    int NextSelectedTarget(int nAfter) const;
    bool SelectTargets();
    const nemora::dfuse::MappingTarget* TargetAt(int nIndex) const;

    std::vector<int> SelectedRows() const;
    nemora::dfuse::DeviceLink Link() const;
    void StartPollTimer();
    void StopPollTimer();
    void OnOperationFinished();
    // Puts the job's events into words on the bar, in boxes and notifications. True when a verify pass ended.
    bool Render(const nemora::dfuse::JobEvents& events);
    void ShowProblem(const nemora::dfuse::JobEvent& event);
    void AskSnapshotDecision();
    void HandBack(const nemora::dfuse::JobEvent& event);
    void StopAndRelease();
    // Stops the running operation and says on the bar what the interruption left (cause: "Disconnected",
    // "Stopped", untranslated).
    void ReportInterruption(const char* cause, nemora::dfuse::TransferJob::Phase phase);
    void ShowErrorDetail(const QString& strText);
    void Notify(std::uint32_t nCode, const QObject* pFrom);
    // A line for the main window's "Log" pane.
    void Log(const QString& strLine);
    void LogOutcome();
    void ShowMessage(const QString& strText, std::uint32_t nStyle);

    nemora::dfuse::IDfuseLibrary& m_library;
    INotifyReceiver* m_pView = nullptr;
    QWidget* m_pParentPage = nullptr;
    Clock m_clock;

    QString m_strDevicePath;
    QString m_strUpgradeFile;
    QString m_strUploadFile;
    std::array<std::uint8_t, 18> m_DeviceDescriptor{};
    std::array<std::uint8_t, 9> m_DfuDescriptor{};
    QString m_strDevVid, m_strDevPid, m_strDevBcd;
    QString m_strFileVid, m_strFilePid, m_strFileBcd;
    std::vector<nemora::dfuse::MappingTarget> m_Mapping;
    bool m_bHasMapping = false;
    std::vector<std::uint8_t> m_SelectedTargets;
    QString m_strDeviceName = kUnknownDeviceName;
    std::string m_strOperation; // "update", "read" or "leave": what the outcome is of
    std::optional<nemora::dfuse::DFUThreadContext> m_failedContext; // the first failure of the operation
    nemora::dfuse::LinkHealth m_health;                             // what its requests met
    CDeviceIdentity m_DeviceIdentity;
    int m_nCurrentTarget = -1;

    nemora::dfuse::TransferJob m_job;
    DfuElement* m_pUploadBuffer = nullptr;
    QString m_strElapsed = "00:00:00";
    QString m_strSizeText; // "0 KB(0 Bytes) of 0 KB(0 Bytes)" until a transfer has a size
    std::int64_t m_nStartTime = 0;
    QTimer m_timer;
    QString m_strLastMessage;
    std::function<void()> m_installDriver;
    SnapshotMaker m_makeSnapshot;
    WriteFailureHooks m_writeFailure;
    // The hooks' words for the phase, empty when none apply; and the offer, after the current events.
    QString WriteFailureText(nemora::dfuse::TransferJob::Phase phase) const;
    void OfferAfterWriteFailure();
    QString m_strLastSnapshot;
    QString m_strSnapshotBefore;
    // The record of the running upgrade; ended once the upgrade has.
    void EndJournal();
    std::optional<nemora::dfuse::WriteJournal> m_journal;
    QString m_strWriteTitle, m_strWriteDetail;
    std::string m_strWriteResolves;
    WriteCounts m_writeCounts;
    QString m_strSnapshotFailure;  // why the snapshot's read failed, for the question that follows
    bool m_bAccessDenied = false;  // the last OpenDevice was refused for lack of permission
    bool m_bDeviceBusy = false;    // the last OpenDevice found the device locked by another program
    bool m_bQuietUpload = false;   // the running upload was started with the engine out of view
    bool m_bReadProtected = false; // the last OpenDevice's probe found the flash read-protected
    nemora::dfuse::DeviceLock m_deviceLock;

    CTextProgressCtrl* m_pProgress = nullptr;
    QLabel* m_pSizeLabel = nullptr;
    QLabel* m_pElapsedLabel = nullptr;
    QTreeWidget* m_pTargetList = nullptr;
    QPushButton* m_pOkButton = nullptr;
    QLabel* m_pDetailLabel = nullptr;
    // The phase whose operation failed last: an unplug often fails the running operation just before the
    // removal is seen, and the removal then still has to say what the failure left on the device.
    nemora::dfuse::TransferJob::Phase m_failedPhase = nemora::dfuse::TransferJob::Phase::None;
    nemora::dfuse::TransferJob::Phase m_pollPhase = nemora::dfuse::TransferJob::Phase::None; // before the poll
    QElapsedTimer m_sinceFailure;
    bool m_bVerified = false;                      // the last upgrade ended "Verify successful !"
    QString m_strLastOutcome;                      // the outcome line last logged for the running operation
    QString m_strBarRecord;                        // the bar's text as the outcome records keep it
    CMessageBoxDialog* m_pLeaveQuestion = nullptr; // open while "Operation on-going. Leave anyway ?" asks
};

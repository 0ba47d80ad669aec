#include "dfu/dfu_update.h"

#include "dfu/dfu_texts.h"
#include "dfu/text_progress_ctrl.h"
#include "dfuse/device_link.h"
#include "dfuse/dfuse_commands.h"
#include "dfuse/dfuse_library.h"
#include "dfuse/dfuse_operations.h"
#include "dfuse/outcome_log.h"
#include "usb/transport.h"
#include "widgets/dialog_units.h"
#include "widgets/message_box_dialog.h"
#include "widgets/message_box_model.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <utility>

namespace {

CDfuUpdate::OutcomeRecorder& OutcomeRecorderSlot()
{
    static CDfuUpdate::OutcomeRecorder record;
    return record;
}

CDfuUpdate::JournalMaker& JournalMakerSlot()
{
    static CDfuUpdate::JournalMaker make;
    return make;
}

// A failure this recent when the device's removal is seen was most likely the unplug itself.
constexpr qint64 kUnplugFailureWindowMs = 3000;

using namespace nemora::dfuse;

constexpr std::uint32_t kOk = STDFU_NOERROR;

const QColor kNearWhite(255, 255, 250);
const QColor kTeal(0, 128, 128);
const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);

// Translated where they are shown, in the engine's context.
constexpr const char* kNoTargetText = QT_TRANSLATE_NOOP("CDfuUpdate", "Please select one or several targets before !");
constexpr const char* kAccessDeniedText =
    QT_TRANSLATE_NOOP("CDfuUpdate", "No permission to open the device: install the driver");
constexpr const char* kInstallDriverQuestion =
    QT_TRANSLATE_NOOP("CDfuUpdate", "No permission to open the device: the driver is not installed.\n"
                                    "Install it now? Then unplug and plug the device in again.");
constexpr const char* kNoFileDataText =
    QT_TRANSLATE_NOOP("CDfuUpdate", "Unable to find data for that device from the file ");

QString FromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

std::uint16_t Le16(const std::uint8_t* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

} // namespace

CDfuUpdate::CDfuUpdate(QWidget* pParentPage, IDfuseLibrary& library, INotifyReceiver* pView)
    : QDialog(pParentPage), m_library(library), m_pView(pView), m_pParentPage(pParentPage),
      m_clock([] { return QDateTime::currentSecsSinceEpoch(); }), m_job(library.Operations())
{
    // Operations end on the library's thread; the poll that follows runs here, on the window's thread.
    m_job.SetWakeUp([self = QPointer<CDfuUpdate>(this)] {
        QMetaObject::invokeMethod(
            self.data(),
            [self] {
                if (self) {
                    self->OnOperationFinished();
                }
            },
            Qt::QueuedConnection);
    });
    setWindowTitle(tr("Updating"));
    setModal(false);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    m_timer.setInterval(300);
    connect(&m_timer, &QTimer::timeout, this, &CDfuUpdate::OnTimer);
    OnInitDialog();
}

CDfuUpdate::~CDfuUpdate()
{
    // A page going away must not leave a background operation running on images nobody owns.
    StopAndRelease();
    DestroyMapping();
}

void CDfuUpdate::OnInitDialog()
{
    const auto du = nemora::widgets::DialogUnitsFor(font());
    using nemora::widgets::DialogRect;
    setFixedSize(du.Dx(314), du.Dy(62));

    m_pOkButton = new QPushButton(tr("OK"), this);
    m_pOkButton->setGeometry(DialogRect(du, 243, 38, 50, 14));
    connect(m_pOkButton, &QPushButton::clicked, this, &CDfuUpdate::reject);

    m_pProgress = new CTextProgressCtrl(this);
    m_pProgress->setGeometry(DialogRect(du, 25, 5, 265, 14));

    m_pSizeLabel = new QLabel("0 K", this);
    m_pSizeLabel->setGeometry(DialogRect(du, 26, 22, 166, 14));
    m_pElapsedLabel = new QLabel("00:00:00", this);
    m_pElapsedLabel->setGeometry(DialogRect(du, 249, 23, 41, 12));

    // Under the bar, beside OK: what an error means for the device and what to do about it.
    m_pDetailLabel = new QLabel(this);
    m_pDetailLabel->setGeometry(DialogRect(du, 26, 34, 212, 24));
    m_pDetailLabel->setWordWrap(true);
    m_pDetailLabel->setStyleSheet("color: rgb(255, 0, 0);");

    m_pTargetList = new QTreeWidget(this);
    m_pTargetList->setGeometry(DialogRect(du, 174, 43, 60, 6));
    m_pTargetList->setRootIsDecorated(false);
    m_pTargetList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pTargetList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTargetList->setHeaderLabels({tr("Id"), tr("Name"), tr("Available Sectors (Double Click for more)"), ""});
    m_pTargetList->headerItem()->setTextAlignment(0, Qt::AlignCenter);
    m_pTargetList->setColumnWidth(0, 60);
    m_pTargetList->setColumnWidth(1, 160);
    m_pTargetList->setColumnWidth(2, 210);
    m_pTargetList->setColumnWidth(3, 0);
    m_pTargetList->hide();

    m_pProgress->SetShowText(false);
    m_pProgress->SetRange(0, 100);
    m_pProgress->SetPos(0);
    m_strSizeText = FromStd(nemora::dfu::TransferSizeText(0, 0));
    UpdateData(false);
}

// ---------------------------------------------------------------------------------------------------------
// Texts

void CDfuUpdate::UpdateData(bool bSaveAndValidate)
{
    if (bSaveAndValidate) {
        m_strElapsed = m_pElapsedLabel->text();
        m_strSizeText = m_pSizeLabel->text();
    } else {
        m_pElapsedLabel->setText(m_strElapsed);
        m_pSizeLabel->setText(m_strSizeText);
    }
}

CDfuUpdate::BarText CDfuUpdate::Say(const char* source) const
{
    return {tr(source), QString::fromUtf8(source)};
}

CDfuUpdate::BarText CDfuUpdate::Say(const char* format, const BarText& value) const
{
    return {tr(format).arg(value.shown), QString::fromUtf8(format).arg(value.recorded)};
}

QString CDfuUpdate::ShownName() const
{
    // The records keep the placeholder as it is; the user reads it in the console's language.
    return m_strDeviceName == kUnknownDeviceName ? FromStd(UnknownDeviceNameText()) : m_strDeviceName;
}

void CDfuUpdate::SetBar(const BarText& text)
{
    m_pProgress->SetWindowText(text.shown);
    m_strBarRecord = text.recorded;
}

void CDfuUpdate::ShowStatus(const BarText& text)
{
    if (m_nCurrentTarget >= 0) {
        const QString strTarget = QString::asprintf(" %02i: ", m_nCurrentTarget);
        SetBar({ShownName() + strTarget + text.shown, m_strDeviceName + strTarget + text.recorded});
    } else {
        SetBar(text);
    }
    m_pProgress->SetShowText(true);
}

void CDfuUpdate::ShowError(const BarText& text)
{
    m_pProgress->SetBgColour(kNearWhite);
    m_pProgress->SetTextBkColour(kNearWhite);
    m_pProgress->SetBarColour(kRed);
    m_pProgress->SetTextColour(kRed);
    ShowStatus(text);
}

void CDfuUpdate::ShowStatus(const QString& strText)
{
    ShowStatus(BarText{strText, strText});
}

void CDfuUpdate::ShowError(const QString& strText)
{
    ShowError(BarText{strText, strText});
}

void CDfuUpdate::ShowMessage(const QString& strText, std::uint32_t nStyle)
{
    m_strLastMessage = strText;
    CMessageBoxDialog box(this, strText, "", nStyle);
    box.DoModal();
}

void CDfuUpdate::ReportOperationFailure(const DFUThreadContext& context)
{
    const auto report = nemora::dfu::BuildFailureReport(context, ShownName().toStdString(), m_nCurrentTarget);
    ShowError(BarText{FromStd(report.errorLine), FromStd(report.errorRecord)});
    if (m_bQuietUpload && m_failedPhase == nemora::dfuse::TransferJob::Phase::Upload) {
        // A read nobody asked for (a device was selected): one line in the Log, no box away from the window.
        Log(m_bReadProtected
                ? tr("%1: its flash is read-protected, so its settings and screens cannot be read").arg(ShownName())
                : tr("%1: reading it failed: %2").arg(ShownName(), FromStd(report.errorLine)));
        return;
    }
    const QString plain = WriteFailureText(m_failedPhase);
    if (!plain.isEmpty()) {
        ShowErrorDetail(plain);
        Log(plain);
    }
    ShowMessage(plain.isEmpty() ? FromStd(report.message) : plain + "\n\n" + FromStd(report.message),
                nemora::widgets::kBoxOk);
    if (!plain.isEmpty()) {
        OfferAfterWriteFailure();
    }
}

QString CDfuUpdate::WriteFailureText(nemora::dfuse::TransferJob::Phase phase) const
{
    using Phase = nemora::dfuse::TransferJob::Phase;
    if (!m_writeFailure.explain || (phase != Phase::Erase && phase != Phase::Download && phase != Phase::Verify)) {
        return {};
    }
    return m_writeFailure.explain(phase);
}

void CDfuUpdate::OfferAfterWriteFailure()
{
    if (m_writeFailure.offer) {
        QTimer::singleShot(0, this, [this] { m_writeFailure.offer(); });
    }
}

void CDfuUpdate::Log(const QString& strLine)
{
    if (m_pView == nullptr) {
        return;
    }
    PAGE_NOTIFY notify;
    notify.hwndFrom = this;
    notify.code = NOTIFY_LOG;
    notify.strText = strLine.trimmed();
    m_pView->OnNotify(0, notify);
}

void CDfuUpdate::LogOutcome()
{
    // The bar's own words, once: a removal seen while a failure's box is open has already said them.
    const QString strLine = tr("Outcome: %1").arg(m_pProgress->GetWindowText());
    if (strLine == m_strLastOutcome)
        return;
    m_strLastOutcome = strLine;
    Log(strLine);
    if (!OutcomeRecorderSlot())
        return;
    nemora::dfuse::OperationOutcome outcome;
    outcome.program = "nemora";
    outcome.model = m_strDeviceName.toStdString();
    outcome.operation = m_strOperation;
    const QString words = m_strBarRecord; // the bar's words untranslated: the record's, and what is judged
    outcome.ok = !m_failedContext && m_failedPhase == nemora::dfuse::TransferJob::Phase::None &&
                 words.contains("uccessful") && !words.contains("not matching");
    outcome.result = words.toStdString();
    if (m_failedContext)
        nemora::dfuse::DescribeFailedContext(*m_failedContext, outcome);
    outcome.health = m_health;
    OutcomeRecorderSlot()(m_strDevicePath, std::move(outcome));
}

bool CDfuUpdate::TransferRunsOn(const QString& strPath, const CDfuUpdate* except)
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        const auto* engine = qobject_cast<const CDfuUpdate*>(window);
        if (engine && engine != except && engine->IsRunning() && engine->DevicePath() == strPath)
            return true;
    }
    return false;
}

void CDfuUpdate::SetOutcomeRecorder(OutcomeRecorder record)
{
    OutcomeRecorderSlot() = std::move(record);
}

void CDfuUpdate::SetJournalMaker(JournalMaker make)
{
    JournalMakerSlot() = std::move(make);
}

void CDfuUpdate::DescribeNextWrite(const QString& strTitle, const QString& strDetail, const std::string& strResolves)
{
    m_strWriteTitle = strTitle;
    m_strWriteDetail = strDetail;
    m_strWriteResolves = strResolves;
}

void CDfuUpdate::EndJournal()
{
    if (m_journal)
        m_journal->End(m_bVerified);
    m_journal.reset();
}

void CDfuUpdate::ShowOutcomeLine(const QString& strText)
{
    m_pDetailLabel->setStyleSheet("");
    m_pDetailLabel->setText(strText);
}

void CDfuUpdate::Notify(std::uint32_t nCode, const QObject* pFrom)
{
    if (m_pView == nullptr) {
        return;
    }
    PAGE_NOTIFY notify;
    notify.hwndFrom = pFrom;
    notify.idFrom = 0;
    notify.code = nCode;
    m_pView->OnNotify(0, notify);
}

// ---------------------------------------------------------------------------------------------------------
// Opening the device

void CDfuUpdate::DestroyMapping()
{
    if (m_bHasMapping) {
        m_library.STDFUPRT_DestroyMapping(&m_Mapping);
    }
    m_Mapping.clear();
    m_bHasMapping = false;
}

void CDfuUpdate::OpenDevice(const QString& strDevicePath, const QString& strFilePath)
{
    if (IsRunning())
        return; // one operation at a time: a second start must not disturb the device or the running images
    m_strUpgradeFile = m_strUploadFile = strFilePath;
    m_strDevicePath = strDevicePath;
    m_strDevVid.clear();
    m_strDevPid.clear();
    m_strDevBcd.clear();
    m_strFileVid.clear();
    m_strFilePid.clear();
    m_strFileBcd.clear();
    m_strDeviceName = kUnknownDeviceName;
    m_pDetailLabel->clear();
    // Nothing of the previous operation stays in view: its bar and its transfer size belong to it.
    m_pProgress->SetPos(0);
    m_strSizeText.clear();
    DestroyMapping();

    const int nRows = m_pTargetList->topLevelItemCount();
    if (m_SelectedTargets.size() < static_cast<std::size_t>(nRows)) {
        m_SelectedTargets.resize(static_cast<std::size_t>(nRows), 0);
    }
    for (int i = 0; i < nRows; ++i) {
        m_SelectedTargets[static_cast<std::size_t>(i)] = m_pTargetList->topLevelItem(i)->isSelected() ? 1 : 0;
    }
    m_pTargetList->clear();
    UpdateData(false);

    m_bAccessDenied = false;
    m_bReadProtected = false;
    m_bDeviceBusy = !LockDevice(strDevicePath);
    if (m_bDeviceBusy) {
        return; // nothing is sent to a device another program is using
    }
    nemora::dfuse::DeviceLink link;
    nemora::dfuse::LinkDescriptors descriptors;
    descriptors.device = m_DeviceDescriptor;
    const auto outcome = nemora::dfuse::OpenDeviceLink(
        m_library, strDevicePath.toStdString(), link, descriptors, [&](DfuDeviceHandle h) {
            static_cast<void>(h);
            m_Mapping = link.mapping;
            m_bHasMapping = !link.devBcd.empty();
            m_bReadProtected = link.readProtected;
            FillTargetList(); // the option-byte probe has run: the link says whether the flash is protected
        });
    m_bAccessDenied =
        outcome == nemora::dfuse::LinkOutcome::NotOpened && descriptors.failedCode == nemora::dfuse::STDFU_ACCESSDENIED;
    if (m_bAccessDenied) {
        // The device is there but this user may not open it: say why, and offer the cure.
        ShowError(Say(kAccessDeniedText));
        if (m_installDriver && isVisible()) { // never from a hidden, silent open
            m_strLastMessage = tr(kInstallDriverQuestion);
            CMessageBoxDialog box(this, m_strLastMessage, "", nemora::widgets::kBoxYesNoQuestion);
            if (box.DoModal() == nemora::widgets::kIdYes) {
                m_installDriver();
            }
        }
        return;
    }
    if (outcome == nemora::dfuse::LinkOutcome::NotOpened) {
        return;
    }
    m_DeviceDescriptor = descriptors.device;
    m_DfuDescriptor = descriptors.dfu;
    m_strDevVid = QString::fromStdString(link.devVid);
    m_strDevPid = QString::fromStdString(link.devPid);
    m_strDevBcd = QString::fromStdString(link.devBcd);
    switch (outcome) {
    case nemora::dfuse::LinkOutcome::NoDeviceDescriptor:
        ShowError(Say(QT_TR_NOOP("Unable to get descriptors... Bad Firmware")));
        break;
    case nemora::dfuse::LinkOutcome::NoDfuDescriptor:
        ShowError(Say(QT_TR_NOOP("Unable to get DFU descriptor... Bad Firmware")));
        break;
    case nemora::dfuse::LinkOutcome::BadVersion:
        ShowError(Say(QT_TR_NOOP("Bad Updating protocol version. Should be 1.1A")));
        break;
    case nemora::dfuse::LinkOutcome::NoMapping:
        ShowError(Say(QT_TR_NOOP("Unable to find or decode device mapping... Bad Firmware")));
        break;
    default:
        break;
    }
    UpdateData(false);
    const bool bLinkOk = outcome == nemora::dfuse::LinkOutcome::Ok;

    if (bLinkOk) {
        CDeviceIdentity identity;
        identity.SetIds(Le16(&m_DeviceDescriptor[8]), Le16(&m_DeviceDescriptor[10]), Le16(&m_DeviceDescriptor[12]));
        m_DeviceIdentity = identity;
        m_DeviceIdentity.UpdateGeometry();
        std::string strName = m_strDeviceName.toStdString();
        m_DeviceIdentity.GetModelName(strName);
        m_strDeviceName = FromStd(strName);
    }
}

bool CDfuUpdate::LockDevice(const QString& strDevicePath)
{
    const std::string path = strDevicePath.toStdString();
    const std::optional<nemora::usb::DeviceInfo> listed = m_library.Operations().ListedDevice(path);
    const std::string serial = listed ? listed->serial : std::string();
    // The window must not freeze for a read the user did not ask for: a hidden engine does not wait.
    const auto wait = isVisible() ? DeviceLockWait() : std::chrono::milliseconds(0);
    LockHolder holder;
    std::string error;
    m_nCurrentTarget = -1;
    switch (DeviceLock::Acquire(DeviceLockKey(serial, path), wait, m_deviceLock, holder, error)) {
    case DeviceLock::Outcome::Taken:
        return true;
    case DeviceLock::Outcome::Busy: {
        std::string model;
        if (listed) {
            CDeviceIdentity identity;
            identity.SetIds(listed->vid, listed->pid, listed->bcdDevice);
            identity.GetModelName(model);
        }
        const QString strBusy = FromStd(BusyText(model, serial, path, holder));
        ShowError(strBusy);
        ShowErrorDetail(tr("Wait until the other program is done, then try again."));
        Log(tr("%1; nothing was sent").arg(strBusy));
        return false;
    }
    case DeviceLock::Outcome::Failed:
        break;
    }
    ShowError(Say(QT_TR_NOOP("Unable to lock the device")));
    ShowErrorDetail(FromStd(error));
    return false;
}

void CDfuUpdate::ReleaseIfIdle()
{
    if (!IsRunning() && !m_job.AwaitsSnapshotDecision()) {
        m_deviceLock.Release();
    }
}

void CDfuUpdate::FillTargetList()
{
    m_pProgress->SetBgColour(kNearWhite);
    m_pProgress->SetBarColour(kNearWhite);
    m_pProgress->SetTextColour(kTeal);
    m_pProgress->SetTextBkColour(kTeal);
    ShowStatus(" ");

    for (const auto& target : m_Mapping) {
        auto* pItem = new QTreeWidgetItem(m_pTargetList);
        pItem->setText(0, QString::asprintf("%02i", target.bAlternate));
        pItem->setTextAlignment(0, Qt::AlignCenter);
        pItem->setText(1, FromStd(target.szName));
        pItem->setText(
            2, QString::asprintf(tr("%i sectors...").toUtf8().constData(), static_cast<int>(target.sectors.size())));
        pItem->setText(3, FromStd(nemora::dfu::SectorListText(target)));
    }

    const int nRows = m_pTargetList->topLevelItemCount();
    bool bAny = false;
    for (int i = 0; i < nRows && static_cast<std::size_t>(i) < m_SelectedTargets.size(); ++i) {
        if (m_SelectedTargets[static_cast<std::size_t>(i)] == 1) {
            m_pTargetList->topLevelItem(i)->setSelected(true);
            bAny = true;
        }
    }
    if (!bAny && nRows > 0) {
        m_pTargetList->topLevelItem(0)->setSelected(true);
    }
}

// ---------------------------------------------------------------------------------------------------------
// Targets and launches

const MappingTarget* CDfuUpdate::TargetAt(int nIndex) const
{
    if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= m_Mapping.size()) {
        return nullptr;
    }
    return &m_Mapping[static_cast<std::size_t>(nIndex)];
}

int CDfuUpdate::NextSelectedTarget(int nAfter) const
{
    // Rows without a target behind them (the map was closed since the list was filled) do not count.
    const int nRows = std::min(m_pTargetList->topLevelItemCount(), static_cast<int>(m_Mapping.size()));
    for (int i = std::max(nAfter + 1, 0); i < nRows; ++i) {
        if (m_pTargetList->topLevelItem(i)->isSelected()) {
            return i;
        }
    }
    return -1;
}

int CDfuUpdate::FirstSelectedTarget() const
{
    return NextSelectedTarget(-1);
}

bool CDfuUpdate::SelectTargets()
{
    UpdateData(true);
    if (m_bAccessDenied || m_bDeviceBusy) {
        return false; // the bar keeps saying why nothing can be done
    }
    m_nCurrentTarget = FirstSelectedTarget();
    if (m_nCurrentTarget < 0) {
        ReleaseIfIdle();
        if (nemora::usb::ModeOfPath(m_strDevicePath.toStdString()) == nemora::usb::InterfaceMode::Application) {
            // Not a missing choice of targets: the device has none to choose until it is in update mode.
            ShowError(Say(QT_TR_NOOP("%1 is running its firmware, not in update mode"), Name()));
            ShowErrorDetail(tr("Switch it off, hold the fire key and plug it in again, then try again."));
            return false;
        }
        ShowError(Say(kNoTargetText));
        return false;
    }
    return true;
}

std::vector<int> CDfuUpdate::SelectedRows() const
{
    std::vector<int> rows;
    for (int i = FirstSelectedTarget(); i >= 0; i = NextSelectedTarget(i)) {
        rows.push_back(i);
    }
    return rows;
}

nemora::dfuse::DeviceLink CDfuUpdate::Link() const
{
    DeviceLink link;
    link.devicePath = m_strDevicePath.toStdString();
    link.devVid = m_strDevVid.toStdString();
    link.devPid = m_strDevPid.toStdString();
    link.devBcd = m_strDevBcd.toStdString();
    link.vid = Le16(&m_DeviceDescriptor[8]);
    link.pid = Le16(&m_DeviceDescriptor[10]);
    link.bcdDevice = Le16(&m_DeviceDescriptor[12]);
    link.mapping = m_Mapping;
    link.readProtected = m_bReadProtected;
    return link;
}

void CDfuUpdate::StartPollTimer()
{
    if (!m_timer.isActive()) {
        m_timer.start();
    }
}

void CDfuUpdate::StopPollTimer()
{
    m_timer.stop();
}

// ---------------------------------------------------------------------------------------------------------
// Operations

void CDfuUpdate::StartUpgrade()
{
    if (IsRunning() || !SelectTargets()) {
        return;
    }
    const nemora::dfuse::ParseResult parsed = nemora::dfuse::ReadDfuFile(m_strUpgradeFile.toStdString());
    if (!parsed.file) {
        ShowError(Say(kNoFileDataText)); // said of the first selected target, as for any file refused for it
        m_nCurrentTarget = -1;
        Log(tr("Update of %1 from %2 refused: %3").arg(ShownName(), m_strUpgradeFile, FromStd(parsed.error.message)));
        m_strUploadFile.clear();
        ReleaseIfIdle();
        return;
    }
    StartUpgrade(*parsed.file);
}

void CDfuUpdate::StartUpgrade(const nemora::dfuse::DfuFile& file)
{
    if (IsRunning() || !SelectTargets()) {
        return;
    }
    m_strLastOutcome.clear();
    m_bVerified = false;
    m_failedPhase = m_pollPhase = nemora::dfuse::TransferJob::Phase::None;
    m_failedContext.reset();
    m_health = {};
    m_strOperation = "update";
    Log(tr("Update of %1 from %2 started").arg(ShownName(), m_strUpgradeFile));
    m_strLastSnapshot.clear();
    const QString before = std::exchange(m_strSnapshotBefore, QString());
    m_job.SetSnapshot(m_makeSnapshot ? m_makeSnapshot(m_strDevicePath, m_DeviceIdentity,
                                                      before.isEmpty() ? "update from " + m_strUpgradeFile : before)
                                     : nemora::dfuse::SnapshotRequest{});
    m_writeCounts = {};
    m_journal.reset(); // a record not ended before stays as it was: cut short
    const QString title = std::exchange(m_strWriteTitle, QString());
    const QString detail = std::exchange(m_strWriteDetail, QString());
    const std::string resolves = std::exchange(m_strWriteResolves, std::string());
    if (JournalMakerSlot()) {
        nemora::dfuse::WriteRecord record;
        record.program = "nemora";
        record.model = NamesOf(m_DeviceIdentity).model;
        record.vid = m_DeviceIdentity.m_wVid;
        record.pid = m_DeviceIdentity.m_wPid;
        record.bcd = m_DeviceIdentity.m_wBcdDevice;
        record.title = title.isEmpty() ? "firmware update" : title.toStdString();
        record.detail = (detail.isEmpty() ? QFileInfo(m_strUpgradeFile).fileName() : detail).toStdString();
        record.file = QFileInfo(m_strUpgradeFile).absoluteFilePath().toStdString();
        record.hash = nemora::dfuse::HashOfFile(record.file);
        record.resolves = resolves;
        m_journal = JournalMakerSlot()(m_strDevicePath, std::move(record));
    }
    Render(m_job.StartUpgrade(Link(), SelectedRows(), file));
    // The timer runs whatever happened; its first tick without an operation stops it again.
    StartPollTimer();
    UpdateData(false);
    m_strUploadFile.clear();
    ReleaseIfIdle();
}

bool CDfuUpdate::StartUpload(DfuImageHandle hImage, DfuElement* pBuffer)
{
    if (IsRunning() || !SelectTargets()) {
        return false;
    }
    m_strLastOutcome.clear();
    m_bVerified = false;
    m_failedPhase = m_pollPhase = nemora::dfuse::TransferJob::Phase::None;
    m_failedContext.reset();
    m_health = {};
    m_strOperation = "read";
    // The job reads the areas the caller's image describes; once it runs, the image has served.
    nemora::dfuse::Image areas;
    if (hImage == nullptr || !nemora::dfuse::ReadImageValue(m_library, hImage, areas)) {
        ReleaseIfIdle();
        return false;
    }
    bool bLaunched = false;
    m_pUploadBuffer = pBuffer;
    m_bQuietUpload = !isVisible(); // started out of view: its failure goes to the Log, not into a box
    Log(tr("Reading from %1 started").arg(ShownName()));
    Render(m_job.StartUpload(Link(), SelectedRows(), std::move(areas), m_strUploadFile.toStdString(), bLaunched));
    if (bLaunched) {
        m_library.STDFUFILES_DestroyImage(hImage);
    }
    m_strUpgradeFile.clear();
    UpdateData(false);
    ReleaseIfIdle();
    return bLaunched;
}

void CDfuUpdate::LeaveDfuMode()
{
    if (IsRunning() || !SelectTargets()) {
        return;
    }
    m_strLastOutcome.clear();
    m_bVerified = false;
    m_failedPhase = m_pollPhase = nemora::dfuse::TransferJob::Phase::None;
    m_failedContext.reset();
    m_health = {};
    m_strOperation = "leave";
    Log(tr("%1: leaving update mode").arg(ShownName()));
    Render(m_job.StartLeave(Link(), SelectedRows()));
    UpdateData(false);
    ReleaseIfIdle();
}

void CDfuUpdate::StopAndRelease()
{
    m_job.Stop();
    StopPollTimer();
    m_deviceLock.Release();
}

void CDfuUpdate::CloseDevice()
{
    StopAndRelease();
    DestroyMapping();
    QDialog::done(QDialog::Rejected);
}

void CDfuUpdate::DeviceGone()
{
    using Phase = nemora::dfuse::TransferJob::Phase;
    if (IsRunning()) {
        ReportInterruption(QT_TR_NOOP("Disconnected"), m_job.RunningPhase());
        DestroyMapping();
        return;
    }
    const bool bJustFailed = m_sinceFailure.isValid() && m_sinceFailure.elapsed() < kUnplugFailureWindowMs;
    if (isVisible() && bJustFailed &&
        (m_failedPhase == Phase::Erase || m_failedPhase == Phase::Download || m_failedPhase == Phase::Verify)) {
        // The unplug failed the operation first; what that left on the device still needs saying.
        ReportInterruption(QT_TR_NOOP("Disconnected"), m_failedPhase);
        m_failedPhase = Phase::None;
        DestroyMapping();
        return;
    }
    CloseDevice();
}

void CDfuUpdate::ShowErrorDetail(const QString& strText)
{
    m_pDetailLabel->setStyleSheet("color: rgb(255, 0, 0);");
    m_pDetailLabel->setText(strText);
}

void CDfuUpdate::ReportInterruption(const char* cause, nemora::dfuse::TransferJob::Phase phase)
{
    using Phase = nemora::dfuse::TransferJob::Phase;
    StopAndRelease();
    m_nCurrentTarget = -1;
    const BarText said = Say(cause);
    // A stop leaves the device where it was, in update mode; a device that went away must be put back first.
    const QString strRecover = std::strcmp(cause, "Stopped") == 0
                                   ? tr("The device is still in update mode: download the file again.")
                                   : tr("Put the device back in update mode (switch it off, hold the fire key, "
                                        "plug it in) and download the file again.");
    switch (phase) {
    case Phase::Erase:
    case Phase::Download:
        if (const QString plain = WriteFailureText(phase); !plain.isEmpty()) {
            ShowError(phase == Phase::Erase ? Say(QT_TR_NOOP("%1 during the erase"), said)
                                            : Say(QT_TR_NOOP("%1 during the download"), said));
            ShowErrorDetail(plain);
            Log(plain);
            OfferAfterWriteFailure();
            break;
        }
        ShowError(phase == Phase::Erase ? Say(QT_TR_NOOP("%1 during the erase: the firmware is incomplete"), said)
                                        : Say(QT_TR_NOOP("%1 during the download: the firmware is incomplete"), said));
        ShowErrorDetail(strRecover);
        break;
    case Phase::Verify:
        ShowError(Say(QT_TR_NOOP("%1 during the verify: the firmware was written but not checked"), said));
        ShowErrorDetail(strRecover);
        break;
    case Phase::Snapshot:
    case Phase::Compare:
    case Phase::Upload:
        ShowError(Say(QT_TR_NOOP("%1 during the read: nothing on the device was changed"), said));
        break;
    case Phase::Leave:
    case Phase::None:
        ShowError(Say(QT_TR_NOOP("%1 while leaving update mode"), said));
        break;
    }
    LogOutcome();
    UpdateData(false);
}

void CDfuUpdate::reject()
{
    if (IsRunning()) {
        m_strLastMessage = tr("Operation on-going. Leave anyway ?");
        CMessageBoxDialog box(this, m_strLastMessage, "", nemora::widgets::kBoxOkCancelQuestion);
        m_pLeaveQuestion = &box;
        const int nAnswer = box.DoModal();
        m_pLeaveQuestion = nullptr;
        if (nAnswer != 1 || !IsRunning()) {
            return; // kept running, or it ended while the question was open
        }
        // Leaving mid-operation: the engine stays in view to say what that left on the device.
        ReportInterruption(QT_TR_NOOP("Stopped"), m_job.RunningPhase());
        DestroyMapping();
        Notify(NOTIFY_ENGINE_DONE, m_pParentPage);
        return;
    }
    StopAndRelease();
    DestroyMapping();
    Notify(NOTIFY_ENGINE_DONE, m_pParentPage);
    QDialog::done(QDialog::Rejected);
}

// ---------------------------------------------------------------------------------------------------------
// Following the job

void CDfuUpdate::OnTimer()
{
    if (!IsRunning()) {
        StopPollTimer();
        ReleaseIfIdle();
        return;
    }
    m_strElapsed = FromStd(nemora::dfu::ElapsedText(m_clock() - m_nStartTime));
    m_pollPhase = m_job.RunningPhase();
    const bool bEngineDone = Render(m_job.Poll());
    UpdateData(false);
    if (!IsRunning()) {
        StopPollTimer();
        ReleaseIfIdle();
        if (m_pLeaveQuestion != nullptr) {
            m_pLeaveQuestion->done(0); // the operation ended under the question: nothing is left to leave
        }
        if (bEngineDone) {
            Notify(NOTIFY_ENGINE_DONE, m_pParentPage);
        }
    } else {
        StartPollTimer();
    }
}

void CDfuUpdate::OnOperationFinished()
{
    // An operation ended: the next phase starts now rather than at the next tick.
    if (IsRunning()) {
        OnTimer();
    }
}

bool CDfuUpdate::Render(const nemora::dfuse::JobEvents& events)
{
    using Kind = nemora::dfuse::JobEvent::Kind;
    bool bVerifyDone = false;
    for (const auto& event : events) {
        m_nCurrentTarget = event.target;
        if (m_journal)
            m_journal->See(event);
        switch (event.kind) {
        case Kind::Launched:
            if (event.restartClock) {
                m_nStartTime = m_clock();
            }
            if (event.resetSize) {
                m_strSizeText = FromStd(nemora::dfu::TransferSizeText(event.size, 0));
            }
            if (event.resetBar) {
                // The download phase keeps the bar as the erase phase left it.
                const QColor& colour = event.operation == OPERATION_ERASE ? kGreen : kTeal;
                m_pProgress->SetPos(0);
                SetBar({});
                m_pProgress->SetShowText(true);
                m_pProgress->SetBgColour(kNearWhite);
                m_pProgress->SetTextBkColour(kNearWhite);
                m_pProgress->SetBarColour(colour);
                m_pProgress->SetTextColour(colour);
            }
            StartPollTimer();
            break;
        case Kind::Progress:
            if (event.resetSize) {
                m_strSizeText = FromStd(nemora::dfu::TransferSizeText(event.size, event.percent));
            }
            // The compare read belongs to the erase phase: it decides which pages that phase takes.
            if (event.snapshot) {
                const BarText saving =
                    SayPrintf(QT_TR_NOOP(" Saving a snapshot of the settings %u%%..."), event.percent);
                SetBar({ShownName() + saving.shown, m_strDeviceName + saving.recorded});
            } else {
                const std::uint32_t operation = event.compare ? OPERATION_ERASE : event.operation;
                SetBar({ShownName() + FromStd(nemora::dfu::PhaseText(operation, event.target, event.percent)),
                        m_strDeviceName + FromStd(nemora::dfu::PhaseText(operation, event.target, event.percent,
                                                                         nemora::dfu::Words::Recorded))});
            }
            m_pProgress->SetPos(static_cast<int>(event.percent));
            break;
        case Kind::Upgraded:
            ++m_writeCounts.targetsUpgraded;
            ShowStatus(Say(QT_TR_NOOP("Upgrade successful !")));
            break;
        case Kind::Verified:
            m_bVerified = true;
            ShowStatus(Say(QT_TR_NOOP("Verify successful !")));
            break;
        case Kind::Mismatch:
            ShowError(Say(QT_TR_NOOP("Verify successful, but data not matching...")));
            if (event.hasBytes) {
                ShowMessage(QString::asprintf(tr("Matching not good. First Difference at address 0x%08X:\nFile  byte  "
                                                 "is  0x%02X.\nRead byte is 0x%02X.")
                                                  .toUtf8()
                                                  .constData(),
                                              static_cast<unsigned>(event.address), event.fileByte, event.readByte),
                            nemora::widgets::kBoxOk);
            }
            break;
        case Kind::Uploaded:
            ShowStatus(Say(QT_TR_NOOP("Upload successful !")));
            break;
        case Kind::Element:
            HandBack(event);
            break;
        case Kind::Left:
            ShowStatus(Say(QT_TR_NOOP("Successfully left updating mode !")));
            break;
        case Kind::Plan:
            if (event.pages > 0) {
                ++m_writeCounts.targetsCompared;
                m_writeCounts.pagesCompared += event.pages;
                m_writeCounts.pagesWritten += event.pagesWritten;
            }
            Log(ShownName() + QString::asprintf(" %02i: ", event.target) + FromStd(event.text));
            break;
        case Kind::Snapshot:
            m_strLastSnapshot = FromStd(event.text);
            Log(tr("Snapshot of the settings saved to %1").arg(m_strLastSnapshot));
            break;
        case Kind::SnapshotUnreadable:
            m_strSnapshotFailure = FromStd(
                nemora::dfu::BuildFailureReport(event.context, ShownName().toStdString(), event.target).errorLine);
            ShowError(Say(QT_TR_NOOP("Unable to read the settings for a snapshot; nothing was written.")));
            break;
        case Kind::Failed:
            m_failedPhase = m_pollPhase;
            if (!m_failedContext)
                m_failedContext = event.context;
            m_sinceFailure.start();
            if (event.context.ErrorCode == STDFUPRT_UNSUPPORTEDFEATURE) {
                ShowMessage(tr("This feature is not supported by this firmware."), nemora::widgets::kBoxOk);
            } else {
                ReportOperationFailure(event.context);
            }
            break;
        case Kind::Problem:
            ShowProblem(event);
            break;
        case Kind::Finished:
            m_health += event.context.Health;
            bVerifyDone = event.verifyDone;
            if (m_job.AwaitsSnapshotDecision()) {
                // Asked once the events are through: the answer may start the upgrade again.
                QTimer::singleShot(0, this, &CDfuUpdate::AskSnapshotDecision);
                break;
            }
            LogOutcome();
            break;
        }
    }
    m_nCurrentTarget = m_job.CurrentTarget();
    if (m_journal && !m_job.Running() && !m_job.AwaitsSnapshotDecision())
        EndJournal();
    return bVerifyDone;
}

void CDfuUpdate::ShowProblem(const nemora::dfuse::JobEvent& event)
{
    using nemora::dfuse::JobProblem;
    switch (event.problem) {
    case JobProblem::NoFileData:
        ShowError(Say(kNoFileDataText));
        break;
    case JobProblem::IdentityMismatch:
        ShowError(SayPrintf(QT_TR_NOOP("This file is not supposed to be used with device,ID:0x%04x!!"), event.model));
        break;
    case JobProblem::NoTargetData:
        ShowError(Say(QT_TR_NOOP("Unable to find data for that target in the dfu file...")));
        break;
    case JobProblem::SourceImage:
        ShowError(Say(QT_TR_NOOP("Unable to get data from source image...")));
        break;
    case JobProblem::ReadImageElements:
        ShowError(Say(QT_TR_NOOP("Unable to get elements from read image...")));
        break;
    case JobProblem::ReadImage:
        ShowError(Say(QT_TR_NOOP("Unable to get data from read image...")));
        break;
    case JobProblem::CreateUploadFile:
        ShowError(Say(QT_TR_NOOP("Unable to create a new updating file...")));
        break;
    case JobProblem::AppendUploadFile:
        ShowError(Say(QT_TR_NOOP("Unable to append image to updating file...")));
        break;
    case JobProblem::SnapshotNotSaved:
        ShowError(Say(QT_TR_NOOP("Unable to save a snapshot of the settings; nothing was written.")));
        ShowMessage(tr("The settings on the device could not be kept before the write: %1\nNothing was written. Free "
                       "some space or check the folder's permissions, then try again.")
                        .arg(FromStd(event.text)),
                    nemora::widgets::kBoxOk);
        break;
    case JobProblem::Refused:
        // Too long for the bar: the bar says that nothing was written, the box says why.
        ShowError(Say(QT_TR_NOOP("This file cannot be written into this device; nothing was written.")));
        ShowMessage(FromStd(event.text), nemora::widgets::kBoxOk);
        break;
    }
}

void CDfuUpdate::AskSnapshotDecision()
{
    if (!m_job.AwaitsSnapshotDecision() || IsRunning()) {
        return;
    }
    CMessageBoxDialog box(this,
                          tr("The settings on the device cannot be read (%1), so no snapshot of them can be kept "
                             "before the write.\nWrite anyway, without a snapshot ?")
                              .arg(m_strSnapshotFailure),
                          "", nemora::widgets::kBoxYesNoQuestion);
    if (box.DoModal() != nemora::widgets::kIdYes) {
        m_job.Stop(); // like any write that did not happen: the bar says so, and the page waits for the user
        EndJournal();
        LogOutcome();
        ReleaseIfIdle();
        return;
    }
    Log(tr("Writing without a snapshot, as the user chose"));
    Render(m_job.ContinueWithoutSnapshot());
    StartPollTimer();
    UpdateData(false);
    ReleaseIfIdle();
}

void CDfuUpdate::HandBack(const nemora::dfuse::JobEvent& event)
{
    if (m_pUploadBuffer == nullptr) {
        return;
    }
    // The caller's buffer receives at most its capacity, so a short buffer is never written past its end.
    const auto nLength = static_cast<std::uint32_t>(event.bytes.size());
    m_pUploadBuffer->dwAddress = event.address;
    if (nLength < m_pUploadBuffer->dwDataLength) {
        m_pUploadBuffer->dwDataLength = nLength;
    }
    if (m_pUploadBuffer->Data != nullptr && m_pUploadBuffer->dwDataLength > 0) {
        std::memcpy(m_pUploadBuffer->Data, event.bytes.data(), m_pUploadBuffer->dwDataLength);
    }
    Notify(NOTIFY_UPLOAD_DONE, this);
}

#include "settings/page_custom.h"

#include "dfu/dfu_update.h"
#include "dfu/text_progress_ctrl.h"
#include "dfuse/dfu_file.h"
#include "dfuse/dfuse_blocking.h"
#include "dfuse/dfuse_contract.h"
#include "screens/page_custom_display.h"
#include "settings/page_custom_para.h"
#include "settings/page_custom_power.h"
#include "settings/page_custom_temp.h"
#include "settings/settings_file.h"
#include "settings/snapshots.h"
#include "settings/write_outcome.h"
#include "widgets/dialog_units.h"
#include "widgets/file_folders.h"
#include "widgets/message_box_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>
#include <utility>

using nemora::dfuse::IDfuseLibrary;
using nemora::dfuse::STDFU_NOERROR;
using nemora::widgets::DialogRect;
namespace settings = nemora::settings;

namespace {

constexpr const char* kInsertFailure = QT_TRANSLATE_NOOP("CPageCustom", "Unable to insert one element in the image...");
constexpr const char* kRestoreQuestion = QT_TRANSLATE_NOOP(
    "CPageCustom",
    "Are you sure you will recover the data to the default value, which will discard the changes you have make!");
constexpr int kCurveBytes = static_cast<int>(kCurvePointCount * sizeof(std::uint16_t));

// What "Default" restores on each sub-page: the name in the question, and in the notice that follows.
struct RestoreTexts {
    const char* question;
    const char* notice;
};
constexpr RestoreTexts kRestoreTexts[] = {
    {QT_TRANSLATE_NOOP("CPageCustom", "【All user logo resource】"),
     QT_TRANSLATE_NOOP("CPageCustom", "【All user logo resource】")},
    {QT_TRANSLATE_NOOP("CPageCustom", "【All user parameter resource】"),
     QT_TRANSLATE_NOOP("CPageCustom", "【All user parameter resource】")},
    {QT_TRANSLATE_NOOP("CPageCustom", "【All user temperature resource】"),
     QT_TRANSLATE_NOOP("CPageCustom", "【All user temperature resource】")},
    {QT_TRANSLATE_NOOP("CPageCustom", "【All user Power resource】"),
     QT_TRANSLATE_NOOP("CPageCustom", "【All user Powe resource】")},
};

// The sub-pages' names, in the order of their tabs. A write's record and its snapshot keep the name
// untranslated; the tab shows it in the user's language.
constexpr const char* kTabNames[] = {
    QT_TRANSLATE_NOOP("CPageCustom", "Display"),
    QT_TRANSLATE_NOOP("CPageCustom", "Parameters"),
    QT_TRANSLATE_NOOP("CPageCustom", "Temperature Lines"),
    QT_TRANSLATE_NOOP("CPageCustom", "Power Line"),
};

constexpr const char* kDeviceBusy = QT_TRANSLATE_NOOP(
    "CPageCustom", "The device is busy with another transfer.\nWait until it has finished, then try again.");

// True when an engine other than `own` (the ROM update page's, say) runs a transfer on the device at that
// path: opening the device then would interleave requests with that transfer.
bool BusyElsewhere(const CDfuUpdate* own, const QString& strPath)
{
    return CDfuUpdate::TransferRunsOn(strPath, own);
}

QString FileErrorText(const nemora::dfuse::Error& error)
{
    QString text = QString::fromStdString(nemora::dfuse::DescribeShown(error.code));
    if (!error.message.empty())
        text += ": " + QString::fromStdString(error.message);
    return text;
}

} // namespace

CPageCustom::CPageCustom(QWidget* pParent, IDfuseLibrary& library, INotifyReceiver* pView)
    : QWidget(pParent), m_session(library), m_DeviceIdentity(m_session.Identity()), m_library(library), m_pView(pView)
{
    const nemora::widgets::DialogUnitScale du = nemora::widgets::DialogUnitsFor(font());
    auto button = [&](const QString& text, int x) {
        auto* b = new QPushButton(text, this);
        b->setGeometry(DialogRect(du, x, 7, 72, 14));
        b->setAutoDefault(false);
        return b;
    };
    m_pRead = button(tr("Read From Device"), 7);
    m_pWrite = button(tr("Write To Device"), 85);
    m_pLoad = button(tr("Load File"), 163);
    m_pSave = button(tr("Save File"), 241);
    m_pDefault = button(tr("Default"), 319);
    m_pTabLocation = new QWidget(this);
    m_pTabLocation->setGeometry(DialogRect(du, 0, 28, 597, 870));
    m_pTabLocation->hide();
    connect(m_pRead, &QPushButton::clicked, this, &CPageCustom::OnReadFromDevice);
    connect(m_pWrite, &QPushButton::clicked, this, &CPageCustom::OnWriteToDevice);
    connect(m_pLoad, &QPushButton::clicked, this, &CPageCustom::OnLoadFile);
    connect(m_pSave, &QPushButton::clicked, this, &CPageCustom::OnSaveFile);
    connect(m_pDefault, &QPushButton::clicked, this, &CPageCustom::OnDefault);
}

CPageCustom::~CPageCustom() = default;

bool CPageCustom::OnInitDialog()
{
    if (m_pMainTabCtrl)
        return true;
    m_pMainTabCtrl = nemora::widgets::MakeMainTabControl(this, m_pTabLocation);

    // The twelve rows of a 96 x 96 device are taller than most windows: the display page scrolls.
    m_pDisplayScroll = new QScrollArea;
    m_pDisplayScroll->setFrameShape(QFrame::NoFrame);
    m_pDisplayScroll->setWidgetResizable(true);
    m_pDisplayScroll->setFocusPolicy(Qt::NoFocus); // Tab goes through the rows and scrolls them in
    m_pDisplay = new CPageCustomDisplay;
    m_pDisplay->OnInitDialog();
    m_pDisplayScroll->setWidget(m_pDisplay);
    m_pMainTabCtrl->addTab(m_pDisplayScroll, tr(kTabNames[kTabDisplay]));

    m_pPara = new CPageCustomPara;
    m_pPara->OnInitDialog();
    m_pMainTabCtrl->addTab(m_pPara, tr(kTabNames[kTabParameters]));

    m_pTemp = new CPageCustomTEMP;
    m_pTemp->OnInitDialog();
    CDeviceIdentity first;
    first.SetIds(0, 0, 0x0040);
    m_pTemp->SetLimits({.wMaxTemperature = first.GetMaxTemperature(1),
                        .wMinTemperature = first.GetMinTemperature(1),
                        .bFahrenheit = true});
    m_pMainTabCtrl->addTab(m_pTemp, tr(kTabNames[kTabTemperature]));

    m_pPower = new CPageCustomPower;
    m_pPower->OnInitDialog();
    m_pMainTabCtrl->addTab(m_pPower, tr(kTabNames[kTabPower]));
    m_pMainTabCtrl->setCurrentIndex(kTabDisplay);
    m_pMainTabCtrl->show();
    return true;
}

void CPageCustom::resizeEvent(QResizeEvent* pEvent)
{
    QWidget::resizeEvent(pEvent);
    if (m_pMainTabCtrl) {
        const int top = m_pMainTabCtrl->geometry().top();
        m_pMainTabCtrl->setGeometry(0, top, width(), std::max(height() - top, 0));
    }
}

QSize CPageCustom::sizeHint() const
{
    if (!m_pMainTabCtrl)
        return QWidget::sizeHint();
    constexpr int kFrame = 8; // the tab control's frame around a sub-page, both sides
    QSize inner(m_pDisplay->minimumWidth() + m_pDisplayScroll->verticalScrollBar()->sizeHint().width(), 0);
    for (const QWidget* page : {static_cast<const QWidget*>(m_pPara), static_cast<const QWidget*>(m_pTemp),
                                static_cast<const QWidget*>(m_pPower)})
        inner = inner.expandedTo(nemora::widgets::NeededSize(page));
    const QPoint at = m_pMainTabCtrl->geometry().topLeft();
    const int buttons = m_pDefault->geometry().right() + 1;
    return {std::max(buttons, at.x() + inner.width() + kFrame),
            at.y() + m_pMainTabCtrl->tabBar()->sizeHint().height() + inner.height() + kFrame};
}

int CPageCustom::CurrentTab() const
{
    return m_pMainTabCtrl ? m_pMainTabCtrl->currentIndex() : kTabDisplay;
}

void CPageCustom::SetCurrentTab(int nTab)
{
    if (m_pMainTabCtrl)
        m_pMainTabCtrl->setCurrentIndex(nTab);
}

QPushButton* CPageCustom::Button(int nId) const
{
    switch (nId) {
    case IDC_READ_FROM_DEVICE:
        return m_pRead;
    case IDC_WRITE_TO_DEVICE:
        return m_pWrite;
    case IDC_LOAD_FILE:
        return m_pLoad;
    case IDC_SAVE_FILE:
        return m_pSave;
    case IDC_DEFAULT:
        return m_pDefault;
    default:
        return nullptr;
    }
}

CDfuUpdate* CPageCustom::GetEngine()
{
    if (!m_pEngine) {
        m_pEngine = new CDfuUpdate(this, m_library, m_pView);
        m_pEngine->SetSnapshotMaker(m_makeSnapshot);
        m_pEngine->SetWriteFailureHooks(
            {[this](nemora::dfuse::TransferJob::Phase phase) { return WriteFailureText(phase); },
             [this] { OfferRestoreAfterFailure(); }});
    }
    return m_pEngine;
}

void CPageCustom::SetSerialLookup(std::function<std::string(const QString&)> lookup)
{
    m_session.SetSerialLookup(
        [lookup = std::move(lookup)](const std::string& path) { return lookup(QString::fromStdString(path)); });
}

QString CPageCustom::LastSnapshot() const
{
    return m_pEngine ? m_pEngine->LastSnapshot() : QString();
}

void CPageCustom::SetSnapshotMaker(
    std::function<nemora::dfuse::SnapshotRequest(const QString&, const CDeviceIdentity&, const QString&)> maker)
{
    m_makeSnapshot = std::move(maker);
    if (m_pEngine)
        m_pEngine->SetSnapshotMaker(m_makeSnapshot);
}

void CPageCustom::Log(const QString& strText)
{
    PAGE_NOTIFY notify;
    notify.hwndFrom = this;
    notify.code = NOTIFY_LOG;
    notify.strText = strText;
    if (m_pView)
        m_pView->OnNotify(0, notify);
}

void CPageCustom::ShowError(const QString& strText)
{
    CMessageBoxDialog box(this, strText, "", nemora::widgets::kBoxError);
    box.DoModal();
}

QString CPageCustom::TransferFolderPath()
{
    std::string error;
    const auto folder = settings::TransferFolder(error);
    if (!folder) {
        ShowError(tr("Unable to use the transfer folder: %1\nSet NEMORA_TRANSFER_DIR to a folder you can write to "
                     "and try again.")
                      .arg(QString::fromStdString(error)));
        return {};
    }
    return QString::fromStdString(folder->string());
}

// ---------------------------------------------------------------- device selection

void CPageCustom::SetDevicePath(const QString& strPath)
{
    m_strDevicePath = strPath;
    m_session.SetDevicePath(strPath.toStdString());
    if (strPath.isEmpty()) {
        m_pRead->setEnabled(false);
        m_pWrite->setEnabled(false);
        if (m_pEngine && !m_bLeavingDfu) {
            if (m_pEngine->IsRunning() && m_session.CurrentWrite() != Writing::Nothing)
                m_pEngine->DeviceGone(); // a write cut short says so, with what it left
            else
                m_pEngine->CloseDevice();
            m_pEngine->ResetDeviceIdentity();
        }
        m_DeviceIdentity.Reset();
    } else if (m_bLeavingDfu && m_pEngine && m_pEngine->DevicePath() != strPath) {
        // The device left update mode at the user's request and came back as its application: the engine
        // goes on showing the outcome, and there is no update-mode device to read.
        m_pRead->setEnabled(true);
        m_pWrite->setEnabled(true);
    } else {
        CDfuUpdate* engine = GetEngine();
        m_pRead->setEnabled(true);
        m_pWrite->setEnabled(true);
        // Another device's arrival re-sends the path: a transfer on this device is left to finish in view.
        // One on a device that is no longer chosen (it went away) ends as an unplug does: said, with what
        // it left.
        if (engine->IsRunning() && engine->DevicePath() != m_strDevicePath &&
            m_session.CurrentWrite() == Writing::Nothing) {
            engine->CloseDevice(); // a read of it: nothing to say
        } else if (engine->IsRunning() && engine->DevicePath() != m_strDevicePath) {
            const QString detail = engine->DetailLabel()->text();
            engine->DeviceGone();
            // The device chosen now is read at once, through the same window: what the cut-short write
            // came to is said in a box first, as for any failed write of this page.
            const QString left = engine->DetailLabel()->text();
            const QString outcome = engine->ProgressBar()->GetWindowText();
            ShowError(left != detail && !left.isEmpty() ? left + "\n\n" + outcome : outcome);
        }
        // The path comes again after any device's arrival or removal: what the user changed and did not
        // write is not read over; only another device, or editors that match the last read, are read.
        const auto pending = engine->IsRunning() ? std::nullopt : m_session.TakePendingOfferForChosen();
        if (pending) {
            // A write failed when the device went away and it is back: the way back comes first. Another
            // device never gets its snapshot.
            const QString snapshot = QString::fromStdString(pending->snapshot);
            engine->hide();
            engine->OpenDevice(m_strDevicePath, QString()); // the identity the snapshot must suit
            if (engine->DeviceIdentity().m_wBcdDevice != 0)
                m_DeviceIdentity = engine->DeviceIdentity();
            // What the device holds now can be read at last; when the write left nothing changed, there is
            // nothing to bring back.
            engine->CloseDevice(); // the read-back opens the device itself
            if (AskToRestoreAfterReadBack(pending->writing, snapshot)) {
                m_bLeavingDfu = false;
                RestoreSnapshot(snapshot);
                return;
            }
        }
        const bool sameDevice = m_session.ChosenWasRead();
        const bool keepEdits = sameDevice && EditsPending();
        if (keepEdits && !engine->IsRunning() && !BusyElsewhere(engine, m_strDevicePath) &&
            m_DeviceIdentity.m_wBcdDevice == 0) {
            // The same device back after a removal: its identity again, for the writes of the edits kept.
            engine->hide();
            engine->OpenDevice(m_strDevicePath, QString());
            m_DeviceIdentity = engine->DeviceIdentity();
            m_session.ReadFromChosen(); // it may have come back at another port
        }
        if (!keepEdits && !engine->IsRunning() && !BusyElsewhere(engine, m_strDevicePath)) {
            if (!sameDevice) {
                m_session.ForgetScreens(); // what is shown was not read from this device
                m_pDisplay->MarkScreensUnread(true);
            }
            engine->hide();
            engine->OpenDevice(m_strDevicePath, QString());
            if (engine->DeviceIdentity().m_wBcdDevice != 0) {
                m_DeviceIdentity = engine->DeviceIdentity();
            }
            if (!m_session.ScreensKnown()) {
                // The family's built-in set, as the baseline that tells the user's edits from it.
                m_pDisplay->SetDeviceIdentity(m_DeviceIdentity);
                m_session.SetScreensAsRead(EncodedLogoArea());
            }
            // Both areas at once: what "Display" shows is then what the device holds too.
            std::vector<AreaToRead> areas{{m_DeviceIdentity.m_dwParamAddress, m_DeviceIdentity.m_dwParamSize}};
            if (m_DeviceIdentity.m_dwLogoSize > 0) {
                areas.push_back({m_DeviceIdentity.m_dwLogoAddress, LogoDataLength(m_DeviceIdentity)});
            }
            m_bSilentRead = true;
            ReadAreas(kParamImageName, areas, false);
        }
    }
    m_bLeavingDfu = false;
}

void CPageCustom::OnDisconnect()
{
    m_session.DropRestore();
    if (m_strDevicePath.isEmpty())
        return;
    CDfuUpdate* engine = GetEngine();
    if (BusyElsewhere(engine, m_strDevicePath)) {
        ShowError(tr(kDeviceBusy));
        return;
    }
    engine->show();
    engine->OpenDevice(m_strDevicePath, QString());
    engine->LeaveDfuMode();
    m_bLeavingDfu = true;
}

// ---------------------------------------------------------------- reading

void CPageCustom::ReadArea(const char* pszName, std::uint32_t dwAddress, std::uint32_t dwSize, bool bShow)
{
    ReadAreas(pszName, {{dwAddress, dwSize}}, bShow);
}

void CPageCustom::ReadAreas(const char* pszName, const std::vector<AreaToRead>& areas, bool bShow)
{
    CDfuUpdate* engine = GetEngine();
    if (engine->IsRunning()) {
        // One transfer at a time; the buffer of the running upload stays as it is.
        if (bShow)
            engine->show();
        return;
    }
    if (BusyElsewhere(engine, m_strDevicePath)) {
        if (bShow)
            ShowError(tr(kDeviceBusy));
        return;
    }
    const QString folder = TransferFolderPath();
    if (folder.isEmpty())
        return;
    const QString filePath = folder + "/" + QString::fromUtf8(pszName) + ".vek";

    std::vector<nemora::settings::CustomizeSession::Area> toRead;
    for (const AreaToRead& area : areas)
        toRead.push_back({area.address, area.size});
    DfuImageHandle hImage = nullptr;
    if (!m_session.PrepareUpload(pszName, toRead, &hImage)) {
        CMessageBoxDialog box(this, tr(kInsertFailure), "", nemora::widgets::kBoxInformation);
        box.DoModal();
        return;
    }

    if (bShow)
        engine->show();
    else
        engine->hide();
    engine->OpenDevice(m_strDevicePath, filePath);
    if (!engine->StartUpload(hImage, m_session.Element())) {
        m_library.STDFUFILES_DestroyImage(hImage); // the engine did not take it
        m_session.CancelUpload();
        m_bSilentRead = false;
    }

    m_DeviceIdentity = engine->DeviceIdentity();
    m_pPower->SetMaxPower(m_DeviceIdentity.GetMaxPower());
}

bool CPageCustom::EditsPending()
{
    return m_session.EditsPending(EditorValues(), EncodedLogoArea());
}

QString CPageCustom::WriteFailureText(nemora::dfuse::TransferJob::Phase phase)
{
    return QString::fromStdString(m_session.WriteFailureText(phase, LastSnapshot().toStdString()));
}

bool CPageCustom::AskToRestore(const QString& strSnapshot, const QString& strHeldNow)
{
    CMessageBoxDialog question(this,
                               (strHeldNow.isEmpty() ? QString() : strHeldNow + "\n\n") +
                                   tr("Write back what the device held before the failed write ?\n"
                                      "The snapshot taken before it: %1")
                                       .arg(strSnapshot),
                               "", nemora::widgets::kBoxYesNoQuestion);
    return question.DoModal() == nemora::widgets::kIdYes;
}

void CPageCustom::OfferRestoreAfterFailure()
{
    using Offer = nemora::settings::CustomizeSession::Offer;
    const auto offer = m_session.AfterFailedWrite(LastSnapshot().toStdString());
    const QString snapshot = QString::fromStdString(offer.snapshot);
    switch (offer.offer) {
    case Offer::None:
        break;
    case Offer::Later:
        Log(tr("The write did not finish on a device that is no longer selected; the way back, %1, is offered when "
               "that device is selected again.")
                .arg(snapshot));
        break;
    case Offer::Ask:
        if (AskToRestore(snapshot))
            RestoreSnapshot(snapshot);
        break;
    case Offer::AskAfterReadBack:
        if (AskToRestoreAfterReadBack(offer.writing, snapshot))
            RestoreSnapshot(snapshot);
        break;
    }
}

bool CPageCustom::AskToRestoreAfterReadBack(Writing writing, const QString& strSnapshot)
{
    const settings::AreaAfterFailure told = m_session.ReadBackAfterFailure(writing, strSnapshot.toStdString());
    if (told.unchanged) {
        Log(QString::fromStdString(told.text)); // the write left it as it was: nothing to bring back
        return false;
    }
    return AskToRestore(strSnapshot, QString::fromStdString(told.text));
}

bool CPageCustom::AskToWriteUnreadScreens(const std::vector<std::uint8_t>& area)
{
    const std::vector<int> untouched = m_session.UntouchedScreens(area, m_pDisplay->GetScreenCount());
    if (untouched.empty())
        return true;
    const QString list = QString::fromStdString(settings::ScreenList(untouched));
    const QString text =
        (untouched.size() == 1 ? tr("Screen %1 was not read from this device: the write would replace them on the "
                                    "device with the built-in screens shown here.\nRead From Device first to keep the "
                                    "device's own. Write anyway ?")
                               : tr("Screens %1 were not read from this device: the write would replace them on the "
                                    "device with the built-in screens shown here.\nRead From Device first to keep the "
                                    "device's own. Write anyway ?"))
            .arg(list);
    CMessageBoxDialog box(this, text, "", nemora::widgets::kBoxYesNoQuestion);
    return box.DoModal() == nemora::widgets::kIdYes;
}

void CPageCustom::OnReadFromDevice()
{
    if (CurrentTab() == kTabDisplay)
        ReadArea(kLogoImageName, m_DeviceIdentity.m_dwLogoAddress, m_DeviceIdentity.m_dwLogoSize, true);
    else
        ReadArea(kParamImageName, m_DeviceIdentity.m_dwParamAddress, m_DeviceIdentity.m_dwParamSize, true);
}

void CPageCustom::ApplyElement()
{
    const auto arrived = m_session.ArrivedArea();
    if (!arrived)
        return;
    m_bFromDevice = true;
    ApplyData(arrived->address, arrived->bytes);
    m_bFromDevice = false;
    if (!m_session.AreaTaken())
        m_bSilentRead = false;
}

void CPageCustom::ApplyData(std::uint32_t dwAddress, std::span<const std::uint8_t> bytes)
{
    switch (ClassifyAreaAddress(m_DeviceIdentity, dwAddress)) {
    case UserArea::Logo:
        m_pDisplay->DecodeLogoArea(bytes, m_DeviceIdentity);
        m_pDisplay->MarkScreensUnread(false);
        m_session.ScreensTakenIn(m_bFromDevice, EncodedLogoArea());
        break;
    case UserArea::Param: {
        const CurveLimits limits = m_session.TakeInRecord(bytes);
        m_pPara->SetParameters(Record().Parameters());
        m_pTemp->SetLimits(limits);
        const CurvePoints temperature = Record().TemperatureCurve();
        m_pTemp->LoadPoints(temperature.data(), kCurveBytes);
        m_pPower->SetLimits(limits);
        const CurvePoints power = Record().PowerCurve();
        m_pPower->LoadPoints(power.data(), kCurveBytes);

        if (!m_bSilentRead)
            update();
        m_pDisplay->SetDeviceIdentity(m_DeviceIdentity);
        if (m_bFromDevice) // loaded values count as the user's changes until written
            m_session.SettingsReadFromDevice(EditorValues(), EncodedLogoArea());
        break;
    }
    case UserArea::None:
        break; // neither area of this device
    }
}

// ---------------------------------------------------------------- writing and saving

SettingsEditorValues CPageCustom::EditorValues()
{
    SettingsEditorValues values;
    values.params = m_pPara->GetParameters();
    m_pTemp->CopyPoints(values.temperatureCurve.data(), kCurveBytes);
    m_pPower->CopyPoints(values.powerCurve.data(), kCurveBytes);
    return values;
}

std::vector<std::uint8_t> CPageCustom::EncodedLogoArea() const
{
    std::vector<std::uint8_t> area(LogoDataLength(m_DeviceIdentity), 0xFF);
    m_pDisplay->EncodeLogoArea(area, m_DeviceIdentity);
    return area;
}

void CPageCustom::OnWriteToDevice()
{
    m_session.DropRestore(); // a restore that did not finish is not followed up any more
    if (!EngineReady())
        return;
    const QString folder = TransferFolderPath();
    if (folder.isEmpty())
        return;

    std::vector<std::uint8_t> bytes;
    std::uint32_t address = 0;
    const int tab = CurrentTab();
    if (tab == kTabDisplay) {
        bytes = EncodedLogoArea();
        address = m_DeviceIdentity.m_dwLogoAddress;
        if (!m_session.ScreensKnown() && !AskToWriteUnreadScreens(bytes))
            return;
    } else {
        // Only the current sub-page's fields are taken from the editors; the rest is as last read.
        SettingsEditorValues values;
        SettingsSubPage current = SettingsSubPage::Parameters;
        if (tab == kTabParameters) {
            values.params = m_pPara->GetParameters();
        } else if (tab == kTabTemperature) {
            current = SettingsSubPage::TemperatureCurve;
            m_pTemp->CopyPoints(values.temperatureCurve.data(), kCurveBytes);
        } else {
            current = SettingsSubPage::PowerCurve;
            m_pPower->CopyPoints(values.powerCurve.data(), kCurveBytes);
        }
        bytes = m_session.SettingsAreaFor(current, values);
        address = m_DeviceIdentity.m_dwParamAddress;
    }

    m_session.BeginWrite(tab == kTabDisplay ? Writing::Screens : Writing::Settings, address, bytes);
    if (!DownloadStaging(folder, settings::MakeStagingFile(m_DeviceIdentity, address, bytes),
                         QString("Write To Device (%1)").arg(QString::fromUtf8(kTabNames[std::clamp(tab, 0, 3)])),
                         "settings write"))
        m_session.EndWrite();
}

bool CPageCustom::EngineReady()
{
    CDfuUpdate* engine = GetEngine();
    if (engine->IsRunning()) {
        engine->show();
        return false;
    }
    if (BusyElsewhere(engine, m_strDevicePath)) {
        ShowError(tr(kDeviceBusy));
        return false;
    }
    return true;
}

bool CPageCustom::DownloadStaging(const QString& strFolder, const nemora::dfuse::DfuFile& file,
                                  const QString& strBefore, const QString& strTitle)
{
    const QString staging = strFolder + "/" + settings::kStagingFileName;
    // A staging file that cannot be written must not leave the previous one to be downloaded.
    if (const nemora::dfuse::Error error = nemora::dfuse::WriteDfuFile(staging.toStdString(), file)) {
        ShowError(tr("Unable to write the staging file %1: %2\nNothing was sent to the device.")
                      .arg(staging, FileErrorText(error)));
        return false;
    }
    CDfuUpdate* engine = GetEngine();
    m_session.WriteGoesToChosen();
    engine->show();
    engine->OpenDevice(m_strDevicePath, staging);
    engine->SetSnapshotReason(strBefore);
    engine->DescribeNextWrite(strTitle, strBefore, std::exchange(m_strRestoreResolves, std::string()));
    // The staging file is the record of this write; what is sent is the image it was written from, so
    // nothing put in its place afterwards can reach the device.
    engine->StartUpgrade(file);
    return true;
}

void CPageCustom::RestoreSnapshotFor(const QString& strPath, const std::string& strResolves)
{
    m_strRestoreResolves = strResolves;
    RestoreSnapshot(strPath);
    m_strRestoreResolves.clear(); // taken by the write when it started
}

void CPageCustom::RestoreSnapshot(const QString& strPath)
{
    if (m_strDevicePath.isEmpty()) {
        ShowError(tr("No device in update mode is selected: plug the device in update mode, select it, and restore "
                     "again."));
        return;
    }
    if (!EngineReady())
        return;
    const settings::SnapshotAreas areas = settings::ReadSnapshot(strPath.toStdString(), m_DeviceIdentity);
    if (!areas.error.empty()) {
        ShowError(tr("Unable to restore the snapshot: %1\nNothing was sent to the device.")
                      .arg(QString::fromStdString(areas.error)));
        return;
    }
    const QString folder = TransferFolderPath();
    if (folder.isEmpty())
        return;
    Log(tr("Restoring the settings from %1").arg(strPath));
    m_session.BeginRestore(strPath.toStdString(), areas.logo, areas.param);
    if (!DownloadStaging(folder, settings::MakeRestoreFile(m_DeviceIdentity, areas),
                         "restore of " + QFileInfo(strPath).fileName(), "settings restore")) {
        m_session.DropRestore();
        m_session.EndWrite();
    }
}

void CPageCustom::OnEngineDone(const QObject* pFrom)
{
    if (pFrom != this)
        return;
    if (m_pEngine && m_pEngine->LastVerified()) {
        if (const std::string change = m_session.DescribeWrite(LastSnapshot().toStdString()); !change.empty()) {
            const QString line = tr("Written and verified: %1").arg(QString::fromStdString(change));
            Log(line);
            m_pEngine->ShowOutcomeLine(line);
        }
    }
    const auto restored = m_session.WriteEnded(m_pEngine && m_pEngine->LastVerified());
    if (!restored)
        return;
    // The device was read back against the snapshot byte for byte: that is what it holds now, and the
    // editors take it in as read, with the engine window left on the restore's own verdict.
    m_bFromDevice = true;
    m_bSilentRead = true;
    if (!restored->logo.empty())
        ApplyData(m_DeviceIdentity.m_dwLogoAddress, restored->logo);
    if (!restored->param.empty())
        ApplyData(m_DeviceIdentity.m_dwParamAddress, restored->param);
    m_bFromDevice = false;
    m_bSilentRead = false;
    update();
    Log(tr("Restored and verified: the Customize tab shows what the device now holds, from %1")
            .arg(QString::fromStdString(m_session.RestoringFrom())));
}

void CPageCustom::OnSaveFile()
{
    const QString path = AskForFile(QFileDialog::AcceptSave);
    if (!path.isEmpty())
        OnSaveFileTo(path);
}

bool CPageCustom::OnSaveFileTo(const QString& strPath)
{
    const std::vector<std::uint8_t> logo = EncodedLogoArea();
    // The file's record is assembled apart: the in-memory record, and with it the next write, stay as they are.
    const std::vector<std::uint8_t> param =
        m_session.SettingsAreaForFile(EditorValues(), m_pTemp->Limits().bFahrenheit);
    if (const nemora::dfuse::Error error = nemora::dfuse::WriteDfuFile(
            strPath.toStdString(), settings::MakeSettingsFile(m_DeviceIdentity, logo, param))) {
        ShowError(tr("Unable to save the settings file %1: %2\nChoose a folder you can write to and save again.")
                      .arg(strPath, FileErrorText(error)));
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- loading

void CPageCustom::OnLoadFile()
{
    const QString path = AskForFile(QFileDialog::AcceptOpen);
    if (!path.isEmpty())
        OnLoadFileFrom(path);
}

QString CPageCustom::AskForFile(int nMode)
{
    using nemora::widgets::FileDialogKind;
    QFileDialog dialog(this, nMode == QFileDialog::AcceptSave ? tr("Save File") : tr("Load File"),
                       nemora::widgets::StartFolder(FileDialogKind::SettingsFile));
    dialog.setAcceptMode(static_cast<QFileDialog::AcceptMode>(nMode));
    dialog.setFileMode(nMode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix("vek");
    dialog.setNameFilters({"vek (*.vek)", tr("All Files (*.*)")});
    dialog.selectFile("*.vek");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    nemora::widgets::KeepFolder(FileDialogKind::SettingsFile, dialog.selectedFiles().front());
    return dialog.selectedFiles().front();
}

bool CPageCustom::OnLoadFileFrom(const QString& strPath)
{
    const nemora::dfuse::ParseResult parsed =
        nemora::dfuse::ReadDfuFile(strPath.toStdString(), true, nemora::dfuse::kMaxSettingsFileSize);
    if (!parsed.file) {
        ShowError(tr("Unable to load the settings file %1: %2\nNothing was changed.")
                      .arg(strPath, FileErrorText(parsed.error)));
        return false;
    }
    std::vector<settings::IgnoredImage> ignored;
    std::vector<settings::SettingsElement> taken;
    for (settings::SettingsElement& element : settings::SettingsElements(*parsed.file, &ignored)) {
        if (ClassifyAreaAddress(m_DeviceIdentity, element.address) == UserArea::None) {
            ignored.push_back({element.imageName,
                               QString::asprintf(tr("its address 0x%08X is neither this device's logo area (0x%08X) "
                                                    "nor its parameter area (0x%08X): it is for another device family")
                                                     .toUtf8()
                                                     .constData(),
                                                 unsigned{element.address}, unsigned{m_DeviceIdentity.m_dwLogoAddress},
                                                 unsigned{m_DeviceIdentity.m_dwParamAddress})
                                   .toStdString()});
            continue;
        }
        taken.push_back(std::move(element));
    }
    QString leftOut;
    for (const settings::IgnoredImage& image : ignored) {
        leftOut += tr("\n- image \"%1\": %2")
                       .arg(QString::fromStdString(image.imageName), QString::fromStdString(image.reason));
    }
    if (taken.empty()) {
        ShowError(
            tr("The settings file %1 holds nothing for this device.%2\nNothing was changed.").arg(strPath, leftOut));
        return false;
    }
    // Images are taken in file order, so a later image for the same area wins.
    for (const settings::SettingsElement& element : taken)
        ApplyData(element.address, element.bytes);
    if (!leftOut.isEmpty()) {
        CMessageBoxDialog box(this, tr("Loaded from %1, but for these, which were left out:%2").arg(strPath, leftOut),
                              "", nemora::widgets::kBoxInformation);
        box.DoModal();
    }
    return true;
}

// ---------------------------------------------------------------- defaults

void CPageCustom::OnDefault()
{
    const int tab = std::clamp(CurrentTab(), 0, 3);
    const RestoreTexts& texts = kRestoreTexts[tab];
    CMessageBoxDialog question(this, tr(kRestoreQuestion) + QString(12, ' ') + tr(texts.question), tr("Warning"),
                               nemora::widgets::kBoxYesNoQuestion);
    if (question.DoModal() == nemora::widgets::kIdNo)
        return;
    switch (tab) {
    case kTabDisplay:
        m_pDisplay->ResetAllScreens();
        break;
    case kTabParameters:
        m_pPara->RestoreDefaults();
        break;
    case kTabTemperature:
        m_pTemp->RestoreDefaults();
        break;
    default:
        m_pPower->RestoreDefaults();
        break;
    }
    CMessageBoxDialog notice(this, tr(texts.notice) + tr("Has been restored to the default value!"), tr("Hints"),
                             nemora::widgets::kBoxInformation);
    notice.DoModal();
}

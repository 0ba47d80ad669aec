#include "firmware/page_update.h"

#include "dfuse/dfu_file.h"

#include "dfu/dfu_update.h"
#include "dfuse/dfuse_contract.h"
#include "settings/change_report.h"
#include "settings/snapshots.h"
#include "widgets/dialog_units.h"
#include "widgets/file_folders.h"
#include "widgets/message_box_dialog.h"
#include "widgets/message_box_model.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using nemora::dfuse::IDfuseLibrary;
using nemora::widgets::DialogRect;

namespace {

// A user area as the user reads it; the page decides on the names as the snapshots give them.
QString ShownAreaName(const std::string& name)
{
    if (name == "logo area")
        return QCoreApplication::translate("CPageUpdate", "logo area");
    if (name == "parameter area")
        return QCoreApplication::translate("CPageUpdate", "parameter area");
    return QString::fromStdString(name);
}

bool IsEnter(const QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

CPageUpdate::CPageUpdate(QWidget* pParent, IDfuseLibrary& library, INotifyReceiver* pView)
    : QWidget(pParent), m_library(library), m_pView(pView), m_pChooseLabel(new QLabel(tr(" Choose file"), this)),
      m_pFileEdit(new QLineEdit(this)), m_pChoose(new QPushButton(tr("Choose"), this)),
      m_pDownload(new QPushButton(tr("DNLOAD"), this)),
      m_pProduct(new QLabel(QString::fromStdString(UnknownDeviceNameText()), this)),
      m_pModel(new QLabel(QString::fromStdString(UnknownDeviceNameText()), this)),
      m_pVersion(new QLabel(QString::fromStdString(UnknownDeviceNameText()), this))
{
    // The page's form, in dialog units.
    const nemora::widgets::DialogUnitScale du = nemora::widgets::DialogUnitsFor(font());
    auto frame = [&](int x, int y, int w, int h) {
        auto* box = new QFrame(this);
        box->setFrameShape(QFrame::Box);
        box->setFrameShadow(QFrame::Sunken);
        box->setGeometry(DialogRect(du, x, y, w, h));
        box->lower();
    };
    auto label = [&](const QString& text, int x, int y, int w, int h) {
        auto* l = new QLabel(text, this);
        l->setGeometry(DialogRect(du, x, y, w, h));
    };
    m_pChooseLabel->setGeometry(DialogRect(du, 29, 23, 52, 10));
    m_pFileEdit->setGeometry(DialogRect(du, 80, 20, 216, 14));
    m_pChoose->setGeometry(DialogRect(du, 306, 21, 54, 12));
    m_pDownload->setGeometry(DialogRect(du, 34, 157, 139, 14));
    frame(34, 46, 384, 76);
    frame(34, 46, 90, 28);
    frame(123, 46, 295, 28);
    frame(34, 70, 90, 28);
    frame(34, 94, 90, 28);
    frame(123, 70, 295, 28);
    frame(123, 94, 295, 28);
    label(tr("Suitable For Product:"), 44, 57, 78, 8);
    label(tr("Suitable For Model:"), 44, 81, 78, 8);
    label(tr("FW Version:"), 44, 106, 40, 8);
    m_pProduct->setGeometry(DialogRect(du, 131, 55, 263, 11));
    m_pModel->setGeometry(DialogRect(du, 131, 79, 264, 13));
    m_pVersion->setGeometry(DialogRect(du, 131, 103, 142, 13));
    m_pAreas = new QLabel(this);
    m_pAreas->setObjectName("m_staticAreas");
    m_pAreas->setWordWrap(true);
    m_pAreas->setStyleSheet("color: #B00000;");
    m_pAreas->setGeometry(DialogRect(du, 34, 125, 384, 28));
    m_pAreas->hide();
    setMinimumSize(du.Dx(599), du.Dy(268));

    QFont editFont;
    editFont.setFamilies({"Calibri", "Carlito", "DejaVu Sans"});
    editFont.setPixelSize(20);
    editFont.setWeight(QFont::Normal);
    m_pFileEdit->setFont(editFont);
    m_pFileEdit->setFixedHeight(std::max(m_pFileEdit->height(), QFontMetrics(editFont).height() + 6));

    for (QWidget* control :
         {static_cast<QWidget*>(m_pFileEdit), static_cast<QWidget*>(m_pChoose), static_cast<QWidget*>(m_pDownload)})
        control->installEventFilter(this);
    connect(m_pChoose, &QPushButton::clicked, this, &CPageUpdate::OnChoose);
    connect(m_pDownload, &QPushButton::clicked, this, &CPageUpdate::OnDownload);
}

bool CPageUpdate::OnInitDialog()
{
    m_pChooseLabel->setText(tr("Choose file"));
    m_pChoose->setText(tr("Choose..."));
    m_pDownload->setText(tr("Download"));
    m_pDownload->setEnabled(false);
    ShowFileIdentity(m_FileIdentity);
    return true;
}

bool CPageUpdate::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (IsEnter(pEvent))
        return true; // Enter neither closes the page nor reaches a control
    return QWidget::eventFilter(pWatched, pEvent);
}

void CPageUpdate::keyPressEvent(QKeyEvent* pEvent)
{
    if (IsEnter(pEvent)) {
        pEvent->accept();
        return;
    }
    QWidget::keyPressEvent(pEvent);
}

void CPageUpdate::ShowFileIdentity(CDeviceIdentity identity)
{
    // Only shown: the lookups are preset with the texts in the user's language.
    std::string text = UnknownProductNameText();
    identity.GetProductName(text);
    m_pProduct->setText(QString::fromStdString(text));
    text = UnknownModelNameText();
    identity.GetModelName(text);
    m_pModel->setText(QString::fromStdString(text));
    text = kUnknownFirmwareVersion;
    identity.GetFirmwareVersion(text);
    m_pVersion->setText(QString::fromStdString(text));

    if (!m_DeviceIdentity.IsIncomplete() &&
        (m_DeviceIdentity.m_wVid != identity.m_wVid || m_DeviceIdentity.m_wPid != identity.m_wPid ||
         m_DeviceIdentity.m_wModelId != identity.m_wModelId)) {
        // Said at once, with both models named: the engine refuses such a file whatever one answers.
        std::string fileModel = UnknownModelNameText();
        identity.GetModelName(fileModel);
        std::string deviceModel = UnknownModelNameText();
        m_DeviceIdentity.GetModelName(deviceModel);
        const QString refusal = tr("This file is for %1 (model %2), not for the device attached, %3 (model %4): "
                                   "it cannot be written into it.\nChoose a firmware file made for %3.")
                                    .arg(QString::fromStdString(fileModel))
                                    .arg(identity.m_wModelId)
                                    .arg(QString::fromStdString(deviceModel))
                                    .arg(m_DeviceIdentity.m_wModelId);
        CMessageBoxDialog box(this, refusal, "", nemora::widgets::kBoxWarning);
        box.DoModal();
    }
}

void CPageUpdate::OnChoose()
{
    using nemora::widgets::FileDialogKind;
    QFileDialog dialog(this, tr("Choose a firmware file"), nemora::widgets::StartFolder(FileDialogKind::Firmware));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix("vek");
    dialog.setNameFilters({tr("vek Files (*.vek)"), tr("All Files (*.*)")});
    dialog.selectFile("*.vek");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    nemora::widgets::KeepFolder(FileDialogKind::Firmware, dialog.selectedFiles().front());
    OnChooseFile(dialog.selectedFiles().front());
}

void CPageUpdate::OnChooseFile(const QString& strPath)
{
    m_strFilePath = strPath;
    DfuFileHandle hFile = nullptr;
    std::uint16_t vid = 0, pid = 0, bcd = 0;
    std::uint8_t images = 0;
    if (const std::uint32_t code =
            m_library.STDFUFILES_OpenExistingDFUFile(strPath.toStdString(), &hFile, &vid, &pid, &bcd, &images);
        code != nemora::dfuse::STDFU_NOERROR) {
        ReportRefusedFile(strPath, code);
        return;
    }
    CDeviceIdentity fileIdentity;
    fileIdentity.SetIds(vid, pid, bcd);
    m_FileIdentity = fileIdentity;

    bool good = true;
    m_fileImages.clear();
    for (int i = 0; i < images && good; ++i) {
        DfuImageHandle hImage = nullptr;
        if (m_library.STDFUFILES_ReadImageFromDFUFile(hFile, i, &hImage) != nemora::dfuse::STDFU_NOERROR) {
            good = false;
            break;
        }
        nemora::dfuse::Image image;
        good = nemora::dfuse::ReadImageValue(m_library, hImage, image);
        m_fileImages.push_back(std::move(image));
        m_library.STDFUFILES_DestroyImage(hImage);
    }
    m_library.STDFUFILES_CloseDFUFile(hFile);
    if (!good)
        m_fileImages.clear();

    if (!good)
        ReportRefusedFile(strPath, 0);
    if (good)
        Log(tr("File chosen: %1").arg(strPath));
    m_pFileEdit->setText(good ? strPath : QString());
    if (!good)
        m_pDownload->setEnabled(false);
    else if (!m_strDevicePath.isEmpty() && !EngineRunning())
        m_pDownload->setEnabled(true);
    ShowFileIdentity(m_FileIdentity);
    ShowAreasWarning();
}

void CPageUpdate::ShowAreasWarning()
{
    m_strAreasTouched.clear();
    m_strAreasShown.clear();
    if (!m_strDevicePath.isEmpty() && !m_DeviceIdentity.IsIncomplete() && !m_pFileEdit->text().isEmpty()) {
        QStringList names;
        for (const std::string& name : nemora::settings::UserAreasTouched(m_fileImages, m_DeviceIdentity)) {
            names << QString::fromStdString(name);
            m_strAreasShown = m_strAreasShown.isEmpty() ? ShownAreaName(name)
                                                        : tr("%1 and %2").arg(m_strAreasShown, ShownAreaName(name));
        }
        m_strAreasTouched = names.join(" and ");
    }
    if (m_strAreasTouched.isEmpty()) {
        m_pAreas->hide();
        return;
    }
    const bool bLogo = m_strAreasTouched.contains("logo");
    const bool bParam = m_strAreasTouched.contains("parameter");
    const QString what = bLogo && bParam ? tr("its screen images, coil settings and curves")
                         : bLogo         ? tr("its screen images")
                                         : tr("its coil settings and curves");
    m_pAreas->setText(tr("This file also overwrites the device's %1 (%2). A snapshot of them is taken before the "
                         "download; you can restore it afterwards.")
                          .arg(m_strAreasShown, what));
    m_pAreas->show();
}

void CPageUpdate::SetSnapshotMaker(
    std::function<nemora::dfuse::SnapshotRequest(const QString&, const CDeviceIdentity&, const QString&)> maker)
{
    m_makeSnapshot = std::move(maker);
    if (m_pDfuUpdate)
        m_pDfuUpdate->SetSnapshotMaker(m_makeSnapshot);
}

void CPageUpdate::OnEngineDone(const QObject* pFrom)
{
    if (pFrom == this && m_pDfuUpdate && m_pDfuUpdate->LastVerified() && !std::exchange(m_bChangeShown, true)) {
        const CDfuUpdate::WriteCounts& counts = m_pDfuUpdate->LastWriteCounts();
        const QString change = QString::fromStdString(nemora::settings::DescribeFirmwareChange(
            counts.pagesWritten, counts.pagesCompared, counts.Whole(),
            nemora::settings::UserAreasTouched(m_fileImages, m_pDfuUpdate->DeviceIdentity())));
        Log(tr("Written and verified: %1").arg(change));
        m_pDfuUpdate->ShowOutcomeLine(tr("Written and verified: %1").arg(change));
    }
    if (pFrom != this || !m_pDfuUpdate || m_strAreasTouched.isEmpty() || m_pDfuUpdate->LastSnapshot().isEmpty() ||
        m_pDfuUpdate->LastSnapshot() == m_strOfferedSnapshot)
        return; // closing the window afterwards tells the view again: one offer per update
    const QString snapshot = m_pDfuUpdate->LastSnapshot();
    m_strOfferedSnapshot = snapshot;
    CMessageBoxDialog question(
        this,
        tr("The update replaced the device's %1.\nRestore your settings from the snapshot taken before it ?\n%2")
            .arg(m_strAreasShown, snapshot),
        "", nemora::widgets::kBoxYesNoQuestion);
    if (question.DoModal() == nemora::widgets::kIdYes) {
        // The update's verdict is in the Log; one engine window, the restore's, follows from here.
        m_pDfuUpdate->hide();
        Notify(NOTIFY_RESTORE_SNAPSHOT, snapshot);
    }
}

void CPageUpdate::ReportRefusedFile(const QString& strPath, std::uint32_t code)
{
    // The page's rules stay as they are; the user learns why the file was not taken.
    QString reason = tr("one of its images cannot be read");
    if (code != 0) {
        const auto error = nemora::dfuse::FileErrorFromCode(code);
        reason = error ? QString::fromStdString(nemora::dfuse::DescribeShown(*error))
                       : QString::asprintf(tr("error 0x%08X").toUtf8().constData(), code);
    }
    const QString text = tr("The file \"%1\" cannot be used: %2.\nChoose a firmware file (.vek) made for your device.")
                             .arg(QFileInfo(strPath).fileName(), reason);
    Log(tr("File refused: %1: %2").arg(strPath, reason));
    CMessageBoxDialog box(this, text, tr("Warning"), nemora::widgets::kBoxWarning);
    box.DoModal();
}

void CPageUpdate::Log(const QString& strLine)
{
    Notify(NOTIFY_LOG, strLine);
}

void CPageUpdate::Notify(std::uint32_t nCode, const QString& strText)
{
    if (m_pView == nullptr)
        return;
    PAGE_NOTIFY notify;
    notify.hwndFrom = this;
    notify.code = nCode;
    notify.strText = strText;
    m_pView->OnNotify(0, notify);
}

void CPageUpdate::OnDownload()
{
    m_strFilePath = m_pFileEdit->text();
    if (!m_pDfuUpdate) {
        m_pDfuUpdate = new CDfuUpdate(this, m_library, m_pView);
        m_pDfuUpdate->SetSnapshotMaker(m_makeSnapshot);
        // A device this user may not open: the engine offers the driver installer, which the view runs.
        m_pDfuUpdate->SetDriverInstaller([this] { Notify(NOTIFY_INSTALL_DRIVER, {}); });
    }
    m_pDfuUpdate->show();
    m_pDfuUpdate->OpenDevice(m_strDevicePath, m_strFilePath);
    m_pDfuUpdate->SetSnapshotReason("firmware update " + QFileInfo(m_strFilePath).fileName());
    if (!m_strNextTitle.isEmpty())
        m_pDfuUpdate->DescribeNextWrite(std::exchange(m_strNextTitle, QString()),
                                        std::exchange(m_strNextDetail, QString()),
                                        std::exchange(m_strNextResolves, std::string()));
    m_bChangeShown = false;
    m_pDfuUpdate->StartUpgrade();
    m_pDownload->setEnabled(false);
}

bool CPageUpdate::WriteAgain(const QString& strPath, const QString& strTitle, const QString& strDetail,
                             const std::string& strResolves)
{
    OnChooseFile(strPath);
    if (m_strDevicePath.isEmpty() || m_pFileEdit->text() != strPath || EngineRunning())
        return false;
    m_strNextTitle = strTitle;
    m_strNextDetail = strDetail;
    m_strNextResolves = strResolves;
    OnDownload();
    return true;
}

void CPageUpdate::SetDevicePath(const QString& strPath)
{
    m_strDevicePath = strPath;
    if (strPath.isEmpty()) {
        if (m_pDfuUpdate) {
            // A download cut short stays in view with what it left on the device; anything else closes.
            m_pDfuUpdate->DeviceGone();
            m_pDfuUpdate->ResetDeviceIdentity();
        }
        m_DeviceIdentity.Reset();
    }
    // A device event during a download (any device's arrival re-sends the same path) must not offer a
    // second download while the first runs.
    m_pDownload->setEnabled(!m_strDevicePath.isEmpty() && !m_strFilePath.isEmpty() && !EngineRunning());
    ShowAreasWarning();
}

void CPageUpdate::EnableDownload(bool bEnable)
{
    m_pDownload->setEnabled(bEnable && !m_strDevicePath.isEmpty() && !m_strFilePath.isEmpty() && !EngineRunning());
}

bool CPageUpdate::EngineRunning() const
{
    return m_pDfuUpdate && m_pDfuUpdate->IsRunning();
}

#include "dfu/dfu_update.h"

#include "dfu/dfu_texts.h"
#include "dfu/text_progress_ctrl.h"
#include "dfuse/dfuse_operations.h"
#include "widgets/dialog_units.h"
#include "widgets/message_box_dialog.h"

#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>
#include <cstring>

namespace {

using namespace nemora::dfuse;

constexpr std::uint32_t kOk = STDFU_NOERROR;
// Bounds the status polls that wait for dfuIDLE, so a device that never gets there cannot hang the window.
constexpr int kMaxIdleAttempts = 16;

const QColor kNearWhite(255, 255, 250);
const QColor kTeal(0, 128, 128);
const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);

constexpr const char* kNoTargetText = "Please select one or several targets before !";
constexpr const char* kNoFileDataText = "Unable to find data for that device from the file ";

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
      m_clock([] { return QDateTime::currentSecsSinceEpoch(); })
{
    setWindowTitle("Updating");
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

    m_pOkButton = new QPushButton("OK", this);
    m_pOkButton->setGeometry(DialogRect(du, 243, 38, 50, 14));
    connect(m_pOkButton, &QPushButton::clicked, this, &CDfuUpdate::reject);

    m_pProgress = new CTextProgressCtrl(this);
    m_pProgress->setGeometry(DialogRect(du, 25, 5, 265, 14));

    m_pSizeLabel = new QLabel("0 K", this);
    m_pSizeLabel->setGeometry(DialogRect(du, 26, 22, 166, 14));
    m_pElapsedLabel = new QLabel("00:00:00", this);
    m_pElapsedLabel->setGeometry(DialogRect(du, 249, 23, 41, 12));

    m_pTargetList = new QTreeWidget(this);
    m_pTargetList->setGeometry(DialogRect(du, 174, 43, 60, 6));
    m_pTargetList->setRootIsDecorated(false);
    m_pTargetList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pTargetList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTargetList->setHeaderLabels({"Id", "Name", "Available Sectors (Double Click for more)", ""});
    m_pTargetList->headerItem()->setTextAlignment(0, Qt::AlignCenter);
    m_pTargetList->setColumnWidth(0, 60);
    m_pTargetList->setColumnWidth(1, 160);
    m_pTargetList->setColumnWidth(2, 210);
    m_pTargetList->setColumnWidth(3, 0);
    m_pTargetList->hide();

    m_pProgress->SetShowText(false);
    m_pProgress->SetRange(0, 100);
    m_pProgress->SetPos(0);
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

void CDfuUpdate::ShowStatus(const QString& strText)
{
    if (m_nCurrentTarget >= 0) {
        m_pProgress->SetWindowText(m_strDeviceName + QString::asprintf(" %02i: ", m_nCurrentTarget) + strText);
    } else {
        m_pProgress->SetWindowText(strText);
    }
    m_pProgress->SetShowText(true);
}

void CDfuUpdate::ShowError(const QString& strText)
{
    m_pProgress->SetBgColour(kNearWhite);
    m_pProgress->SetTextBkColour(kNearWhite);
    m_pProgress->SetBarColour(kRed);
    m_pProgress->SetTextColour(kRed);
    ShowStatus(strText);
}

void CDfuUpdate::ShowMessage(const QString& strText, std::uint32_t nStyle)
{
    m_strLastMessage = strText;
    CMessageBoxDialog box(this, strText, "", nStyle);
    box.DoModal();
}

void CDfuUpdate::ReportOperationFailure(const DFUThreadContext& context)
{
    const auto report = nemora::dfu::BuildFailureReport(context, m_strDeviceName.toStdString(), m_nCurrentTarget);
    ShowError(FromStd(report.errorLine));
    ShowMessage(FromStd(report.message), 0x00);
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
    m_strDeviceName = "Unknow Device";
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

    DfuDeviceHandle hDevice = nullptr;
    if (m_library.STDFU_Open(strDevicePath.toStdString(), &hDevice) != kOk) {
        return;
    }

    bool bLinkOk = false;
    if (m_library.STDFU_GetDeviceDescriptor(hDevice, m_DeviceDescriptor) != kOk) {
        ShowError("Unable to get descriptors... Bad Firmware");
    } else {
        m_DfuDescriptor.fill(0);
        std::uint32_t nInterface = 0;
        std::uint32_t nAlternates = 0;
        if (m_library.STDFU_GetDFUDescriptor(hDevice, &nInterface, &nAlternates, m_DfuDescriptor) != kOk) {
            ShowError("Unable to get DFU descriptor... Bad Firmware");
        } else {
            UpdateData(false);
            const std::uint16_t wVersion = Le16(&m_DfuDescriptor[7]);
            if (!nemora::dfu::IsSupportedDfuVersion(wVersion)) {
                if (wVersion != 0) {
                    ShowError("Bad Updating protocol version. Should be 1.1A");
                }
            } else if (nemora::dfu::IsDfuModePath(strDevicePath.toStdString())) {
                m_strDevVid = QString::asprintf("%04X", Le16(&m_DeviceDescriptor[8]));
                m_strDevPid = QString::asprintf("%04X", Le16(&m_DeviceDescriptor[10]));
                m_strDevBcd = QString::asprintf("%04X", Le16(&m_DeviceDescriptor[12]));
                if (m_library.STDFUPRT_CreateMappingFromDevice(strDevicePath.toStdString(), &m_Mapping) == kOk) {
                    m_bHasMapping = true;
                    bLinkOk = true;
                } else {
                    m_Mapping.clear();
                    ShowError("Unable to find or decode device mapping... Bad Firmware");
                }
            } else {
                // Another interface of the device (application mode): reachable, but nothing to map.
                bLinkOk = true;
            }
        }
    }

    if (bLinkOk) {
        const bool bOptionTarget = (m_Mapping.size() > 0 && m_Mapping[0].szName == kOptionBytesTargetName) ||
                                   (m_Mapping.size() > 1 && m_Mapping[1].szName == kOptionBytesTargetName);
        if (bOptionTarget) {
            OptionBytesProbe(hDevice);
        }
        FillTargetList();
    }

    m_library.STDFU_Close(&hDevice);

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

bool CDfuUpdate::WaitForIdle(DfuDeviceHandle hDevice)
{
    DFUSTATUS status;
    if (m_library.STDFU_Getstatus(hDevice, &status) != kOk) {
        return false;
    }
    for (int i = 0; status.bState != STATE_DFU_IDLE; ++i) {
        if (i == kMaxIdleAttempts) {
            return false;
        }
        m_library.STDFU_Clrstatus(hDevice);
        if (m_library.STDFU_Getstatus(hDevice, &status) != kOk) {
            return false;
        }
    }
    return true;
}

void CDfuUpdate::OptionBytesProbe(DfuDeviceHandle hDevice)
{
    std::optional<nemora::dfu::OptionByteFamily> family;
    if (m_Mapping.size() > 1 && !m_Mapping[1].sectors.empty()) {
        family = nemora::dfu::OptionByteFamilyFor(m_Mapping[1].sectors[0].dwStartAddress);
    }
    std::array<std::uint8_t, 32> buffer{};

    bool bProtected = false;
    if (m_library.STDFU_SelectCurrentConfiguration(hDevice, 0, 0, 1) == kOk) {
        if (!WaitForIdle(hDevice)) {
            return;
        }
        const auto command = nemora::dfu::SetAddressCommand(0x08000000);
        m_library.STDFU_Dnload(hDevice, command.data(), static_cast<std::uint32_t>(command.size()), 0);
        if (!WaitForIdle(hDevice)) {
            return;
        }
        m_library.STDFU_Upload(hDevice, buffer.data(), 16, 2);
        DFUSTATUS status;
        if (m_library.STDFU_Getstatus(hDevice, &status) != kOk) {
            return;
        }
        bProtected = status.bState == STATE_DFU_ERROR;
        if (status.bState != STATE_DFU_IDLE) {
            m_library.STDFU_Clrstatus(hDevice);
            if (!WaitForIdle(hDevice)) {
                return;
            }
        }
    }

    if (!bProtected && family && m_library.STDFU_SelectCurrentConfiguration(hDevice, 0, 0, 1) == kOk) {
        if (!WaitForIdle(hDevice)) {
            return;
        }
        const auto command = nemora::dfu::SetAddressCommand(family->address);
        m_library.STDFU_Dnload(hDevice, command.data(), static_cast<std::uint32_t>(command.size()), 0);
        if (!WaitForIdle(hDevice)) {
            return;
        }
        m_library.STDFU_Upload(hDevice, buffer.data(), family->readLength, 2);
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
        pItem->setText(2, QString::asprintf("%i sectors...", static_cast<int>(target.sectors.size())));
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
    m_nCurrentTarget = FirstSelectedTarget();
    if (m_nCurrentTarget < 0) {
        ShowError(kNoTargetText);
        return false;
    }
    return true;
}

bool CDfuUpdate::Launch(std::uint32_t dwOperation, DfuImageHandle hImage, const QColor* pBarColour)
{
    DFUThreadContext context;
    context.Operation = dwOperation;
    context.hImage = hImage;
    context.bDontSendFFTransfersForUpgrade = false; // send every block: nothing is left out
    context.szDevLink = m_strDevicePath.toStdString().substr(0, 259);
    const std::uint32_t code = m_library.STDFUPRT_LaunchOperation(context, &m_hOperation);
    if (code != kOk) {
        m_hOperation = nullptr;
        context.ErrorCode = code;
        ReportOperationFailure(context);
        return false;
    }
    if (pBarColour != nullptr) {
        m_pProgress->SetPos(0);
        m_pProgress->SetWindowText("");
        m_pProgress->SetShowText(true);
        m_pProgress->SetBgColour(kNearWhite);
        m_pProgress->SetTextBkColour(kNearWhite);
        m_pProgress->SetBarColour(*pBarColour);
        m_pProgress->SetTextColour(*pBarColour);
    }
    return true;
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

void CDfuUpdate::RecordStartTime()
{
    m_nStartTime = m_clock();
}

void CDfuUpdate::SetInitialSizeText(DfuImageHandle hImage)
{
    std::uint32_t size = 0;
    m_library.STDFUFILES_GetImageSize(hImage, &size);
    m_strSizeText = FromStd(nemora::dfu::TransferSizeText(size, 0));
}

void CDfuUpdate::DestroyImage(DfuImageHandle& hImage)
{
    if (hImage != nullptr) {
        m_library.STDFUFILES_DestroyImage(hImage);
        hImage = nullptr;
    }
}

// ---------------------------------------------------------------------------------------------------------
// Upgrade and verify

void CDfuUpdate::StartUpgrade()
{
    if (IsRunning() || !SelectTargets()) {
        return;
    }
    UpgradeTarget();
    UpdateData(false);
    m_strUploadFile.clear();
}

DfuImageHandle CDfuUpdate::TakeSourceImage(DfuFileHandle hFile, int nImages)
{
    // The first image for the current target is the source; unreadable images are skipped, the others
    // destroyed. The file is closed either way.
    DfuImageHandle hSource = nullptr;
    for (int i = 0; i < nImages; ++i) {
        DfuImageHandle hImage = nullptr;
        if (m_library.STDFUFILES_ReadImageFromDFUFile(hFile, i, &hImage) != kOk) {
            continue;
        }
        std::uint8_t nAlternate = 0;
        if (hSource == nullptr && m_library.STDFUFILES_GetImageAlternate(hImage, &nAlternate) == kOk &&
            nAlternate == m_nCurrentTarget) {
            hSource = hImage;
        } else {
            m_library.STDFUFILES_DestroyImage(hImage);
        }
    }
    m_library.STDFUFILES_CloseDFUFile(hFile);
    return hSource;
}

void CDfuUpdate::UpgradeTarget()
{
    UpgradeTargetSteps();
    // The timer runs whatever happened; its first tick without an operation stops it again.
    StartPollTimer();
}

void CDfuUpdate::UpgradeTargetSteps()
{
    const MappingTarget* pTarget = TargetAt(m_nCurrentTarget);
    DfuFileHandle hFile = nullptr;
    std::uint16_t wVid = 0, wPid = 0, wBcd = 0;
    std::uint8_t nImages = 0;
    if (pTarget == nullptr || m_library.STDFUFILES_OpenExistingDFUFile(m_strUpgradeFile.toStdString(), &hFile, &wVid,
                                                                       &wPid, &wBcd, &nImages) != kOk) {
        ShowError(kNoFileDataText);
        return;
    }
    m_strFileVid = QString::asprintf("%04X", wVid);
    m_strFilePid = QString::asprintf("%04X", wPid);
    m_strFileBcd = QString::asprintf("%04X", wBcd);

    DfuImageHandle hSource = TakeSourceImage(hFile, nImages);
    if (hSource == nullptr) {
        ShowError(kNoFileDataText);
        return;
    }

    if (!nemora::dfu::FileSuitsDevice(m_strDevVid.toStdString(), m_strDevPid.toStdString(), m_strDevBcd.toStdString(),
                                      m_strFileVid.toStdString(), m_strFilePid.toStdString(),
                                      m_strFileBcd.toStdString())) {
        const std::uint32_t dwModel = nemora::dfu::DeviceModelFromBcdText(m_strDevBcd.toStdString());
        m_library.STDFUFILES_DestroyImage(hSource);
        m_nCurrentTarget = -1;
        ShowError(QString::asprintf("This file is not supposed to be used with device,ID:0x%04x!!", dwModel));
        return;
    }

    DestroyImage(m_hImageCopy);
    if (m_library.STDFUFILES_DuplicateImage(hSource, &m_hImageCopy) != kOk) {
        m_hImageCopy = nullptr;
        m_library.STDFUFILES_DestroyImage(hSource);
        ShowError(kNoFileDataText);
        return;
    }
    m_library.STDFUFILES_FilterImageForOperation(m_hImageCopy, pTarget, OPERATION_UPGRADE, false);
    m_library.STDFUFILES_FilterImageForOperation(hSource, pTarget, OPERATION_ERASE, false);
    SetInitialSizeText(m_hImageCopy);

    RecordStartTime();
    if (!Launch(OPERATION_ERASE, hSource, &kGreen)) {
        m_library.STDFUFILES_DestroyImage(hSource);
        DestroyImage(m_hImageCopy);
    }
}

void CDfuUpdate::VerifyTarget()
{
    const MappingTarget* pTarget = TargetAt(m_nCurrentTarget);
    DfuFileHandle hFile = nullptr;
    std::uint8_t nImages = 0;
    DfuImageHandle hSource = nullptr;
    const std::uint32_t code = m_library.STDFUFILES_OpenExistingDFUFile(m_strUpgradeFile.toStdString(), &hFile, nullptr,
                                                                        nullptr, nullptr, &nImages);
    if (code != kOk) {
        DFUThreadContext context;
        context.Operation = OPERATION_UPLOAD;
        context.ErrorCode = code;
        ReportOperationFailure(context);
    } else {
        hSource = TakeSourceImage(hFile, nImages);
    }
    if (hSource == nullptr || pTarget == nullptr) {
        DestroyImage(hSource);
        ShowError("Unable to find data for that target in the dfu file...");
        return;
    }

    DestroyImage(m_hImageCopy);
    m_library.STDFUFILES_FilterImageForOperation(hSource, pTarget, OPERATION_UPLOAD, false);
    if (m_library.STDFUFILES_DuplicateImage(hSource, &m_hImageCopy) != kOk) {
        m_hImageCopy = nullptr;
        m_library.STDFUFILES_DestroyImage(hSource);
        ShowError("Unable to get data from source image...");
        return;
    }
    if (Launch(OPERATION_UPLOAD, hSource, &kTeal)) {
        StartPollTimer();
    } else {
        m_library.STDFUFILES_DestroyImage(hSource);
        DestroyImage(m_hImageCopy);
    }
}

void CDfuUpdate::OnVerifyComplete(DfuImageHandle hReadImage)
{
    bool bOk = true;
    bool bMismatch = false;
    std::uint32_t nElements = 0;
    if (m_library.STDFUFILES_GetImageNbElement(hReadImage, &nElements) != kOk) {
        ShowError("Unable to get elements from read image...");
        bOk = false;
        nElements = 0;
    }
    for (std::uint32_t i = 0; i < nElements && bOk && !bMismatch; ++i) {
        DfuElement read;
        std::vector<std::uint8_t> readData;
        bool bRead = m_library.STDFUFILES_GetImageElement(hReadImage, i, &read) == kOk;
        if (bRead) {
            readData.resize(read.dwDataLength);
            read.Data = readData.data();
            bRead = m_library.STDFUFILES_GetImageElement(hReadImage, i, &read) == kOk;
        }
        if (!bRead) {
            ShowError("Unable to get data from read image...");
            bOk = false;
            break;
        }
        DfuElement file;
        std::vector<std::uint8_t> fileData;
        bool bFile = m_library.STDFUFILES_GetImageElement(m_hImageCopy, i, &file) == kOk;
        if (bFile) {
            fileData.resize(file.dwDataLength);
            file.Data = fileData.data();
            bFile = m_library.STDFUFILES_GetImageElement(m_hImageCopy, i, &file) == kOk;
        }
        if (!bFile) {
            ShowError("Unable to get data from source image...");
            bOk = false;
            break;
        }
        const std::size_t nCommon = std::min(readData.size(), fileData.size());
        for (std::size_t j = 0; j < nCommon; ++j) {
            if (readData[j] != fileData[j]) {
                ShowError("Verify successful, but data not matching...");
                bMismatch = true;
                ShowMessage(QString::asprintf("Matching not good. First Difference at address 0x%08X:\nFile  byte  "
                                              "is  0x%02X.\nRead byte is 0x%02X.",
                                              static_cast<unsigned>(file.dwAddress + j), fileData[j], readData[j]),
                            0x00);
                break;
            }
        }
        if (!bMismatch && readData.size() != fileData.size()) {
            // Cannot happen with a fitted copy; a length difference still is not a match.
            ShowError("Verify successful, but data not matching...");
            bMismatch = true;
        }
    }

    DestroyImage(m_hImageCopy);

    // A mismatch ends the verify pass: the red bar and the reported address stay for the user to see.
    if (bOk && !bMismatch) {
        ShowStatus("Verify successful !");
        m_nCurrentTarget = NextSelectedTarget(m_nCurrentTarget);
        if (m_nCurrentTarget >= 0) {
            m_bFinished = false;
            VerifyTarget();
        }
    }
}

// ---------------------------------------------------------------------------------------------------------
// Upload

bool CDfuUpdate::StartUpload(DfuImageHandle hImage, DfuElement* pBuffer)
{
    if (IsRunning() || !SelectTargets()) {
        return false;
    }
    DestroyImage(m_hImageCopy);
    m_library.STDFUFILES_FilterImageForOperation(hImage, TargetAt(m_nCurrentTarget), OPERATION_UPLOAD, false);
    RecordStartTime();
    SetInitialSizeText(hImage);
    const bool bLaunched = Launch(OPERATION_UPLOAD, hImage, &kTeal);
    if (bLaunched) {
        StartPollTimer();
    }
    m_pUploadBuffer = pBuffer;
    m_strUpgradeFile.clear();
    UpdateData(false);
    return bLaunched;
}

void CDfuUpdate::UploadNextTarget()
{
    DestroyImage(m_hImageCopy);
    const MappingTarget* pTarget = TargetAt(m_nCurrentTarget);
    DfuImageHandle hImage = nullptr;
    if (pTarget == nullptr || m_library.STDFUFILES_CreateImageFromMapping(&hImage, pTarget) != kOk) {
        ShowError("Unable to get data from read image...");
        return;
    }
    m_library.STDFUFILES_SetImageName(hImage, "");
    m_library.STDFUFILES_FilterImageForOperation(hImage, pTarget, OPERATION_UPLOAD, false);
    RecordStartTime();
    SetInitialSizeText(hImage);
    if (Launch(OPERATION_UPLOAD, hImage, &kTeal)) {
        StartPollTimer();
    } else {
        m_library.STDFUFILES_DestroyImage(hImage);
    }
}

void CDfuUpdate::OnUploadComplete(DfuImageHandle hImage)
{
    const std::uint16_t wVid = Le16(&m_DeviceDescriptor[8]);
    const std::uint16_t wPid = Le16(&m_DeviceDescriptor[10]);
    const std::uint16_t wBcd = Le16(&m_DeviceDescriptor[12]);
    DfuFileHandle hFile = nullptr;
    std::uint32_t code;
    if (m_nCurrentTarget == FirstSelectedTarget()) {
        code = m_library.STDFUFILES_CreateNewDFUFile(m_strUploadFile.toStdString(), &hFile, wVid, wPid, wBcd);
    } else {
        code = m_library.STDFUFILES_OpenExistingDFUFile(m_strUploadFile.toStdString(), &hFile, nullptr, nullptr,
                                                        nullptr, nullptr);
    }
    if (code == kOk) {
        if (m_library.STDFUFILES_AppendImageToDFUFile(hFile, hImage) == kOk) {
            ShowStatus("Upload successful !");
            m_nCurrentTarget = NextSelectedTarget(m_nCurrentTarget);
            if (m_nCurrentTarget >= 0) {
                m_bFinished = false;
                UploadNextTarget();
            }
        } else {
            ShowError("Unable to append image to updating file...");
        }
        m_library.STDFUFILES_CloseDFUFile(hFile);
    } else {
        ShowError("Unable to create a new updating file...");
    }
    HandBack(hImage);
}

void CDfuUpdate::HandBack(DfuImageHandle hImage)
{
    std::uint32_t nElements = 0;
    if (m_library.STDFUFILES_GetImageNbElement(hImage, &nElements) != kOk) {
        return;
    }
    for (std::uint32_t i = 0; i < nElements; ++i) {
        // The element is read into a buffer of its own size; the caller's buffer then receives at most its
        // capacity, so a short buffer is never written past its end.
        DfuElement element;
        std::vector<std::uint8_t> bytes;
        bool bRead = m_library.STDFUFILES_GetImageElement(hImage, i, &element) == kOk;
        if (bRead) {
            bytes.resize(element.dwDataLength);
            element.Data = bytes.data();
            bRead = m_library.STDFUFILES_GetImageElement(hImage, i, &element) == kOk;
        }
        if (!bRead) {
            ShowError("Unable to get data from read image...");
            return;
        }
        if (m_pUploadBuffer == nullptr) {
            continue;
        }
        m_pUploadBuffer->dwAddress = element.dwAddress;
        if (element.dwDataLength < m_pUploadBuffer->dwDataLength) {
            m_pUploadBuffer->dwDataLength = element.dwDataLength;
        }
        if (m_pUploadBuffer->Data != nullptr && m_pUploadBuffer->dwDataLength > 0) {
            std::memcpy(m_pUploadBuffer->Data, bytes.data(), m_pUploadBuffer->dwDataLength);
        }
        Notify(NOTIFY_UPLOAD_DONE, this);
    }
}

// ---------------------------------------------------------------------------------------------------------
// Leave, close, dismissal

void CDfuUpdate::LeaveDfuMode()
{
    if (IsRunning() || !SelectTargets()) {
        return;
    }
    const MappingTarget* pTarget = TargetAt(m_nCurrentTarget);
    DfuImageHandle hImage = nullptr;
    if (m_library.STDFUFILES_CreateImageFromMapping(&hImage, pTarget) == kOk) {
        m_library.STDFUFILES_SetImageName(hImage, pTarget->szName);
        m_library.STDFUFILES_FilterImageForOperation(hImage, pTarget, OPERATION_RETURN, false);
        RecordStartTime();
        if (Launch(OPERATION_RETURN, hImage, &kTeal)) {
            StartPollTimer();
        } else {
            m_library.STDFUFILES_DestroyImage(hImage);
        }
    } else {
        // Without an image the operation cannot be described; report it like a launch the library refused.
        DFUThreadContext context;
        context.Operation = OPERATION_RETURN;
        context.ErrorCode = STDFUPRT_BADPARAMETER;
        ReportOperationFailure(context);
    }
    UpdateData(false);
}

void CDfuUpdate::StopAndRelease()
{
    if (m_hOperation != nullptr) {
        DFUThreadContext context;
        m_library.STDFUPRT_StopOperation(m_hOperation, &context);
        m_hOperation = nullptr;
        // During a download the running image is the copy itself: release it once.
        if (context.hImage == m_hImageCopy) {
            m_hImageCopy = nullptr;
        }
        DestroyImage(context.hImage);
    }
    DestroyImage(m_hImageCopy);
    StopPollTimer();
}

void CDfuUpdate::CloseDevice()
{
    StopAndRelease();
    DestroyMapping();
    QDialog::done(QDialog::Rejected);
}

void CDfuUpdate::reject()
{
    if (m_hOperation != nullptr) {
        m_strLastMessage = "Operation on-going. Leave anyway ?";
        CMessageBoxDialog box(this, m_strLastMessage, "", 0x21);
        if (box.DoModal() != 1) {
            return;
        }
    }
    StopAndRelease();
    DestroyMapping();
    Notify(NOTIFY_ENGINE_DONE, m_pParentPage);
    QDialog::done(QDialog::Rejected);
}

// ---------------------------------------------------------------------------------------------------------
// The poll

void CDfuUpdate::OnTimer()
{
    if (m_hOperation == nullptr) {
        StopPollTimer();
        return;
    }
    m_strElapsed = FromStd(nemora::dfu::ElapsedText(m_clock() - m_nStartTime));

    DFUThreadContext context;
    const std::uint32_t dwStatusCode = m_library.STDFUPRT_GetOperationStatus(m_hOperation, &context);
    bool bEngineDone = false;
    if (dwStatusCode != STDFUPRT_NOERROR) {
        // The library cannot tell how the operation goes: end it as failed instead of polling forever. The
        // operation's own record (its image among the rest) comes back from the stop below.
        DFUThreadContext last;
        m_library.STDFUPRT_StopOperation(m_hOperation, &last);
        context = last;
        if (context.ErrorCode == STDFUPRT_NOERROR)
            context.ErrorCode = dwStatusCode;
    }

    if (context.ErrorCode != STDFUPRT_NOERROR) {
        DFUThreadContext stopped;
        if (dwStatusCode == STDFUPRT_NOERROR)
            m_library.STDFUPRT_StopOperation(m_hOperation, &stopped);
        m_hOperation = nullptr;
        if (context.hImage == m_hImageCopy) {
            m_hImageCopy = nullptr; // download phase: the running image is the copy
        }
        DestroyImage(m_hImageCopy); // the file's data of a verify or the download image of an erase
        DfuImageHandle hImage = context.hImage;
        DestroyImage(hImage);
        if (context.ErrorCode == STDFUPRT_UNSUPPORTEDFEATURE) {
            ShowMessage("This feature is not supported by this firmware.", 0x00);
        } else {
            ReportOperationFailure(context);
        }
        m_nCurrentTarget = -1;
    } else {
        const std::uint32_t p = std::min<std::uint32_t>(context.Percent, 100);
        if (context.Operation == OPERATION_UPLOAD || context.Operation == OPERATION_UPGRADE) {
            std::uint32_t size = 0;
            m_library.STDFUFILES_GetImageSize(context.hImage, &size);
            m_strSizeText = FromStd(nemora::dfu::TransferSizeText(size, p));
        }
        m_pProgress->SetWindowText(m_strDeviceName +
                                   FromStd(nemora::dfu::PhaseText(context.Operation, m_nCurrentTarget, p)));
        m_pProgress->SetPos(static_cast<int>(p));

        if (p == 100) {
            DFUThreadContext stopped;
            m_library.STDFUPRT_StopOperation(m_hOperation, &stopped);
            m_hOperation = nullptr;
            DfuImageHandle hFinished = context.hImage;
            if (context.Operation == OPERATION_ERASE) {
                DestroyImage(hFinished);
                if (!Launch(OPERATION_UPGRADE, m_hImageCopy, nullptr)) {
                    DestroyImage(m_hImageCopy);
                }
            } else {
                m_pProgress->SetPos(100);
                m_bFinished = true;
                switch (context.Operation) {
                case OPERATION_RETURN:
                    ShowStatus("Successfully left updating mode !");
                    break;
                case OPERATION_UPLOAD:
                    if (m_hImageCopy == nullptr) {
                        OnUploadComplete(hFinished);
                    } else {
                        OnVerifyComplete(hFinished);
                        bEngineDone = m_bFinished;
                    }
                    break;
                case OPERATION_UPGRADE:
                    ShowStatus("Upgrade successful !");
                    m_hImageCopy = nullptr; // the finished record owns it
                    m_nCurrentTarget = NextSelectedTarget(m_nCurrentTarget);
                    if (m_nCurrentTarget >= 0) {
                        m_bFinished = false;
                        UpgradeTarget();
                    }
                    break;
                default:
                    break;
                }
                if (m_bFinished && context.Operation == OPERATION_UPGRADE && m_bVerifyAfterUpgrade) {
                    m_nCurrentTarget = FirstSelectedTarget();
                    VerifyTarget();
                }
                DestroyImage(hFinished);
            }
        }
    }

    UpdateData(false);
    if (m_hOperation == nullptr) {
        StopPollTimer();
        if (bEngineDone) {
            Notify(NOTIFY_ENGINE_DONE, m_pParentPage);
        }
    } else {
        StartPollTimer();
    }
}

#include "device/page_info.h"

#include "widgets/message_box_dialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

using nemora::device::InstallerButton;

CPageInfo::CPageInfo(QWidget* pParent, Platform platform)
    : QWidget(pParent), m_platform(std::move(platform)),
      m_staticProductName(new QLabel(QString::fromStdString(UnknownDeviceNameText()), this)),
      m_staticModel(new QLabel(QString::fromStdString(UnknownDeviceNameText()), this)),
      m_staticInstallStatus(new QLabel(this))
{
    m_staticProductName->setObjectName("m_staticProductName");
    m_staticModel->setObjectName("m_staticModel");
    m_staticInstallStatus->setObjectName("m_staticInstallStatus");
    m_staticInstallStatus->setWordWrap(true);
    m_staticInstallStatus->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_staticInstallStatus->setTextFormat(Qt::PlainText);

    auto* identity = new QGridLayout;
    identity->addWidget(new QLabel(tr("Product Name:"), this), 0, 0);
    identity->addWidget(m_staticProductName, 0, 1);
    identity->addWidget(new QLabel(tr("Product Model:"), this), 1, 0);
    identity->addWidget(m_staticModel, 1, 1);
    identity->setColumnStretch(1, 1);
    identity->setHorizontalSpacing(16);
    identity->setVerticalSpacing(10);

    auto makeButton = [this](int id, const QString& text) {
        auto* button = new QPushButton(text, this);
        button->setMinimumWidth(180);
        m_buttons[id] = button;
        return button;
    };

    auto* autoBox = new QGroupBox(tr("Auto"), this);
    auto* autoLayout = new QVBoxLayout(autoBox);
    autoLayout->addWidget(makeButton(1020, tr("Install Driver")));
    autoLayout->addStretch();

    auto* manualBox = new QGroupBox(tr("Manual"), this);
    auto* manualLayout = new QGridLayout(manualBox);
    manualLayout->addWidget(makeButton(nemora::device::kInstallWin7x86, tr("WIN7(Or Older)_32Bit")), 0, 0);
    manualLayout->addWidget(makeButton(nemora::device::kInstallWin7x64, tr("WIN7(Or Older)_64Bit")), 0, 1);
    manualLayout->addWidget(makeButton(nemora::device::kInstallWin8x86, tr("WIN8(Or Newer)_32Bit")), 1, 0);
    manualLayout->addWidget(makeButton(nemora::device::kInstallWin8x64, tr("WIN8(Or Newer)_64Bit")), 1, 1);

    auto* driverBox = new QGroupBox(tr("Driver Install"), this);
    auto* driverLayout = new QHBoxLayout(driverBox);
    driverLayout->addWidget(autoBox);
    driverLayout->addWidget(manualBox);
    driverBox->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(24, 24, 24, 24);
    page->addLayout(identity);
    page->addSpacing(24);
    page->addWidget(driverBox, 0, Qt::AlignLeft | Qt::AlignTop);
    page->addSpacing(10);
    // As wide as the box, so that long texts wrap under it.
    m_staticInstallStatus->setFixedWidth(driverBox->sizeHint().width());
    page->addWidget(m_staticInstallStatus); // no alignment: with one, the layout gives it no height for its lines
    page->addStretch();

    connect(m_buttons[1020], &QPushButton::clicked, this, &CPageInfo::OnInstallDriver);
    for (int id : {nemora::device::kInstallWin7x86, nemora::device::kInstallWin7x64, nemora::device::kInstallWin8x86,
                   nemora::device::kInstallWin8x64}) {
        connect(m_buttons[id], &QPushButton::clicked, this,
                [this, id] { RunInstaller(static_cast<InstallerButton>(id)); });
    }
}

QPushButton* CPageInfo::Button(int nId) const
{
    auto it = m_buttons.find(nId);
    return it == m_buttons.end() ? nullptr : it->second;
}

bool CPageInfo::OnInitDialog()
{
    UpdateDeviceInfo();
    return true;
}

void CPageInfo::UpdateDeviceInfo()
{
    std::string text = UnknownProductNameText();
    m_DeviceIdentity.GetProductName(text);
    m_staticProductName->setText(QString::fromStdString(text));
    text = UnknownModelNameText();
    m_DeviceIdentity.GetModelName(text);
    m_staticModel->setText(QString::fromStdString(text));
}

void CPageInfo::OnInstallDriver()
{
    RunInstaller(
        nemora::device::ChooseInstaller(m_platform.systemMajor, m_platform.systemMinor, m_platform.bSystem64Bit));
}

void CPageInfo::RunInstaller(InstallerButton button)
{
    // One installer at a time: a second password dialog would only confuse.
    if (m_bInstallerRunning)
        return;
    const QString path = QString::fromStdString(nemora::device::LocateInstaller(
        button,
        (m_platform.strProgramFolder.isEmpty() ? QCoreApplication::applicationDirPath() : m_platform.strProgramFolder)
            .toStdString(),
        m_platform.strInstalledFolder.toStdString()));
    int result = 31;
    if (m_platform.runInstaller) {
        // Marked before the start, for a runner that reports at once.
        m_bInstallerRunning = true;
        m_staticInstallStatus->setText(
            tr("The driver installer is running: waiting for the administrator's password."));
        QPointer<CPageInfo> self(this);
        result = m_platform.runInstaller(path, [self, path](const nemora::device::InstallerExit& exit) {
            if (self)
                self->OnInstallerEnded(path, exit);
        });
    } else if (m_platform.startProgram) {
        result = m_platform.startProgram(path);
    }
    if (static_cast<unsigned>(result) >= 32u) {
        Log(tr("Driver installer started: %1").arg(QFileInfo(path).absoluteFilePath()));
        return;
    }
    m_bInstallerRunning = false;
    const QString text = QString::fromStdString(nemora::device::InstallerFailureText(static_cast<unsigned>(result)));
    m_staticInstallStatus->setText(text);
    Log(tr("Driver installer %1 could not be started: %2").arg(path, text));
    CMessageBoxDialog box(this, text, "", nemora::widgets::kBoxOk);
    box.DoModal();
}

void CPageInfo::OnInstallerEnded(const QString& strPath, const nemora::device::InstallerExit& exit)
{
    m_bInstallerRunning = false;
    const QString text = QString::fromStdString(
        nemora::device::InstallerOutcomeText(exit, QFileInfo(strPath).absoluteFilePath().toStdString()));
    m_staticInstallStatus->setText(text);
    Log(tr("Driver installer: %1").arg(QString(text).replace('\n', ' ')));
}

void CPageInfo::Log(const QString& strLine) const
{
    if (m_platform.log)
        m_platform.log(strLine);
}

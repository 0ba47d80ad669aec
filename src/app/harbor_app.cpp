#include "app/harbor_app.h"

#include "app/device_events.h"
#include "app/launch_counter.h"
#include "app/main_frame.h"
#include "app/platform.h"
#include "dfuse/dfu_file.h"
#include "usb/transport.h"
#include "version/version.h"
#include "widgets/message_box_dialog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLockFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include <cstdio>

namespace {

std::filesystem::path ToPath(const QString& folder)
{
    return std::filesystem::path(folder.toStdString());
}

// The About box: the product line, the versions `nemora --version` prints, and an OK button.
class CAboutDlg : public QDialog {
public:
    explicit CAboutDlg(QWidget* parent) : QDialog(parent)
    {
        setWindowTitle(QCoreApplication::translate("CAboutDlg", "About Application"));
        auto* layout = new QVBoxLayout(this);
        auto* text = new QLabel(QString::fromUtf8("Nemora\uFF0CV1.2"), this);
        layout->addWidget(text);
        auto* versions =
            new QLabel(QString::fromStdString(nemora::version::VersionText("nemora", qVersion())).trimmed(), this);
        versions->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(versions);
        auto* ok = new QPushButton(QCoreApplication::translate("CAboutDlg", "OK"), this);
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        layout->addWidget(ok, 0, Qt::AlignRight);
        // Wide enough for its title beside the frame's buttons, in every language.
        setMinimumWidth(fontMetrics().horizontalAdvance(windowTitle()) + 8 * fontMetrics().averageCharWidth() + 96);
    }
};

} // namespace

CHarborApp::CHarborApp(Options options) : m_options(std::move(options))
{
    if (!m_options.showPlainMessage) {
        m_options.showPlainMessage = [](const QString& text) {
            QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok);
            box.exec();
        };
    }
}

CHarborApp::~CHarborApp()
{
    m_pDeviceEvents.reset(); // no more events once the frame goes
    m_pMainFrame.reset();    // the pages and their engines go before the transport
}

std::optional<int> CHarborApp::InitInstance()
{
    // Only one copy runs. The lock comes before anything touches the settings or the workspace, so a
    // second copy changes nothing. A lock left behind by a crashed run is taken over.
    QDir().mkpath(m_options.strRuntimeFolder);
    m_pInstanceLock =
        std::make_unique<QLockFile>(m_options.strRuntimeFolder + "/" + m_options.strExecutableName + ".lock");
    m_pInstanceLock->setStaleLockTime(0);
    if (!m_pInstanceLock->tryLock(0)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(m_options.strExecutableName), kAlreadyRunningText);
        m_options.showPlainMessage(tr(kAlreadyRunningText));
        m_pInstanceLock.reset();
        return 0;
    }

    // Devices are reached only once this copy is the one that runs.
    if (!m_options.pTransport && m_options.makeTransport) {
        bool fatal = false;
        m_pOwnTransport = m_options.makeTransport(fatal);
        if (fatal)
            return 2;
        m_options.pTransport = m_pOwnTransport.get();
    }

    // The workspace is the user's own, or it is not used at all.
    std::string workspaceError;
    if (!nemora::dfuse::MakeOwnFolder(
            ToPath(m_options.strWorkspaceFolder), tr("the workspace folder").toStdString(),
            tr("remove it, or set NEMORA_WORKSPACE_DIR to a folder of your own").toStdString(), workspaceError)) {
        m_options.showPlainMessage(
            tr("Unable to use %1\nThe console starts without it.").arg(QString::fromStdString(workspaceError)));
    } else {
        const nemora::app::LaunchCount count = nemora::app::CountLaunch(ToPath(m_options.strWorkspaceFolder));
        if (!count.fileOk)
            m_options.showPlainMessage(tr(kMagicFileErrorText));
        else if (count.resetLayout)
            ResetStoredLayout();
    }

    MainFrameServices services;
    services.checkFirstRun = [this] { return CheckFirstRun(); };
    services.checkMagicFile = [this] { CheckMagicFile(); };
    services.onHandBook = [this] { OnHelpHandBook(); };
    services.onAbout = [this] { OnAppAbout(); };
    services.pTransport = m_options.pTransport;
    services.startProgram = m_options.startProgram;
    m_pMainFrame = std::make_unique<CMainFrame>(std::move(services));
    const bool restored = m_pMainFrame->RestoreWorkspace();
    m_pMainFrame->OnInitialUpdate();
    if (m_options.pTransport) {
        m_pDeviceEvents = std::make_unique<CDeviceEvents>(*m_options.pTransport);
        connect(m_pDeviceEvents.get(), &CDeviceEvents::DeviceChanged, m_pMainFrame.get(), &CMainFrame::OnDeviceChange);
    }
    m_pMainFrame->setWindowTitle(tr("Nemorate"));
    if (m_options.bShowWindow) {
        m_pMainFrame->show();
        m_pMainFrame->FitToScreen(restored);
    }
    return std::nullopt;
}

void CHarborApp::ResetStoredLayout()
{
    QSettings settings(kSettingsOrganization, kSettingsApplication);
    settings.remove("Workspace");
    settings.setValue("Settings/ACC_CNT", 0);
}

bool CHarborApp::CheckFirstRun()
{
    switch (nemora::app::CheckFirstRun(ToPath(m_options.strWorkspaceFolder))) {
    case nemora::app::FirstRunCheck::CannotAccess:
        m_options.showPlainMessage(tr(kMagicFileErrorText));
        return false;
    case nemora::app::FirstRunCheck::Due:
        return true;
    case nemora::app::FirstRunCheck::NotDue:
        break;
    }
    return false;
}

void CHarborApp::CheckMagicFile()
{
    QFile file(m_options.strWorkspaceFolder + "/" + nemora::app::kMagicFileName);
    if (!file.exists() || !file.open(QIODevice::ReadWrite))
        m_options.showPlainMessage(tr(kMagicFileErrorText));
}

void CHarborApp::OnAppAbout()
{
    CAboutDlg about(m_pMainFrame.get());
    about.exec();
}

void CHarborApp::OnHelpHandBook()
{
    const int result = nemora::app::platform::OpenDocument(m_options.strWorkspaceFolder + "/Nemora.chm");
    if (result < 32) {
        CMessageBoxDialog box(nullptr, tr("%1  error code").arg(result), "", nemora::widgets::kBoxOkCancelQuestion);
        box.DoModal();
    }
}

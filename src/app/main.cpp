#include "app/harbor_app.h"
#include "app/platform.h"
#include "widgets/message_box_dialog.h"

#include <QApplication>
#include <QFileInfo>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(kSettingsOrganization);
    QApplication::setApplicationName(kSettingsApplication);

    CHarborApp::Options options;
    options.strWorkspaceFolder = nemora::app::platform::WorkspaceFolder();
    options.strRuntimeFolder = nemora::app::platform::RuntimeFolder();
    options.strExecutableName = QFileInfo(QString::fromLocal8Bit(argv[0])).completeBaseName();
    CHarborApp harbor(std::move(options));
    if (std::optional<int> exitCode = harbor.InitInstance())
        return *exitCode;
    return QApplication::exec();
}

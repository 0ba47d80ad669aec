#include "app/harbor_app.h"
#include "app/platform.h"
#include "transport/transport_factory.h"
#include "widgets/message_box_dialog.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(kSettingsOrganization);
    QApplication::setApplicationName(kSettingsApplication);

    CHarborApp::Options options;
    options.strWorkspaceFolder = nemora::app::platform::WorkspaceFolder();
    options.strRuntimeFolder = nemora::app::platform::RuntimeFolder();
    options.strExecutableName = QFileInfo(QString::fromLocal8Bit(argv[0])).completeBaseName();
    // Virtual devices when NEMORA_SIM is set, real USB otherwise.
    options.makeTransport = [](bool& fatal) {
        std::string error;
        std::unique_ptr<nemora::usb::Transport> transport = nemora::usb::CreateTransport(&error);
        if (!transport && qEnvironmentVariableIsSet("NEMORA_SIM")) {
            const QString text =
                QString("NEMORA_SIM cannot be used: %1\nCorrect it, or unset it to use real USB devices.")
                    .arg(QString::fromStdString(error));
            std::fprintf(stderr, "nemora: %s\n", qPrintable(text));
            QMessageBox::critical(nullptr, kSettingsApplication, text);
            fatal = true;
        } else if (!transport) {
            // The console still opens (files can be looked at); it simply lists no device.
            const QString text = QString("USB devices cannot be reached: %1\nCheck that libusb works on this "
                                         "system and that you may use USB devices; the console will list no "
                                         "device.")
                                     .arg(QString::fromStdString(error));
            std::fprintf(stderr, "nemora: %s\n", qPrintable(text));
            QMessageBox::warning(nullptr, kSettingsApplication, text);
        }
        return transport;
    };
    CHarborApp harbor(std::move(options));
    if (std::optional<int> exitCode = harbor.InitInstance())
        return *exitCode;
    return QApplication::exec();
}

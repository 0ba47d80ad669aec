#include "app/harbor_app.h"
#include "app/platform.h"
#include "app/translations.h"
#include "transport/transport_factory.h"
#include "version/version.h"
#include "widgets/message_box_dialog.h"

#include <QApplication>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>

#include <cstdio>
#include <cstring>

namespace {

const char kHelpText[] =
    "Usage: nemora [--help | --version] [Qt options]\n"
    "\n"
    "Nemora, the console for DfuSe vaporiser devices: finds the device over USB, names its product and\n"
    "model, updates its firmware from .vek files and edits its settings.\n"
    "\n"
    "Options:\n"
    "  --help      show this text and exit\n"
    "  --version   show the versions of Nemora, Qt and libusb and exit\n"
    "Qt's own options, such as -platform NAME, are accepted as well.\n"
    "\n"
    "Environment:\n"
    "  NEMORA_SIM             use virtual devices instead of USB (empty: none attached); see nemora-cli(1)\n"
    "  NEMORA_SIM_CONTROL     the file through which virtual devices are plugged and unplugged\n"
    "  NEMORA_WORKSPACE_DIR   the workspace folder (default $XDG_DATA_HOME/Nemora)\n";

} // namespace

int main(int argc, char** argv)
{
    // Answered before Qt starts, so that they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelpText, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs(nemora::version::VersionText("nemora", qVersion()).c_str(), stdout);
            return 0;
        }
    }

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("com.orvane.Nemora"));
    QApplication::setOrganizationName(kSettingsOrganization);
    QApplication::setApplicationName(kSettingsApplication);
    // The language chosen under View, else the system's; taken once, before any window exists.
    nemora::app::InstallTranslations(app, nemora::app::CatalogueFor(nemora::app::ChosenLanguage(), QLocale::system()),
                                     nemora::app::TranslationFolders());

    CHarborApp::Options options;
    options.strWorkspaceFolder = nemora::app::platform::WorkspaceFolder();
    options.strRuntimeFolder = nemora::app::platform::RuntimeFolder();
    options.strExecutableName = QFileInfo(QString::fromLocal8Bit(argv[0])).completeBaseName();
    // Virtual devices when NEMORA_SIM is set, real USB otherwise.
    options.makeTransport = [](bool& fatal) {
        std::string error;
        std::unique_ptr<nemora::usb::Transport> transport = nemora::usb::CreateTransport(&error);
        if (!transport && qEnvironmentVariableIsSet("NEMORA_SIM")) {
            const char* text = QT_TRANSLATE_NOOP("main", "NEMORA_SIM cannot be used: %1\nCorrect it, or unset it to "
                                                         "use real USB devices.");
            const QString detail = QString::fromStdString(error);
            std::fprintf(stderr, "nemora: %s\n", qPrintable(QString(text).arg(detail)));
            QMessageBox::critical(nullptr, kSettingsApplication, QCoreApplication::translate("main", text).arg(detail));
            fatal = true;
        } else if (!transport) {
            // The console still opens (files can be looked at); it simply lists no device.
            const char* text = QT_TRANSLATE_NOOP("main", "USB devices cannot be reached: %1\nCheck that libusb works "
                                                         "on this system and that you may use USB devices; the "
                                                         "console will list no device.");
            const QString detail = QString::fromStdString(error);
            std::fprintf(stderr, "nemora: %s\n", qPrintable(QString(text).arg(detail)));
            QMessageBox::warning(nullptr, kSettingsApplication, QCoreApplication::translate("main", text).arg(detail));
        }
        return transport;
    };
    CHarborApp harbor(std::move(options));
    if (std::optional<int> exitCode = harbor.InitInstance())
        return *exitCode;
    return QApplication::exec();
}

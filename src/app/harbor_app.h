#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class CDeviceEvents;
class CMainFrame;
class QLockFile;

namespace nemora::usb {
class Transport;
}

// Start-up and the application-wide commands: single instance, the workspace folder and its launch
// counter, the main window, HandBook and About.
class CHarborApp : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString strWorkspaceFolder; // where "magic.vek" and "Nemora.chm" live
        QString strRuntimeFolder;   // where the single-instance lock lives
        QString strExecutableName;  // base name of the executable; names the lock
        // Shows a plain notice (single instance, counter file). Defaults to a plain message box.
        std::function<void(const QString&)> showPlainMessage;
        bool bShowWindow = true;
        // Where devices come from; null lists none. Must outlive the application object.
        nemora::usb::Transport* pTransport = nullptr;
        // Makes the transport after the single-instance check, when pTransport is not given. Sets `fatal`
        // (and has said why) when the console must not start; returns null to run without devices.
        std::function<std::unique_ptr<nemora::usb::Transport>(bool& fatal)> makeTransport;
        // Starts driver installers; default: the system's way of starting a program.
        std::function<int(const QString&)> startProgram;
    };

    explicit CHarborApp(Options options);
    ~CHarborApp() override;

    // Runs the start-up sequence. Returns nothing when the message loop should run, or the exit code
    // the process should end with (0 for a second copy).
    std::optional<int> InitInstance();

    // True when the first-run driver installation is due; marks it done.
    bool CheckFirstRun();

    void OnAppAbout();
    void OnHelpHandBook();

    CMainFrame* MainFrame() const { return m_pMainFrame.get(); }

    // As written; they are shown translated (context "CHarborApp").
    static constexpr const char* kAlreadyRunningText =
        QT_TRANSLATE_NOOP("CHarborApp", "The program is already running!!!");
    static constexpr const char* kMagicFileErrorText = QT_TRANSLATE_NOOP("CHarborApp", " Can not access Magic File! ");

    // The layout saved in the "Workspace" group is dropped and "Settings"/"ACC_CNT" set to 0.
    static void ResetStoredLayout();

private:
    void CheckMagicFile();

    Options m_options;
    std::unique_ptr<QLockFile> m_pInstanceLock;
    std::unique_ptr<CMainFrame> m_pMainFrame;
    std::unique_ptr<nemora::usb::Transport> m_pOwnTransport;
    std::unique_ptr<CDeviceEvents> m_pDeviceEvents;
};

#pragma once

#include "device/device_identity.h"
#include "device/driver_install.h"
#include "widgets/page_notify.h"

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

// The "Device Information" tab: product and model of the selected device, and the driver installers.
class CPageInfo : public QWidget, public IInfoPageRoute {
    Q_OBJECT
public:
    struct Platform {
        // Starts a program without waiting; returns 32 or more on success, else the shell's numbers. Used
        // when runInstaller is not set: the page then cannot tell how the installer ended.
        std::function<int(const QString&)> startProgram;
        // Starts an installer and hands how it ended to the callback, later, from the event loop. Returns
        // like startProgram; the callback comes only when the installer started.
        std::function<int(const QString&, std::function<void(const nemora::device::InstallerExit&)>)> runInstaller;
        // Adds a line to the "Log" pane.
        std::function<void(const QString&)> log;
        unsigned systemMajor = 0;
        unsigned systemMinor = 0;
        bool bSystem64Bit = true;
        // Where the installed console keeps its installers (libexec/nemora); searched when the program's
        // own folder has no Driver/. Empty: the program's folder only.
        QString strInstalledFolder;
        // The folder whose Driver/ comes first; empty: the running executable's.
        QString strProgramFolder;
    };

    CPageInfo(QWidget* pParent, Platform platform);

    bool OnInitDialog();

    // IInfoPageRoute
    CDeviceIdentity& DeviceIdentity() override { return m_DeviceIdentity; }
    void UpdateDeviceInfo() override;
    void InstallDriver() override { OnInstallDriver(); }

    void OnInstallDriver();
    void RunInstaller(nemora::device::InstallerButton button);

    QLabel* ProductNameLabel() const { return m_staticProductName; }
    QLabel* ModelLabel() const { return m_staticModel; }
    QPushButton* Button(int nId) const;
    // Under the "Driver Install" box: the running installer, or how the last one ended.
    QLabel* InstallStatusLabel() const { return m_staticInstallStatus; }
    bool IsInstallerRunning() const { return m_bInstallerRunning; }

    CDeviceIdentity m_DeviceIdentity;

private:
    void OnInstallerEnded(const QString& strPath, const nemora::device::InstallerExit& exit);
    void Log(const QString& strLine) const;

    Platform m_platform;
    QLabel* m_staticProductName;
    QLabel* m_staticModel;
    QLabel* m_staticInstallStatus;
    bool m_bInstallerRunning = false;
    std::map<int, QPushButton*> m_buttons;
};

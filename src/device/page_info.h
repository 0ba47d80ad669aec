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
        // Starts a program without waiting; returns 32 or more on success, else the shell's numbers.
        std::function<int(const QString&)> startProgram;
        unsigned systemMajor = 0;
        unsigned systemMinor = 0;
        bool bSystem64Bit = true;
        // Where the installed console keeps its installers (libexec/nemora); searched when the working
        // folder has no Driver/ of its own. Empty: the working folder only.
        QString strInstalledFolder;
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

    CDeviceIdentity m_DeviceIdentity;

private:
    Platform m_platform;
    QLabel* m_staticProductName;
    QLabel* m_staticModel;
    std::map<int, QPushButton*> m_buttons;
};

#pragma once

// What the console's frame, view and pages tell each other: the page notification and the interfaces by
// which the view reaches the pages. Every page stands on it; it knows no page.

#include <QString>

#include <cstdint>

class CDeviceIdentity;
class QObject;

// A page notification: built on the sender's stack and handed synchronously, by reference, to the
// receiver's OnNotify. The identifier is always 0.
struct PAGE_NOTIFY {
    const QObject* hwndFrom = nullptr; // the sender
    std::uintptr_t idFrom = 0;
    std::uint32_t code = 0;
    QString strText; // empty when the code needs none
};

inline constexpr std::uint32_t NOTIFY_SHOW_PAGE = 1025;      // tree -> frame -> view: label of a tab as written
inline constexpr std::uint32_t NOTIFY_DEVICE_CHANGED = 1026; // frame -> view: chosen device path or ""
inline constexpr std::uint32_t NOTIFY_UPLOAD_DONE = 1028;    // engine -> view
inline constexpr std::uint32_t NOTIFY_DISCONNECT = 1029;     // toolbar -> view
inline constexpr std::uint32_t NOTIFY_DEVICE_NAME = 1030;    // view -> frame: model name or ""
inline constexpr std::uint32_t NOTIFY_ENGINE_DONE = 1031;    // engine -> view
inline constexpr std::uint32_t NOTIFY_LOG = 1033; // any page or engine -> view -> frame: a line for the "Log" pane
inline constexpr std::uint32_t NOTIFY_INSTALL_DRIVER = 1032; // page -> view: run the "Install Driver" installer
// page or frame -> view -> customize page: write back the settings snapshot named by strText
inline constexpr std::uint32_t NOTIFY_RESTORE_SNAPSHOT = 1034;

// Anything that takes page notifications. Returns true when it handled the notification.
class INotifyReceiver {
public:
    virtual ~INotifyReceiver() = default;
    virtual bool OnNotify(std::uintptr_t wParam, PAGE_NOTIFY& notify) = 0;
};

// What the view calls on the pages. A page that is not built yet is simply absent, and its routing
// steps are skipped.
class ICustomizePageRoute {
public:
    virtual ~ICustomizePageRoute() = default;
    virtual void SetDevicePath(const QString& strPath) = 0;
    virtual CDeviceIdentity& DeviceIdentity() = 0;
    virtual void ApplyElement() = 0;
    virtual void OnDisconnect() = 0;
    // Writes both areas of the snapshot file back into the selected device, then reads it again.
    virtual void RestoreSnapshot(const QString& strPath) = 0;
    // An engine finished its work (pFrom: the page that owns it).
    virtual void OnEngineDone(const QObject* pFrom) = 0;
};

class IRomUpdatePageRoute {
public:
    virtual ~IRomUpdatePageRoute() = default;
    virtual CDeviceIdentity& DeviceIdentity() = 0;
    virtual void SetDevicePath(const QString& strPath) = 0;
    virtual void EnableDownload(bool bEnable) = 0;
    virtual void OnEngineDone(const QObject* pFrom) = 0;
};

class IInfoPageRoute {
public:
    virtual ~IInfoPageRoute() = default;
    virtual CDeviceIdentity& DeviceIdentity() = 0;
    virtual void UpdateDeviceInfo() = 0;
    virtual void InstallDriver() = 0;
};

// What the view needs from the main frame.
class IFrameServices : public INotifyReceiver {
public:
    virtual void EnumerateDevices() = 0;
    // True when the first-run driver installation is due (the marker file said so and now says done).
    virtual bool CheckFirstRun() = 0;
};

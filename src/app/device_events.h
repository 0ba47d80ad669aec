#pragma once

#include <QObject>

#include <memory>

namespace nemora::usb {
class DeviceWatcher;
class Transport;
} // namespace nemora::usb

// Turns the transport's arrival and removal events into a signal on the user-interface thread. The
// watcher's thread only posts; the enumeration itself runs where the signal is received.
class CDeviceEvents : public QObject {
    Q_OBJECT
public:
    explicit CDeviceEvents(nemora::usb::Transport& transport, QObject* parent = nullptr);
    ~CDeviceEvents() override;

signals:
    // One signal per arrival or removal; each leads to one full enumeration.
    void DeviceChanged();

private:
    std::unique_ptr<nemora::usb::DeviceWatcher> m_pWatcher;
};

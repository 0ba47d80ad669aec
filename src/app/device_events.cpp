#include "app/device_events.h"

#include "usb/device_watcher.h"

#include <QMetaObject>

CDeviceEvents::CDeviceEvents(nemora::usb::Transport& transport, QObject* parent) : QObject(parent)
{
    m_pWatcher = std::make_unique<nemora::usb::DeviceWatcher>(transport, [this](const nemora::usb::DeviceEvent&) {
        QMetaObject::invokeMethod(this, &CDeviceEvents::DeviceChanged, Qt::QueuedConnection);
    });
}

CDeviceEvents::~CDeviceEvents()
{
    m_pWatcher.reset(); // joined: no post can follow
}

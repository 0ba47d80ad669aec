#pragma once

#include "usb/transport.h"

#include <condition_variable>
#include <mutex>

// A transport with no devices, for a console that cannot reach USB (or a test that needs none).
class CNoDeviceTransport final : public nemora::usb::Transport {
public:
    nemora::usb::Capabilities GetCapabilities() const override { return {}; }
    nemora::usb::Status Enumerate(std::vector<nemora::usb::DeviceInfo>& out) override
    {
        out.clear();
        return nemora::usb::Status::Ok;
    }
    nemora::usb::Status Open(std::string_view, std::unique_ptr<nemora::usb::DeviceHandle>&) override
    {
        return nemora::usb::Status::NotFound;
    }
    std::vector<nemora::usb::DeviceEvent> WaitForEvents(std::chrono::milliseconds timeout) override
    {
        std::unique_lock lock(m_mutex);
        m_wake.wait_for(lock, timeout, [this] { return m_interrupted; });
        m_interrupted = false;
        return {};
    }
    void Interrupt() override
    {
        {
            std::lock_guard lock(m_mutex);
            m_interrupted = true;
        }
        m_wake.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_interrupted = false;
};

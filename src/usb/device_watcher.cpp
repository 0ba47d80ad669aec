#include "usb/device_watcher.h"

namespace nemora::usb {

namespace {
// How long one wait lasts; the thread sleeps in the transport the whole time unless an event comes.
constexpr std::chrono::seconds kWaitSlice{10};
// How often the destructor repeats its interruption while the thread has not finished.
constexpr std::chrono::milliseconds kStopRetry{100};
} // namespace

DeviceWatcher::DeviceWatcher(Transport& transport, Callback callback)
    : m_transport(transport), m_callback(std::move(callback))
{
    m_thread = std::thread([this] { Run(); });
}

DeviceWatcher::~DeviceWatcher()
{
    m_stop = true;
    // The thread may be between two waits when the first interruption comes; interrupt again until it
    // has left, rather than rely on the transport remembering an interruption nobody was waiting for.
    std::unique_lock lock(m_mutex);
    while (!m_finished) {
        m_transport.Interrupt();
        m_finishedChanged.wait_for(lock, kStopRetry, [this] { return m_finished; });
    }
    lock.unlock();
    m_thread.join();
}

void DeviceWatcher::Run()
{
    while (!m_stop) {
        for (const DeviceEvent& event : m_transport.WaitForEvents(kWaitSlice)) {
            if (m_stop) {
                break;
            }
            m_callback(event);
        }
    }
    std::lock_guard lock(m_mutex);
    m_finished = true;
    m_finishedChanged.notify_all();
}

} // namespace nemora::usb

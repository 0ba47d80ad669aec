#pragma once

// Turns a transport's arrival and removal events into callbacks, from a thread of its own.

#include "usb/transport.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace nemora::usb {

class DeviceWatcher {
public:
    // Called once per event, in the order the transport reports them.
    using Callback = std::function<void(const DeviceEvent&)>;

    // Starts a thread that blocks in transport.WaitForEvents() and calls `callback` for each event. The
    // transport must outlive the watcher, and no other thread may wait for the same transport's events
    // meanwhile.
    //
    // The callback runs on the watcher's thread, never on the caller's. It must only hand the event on
    // (enqueue it, post it to another thread, e.g. a queued Qt signal to the UI thread) and return: no
    // USB I/O, no enumeration, no blocking, no exceptions, and it must not destroy the watcher. While it runs, further
    // events wait in the transport.
    //
    // The thread sleeps in the transport between events; it never spins.
    DeviceWatcher(Transport& transport, Callback callback);

    // Stops the thread: interrupts the wait and joins. No callback runs after the destructor returns;
    // events still pending in the transport are left there.
    ~DeviceWatcher();

    DeviceWatcher(const DeviceWatcher&) = delete;
    DeviceWatcher& operator=(const DeviceWatcher&) = delete;

private:
    void Run();

    Transport& m_transport;
    Callback m_callback;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_finishedChanged;
    bool m_finished = false; // the thread has left Run()
    std::thread m_thread;
};

} // namespace nemora::usb

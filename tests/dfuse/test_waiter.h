#pragma once

// A PollWaiter on a fake clock for protocol tests: it never sleeps. It lets a number of waits pass (each
// moves the clock to its deadline and is recorded), then blocks the next wait until Cancel(), which lets
// a test stop an operation while it is provably in the middle.

#include "dfuse/dfu_protocol.h"

#include <chrono>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

namespace dfuse_test {

struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    long passes = std::numeric_limits<long>::max(); // waits that go through before one blocks
    bool blocked = false;                           // a wait is blocked now
    std::vector<std::chrono::milliseconds> waits;   // every wait that passed, as asked

    // Blocks the caller until a wait is blocked (the operation is then parked in the middle).
    void AwaitBlocked()
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return blocked; });
    }
};

class GateWaiter final : public nemora::dfuse::PollWaiter {
public:
    explicit GateWaiter(std::shared_ptr<Gate> gate) : m_gate(std::move(gate)) {}

    bool WaitUntil(std::chrono::steady_clock::time_point deadline) override
    {
        std::unique_lock lock(m_gate->mutex);
        if (m_cancelled) {
            return false;
        }
        if (m_gate->passes > 0) {
            --m_gate->passes;
            m_gate->waits.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - m_now));
            if (deadline > m_now) {
                m_now = deadline;
            }
            return true;
        }
        m_gate->blocked = true;
        m_gate->changed.notify_all();
        m_wake.wait(lock, [&] { return m_cancelled; });
        return false;
    }
    std::chrono::steady_clock::time_point Now() override
    {
        std::lock_guard lock(m_gate->mutex);
        return m_now;
    }
    void Cancel() override
    {
        {
            std::lock_guard lock(m_gate->mutex);
            m_cancelled = true;
        }
        m_wake.notify_all();
    }
    bool Cancelled() const override
    {
        std::lock_guard lock(m_gate->mutex);
        return m_cancelled;
    }

private:
    std::shared_ptr<Gate> m_gate;
    std::condition_variable m_wake;
    std::chrono::steady_clock::time_point m_now{std::chrono::hours(1)};
    bool m_cancelled = false;
};

} // namespace dfuse_test

#pragma once

// Time as the virtual devices see it. Tests inject a ManualClock so that nothing ever sleeps for real;
// programs use SteadyClock.

#include <atomic>
#include <chrono>
#include <thread>

namespace nemora::sim {

using Nanos = std::chrono::nanoseconds;

class Clock {
public:
    virtual ~Clock() = default;

    // Monotonic time since an arbitrary start. Any thread.
    virtual Nanos Now() = 0;

    // Let `duration` pass: a real sleep, or an advance of a fake clock. Any thread.
    virtual void Sleep(Nanos duration) = 0;
};

class SteadyClock final : public Clock {
public:
    Nanos Now() override
    {
        return std::chrono::duration_cast<Nanos>(std::chrono::steady_clock::now().time_since_epoch());
    }
    void Sleep(Nanos duration) override
    {
        if (duration.count() > 0) {
            std::this_thread::sleep_for(duration);
        }
    }
};

// A clock that moves only when told to (Sleep() or Advance()).
class ManualClock final : public Clock {
public:
    Nanos Now() override { return Nanos(m_now.load()); }
    void Sleep(Nanos duration) override { Advance(duration); }
    void Advance(Nanos duration)
    {
        if (duration.count() > 0) {
            m_now += duration.count();
        }
    }

private:
    std::atomic<long long> m_now{0};
};

} // namespace nemora::sim

#include "dfuse/dfuse_blocking.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace nemora::dfuse {

std::uint32_t RunOperation(IDfuseLibrary& library, const DFUThreadContext& context, DFUThreadContext& final,
                           const ProgressFn& progress, std::chrono::milliseconds interval)
{
    DfuOperationHandle handle = nullptr;
    const std::uint32_t launched = library.STDFUPRT_LaunchOperation(context, &handle);
    if (launched != STDFUPRT_NOERROR) {
        final = context;
        final.ErrorCode = launched;
        return launched;
    }
    for (;;) {
        DFUThreadContext status;
        if (library.STDFUPRT_GetOperationStatus(handle, &status) != STDFUPRT_NOERROR) {
            break;
        }
        if (progress) {
            progress(status);
        }
        if (status.ErrorCode != STDFUPRT_NOERROR || status.Percent >= 100) {
            break;
        }
        std::this_thread::sleep_for(interval);
    }
    library.STDFUPRT_StopOperation(handle, &final);
    return STDFUPRT_NOERROR;
}

struct JobWaker::State {
    std::mutex mutex;
    std::condition_variable woken;
    bool pending = false;
};

JobWaker::JobWaker() : m_state(std::make_shared<State>()) {}

std::function<void()> JobWaker::WakeUp()
{
    // The state is shared so that an operation finishing after the waker is gone touches nothing freed.
    return [state = m_state] {
        {
            std::lock_guard lock(state->mutex);
            state->pending = true;
        }
        state->woken.notify_all();
    };
}

bool JobWaker::Wait(std::chrono::milliseconds interval)
{
    std::unique_lock lock(m_state->mutex);
    const bool woken = m_state->woken.wait_for(lock, interval, [&] { return m_state->pending; });
    m_state->pending = false;
    return woken;
}

void RunJob(TransferJob& job, const std::function<JobEvents()>& start, const JobEventFn& onEvent,
            std::chrono::milliseconds interval)
{
    JobWaker waker;
    job.SetWakeUp(waker.WakeUp());
    for (const JobEvent& event : start()) {
        onEvent(event);
    }
    while (job.Running()) {
        waker.Wait(interval);
        for (const JobEvent& event : job.Poll()) {
            onEvent(event);
        }
    }
    job.SetWakeUp({});
}

} // namespace nemora::dfuse

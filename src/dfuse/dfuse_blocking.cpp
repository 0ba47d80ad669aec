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

bool IsFailureEvent(const JobEvent& event)
{
    return event.kind == JobEvent::Kind::Failed || event.kind == JobEvent::Kind::Problem ||
           event.kind == JobEvent::Kind::Mismatch || event.kind == JobEvent::Kind::SnapshotUnreadable;
}

bool UploadArea(IDfuseLibrary& library, const DeviceLink& link, std::uint32_t address, std::uint32_t size,
                std::vector<std::uint8_t>& bytes, const JobEventFn& onEvent)
{
    TransferJob job(library.Operations());
    bool launched = false;
    bool failed = false;
    bytes.clear();
    Image area{0, "", {Element{address, std::vector<std::uint8_t>(size)}}};
    RunJob(
        job, [&] { return job.StartUpload(link, {0}, std::move(area), {}, launched); },
        [&](const JobEvent& event) {
            failed = failed || IsFailureEvent(event);
            if (event.kind == JobEvent::Kind::Element) {
                bytes.insert(bytes.end(), event.bytes.begin(), event.bytes.end());
            }
            if (onEvent) {
                onEvent(event);
            }
        });
    return launched && !failed && bytes.size() == size;
}

bool DownloadFile(IDfuseLibrary& library, const DeviceLink& link, DfuFile file, const JobEventFn& onEvent,
                  SnapshotRequest snapshot)
{
    TransferJob job(library.Operations());
    job.SetSnapshot(std::move(snapshot));
    bool failed = false;
    bool verified = false;
    RunJob(
        job, [&] { return job.StartUpgrade(link, {0}, std::move(file)); },
        [&](const JobEvent& event) {
            failed = failed || IsFailureEvent(event);
            verified = verified || event.kind == JobEvent::Kind::Verified;
            if (onEvent) {
                onEvent(event);
            }
        });
    return !failed && verified;
}

} // namespace nemora::dfuse

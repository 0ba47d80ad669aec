#pragma once

// Blocking use of the background operations and of the transfer jobs, for the command line, benchmarks
// and tests: the same launch, status and stop calls the console's engine makes, waiting for each operation
// to end instead of polling on a timer.

#include "dfuse/dfuse_contract.h"
#include "dfuse/transfer_job.h"

#include <chrono>
#include <functional>
#include <memory>

namespace nemora::dfuse {

using ProgressFn = std::function<void(const DFUThreadContext&)>;

// Launches the operation and polls it every `interval` until it reports 100 percent or an error, then
// stops it and returns the final context in `final`. `progress` (optional) sees every status copy.
// Returns the launch code: when it is not STDFUPRT_NOERROR nothing ran and `final` is the input context
// with that code as its error. Otherwise the operation's own result is final.ErrorCode.
std::uint32_t RunOperation(IDfuseLibrary& library, const DFUThreadContext& context, DFUThreadContext& final,
                           const ProgressFn& progress = {},
                           std::chrono::milliseconds interval = std::chrono::milliseconds(5));

using JobEventFn = std::function<void(const JobEvent&)>;

// Starts a job with `start` (one of its Start calls) and drives it to its end: polls it as soon as an
// operation has finished, and at least every `interval` for progress. Every event goes to `onEvent`, in order.
void RunJob(TransferJob& job, const std::function<JobEvents()>& start, const JobEventFn& onEvent,
            std::chrono::milliseconds interval = std::chrono::milliseconds(100));

// True when the event says the job failed: a failed operation, a problem, a verify mismatch, or a snapshot
// that could not be read (a blocking driver does not go on without it).
bool IsFailureEvent(const JobEvent& event);

// Reads `size` bytes at `address` of the device's first target through an upload job, as the console reads
// a user area. Every event also goes to `onEvent` (optional). True when all the bytes came.
bool UploadArea(IDfuseLibrary& library, const DeviceLink& link, std::uint32_t address, std::uint32_t size,
                std::vector<std::uint8_t>& bytes, const JobEventFn& onEvent = {});

// Erases, downloads and verifies the device's first target from a DfuSe file through an upgrade job, as the
// console writes a user area, after the snapshot when one is asked for. True when the verify passed.
bool DownloadFile(IDfuseLibrary& library, const DeviceLink& link, DfuFile file, const JobEventFn& onEvent = {},
                  SnapshotRequest snapshot = {});

// A wake-up a job can call from the library's thread, and the wait that it ends.
class JobWaker {
public:
    JobWaker();
    std::function<void()> WakeUp();
    // Waits until woken or until the interval has passed; true when woken.
    bool Wait(std::chrono::milliseconds interval);

private:
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace nemora::dfuse

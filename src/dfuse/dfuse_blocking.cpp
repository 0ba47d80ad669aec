#include "dfuse/dfuse_blocking.h"

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

} // namespace nemora::dfuse

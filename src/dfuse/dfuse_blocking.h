#pragma once

// Blocking use of the background operations, for the command line and tests: the same launch, status
// and stop calls the console's engine makes on its timer, in a loop.

#include "dfuse/dfuse_contract.h"

#include <chrono>
#include <functional>

namespace nemora::dfuse {

using ProgressFn = std::function<void(const DFUThreadContext&)>;

// Launches the operation and polls it every `interval` until it reports 100 percent or an error, then
// stops it and returns the final context in `final`. `progress` (optional) sees every status copy.
// Returns the launch code: when it is not STDFUPRT_NOERROR nothing ran and `final` is the input context
// with that code as its error. Otherwise the operation's own result is final.ErrorCode.
std::uint32_t RunOperation(IDfuseLibrary& library, const DFUThreadContext& context, DFUThreadContext& final,
                           const ProgressFn& progress = {},
                           std::chrono::milliseconds interval = std::chrono::milliseconds(5));

} // namespace nemora::dfuse

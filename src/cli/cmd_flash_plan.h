#pragma once

// nemora-cli flash --dry-run: what a flash would check and do, printed instead of done.

#include "dfuse/dfu_file.h"
#include "dfuse/transfer_job.h"

#include <string>

namespace nemora::cli {

// Prints on stdout what writing `file` (read from `path`) into the device behind `link` would do: the
// identity check, per target the pages a whole write erases and the bytes it writes, the user areas it
// writes or wipes, and why it would be refused; as text, or as one JSON object. With `device` (a write that
// compares first), the pages each image touches are read from it, and the plan also says which of them the
// write would erase, program or leave alone. Nothing that changes the device is sent. Returns kExitOk when
// the flash would go ahead, kExitFailure (the reason on stderr) when it would be refused.
int PrintFlashPlan(const std::string& path, const dfuse::DfuFile& file, const dfuse::DeviceLink& link, bool verify,
                   bool json, dfuse::DeviceOperations* device = nullptr);

} // namespace nemora::cli

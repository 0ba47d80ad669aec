#pragma once

// What writing a DfuSe file into a device would do, worked out from the file and what the device's link
// told (its identity and memory map) without a word to the device: whether the file is meant for it, per
// target the pages the erase takes and the bytes the download sends, the named areas the file writes or
// the erase wipes, and why an upgrade would refuse the file. The upgrade decides with the same functions
// (FileSuits, FileRefusals, FilterImage), so the plan and a real flash cannot disagree. Platform-free.

#include "dfuse/dfu_file.h"
#include "dfuse/transfer_job.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace nemora::dfuse {

// A named stretch of one target's memory, such as a user area.
struct NamedArea {
    std::string name;
    std::uint32_t address = 0;
    std::uint32_t size = 0;
    std::uint8_t alternate = 0; // the target it lies in (an image's alternate setting)
};

// The part of an area that some bytes fall on.
struct AreaHit {
    std::size_t area = 0; // index into the areas asked about
    std::string name;
    std::uint64_t first = 0; // lowest and highest address touched inside the area
    std::uint64_t last = 0;
    std::uint64_t bytes = 0; // addresses inside the area that are touched, each counted once
};

// The areas the images' bytes fall on, in area order; areas nothing falls on are left out. Only elements of
// images for the area's alternate setting count.
std::vector<AreaHit> AreasTouched(const std::vector<Image>& images, std::span<const NamedArea> areas);

// The targets an upgrade of the whole file works on: every alternate setting it has an image for, in order.
std::vector<int> FileTargets(const DfuFile& file);

struct ErasePage {
    std::uint32_t address = 0;
    std::uint32_t size = 0;
};

struct TargetPlan {
    int target = -1;                  // index into the memory map (the image's alternate setting)
    bool present = false;             // the device has that target
    std::string name;                 // the target's name, byte for byte; empty when it is not present
    std::optional<std::size_t> image; // the file image written into it: the first for the target
    std::vector<ErasePage> erase;     // the pages the erase phase takes, in the order it takes them
    std::uint64_t eraseBytes = 0;
    std::uint64_t fileBytes = 0;  // the image's data bytes
    std::uint64_t writeBytes = 0; // what the download phase sends (the bytes in writable sectors)
};

struct PlanIdentity {
    std::uint16_t fileVid = 0, filePid = 0, fileBcd = 0;
    std::uint16_t deviceVid = 0, devicePid = 0, deviceBcd = 0;
    std::uint32_t fileModel = 0, deviceModel = 0; // bcdDevice & 0xFFC0
    bool matches = false;
};

// One reason the upgrade would stop before it sends anything, as the job would report it.
struct PlanRefusal {
    JobProblem problem = JobProblem::Refused;
    std::uint32_t model = 0; // IdentityMismatch: the device's model
    std::string text;        // Refused: the whole text
};

// What became of a named area.
struct AreaPlan {
    NamedArea area;
    std::optional<AreaHit> written; // the file's bytes that land in it
    std::optional<AreaHit> erased;  // the pages the erase takes that cover it
    // Bytes of the area the erase wipes and the download does not write again: they come back as 0xFF.
    std::uint64_t wipedBytes = 0;
};

struct FlashPlan {
    PlanIdentity identity;
    std::vector<TargetPlan> targets;
    // Images an upgrade leaves out: later images for a target that already has one.
    std::vector<std::size_t> unusedImages;
    std::vector<AreaPlan> areas; // in the order asked about
    // Every reason to refuse; the first is the one the upgrade gives. Empty: the upgrade would go ahead.
    std::vector<PlanRefusal> refusals;

    bool Refused() const { return !refusals.empty(); }
};

FlashPlan MakeFlashPlan(const DfuFile& file, const DeviceLink& link, const std::vector<int>& targets,
                        std::span<const NamedArea> areas);

} // namespace nemora::dfuse

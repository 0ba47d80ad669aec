#include "dfuse/flash_plan.h"

#include "dfuse/dfuse_operations.h"
#include "dfuse/image_filter.h"

#include <algorithm>

namespace nemora::dfuse {
namespace {

constexpr std::uint16_t kModelMask = 0xFFC0;

struct Span {
    std::uint64_t start;
    std::uint64_t end; // exclusive
};

const Image* FirstImageFor(const DfuFile& file, int target, std::size_t* index = nullptr)
{
    for (std::size_t i = 0; i < file.images.size(); ++i) {
        if (file.images[i].alternate == target) {
            if (index != nullptr) {
                *index = i;
            }
            return &file.images[i];
        }
    }
    return nullptr;
}

bool Present(const DeviceLink& link, int target)
{
    return target >= 0 && static_cast<std::size_t>(target) < link.mapping.size();
}

} // namespace

std::vector<AreaHit> AreasTouched(const std::vector<Image>& images, std::span<const NamedArea> areas)
{
    std::vector<AreaHit> hits;
    for (std::size_t a = 0; a < areas.size(); ++a) {
        const NamedArea& area = areas[a];
        const std::uint64_t areaStart = area.address;
        const std::uint64_t areaEnd = areaStart + area.size;
        std::vector<Span> inside;
        for (const Image& image : images) {
            if (image.alternate != area.alternate) {
                continue;
            }
            for (const Element& e : image.elements) {
                const std::uint64_t from = std::max<std::uint64_t>(e.address, areaStart);
                const std::uint64_t to = std::min(e.End(), areaEnd);
                if (from < to) {
                    inside.push_back({from, to});
                }
            }
        }
        if (inside.empty()) {
            continue;
        }
        // Elements may overlap one another: count every address once.
        std::sort(inside.begin(), inside.end(), [](const Span& x, const Span& y) { return x.start < y.start; });
        AreaHit hit{a, area.name, inside.front().start, 0, 0};
        std::uint64_t reach = inside.front().start;
        for (const Span& s : inside) {
            const std::uint64_t from = std::max(s.start, reach);
            if (s.end > from) {
                hit.bytes += s.end - from;
            }
            reach = std::max(reach, s.end);
        }
        hit.last = reach - 1;
        hits.push_back(std::move(hit));
    }
    return hits;
}

std::vector<int> FileTargets(const DfuFile& file)
{
    std::vector<int> targets;
    for (const Image& image : file.images) {
        targets.push_back(image.alternate);
    }
    std::sort(targets.begin(), targets.end());
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
    return targets;
}

FlashPlan MakeFlashPlan(const DfuFile& file, const DeviceLink& link, const std::vector<int>& targets,
                        std::span<const NamedArea> areas)
{
    FlashPlan plan;
    PlanIdentity& id = plan.identity;
    id.fileVid = file.vid;
    id.filePid = file.pid;
    id.fileBcd = file.bcdDevice;
    id.deviceVid = link.vid;
    id.devicePid = link.pid;
    id.deviceBcd = link.bcdDevice;
    id.fileModel = file.bcdDevice & kModelMask;
    id.deviceModel = DeviceModel(link);
    id.matches = FileSuits(link, file.vid, file.pid, file.bcdDevice);

    // Per target what the phases get: the erase and the download each fit the target's first image to the
    // target, as the upgrade does, so the pages are the ones a real erase takes.
    std::vector<Image> written;
    std::vector<Image> wiped;
    std::vector<bool> used(file.images.size(), false);
    for (const int t : targets) {
        TargetPlan target;
        target.target = t;
        target.present = Present(link, t);
        std::size_t index = 0;
        const Image* image = FirstImageFor(file, t, &index);
        if (image != nullptr) {
            target.image = index;
            target.fileBytes = image->DataSize();
            used[index] = true;
        }
        if (target.present) {
            const MappingTarget& mapped = link.mapping[static_cast<std::size_t>(t)];
            target.name = mapped.szName;
            if (image != nullptr) {
                Image pages = *image;
                FilterImage(pages, mapped, OPERATION_ERASE, false);
                for (const Element& page : pages.elements) {
                    target.erase.push_back({page.address, static_cast<std::uint32_t>(page.data.size())});
                    target.eraseBytes += page.data.size();
                }
                Image download = *image;
                FilterImage(download, mapped, OPERATION_UPGRADE, false);
                target.writeBytes = download.DataSize();
                written.push_back(std::move(download));
                wiped.push_back(std::move(pages));
            }
        }
        plan.targets.push_back(std::move(target));
    }
    for (std::size_t i = 0; i < file.images.size(); ++i) {
        const bool forATarget =
            std::find(targets.begin(), targets.end(), int{file.images[i].alternate}) != targets.end();
        if (!used[i] && forATarget) {
            plan.unusedImages.push_back(i);
        }
    }

    const std::vector<AreaHit> writes = AreasTouched(written, areas);
    const std::vector<AreaHit> erases = AreasTouched(wiped, areas);
    for (std::size_t a = 0; a < areas.size(); ++a) {
        AreaPlan area;
        area.area = areas[a];
        const auto find = [a](const std::vector<AreaHit>& hits) -> std::optional<AreaHit> {
            const auto it = std::find_if(hits.begin(), hits.end(), [a](const AreaHit& h) { return h.area == a; });
            return it == hits.end() ? std::nullopt : std::optional(*it);
        };
        area.written = find(writes);
        area.erased = find(erases);
        // Everything the download writes in an area lies in the pages the erase takes.
        const std::uint64_t erasedBytes = area.erased ? area.erased->bytes : 0;
        const std::uint64_t writtenBytes = area.written ? area.written->bytes : 0;
        area.wipedBytes = erasedBytes > writtenBytes ? erasedBytes - writtenBytes : 0;
        plan.areas.push_back(std::move(area));
    }

    // The refusals in the order the upgrade meets them: with a file for this device, the whole-file checks;
    // then the first target's image; then the identity. The later ones are listed too, so that one dry run
    // shows everything standing in the way.
    const std::vector<std::string> fileRefusals = FileRefusals(file.images, link.mapping, targets);
    const auto missing = [&](int t) { return !Present(link, t) || FirstImageFor(file, t) == nullptr; };
    const auto add = [&](JobProblem problem, std::string text = {}) {
        PlanRefusal refusal;
        refusal.problem = problem;
        refusal.text = std::move(text);
        if (problem == JobProblem::IdentityMismatch) {
            refusal.model = id.deviceModel;
        }
        plan.refusals.push_back(std::move(refusal));
    };
    if (id.matches) {
        for (const std::string& text : fileRefusals) {
            add(JobProblem::Refused, text);
        }
    }
    if (plan.refusals.empty() || !id.matches) {
        if (targets.empty() || missing(targets.front())) {
            add(JobProblem::NoFileData);
        } else if (!id.matches) {
            add(JobProblem::IdentityMismatch);
        }
    }
    if (!id.matches) {
        for (const std::string& text : fileRefusals) {
            add(JobProblem::Refused, text);
        }
    }
    const bool noData = std::any_of(plan.refusals.begin(), plan.refusals.end(),
                                    [](const PlanRefusal& r) { return r.problem == JobProblem::NoFileData; });
    // A later target without an image stops the upgrade half-way (those with an image but no place in the
    // map are refused above).
    const auto imageless = [&](int t) { return FirstImageFor(file, t) == nullptr; };
    if (!noData && std::any_of(targets.begin(), targets.end(), imageless)) {
        add(JobProblem::NoFileData);
    }
    return plan;
}

} // namespace nemora::dfuse

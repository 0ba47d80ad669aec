#include "cli/cmd_flash_plan.h"

#include "cli/cli.h"
#include "cli/cli_device.h"
#include "device/device_identity.h"
#include "dfuse/dfuse_blocking.h"
#include "dfuse/dfuse_operations.h"
#include "dfuse/flash_plan.h"
#include "dfuse/image_filter.h"
#include "dfuse/page_plan.h"
#include "settings/snapshots.h"

#include <array>
#include <iostream>
#include <map>

namespace nemora::cli {
namespace {

using dfuse::AreaHit;
using dfuse::AreaPlan;
using dfuse::FlashPlan;
using dfuse::TargetPlan;

// The device's user areas, with the keys the JSON object gives them.
struct UserArea {
    const char* key;
    dfuse::NamedArea area;
};

std::array<UserArea, 2> UserAreas(const dfuse::DeviceLink& link)
{
    CDeviceIdentity identity;
    identity.SetIds(link.vid, link.pid, link.bcdDevice);
    const std::array<dfuse::NamedArea, 2> areas = settings::UserAreas(identity);
    return {{{"logo", areas[0]}, {"parameters", areas[1]}}};
}

// What comparing each target's pages with the device found: the page plan, or why there is none.
struct Compared {
    std::optional<dfuse::PagePlan> plan;
    std::string why; // no plan: why the write would be whole
};
using Comparisons = std::map<int, Compared>;

// Reads the pages every image of a target touches and plans them as the write would.
Comparisons Compare(const dfuse::DfuFile& file, const dfuse::DeviceLink& link, const FlashPlan& plan,
                    dfuse::DeviceOperations& device)
{
    Comparisons comparisons;
    for (const TargetPlan& t : plan.targets) {
        if (!t.present || !t.image) {
            continue;
        }
        Compared& compared = comparisons[t.target];
        const dfuse::MappingTarget& target = link.mapping[static_cast<std::size_t>(t.target)];
        dfuse::Image wanted = file.images[*t.image];
        dfuse::FilterImage(wanted, target, dfuse::OPERATION_UPGRADE, false);
        const dfuse::Image pages = dfuse::PagesToCompare(wanted, target);
        if (link.readProtected || pages.elements.empty()) {
            compared.why = link.readProtected ? "the device is read-protected" : "its pages cannot be read back";
            continue;
        }
        dfuse::TransferJob job(device);
        dfuse::Image read{pages.alternate, "", {}};
        bool launched = false;
        bool failed = false;
        std::string failure;
        dfuse::RunJob(
            job, [&] { return job.StartUpload(link, {t.target}, dfuse::JoinedPages(pages), {}, launched); },
            [&](const dfuse::JobEvent& event) {
                if (dfuse::IsFailureEvent(event)) {
                    failed = true;
                    failure = event.kind == dfuse::JobEvent::Kind::Failed ? DescribeFailure(event.context)
                                                                          : std::string("no data");
                }
                if (event.kind == dfuse::JobEvent::Kind::Element) {
                    read.elements.push_back({event.address, event.bytes});
                }
            });
        if (!launched || failed) {
            compared.why = "its pages could not be read (" + (failure.empty() ? std::string("launch") : failure) + ")";
            continue;
        }
        compared.plan = dfuse::PlanPages(wanted, pages, read);
    }
    return comparisons;
}

std::string RangeText(const AreaHit& hit)
{
    return Hex(hit.first, 8) + " to " + Hex(hit.last, 8) + " (" + std::to_string(hit.bytes) + " bytes)";
}

std::string RefusalText(const dfuse::PlanRefusal& refusal)
{
    return JobProblemText(refusal.problem, refusal.model, refusal.text);
}

void WriteIds(JsonWriter& json, std::uint16_t vid, std::uint16_t pid, std::uint16_t bcd, std::uint32_t model)
{
    json.BeginObject()
        .Key("vid")
        .Int(vid)
        .Key("pid")
        .Int(pid)
        .Key("bcd_device")
        .Int(bcd)
        .Key("model")
        .Int(model)
        .EndObject();
}

void WriteHit(JsonWriter& json, const std::optional<AreaHit>& hit)
{
    if (!hit) {
        json.Raw("null");
        return;
    }
    json.BeginObject()
        .Key("first")
        .Int(static_cast<long long>(hit->first))
        .Key("last")
        .Int(static_cast<long long>(hit->last))
        .Key("bytes")
        .Int(static_cast<long long>(hit->bytes))
        .EndObject();
}

void PrintJson(const std::string& path, const FlashPlan& plan, const Comparisons& comparisons,
               const std::array<UserArea, 2>& areas, const std::string& device, bool verify)
{
    const dfuse::PlanIdentity& id = plan.identity;
    JsonWriter json(std::cout);
    json.BeginObject().Key("file").String(path).Key("device").String(device).Key("identity").BeginObject();
    json.Key("file");
    WriteIds(json, id.fileVid, id.filePid, id.fileBcd, id.fileModel);
    json.Key("device");
    WriteIds(json, id.deviceVid, id.devicePid, id.deviceBcd, id.deviceModel);
    json.Key("matches").Bool(id.matches).EndObject();

    json.Key("targets").BeginArray();
    for (const TargetPlan& t : plan.targets) {
        json.BeginObject()
            .Key("target")
            .Int(t.target)
            .Key("present")
            .Bool(t.present)
            .Key("name")
            .String(Latin1ToUtf8(t.name))
            .Key("image");
        if (t.image) {
            json.Int(static_cast<long long>(*t.image));
        } else {
            json.Raw("null");
        }
        json.Key("file_bytes")
            .Int(static_cast<long long>(t.fileBytes))
            .Key("write_bytes")
            .Int(static_cast<long long>(t.writeBytes))
            .Key("erase_bytes")
            .Int(static_cast<long long>(t.eraseBytes))
            .Key("pages")
            .BeginArray();
        for (const dfuse::ErasePage& page : t.erase) {
            json.BeginObject().Key("address").Int(page.address).Key("size").Int(page.size).EndObject();
        }
        json.EndArray().Key("compare");
        const auto compared = comparisons.find(t.target);
        if (compared == comparisons.end() || !compared->second.plan) {
            json.Raw("null");
        } else {
            const dfuse::PagePlan& p = *compared->second.plan;
            json.BeginObject()
                .Key("pages")
                .Int(static_cast<long long>(p.pages))
                .Key("unchanged")
                .Int(static_cast<long long>(p.unchanged))
                .Key("blank")
                .Int(static_cast<long long>(p.blank))
                .Key("erased")
                .BeginArray();
            for (const dfuse::Element& page : p.erase.elements) {
                json.Int(page.address);
            }
            json.EndArray().EndObject();
        }
        json.EndObject();
    }
    json.EndArray();

    json.Key("unused_images").BeginArray();
    for (const std::size_t i : plan.unusedImages) {
        json.Int(static_cast<long long>(i));
    }
    json.EndArray();

    json.Key("areas").BeginObject();
    for (std::size_t a = 0; a < plan.areas.size(); ++a) {
        const AreaPlan& area = plan.areas[a];
        json.Key(areas[a].key)
            .BeginObject()
            .Key("name")
            .String(area.area.name)
            .Key("address")
            .Int(area.area.address)
            .Key("size")
            .Int(area.area.size)
            .Key("written");
        WriteHit(json, area.written);
        json.Key("erased");
        WriteHit(json, area.erased);
        json.Key("wiped_bytes").Int(static_cast<long long>(area.wipedBytes)).EndObject();
    }
    json.EndObject();

    json.Key("verify").Bool(verify).Key("refusals").BeginArray();
    for (const dfuse::PlanRefusal& r : plan.refusals) {
        json.String(Latin1ToUtf8(RefusalText(r)));
    }
    json.EndArray().Key("would_flash").Bool(!plan.Refused()).EndObject();
    std::cout << '\n';
}

// "  page 0x08000000 to 0x080003FF (1024 bytes)".
void PrintPage(std::uint32_t address, std::uint64_t size)
{
    std::cout << "  page " << Hex(address, 8) << " to " << Hex(std::uint64_t{address} + size - 1, 8) << " (" << size
              << " bytes)\n";
}

void PrintText(const std::string& path, const dfuse::DfuFile& file, const FlashPlan& plan,
               const Comparisons& comparisons, const std::string& device, bool verify)
{
    const dfuse::PlanIdentity& id = plan.identity;
    const auto ids = [](std::uint16_t vid, std::uint16_t pid, std::uint16_t bcd, std::uint32_t model) {
        return "VID " + Hex(vid, 4) + ", PID " + Hex(pid, 4) + ", bcdDevice " + Hex(bcd, 4) + " (model " +
               Hex(model, 4) + ")";
    };
    std::cout << "file:     " << PrintableText(path) << ": " << ids(id.fileVid, id.filePid, id.fileBcd, id.fileModel)
              << '\n';
    std::cout << "device:   " << device << ": " << ids(id.deviceVid, id.devicePid, id.deviceBcd, id.deviceModel)
              << '\n';
    std::cout << "identity: " << (id.matches ? "the file suits the device" : "the file is for another device") << '\n';
    for (const TargetPlan& t : plan.targets) {
        std::cout << TargetLabel("target", t.target);
        if (!t.present) {
            std::cout << ": the device has no such target\n";
            continue;
        }
        const auto compared = comparisons.find(t.target);
        const bool planned = compared != comparisons.end() && compared->second.plan;
        std::cout << " \"" << PrintableText(t.name) << "\": " << (planned ? "a whole write would erase " : "erase ")
                  << t.erase.size() << (t.erase.size() == 1 ? " page" : " pages") << " (" << t.eraseBytes
                  << " bytes), write " << t.writeBytes << " of the image's " << t.fileBytes << " bytes\n";
        if (planned) {
            // The write compares first: only these pages are erased.
            const dfuse::PagePlan& p = *compared->second.plan;
            std::cout << "  compared with the device: " << dfuse::DescribePlan(p) << "; erase " << p.erased
                      << (p.erased == 1 ? " page" : " pages") << '\n';
            for (const dfuse::Element& page : p.erase.elements) {
                PrintPage(page.address, page.data.size());
            }
            continue;
        }
        if (compared != comparisons.end()) {
            std::cout << "  not compared: " << compared->second.why
                      << ", so these pages are erased whole and their bytes the file does not cover are lost\n";
        }
        for (const dfuse::ErasePage& page : t.erase) {
            PrintPage(page.address, page.size);
        }
    }
    for (const std::size_t i : plan.unusedImages) {
        const dfuse::Image& image = file.images[i];
        std::cout << "image " << i << " (" << image.DataSize() << " bytes): not written; a flash writes only the first "
                  << TargetLabel("image for target", image.alternate) << '\n';
    }
    for (const AreaPlan& area : plan.areas) {
        std::cout << area.area.name << " " << Hex(area.area.address, 8) << " (" << area.area.size << " bytes): ";
        if (!area.written && !area.erased) {
            std::cout << "not touched\n";
            continue;
        }
        std::cout << (area.written ? "written " + RangeText(*area.written) : std::string("not written"));
        if (area.wipedBytes > 0) {
            std::cout << "; " << area.wipedBytes << " bytes of it erased and not written again (they become 0xFF)";
        }
        std::cout << '\n';
    }
    std::cout << "verify:   " << (verify ? "read back and compared afterwards" : "no read-back (--no-verify)") << '\n';
    for (const dfuse::PlanRefusal& r : plan.refusals) {
        std::cout << "refused:  " << PrintableText(RefusalText(r)) << '\n';
    }
    std::cout << (plan.Refused() ? "The flash would be refused; nothing would be sent.\n"
                                 : "The flash would go ahead.\n");
}

} // namespace

int PrintFlashPlan(const std::string& path, const dfuse::DfuFile& file, const dfuse::DeviceLink& link, bool verify,
                   bool json, dfuse::DeviceOperations* device)
{
    const std::array<UserArea, 2> areas = UserAreas(link);
    std::array<dfuse::NamedArea, 2> named;
    for (std::size_t i = 0; i < areas.size(); ++i) {
        named[i] = areas[i].area;
    }
    const FlashPlan plan = dfuse::MakeFlashPlan(file, link, dfuse::FileTargets(file), named);
    const Comparisons comparisons =
        device != nullptr && !plan.Refused() ? Compare(file, link, plan, *device) : Comparisons{};
    if (json) {
        PrintJson(path, plan, comparisons, areas, link.devicePath, verify);
    } else {
        PrintText(path, file, plan, comparisons, link.devicePath, verify);
    }
    if (plan.Refused()) {
        return Failure("flash", "the flash would be refused: " + PrintableText(RefusalText(plan.refusals.front())));
    }
    return kExitOk;
}

} // namespace nemora::cli

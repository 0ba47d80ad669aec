#include "dfuse/transfer_job.h"

#include "dfuse/dfuse_operations.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace nemora::dfuse {
namespace {

constexpr std::uint32_t kOk = STDFU_NOERROR;
constexpr std::uint16_t kModelMask = 0xFFC0; // bcdDevice without its six firmware-version bits

std::string Hex4(std::uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", unsigned{value});
    return text;
}

std::string HexAddress(std::uint64_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(value));
    return text;
}

// The device's model: its bcdDevice text read as hexadecimal, without the firmware-version bits.
std::uint32_t ModelOf(const std::string& bcdText)
{
    return static_cast<std::uint32_t>(std::strtoul(bcdText.c_str(), nullptr, 16)) & kModelMask;
}

} // namespace

bool FileSuits(const DeviceLink& link, std::uint16_t vid, std::uint16_t pid, std::uint16_t bcd)
{
    return link.devVid == Hex4(vid) && link.devPid == Hex4(pid) && !link.devBcd.empty() &&
           (bcd & kModelMask) == ModelOf(link.devBcd);
}

std::uint32_t DeviceModel(const DeviceLink& link)
{
    return ModelOf(link.devBcd);
}

bool ReadImageValue(IDfuseLibrary& library, DfuImageHandle hImage, Image& image)
{
    Image value;
    std::uint32_t count = 0;
    if (library.STDFUFILES_GetImageAlternate(hImage, &value.alternate) != kOk ||
        library.STDFUFILES_GetImageName(hImage, &value.name) != kOk ||
        library.STDFUFILES_GetImageNbElement(hImage, &count) != kOk) {
        return false;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        DfuElement element;
        if (library.STDFUFILES_GetImageElement(hImage, i, &element) != kOk) {
            return false;
        }
        Element e{element.dwAddress, std::vector<std::uint8_t>(element.dwDataLength)};
        element.Data = e.data.data();
        if (!e.data.empty() && library.STDFUFILES_GetImageElement(hImage, i, &element) != kOk) {
            return false;
        }
        value.elements.push_back(std::move(e));
    }
    image = std::move(value);
    return true;
}

std::vector<AddressRange> BytesOutside(const Image& image, const MappingTarget& target, std::uint8_t typeBits)
{
    std::vector<AddressRange> allowed;
    for (const MappingSector& s : target.sectors) {
        if ((s.bSectorType & typeBits) == typeBits && s.dwSectorSize > 0) {
            allowed.push_back({s.dwStartAddress, s.End()}); // `last` holds the end here, one past
        }
    }
    std::sort(allowed.begin(), allowed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<AddressRange> outside;
    auto addOutside = [&](std::uint64_t from, std::uint64_t to) { // [from, to)
        if (from >= to) {
            return;
        }
        if (!outside.empty() && outside.back().last + 1 >= from) {
            outside.back().last = std::max(outside.back().last, to - 1);
        } else {
            outside.push_back({from, to - 1});
        }
    };
    for (const Element& e : image.elements) {
        std::uint64_t at = e.address;
        const std::uint64_t end = e.End();
        for (const auto& run : allowed) {
            if (at >= end) {
                break;
            }
            if (run.last <= at) {
                continue;
            }
            addOutside(at, std::min(end, run.first));
            at = std::max(at, run.last);
        }
        addOutside(at, end);
    }
    std::sort(outside.begin(), outside.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return outside;
}

std::optional<ElementOverlap> FindOverlap(const std::vector<Image>& images)
{
    struct Piece {
        std::uint64_t start, end;
        std::size_t image, element;
        std::uint8_t alternate;
    };
    std::vector<Piece> pieces;
    for (std::size_t i = 0; i < images.size(); ++i) {
        for (std::size_t e = 0; e < images[i].elements.size(); ++e) {
            const Element& element = images[i].elements[e];
            if (!element.data.empty()) {
                pieces.push_back({element.address, element.End(), i, e, images[i].alternate});
            }
        }
    }
    std::sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) {
        return a.alternate != b.alternate ? a.alternate < b.alternate : a.start < b.start;
    });
    // Sorted by start, a piece overlaps an earlier one exactly when it starts before the furthest end so far.
    for (std::size_t k = 1, reach = 0; k < pieces.size(); ++k) {
        if (pieces[k].alternate != pieces[k - 1].alternate) {
            reach = k;
            continue;
        }
        if (pieces[k].start < pieces[reach].end) {
            const Piece& a = pieces[reach];
            const Piece& b = pieces[k];
            const bool aFirst = a.image != b.image ? a.image < b.image : a.element < b.element;
            const Piece& x = aFirst ? a : b;
            const Piece& y = aFirst ? b : a;
            return ElementOverlap{x.image, x.element, y.image, y.element, b.start, std::min(a.end, b.end) - 1};
        }
        if (pieces[k].end > pieces[reach].end) {
            reach = k;
        }
    }
    return std::nullopt;
}

std::string DescribeOverlap(const std::vector<Image>& images, const ElementOverlap& overlap)
{
    auto element = [&](std::size_t i, std::size_t e) {
        const Element& el = images[i].elements[e];
        char text[96];
        std::snprintf(text, sizeof text, "image %zu element %zu (%s, %zu bytes)", i, e, HexAddress(el.address).c_str(),
                      el.data.size());
        return std::string(text);
    };
    return element(overlap.firstImage, overlap.firstElement) + " and " +
           element(overlap.secondImage, overlap.secondElement) + " both hold bytes for " + HexAddress(overlap.first) +
           " to " + HexAddress(overlap.last);
}

std::vector<std::string> FileRefusals(const std::vector<Image>& images, const std::vector<MappingTarget>& mapping,
                                      const std::vector<int>& targets)
{
    std::vector<std::string> refusals;
    if (const auto overlap = FindOverlap(images)) {
        // Writing both would program the same bytes twice: the second write fails half-way.
        refusals.push_back("The file's data overlaps: " + DescribeOverlap(images, *overlap) + "; nothing was written.");
    }
    std::vector<std::size_t> imagesPerTarget(256, 0);
    for (std::size_t i = 0; i < images.size(); ++i) {
        const Image& image = images[i];
        const MappingTarget* target = image.alternate < mapping.size() ? &mapping[image.alternate] : nullptr;
        char text[320];
        if (image.DataSize() > 0 && ++imagesPerTarget[image.alternate] == 2 &&
            std::find(targets.begin(), targets.end(), int{image.alternate}) != targets.end()) {
            // A download writes the first image of each target only: the others would be lost while the
            // verify of the first one passes.
            std::snprintf(text, sizeof text,
                          "The file holds more than one image for target %02u (image %zu is the second); a download "
                          "writes one image per target, so the others would not be written; nothing was written.",
                          unsigned{image.alternate}, i);
            refusals.emplace_back(text);
        }
        if (target == nullptr) {
            std::snprintf(text, sizeof text,
                          "The file holds an image for target %02u, but the device has no such target; nothing "
                          "was written.",
                          unsigned{image.alternate});
            refusals.emplace_back(text);
            continue;
        }
        if (std::find(targets.begin(), targets.end(), int{image.alternate}) == targets.end()) {
            continue;
        }
        const auto outside = BytesOutside(image, *target, kSectorWritable);
        if (!outside.empty()) {
            std::uint64_t count = 0;
            for (const auto& r : outside) {
                count += r.last - r.first + 1;
            }
            std::snprintf(text, sizeof text,
                          "%llu bytes lie outside the writable sectors of target %02u \"%s\" (the first from %s "
                          "to %s); nothing was written.",
                          static_cast<unsigned long long>(count), unsigned{image.alternate}, target->szName.c_str(),
                          HexAddress(outside.front().first).c_str(), HexAddress(outside.front().last).c_str());
            refusals.emplace_back(text);
        }
    }
    return refusals;
}

TransferJob::TransferJob(IDfuseLibrary& library) : m_library(library) {}

TransferJob::~TransferJob()
{
    Stop();
}

const MappingTarget* TransferJob::TargetAt(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_link.mapping.size()) {
        return nullptr;
    }
    return &m_link.mapping[static_cast<std::size_t>(index)];
}

int TransferJob::NextTarget(int after) const
{
    for (int t : m_targets) {
        if (t > after && TargetAt(t) != nullptr) {
            return t;
        }
    }
    return -1;
}

void TransferJob::Add(JobEvents& events, JobEvent::Kind kind) const
{
    JobEvent event;
    event.kind = kind;
    event.target = m_nCurrentTarget;
    events.push_back(std::move(event));
}

void TransferJob::AddProblem(JobEvents& events, JobProblem problem, std::string text) const
{
    Add(events, JobEvent::Kind::Problem);
    events.back().problem = problem;
    events.back().text = std::move(text);
}

void TransferJob::DestroyImage(DfuImageHandle& hImage)
{
    if (hImage != nullptr) {
        m_library.STDFUFILES_DestroyImage(hImage);
        hImage = nullptr;
    }
}

std::uint32_t TransferJob::ImageSize(DfuImageHandle hImage)
{
    std::uint32_t size = 0;
    m_library.STDFUFILES_GetImageSize(hImage, &size);
    return size;
}

bool TransferJob::Launch(std::uint32_t operation, DfuImageHandle hImage, JobEvent launched, JobEvents& events)
{
    DFUThreadContext context;
    context.Operation = operation;
    context.hImage = hImage;
    context.bDontSendFFTransfersForUpgrade = false; // send every block: nothing is left out
    context.szDevLink = m_link.devicePath.substr(0, 259);
    context.onFinished = m_wakeUp;
    const std::uint32_t code = m_library.STDFUPRT_LaunchOperation(context, &m_hOperation);
    if (code != kOk) {
        m_hOperation = nullptr;
        context.ErrorCode = code;
        Add(events, JobEvent::Kind::Failed);
        events.back().context = context;
        return false;
    }
    m_runningOperation = operation;
    launched.kind = JobEvent::Kind::Launched;
    launched.operation = operation;
    launched.target = m_nCurrentTarget;
    events.push_back(std::move(launched));
    return true;
}

TransferJob::Phase TransferJob::RunningPhase() const
{
    if (!Running()) {
        return Phase::None;
    }
    switch (m_runningOperation) {
    case OPERATION_ERASE:
        return Phase::Erase;
    case OPERATION_UPGRADE:
        return Phase::Download;
    case OPERATION_UPLOAD:
        if (m_snapshotRunning) {
            return Phase::Snapshot;
        }
        return m_hImageCopy != nullptr ? Phase::Verify : Phase::Upload;
    default:
        return Phase::Leave;
    }
}

// ---------------------------------------------------------------- upgrade and verify

JobEvents TransferJob::StartUpgrade(const DeviceLink& link, std::vector<int> targets, DfuFile file)
{
    JobEvents events;
    if (Running()) {
        return events;
    }
    m_link = link;
    m_targets = std::move(targets);
    m_upgradeFile = std::move(file);
    m_nCurrentTarget = FirstTarget();
    m_snapshotSettled = m_snapshot.areas.empty();
    m_awaitingSnapshotDecision = false;
    UpgradeTarget(events);
    if (!Running()) {
        Add(events, JobEvent::Kind::Finished);
    }
    return events;
}

DfuImageHandle TransferJob::TakeSourceImage()
{
    // The first image for the current target is the source, made from the checked file for the operation
    // about to run: what the device gets is what was checked, whatever became of the file on disk since.
    for (const Image& image : m_upgradeFile.images) {
        if (image.alternate != m_nCurrentTarget) {
            continue;
        }
        DfuImageHandle hImage = nullptr;
        if (m_library.STDFUFILES_CreateImage(&hImage, image.alternate) != kOk) {
            return nullptr;
        }
        bool made = m_library.STDFUFILES_SetImageName(hImage, image.name) == kOk;
        for (std::size_t i = 0; made && i < image.elements.size(); ++i) {
            const Element& e = image.elements[i];
            const DfuElement element{e.address, static_cast<std::uint32_t>(e.data.size()),
                                     const_cast<std::uint8_t*>(e.data.data())};
            made = m_library.STDFUFILES_SetImageElement(hImage, static_cast<std::uint32_t>(i), true, element) == kOk;
        }
        if (!made) {
            m_library.STDFUFILES_DestroyImage(hImage);
            return nullptr;
        }
        return hImage;
    }
    return nullptr;
}

void TransferJob::UpgradeTarget(JobEvents& events)
{
    const MappingTarget* pTarget = TargetAt(m_nCurrentTarget);
    const std::uint16_t wVid = m_upgradeFile.vid, wPid = m_upgradeFile.pid, wBcd = m_upgradeFile.bcdDevice;
    if (m_nCurrentTarget == FirstTarget() && FileSuits(m_link, wVid, wPid, wBcd)) {
        // Every image of the file must find its target, and the targets to be written must take all of
        // their image's bytes: a file that cannot be written whole changes nothing.
        const std::vector<std::string> refusals = FileRefusals(m_upgradeFile.images, m_link.mapping, m_targets);
        if (!refusals.empty()) {
            m_nCurrentTarget = -1;
            AddProblem(events, JobProblem::Refused, refusals.front());
            return;
        }
    }
    if (pTarget == nullptr) {
        AddProblem(events, JobProblem::NoFileData);
        return;
    }
    DfuImageHandle hSource = TakeSourceImage();
    if (hSource == nullptr) {
        AddProblem(events, JobProblem::NoFileData);
        return;
    }
    if (!FileSuits(m_link, wVid, wPid, wBcd)) {
        m_library.STDFUFILES_DestroyImage(hSource);
        m_nCurrentTarget = -1;
        AddProblem(events, JobProblem::IdentityMismatch);
        events.back().model = DeviceModel(m_link);
        return;
    }
    if (!m_snapshotSettled) {
        // The file suits the device and can be written whole: read what it is about to replace first.
        m_library.STDFUFILES_DestroyImage(hSource);
        StartSnapshot(events);
        return;
    }
    DestroyImage(m_hImageCopy);
    if (m_library.STDFUFILES_DuplicateImage(hSource, &m_hImageCopy) != kOk) {
        m_hImageCopy = nullptr;
        m_library.STDFUFILES_DestroyImage(hSource);
        AddProblem(events, JobProblem::NoFileData);
        return;
    }
    m_library.STDFUFILES_FilterImageForOperation(m_hImageCopy, pTarget, OPERATION_UPGRADE, false);
    m_library.STDFUFILES_FilterImageForOperation(hSource, pTarget, OPERATION_ERASE, false);

    JobEvent launched;
    launched.resetBar = true;
    launched.restartClock = true;
    launched.resetSize = true;
    launched.size = ImageSize(m_hImageCopy);
    if (!Launch(OPERATION_ERASE, hSource, launched, events)) {
        m_library.STDFUFILES_DestroyImage(hSource);
        DestroyImage(m_hImageCopy);
    }
}

void TransferJob::VerifyTarget(JobEvents& events)
{
    const MappingTarget* pTarget = TargetAt(m_nCurrentTarget);
    DfuImageHandle hSource = TakeSourceImage();
    if (hSource == nullptr || pTarget == nullptr) {
        DestroyImage(hSource);
        AddProblem(events, JobProblem::NoTargetData);
        return;
    }
    DestroyImage(m_hImageCopy);
    m_library.STDFUFILES_FilterImageForOperation(hSource, pTarget, OPERATION_UPLOAD, false);
    if (m_library.STDFUFILES_DuplicateImage(hSource, &m_hImageCopy) != kOk) {
        m_hImageCopy = nullptr;
        m_library.STDFUFILES_DestroyImage(hSource);
        AddProblem(events, JobProblem::SourceImage);
        return;
    }
    JobEvent launched;
    launched.resetBar = true;
    if (!Launch(OPERATION_UPLOAD, hSource, launched, events)) {
        m_library.STDFUFILES_DestroyImage(hSource);
        DestroyImage(m_hImageCopy);
    }
}

void TransferJob::OnVerifyComplete(DfuImageHandle hReadImage, JobEvents& events)
{
    // The read image holds what the device holds, the copy what the file holds, element for element.
    bool ok = true;
    bool mismatch = false;
    std::uint32_t count = 0;
    if (m_library.STDFUFILES_GetImageNbElement(hReadImage, &count) != kOk) {
        AddProblem(events, JobProblem::ReadImageElements);
        ok = false;
        count = 0;
    }
    for (std::uint32_t i = 0; i < count && ok && !mismatch; ++i) {
        DfuElement read;
        std::vector<std::uint8_t> readData;
        bool readOk = m_library.STDFUFILES_GetImageElement(hReadImage, i, &read) == kOk;
        if (readOk) {
            readData.resize(read.dwDataLength);
            read.Data = readData.data();
            readOk = m_library.STDFUFILES_GetImageElement(hReadImage, i, &read) == kOk;
        }
        if (!readOk) {
            AddProblem(events, JobProblem::ReadImage);
            ok = false;
            break;
        }
        DfuElement file;
        std::vector<std::uint8_t> fileData;
        bool fileOk = m_library.STDFUFILES_GetImageElement(m_hImageCopy, i, &file) == kOk;
        if (fileOk) {
            fileData.resize(file.dwDataLength);
            file.Data = fileData.data();
            fileOk = m_library.STDFUFILES_GetImageElement(m_hImageCopy, i, &file) == kOk;
        }
        if (!fileOk) {
            AddProblem(events, JobProblem::SourceImage);
            ok = false;
            break;
        }
        const std::size_t common = std::min(readData.size(), fileData.size());
        for (std::size_t j = 0; j < common; ++j) {
            if (readData[j] != fileData[j]) {
                mismatch = true;
                Add(events, JobEvent::Kind::Mismatch);
                events.back().address = static_cast<std::uint32_t>(file.dwAddress + j);
                events.back().fileByte = fileData[j];
                events.back().readByte = readData[j];
                break;
            }
        }
        if (!mismatch && readData.size() != fileData.size()) {
            // Cannot happen with a fitted copy; a length difference still is not a match.
            mismatch = true;
            Add(events, JobEvent::Kind::Mismatch);
            events.back().hasBytes = false;
        }
    }
    DestroyImage(m_hImageCopy);

    // A mismatch ends the verify pass: its report stays for the user to see.
    if (ok && !mismatch) {
        Add(events, JobEvent::Kind::Verified);
        m_nCurrentTarget = NextTarget(m_nCurrentTarget);
        if (m_nCurrentTarget >= 0) {
            m_bFinished = false;
            VerifyTarget(events);
        }
    }
}

// ---------------------------------------------------------------- snapshot

bool TransferJob::StartSnapshot(JobEvents& events)
{
    // The user areas live in the device's first target, whichever targets the upgrade writes.
    const MappingTarget* pTarget = TargetAt(0);
    DfuImageHandle hImage = nullptr;
    bool made = pTarget != nullptr && m_library.STDFUFILES_CreateImage(&hImage, pTarget->bAlternate) == kOk;
    std::vector<std::vector<std::uint8_t>> buffers(m_snapshot.areas.size());
    for (std::size_t i = 0; made && i < m_snapshot.areas.size(); ++i) {
        buffers[i].assign(m_snapshot.areas[i].size, 0);
        const DfuElement element{m_snapshot.areas[i].address, m_snapshot.areas[i].size, buffers[i].data()};
        made = m_library.STDFUFILES_SetImageElement(hImage, static_cast<std::uint32_t>(i), true, element) == kOk;
    }
    JobEvent launched;
    launched.resetBar = true;
    launched.restartClock = true;
    launched.resetSize = true;
    launched.snapshot = true;
    m_snapshotRunning = made;
    if (made) {
        m_library.STDFUFILES_SetImageName(hImage, "snapshot");
        launched.size = ImageSize(hImage);
        if (Launch(OPERATION_UPLOAD, hImage, launched, events)) {
            return true;
        }
        m_snapshotRunning = false;
        events.back().kind = JobEvent::Kind::SnapshotUnreadable;
    } else {
        Add(events, JobEvent::Kind::SnapshotUnreadable);
        events.back().context.Operation = OPERATION_UPLOAD;
        events.back().context.ErrorCode = STDFUPRT_BADPARAMETER;
    }
    if (hImage != nullptr) {
        m_library.STDFUFILES_DestroyImage(hImage);
    }
    m_awaitingSnapshotDecision = true;
    return false;
}

void TransferJob::OnSnapshotComplete(DfuImageHandle hImage, JobEvents& events)
{
    m_snapshotRunning = false;
    Image read;
    if (!ReadImageValue(m_library, hImage, read) || read.elements.size() != m_snapshot.areas.size()) {
        Add(events, JobEvent::Kind::SnapshotUnreadable);
        events.back().context.Operation = OPERATION_UPLOAD;
        events.back().context.ErrorCode = STDFUPRT_UNEXPECTEDERROR;
        m_awaitingSnapshotDecision = true;
        return;
    }
    std::vector<std::vector<std::uint8_t>> bytes;
    for (Element& element : read.elements) {
        bytes.push_back(std::move(element.data));
    }
    std::string text;
    if (!m_snapshot.save || !m_snapshot.save(bytes, text)) {
        AddProblem(events, JobProblem::SnapshotNotSaved, text);
        m_nCurrentTarget = -1;
        return;
    }
    Add(events, JobEvent::Kind::Snapshot);
    events.back().text = std::move(text);
    m_snapshotSettled = true;
    m_bFinished = false;
    UpgradeTarget(events);
}

JobEvents TransferJob::ContinueWithoutSnapshot()
{
    JobEvents events;
    if (!m_awaitingSnapshotDecision || Running()) {
        return events;
    }
    m_awaitingSnapshotDecision = false;
    m_snapshotSettled = true;
    UpgradeTarget(events);
    if (!Running()) {
        Add(events, JobEvent::Kind::Finished);
    }
    return events;
}

// ---------------------------------------------------------------- upload

JobEvents TransferJob::StartUpload(const DeviceLink& link, std::vector<int> targets, DfuImageHandle hImage,
                                   const std::string& uploadFile, bool& taken)
{
    JobEvents events;
    taken = false;
    if (Running()) {
        return events;
    }
    m_link = link;
    m_targets = std::move(targets);
    m_uploadFile = uploadFile;
    m_nCurrentTarget = FirstTarget();
    DestroyImage(m_hImageCopy);
    m_library.STDFUFILES_FilterImageForOperation(hImage, TargetAt(m_nCurrentTarget), OPERATION_UPLOAD, false);
    JobEvent launched;
    launched.resetBar = true;
    launched.restartClock = true;
    launched.resetSize = true;
    launched.size = ImageSize(hImage);
    taken = Launch(OPERATION_UPLOAD, hImage, launched, events);
    if (!taken) {
        Add(events, JobEvent::Kind::Finished);
    }
    return events;
}

void TransferJob::UploadNextTarget(JobEvents& events)
{
    DestroyImage(m_hImageCopy);
    const MappingTarget* pTarget = TargetAt(m_nCurrentTarget);
    DfuImageHandle hImage = nullptr;
    if (pTarget == nullptr || m_library.STDFUFILES_CreateImageFromMapping(&hImage, pTarget) != kOk) {
        AddProblem(events, JobProblem::ReadImage);
        return;
    }
    m_library.STDFUFILES_SetImageName(hImage, "");
    m_library.STDFUFILES_FilterImageForOperation(hImage, pTarget, OPERATION_UPLOAD, false);
    JobEvent launched;
    launched.resetBar = true;
    launched.restartClock = true;
    launched.resetSize = true;
    launched.size = ImageSize(hImage);
    if (!Launch(OPERATION_UPLOAD, hImage, launched, events)) {
        m_library.STDFUFILES_DestroyImage(hImage);
    }
}

bool TransferJob::StoreUpload(DfuImageHandle hImage, JobEvents& events)
{
    if (m_uploadFile.empty()) {
        return true; // no upload file wanted: the caller takes the bytes from the Element events alone
    }
    DfuFileHandle hFile = nullptr;
    const std::uint32_t code =
        m_nCurrentTarget == FirstTarget()
            ? m_library.STDFUFILES_CreateNewDFUFile(m_uploadFile, &hFile, m_link.vid, m_link.pid, m_link.bcdDevice)
            : m_library.STDFUFILES_OpenExistingDFUFile(m_uploadFile, &hFile, nullptr, nullptr, nullptr, nullptr);
    if (code != kOk) {
        AddProblem(events, JobProblem::CreateUploadFile);
        return false;
    }
    const bool appended = m_library.STDFUFILES_AppendImageToDFUFile(hFile, hImage) == kOk;
    if (!appended) {
        AddProblem(events, JobProblem::AppendUploadFile);
    }
    m_library.STDFUFILES_CloseDFUFile(hFile);
    return appended;
}

void TransferJob::OnUploadComplete(DfuImageHandle hImage, JobEvents& events)
{
    if (StoreUpload(hImage, events)) {
        Add(events, JobEvent::Kind::Uploaded);
        m_nCurrentTarget = NextTarget(m_nCurrentTarget);
        if (m_nCurrentTarget >= 0) {
            m_bFinished = false;
            UploadNextTarget(events);
        }
    }

    // The caller gets every element whatever became of the file.
    std::uint32_t count = 0;
    if (m_library.STDFUFILES_GetImageNbElement(hImage, &count) != kOk) {
        return;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        DfuElement element;
        std::vector<std::uint8_t> bytes;
        bool read = m_library.STDFUFILES_GetImageElement(hImage, i, &element) == kOk;
        if (read) {
            bytes.resize(element.dwDataLength);
            element.Data = bytes.data();
            read = m_library.STDFUFILES_GetImageElement(hImage, i, &element) == kOk;
        }
        if (!read) {
            AddProblem(events, JobProblem::ReadImage);
            return;
        }
        Add(events, JobEvent::Kind::Element);
        events.back().address = element.dwAddress;
        events.back().bytes = std::move(bytes);
    }
}

// ---------------------------------------------------------------- leave, stop, poll

JobEvents TransferJob::StartLeave(const DeviceLink& link, std::vector<int> targets)
{
    JobEvents events;
    if (Running()) {
        return events;
    }
    m_link = link;
    m_targets = std::move(targets);
    m_nCurrentTarget = FirstTarget();
    const MappingTarget* pTarget = TargetAt(m_nCurrentTarget);
    DfuImageHandle hImage = nullptr;
    if (pTarget != nullptr && m_library.STDFUFILES_CreateImageFromMapping(&hImage, pTarget) == kOk) {
        m_library.STDFUFILES_SetImageName(hImage, pTarget->szName);
        m_library.STDFUFILES_FilterImageForOperation(hImage, pTarget, OPERATION_RETURN, false);
        JobEvent launched;
        launched.resetBar = true;
        launched.restartClock = true;
        if (!Launch(OPERATION_RETURN, hImage, launched, events)) {
            m_library.STDFUFILES_DestroyImage(hImage);
        }
    } else {
        // Without an image the operation cannot be described; report it like a launch the library refused.
        Add(events, JobEvent::Kind::Failed);
        events.back().context.Operation = OPERATION_RETURN;
        events.back().context.ErrorCode = STDFUPRT_BADPARAMETER;
    }
    if (!Running()) {
        Add(events, JobEvent::Kind::Finished);
    }
    return events;
}

void TransferJob::Stop()
{
    if (m_hOperation != nullptr) {
        DFUThreadContext context;
        m_library.STDFUPRT_StopOperation(m_hOperation, &context);
        m_hOperation = nullptr;
        // During a download the running image is the copy itself: release it once.
        if (context.hImage == m_hImageCopy) {
            m_hImageCopy = nullptr;
        }
        DestroyImage(context.hImage);
    }
    DestroyImage(m_hImageCopy);
    m_snapshotRunning = false;
    m_awaitingSnapshotDecision = false;
}

JobEvents TransferJob::Poll()
{
    JobEvents events;
    if (m_hOperation == nullptr) {
        return events;
    }
    DFUThreadContext context;
    const std::uint32_t statusCode = m_library.STDFUPRT_GetOperationStatus(m_hOperation, &context);
    if (statusCode != STDFUPRT_NOERROR) {
        // The library cannot tell how the operation goes: end it as failed instead of polling forever. The
        // operation's own record (its image among the rest) comes back from the stop.
        DFUThreadContext last;
        m_library.STDFUPRT_StopOperation(m_hOperation, &last);
        context = last;
        if (context.ErrorCode == STDFUPRT_NOERROR) {
            context.ErrorCode = statusCode;
        }
    }
    bool verifyDone = false;
    if (context.ErrorCode != STDFUPRT_NOERROR) {
        if (statusCode == STDFUPRT_NOERROR) {
            DFUThreadContext stopped;
            m_library.STDFUPRT_StopOperation(m_hOperation, &stopped);
        }
        m_hOperation = nullptr;
        if (context.hImage == m_hImageCopy) {
            m_hImageCopy = nullptr; // download phase: the running image is the copy
        }
        DestroyImage(m_hImageCopy); // the file's data of a verify or the download image of an erase
        DfuImageHandle hImage = context.hImage;
        DestroyImage(hImage);
        if (m_snapshotRunning) {
            // Nothing was erased yet: the driver decides whether the upgrade goes on without a snapshot.
            m_snapshotRunning = false;
            m_awaitingSnapshotDecision = true;
            Add(events, JobEvent::Kind::SnapshotUnreadable);
            events.back().context = context;
        } else {
            Add(events, JobEvent::Kind::Failed);
            events.back().context = context;
            m_nCurrentTarget = -1;
        }
    } else {
        const std::uint32_t p = std::min<std::uint32_t>(context.Percent, 100);
        Add(events, JobEvent::Kind::Progress);
        events.back().operation = context.Operation;
        events.back().percent = p;
        events.back().snapshot = m_snapshotRunning;
        if (context.Operation == OPERATION_UPLOAD || context.Operation == OPERATION_UPGRADE) {
            events.back().size = ImageSize(context.hImage);
            events.back().resetSize = true;
        }
        if (p == 100) {
            DFUThreadContext stopped;
            m_library.STDFUPRT_StopOperation(m_hOperation, &stopped);
            m_hOperation = nullptr;
            DfuImageHandle hFinished = context.hImage;
            if (context.Operation == OPERATION_ERASE) {
                DestroyImage(hFinished);
                if (!Launch(OPERATION_UPGRADE, m_hImageCopy, JobEvent{}, events)) {
                    DestroyImage(m_hImageCopy);
                }
            } else {
                m_bFinished = true;
                switch (context.Operation) {
                case OPERATION_RETURN:
                    Add(events, JobEvent::Kind::Left);
                    break;
                case OPERATION_UPLOAD:
                    if (m_snapshotRunning) {
                        OnSnapshotComplete(hFinished, events);
                    } else if (m_hImageCopy == nullptr) {
                        OnUploadComplete(hFinished, events);
                    } else {
                        OnVerifyComplete(hFinished, events);
                        verifyDone = m_bFinished;
                    }
                    break;
                case OPERATION_UPGRADE:
                    Add(events, JobEvent::Kind::Upgraded);
                    m_hImageCopy = nullptr; // the finished record owns it
                    m_nCurrentTarget = NextTarget(m_nCurrentTarget);
                    if (m_nCurrentTarget >= 0) {
                        m_bFinished = false;
                        UpgradeTarget(events);
                    }
                    break;
                default:
                    break;
                }
                if (m_bFinished && context.Operation == OPERATION_UPGRADE && m_verifyAfterUpgrade) {
                    m_nCurrentTarget = FirstTarget();
                    VerifyTarget(events);
                }
                DestroyImage(hFinished);
            }
        }
    }
    if (m_hOperation == nullptr) {
        Add(events, JobEvent::Kind::Finished);
        events.back().verifyDone = verifyDone;
    }
    return events;
}

} // namespace nemora::dfuse

#include "dfuse/transfer_job.h"

#include "dfuse/dfuse_operations.h"
#include "dfuse/image_filter.h"
#include "dfuse/page_plan.h"
#include "i18n/translate.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

namespace nemora::dfuse {
namespace {

constexpr std::uint32_t kOk = STDFU_NOERROR;

std::uint32_t SizeOf(const Image& image)
{
    std::uint64_t size = 0;
    for (const Element& e : image.elements) {
        size += e.data.size();
    }
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(size, std::numeric_limits<std::uint32_t>::max()));
}

} // namespace

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

TransferJob::TransferJob(DeviceOperations& device) : m_device(device) {}

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

bool TransferJob::Launch(std::uint32_t operation, Phase phase, Image image, JobEvent launched, JobEvents& events)
{
    const std::uint32_t size = SizeOf(image);
    const std::uint32_t code =
        m_device.StartOperation(operation, m_link.devicePath, std::move(image), m_wakeUp, &m_hOperation);
    if (code != kOk) {
        m_hOperation = nullptr;
        DFUThreadContext context;
        context.Operation = operation;
        context.szDevLink = m_link.devicePath.substr(0, 259);
        context.ErrorCode = code;
        Add(events, JobEvent::Kind::Failed);
        events.back().context = context;
        return false;
    }
    m_phase = phase;
    m_runningSize = size;
    launched.kind = JobEvent::Kind::Launched;
    launched.operation = operation;
    launched.target = m_nCurrentTarget;
    events.push_back(std::move(launched));
    return true;
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
    m_verifyImages.clear();
    m_verifyDone = false;
    UpgradeTarget(events);
    if (!Running()) {
        Add(events, JobEvent::Kind::Finished);
        events.back().verifyDone = m_verifyDone;
    }
    return events;
}

const Image* TransferJob::SourceImage() const
{
    // The first image for the current target, from the checked file: what the device gets is what was
    // checked, whatever became of the file on disk since.
    for (const Image& image : m_upgradeFile.images) {
        if (image.alternate == m_nCurrentTarget) {
            return &image;
        }
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
    const Image* source = pTarget != nullptr ? SourceImage() : nullptr;
    if (source == nullptr) {
        AddProblem(events, JobProblem::NoFileData);
        return;
    }
    if (!FileSuits(m_link, wVid, wPid, wBcd)) {
        m_nCurrentTarget = -1;
        AddProblem(events, JobProblem::IdentityMismatch);
        events.back().model = DeviceModel(m_link);
        return;
    }
    if (!m_snapshotSettled) {
        // The file suits the device and can be written whole: read what it is about to replace first.
        StartSnapshot(events);
        return;
    }
    Image wanted = *source;
    FilterImage(wanted, *pTarget, OPERATION_UPGRADE, false);
    Image pages = m_smart && !m_link.readProtected ? PagesToCompare(wanted, *pTarget) : Image{};
    if (!pages.elements.empty()) {
        // Read the pages first: the plan comes from what they hold.
        m_download = std::move(wanted);
        m_pages = std::move(pages);
        JobEvent launched;
        launched.resetBar = true;
        launched.restartClock = true;
        launched.resetSize = true;
        launched.compare = true;
        launched.size = SizeOf(m_pages);
        if (!Launch(OPERATION_UPLOAD, Phase::Compare, JoinedPages(m_pages), launched, events)) {
            m_download = {};
        }
        return;
    }
    Image erase = *source;
    FilterImage(erase, *pTarget, OPERATION_ERASE, false);
    if (m_smart && !erase.elements.empty()) {
        Add(events, JobEvent::Kind::Plan);
        events.back().text =
            m_link.readProtected
                ? i18n::Tr("TransferJob", "the device is read-protected, so every page the file touches is erased and "
                                          "written: bytes of those pages the file does not cover are lost")
                : i18n::Tr("TransferJob", "this target's pages cannot be read back, so every page the file touches is "
                                          "erased and written: bytes of those pages the file does not cover are lost");
    }
    m_verifyImages[m_nCurrentTarget] = wanted;
    FilterImage(m_verifyImages[m_nCurrentTarget], *pTarget, OPERATION_UPLOAD, false);
    m_download = std::move(wanted);
    StartErase(std::move(erase), true, events);
}

void TransferJob::OnCompareComplete(const Image& read, JobEvents& events)
{
    PagePlan plan = PlanPages(m_download, m_pages, read);
    m_pages = {};
    Add(events, JobEvent::Kind::Plan);
    events.back().text = DescribePlan(plan);
    events.back().pages = plan.pages;
    events.back().pagesWritten = plan.blank + plan.erased;
    if (const MappingTarget* pTarget = TargetAt(m_nCurrentTarget)) {
        FilterImage(plan.verify, *pTarget, OPERATION_UPLOAD, false);
    }
    m_verifyImages[m_nCurrentTarget] = std::move(plan.verify);
    m_download = std::move(plan.program);
    StartErase(std::move(plan.erase), false, events);
}

void TransferJob::StartErase(Image erase, bool first, JobEvents& events)
{
    if (erase.elements.empty()) {
        StartDownload(first, events);
        return;
    }
    JobEvent launched;
    launched.resetBar = true;
    launched.restartClock = first;
    launched.resetSize = true;
    launched.size = SizeOf(m_download);
    if (!Launch(OPERATION_ERASE, Phase::Erase, std::move(erase), launched, events)) {
        m_download = {};
    }
}

void TransferJob::StartDownload(bool fresh, JobEvents& events)
{
    if (m_download.elements.empty()) {
        TargetWritten(events); // every page already held its bytes, or only needed erasing
        return;
    }
    JobEvent launched; // after an erase the bar goes on as the erase left it
    launched.resetBar = fresh;
    launched.restartClock = fresh;
    launched.resetSize = fresh;
    launched.size = SizeOf(m_download);
    Launch(OPERATION_UPGRADE, Phase::Download, std::move(m_download), launched, events);
    m_download = {};
}

void TransferJob::TargetWritten(JobEvents& events)
{
    Add(events, JobEvent::Kind::Upgraded);
    m_nCurrentTarget = NextTarget(m_nCurrentTarget);
    if (m_nCurrentTarget >= 0) {
        UpgradeTarget(events);
    } else if (m_verifyAfterUpgrade) {
        m_nCurrentTarget = FirstTarget();
        VerifyTarget(events);
    }
}

void TransferJob::VerifyTarget(JobEvents& events)
{
    const auto written = m_verifyImages.find(m_nCurrentTarget);
    if (TargetAt(m_nCurrentTarget) == nullptr || written == m_verifyImages.end()) {
        m_verifyDone = true;
        AddProblem(events, JobProblem::NoTargetData);
        return;
    }
    m_expected = written->second;
    if (m_expected.elements.empty()) {
        OnVerifyComplete(Image{}, events); // nothing was written: the compare was the verify
        return;
    }
    JobEvent launched;
    launched.resetBar = true;
    if (!Launch(OPERATION_UPLOAD, Phase::Verify, m_expected, launched, events)) {
        m_expected = {};
    }
}

void TransferJob::OnVerifyComplete(const Image& read, JobEvents& events)
{
    // The read image holds what the device holds, the expected one what the file holds, element for element.
    bool ok = true;
    bool mismatch = false;
    for (std::size_t i = 0; i < read.elements.size() && !mismatch; ++i) {
        if (i >= m_expected.elements.size()) {
            AddProblem(events, JobProblem::SourceImage);
            ok = false;
            break;
        }
        const std::vector<std::uint8_t>& readData = read.elements[i].data;
        const Element& file = m_expected.elements[i];
        const auto [fileAt, readAt] =
            std::mismatch(file.data.begin(), file.data.end(), readData.begin(), readData.end());
        if (fileAt != file.data.end() && readAt != readData.end()) {
            mismatch = true;
            Add(events, JobEvent::Kind::Mismatch);
            events.back().address = static_cast<std::uint32_t>(file.address + (fileAt - file.data.begin()));
            events.back().fileByte = *fileAt;
            events.back().readByte = *readAt;
        } else if (readData.size() != file.data.size()) {
            // Cannot happen with a fitted copy; a length difference still is not a match.
            mismatch = true;
            Add(events, JobEvent::Kind::Mismatch);
            events.back().hasBytes = false;
        }
    }
    if (ok && !mismatch && read.elements.size() != m_expected.elements.size()) {
        // Bytes the device did not hand back were not checked: no match either.
        mismatch = true;
        Add(events, JobEvent::Kind::Mismatch);
        events.back().hasBytes = false;
    }
    m_expected = {};

    // A mismatch ends the verify pass: its report stays for the user to see.
    if (ok && !mismatch) {
        Add(events, JobEvent::Kind::Verified);
        m_nCurrentTarget = NextTarget(m_nCurrentTarget);
        if (m_nCurrentTarget >= 0) {
            VerifyTarget(events);
            return;
        }
    }
    m_verifyDone = true;
}

// ---------------------------------------------------------------- snapshot

void TransferJob::StartSnapshot(JobEvents& events)
{
    // The user areas live in the device's first target, whichever targets the upgrade writes.
    if (const MappingTarget* pTarget = TargetAt(0)) {
        Image areas{pTarget->bAlternate, "snapshot", {}};
        for (const SnapshotArea& area : m_snapshot.areas) {
            areas.elements.push_back({area.address, std::vector<std::uint8_t>(area.size, 0)});
        }
        JobEvent launched;
        launched.resetBar = true;
        launched.restartClock = true;
        launched.resetSize = true;
        launched.snapshot = true;
        launched.size = SizeOf(areas);
        if (Launch(OPERATION_UPLOAD, Phase::Snapshot, std::move(areas), launched, events)) {
            return;
        }
        events.back().kind = JobEvent::Kind::SnapshotUnreadable;
    } else {
        Add(events, JobEvent::Kind::SnapshotUnreadable);
        events.back().context.Operation = OPERATION_UPLOAD;
        events.back().context.ErrorCode = STDFUPRT_BADPARAMETER;
    }
    m_awaitingSnapshotDecision = true;
}

void TransferJob::OnSnapshotComplete(Image read, JobEvents& events)
{
    if (read.elements.size() != m_snapshot.areas.size()) {
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
        events.back().verifyDone = m_verifyDone;
    }
    return events;
}

// ---------------------------------------------------------------- upload

JobEvents TransferJob::StartUpload(const DeviceLink& link, std::vector<int> targets, Image areas,
                                   const std::string& uploadFile, bool& launched)
{
    JobEvents events;
    launched = false;
    if (Running()) {
        return events;
    }
    m_link = link;
    m_targets = std::move(targets);
    m_uploadFile = uploadFile;
    m_uploaded = DfuFile{m_link.vid, m_link.pid, m_link.bcdDevice, {}};
    m_verifyDone = false;
    m_nCurrentTarget = FirstTarget();
    if (const MappingTarget* pTarget = TargetAt(m_nCurrentTarget)) {
        FilterImage(areas, *pTarget, OPERATION_UPLOAD, false);
    }
    JobEvent event;
    event.resetBar = true;
    event.restartClock = true;
    event.resetSize = true;
    event.size = SizeOf(areas);
    launched = Launch(OPERATION_UPLOAD, Phase::Upload, std::move(areas), event, events);
    if (!launched) {
        Add(events, JobEvent::Kind::Finished);
    }
    return events;
}

void TransferJob::UploadNextTarget(JobEvents& events)
{
    const MappingTarget* pTarget = TargetAt(m_nCurrentTarget);
    Image image;
    if (pTarget == nullptr || ImageFromMapping(*pTarget, image)) {
        AddProblem(events, JobProblem::ReadImage);
        return;
    }
    image.name.clear();
    FilterImage(image, *pTarget, OPERATION_UPLOAD, false);
    JobEvent launched;
    launched.resetBar = true;
    launched.restartClock = true;
    launched.resetSize = true;
    launched.size = SizeOf(image);
    Launch(OPERATION_UPLOAD, Phase::Upload, std::move(image), launched, events);
}

bool TransferJob::StoreUpload(const Image& read, JobEvents& events)
{
    if (m_uploadFile.empty()) {
        return true; // no upload file wanted: the caller takes the bytes from the Element events alone
    }
    // The whole file is written again with each target, from what this upload read: a file someone else
    // put at the path in between is replaced, never added to.
    const bool first = m_nCurrentTarget == FirstTarget();
    if (first) {
        m_uploaded.images.clear();
    }
    m_uploaded.images.push_back(read);
    if (WriteDfuFile(m_uploadFile, m_uploaded)) {
        AddProblem(events, first ? JobProblem::CreateUploadFile : JobProblem::AppendUploadFile);
        return false;
    }
    return true;
}

void TransferJob::OnUploadComplete(Image read, JobEvents& events)
{
    if (StoreUpload(read, events)) {
        Add(events, JobEvent::Kind::Uploaded);
        m_nCurrentTarget = NextTarget(m_nCurrentTarget);
        if (m_nCurrentTarget >= 0) {
            UploadNextTarget(events);
        }
    }
    // The caller gets every element whatever became of the file.
    for (Element& element : read.elements) {
        Add(events, JobEvent::Kind::Element);
        events.back().address = element.address;
        events.back().bytes = std::move(element.data);
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
    m_verifyDone = false;
    const MappingTarget* pTarget = TargetAt(m_nCurrentTarget);
    Image image;
    if (pTarget != nullptr && !ImageFromMapping(*pTarget, image)) {
        image.name = pTarget->szName;
        JobEvent launched;
        launched.resetBar = true;
        launched.restartClock = true;
        Launch(OPERATION_RETURN, Phase::Leave, std::move(image), launched, events);
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
        m_device.FinishOperation(m_hOperation, &context, nullptr);
        m_health += context.Health;
        m_hOperation = nullptr;
    }
    m_phase = Phase::None;
    m_download = {};
    m_expected = {};
    m_awaitingSnapshotDecision = false;
}

JobEvents TransferJob::Poll()
{
    JobEvents events;
    if (m_hOperation == nullptr) {
        return events;
    }
    DFUThreadContext context;
    const std::uint32_t statusCode = m_device.OperationStatus(m_hOperation, &context);
    if (statusCode != STDFUPRT_NOERROR) {
        // The library cannot tell how the operation goes: end it as failed instead of polling forever, with
        // the operation's own final record.
        DFUThreadContext last;
        m_device.FinishOperation(m_hOperation, &last, nullptr);
        m_health += last.Health;
        m_hOperation = nullptr;
        context = last;
        if (context.ErrorCode == STDFUPRT_NOERROR) {
            context.ErrorCode = statusCode;
        }
    }
    if (context.ErrorCode != STDFUPRT_NOERROR) {
        if (m_hOperation != nullptr) {
            DFUThreadContext stopped;
            m_device.FinishOperation(m_hOperation, &stopped, nullptr);
            m_health += stopped.Health;
            m_hOperation = nullptr;
        }
        const Phase phase = m_phase;
        m_phase = Phase::None;
        m_download = {};
        m_expected = {};
        if (phase == Phase::Snapshot) {
            // Nothing was erased yet: the driver decides whether the upgrade goes on without a snapshot.
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
        events.back().snapshot = m_phase == Phase::Snapshot;
        events.back().compare = m_phase == Phase::Compare;
        if (context.Operation == OPERATION_UPLOAD || context.Operation == OPERATION_UPGRADE) {
            events.back().size = m_runningSize;
            events.back().resetSize = true;
        }
        if (p == 100) {
            DFUThreadContext stopped;
            Image read;
            m_device.FinishOperation(m_hOperation, &stopped, &read);
            m_health += stopped.Health;
            m_hOperation = nullptr;
            const Phase phase = m_phase;
            m_phase = Phase::None;
            switch (phase) {
            case Phase::Leave:
                Add(events, JobEvent::Kind::Left);
                break;
            case Phase::Snapshot:
                OnSnapshotComplete(std::move(read), events);
                break;
            case Phase::Compare:
                OnCompareComplete(read, events);
                break;
            case Phase::Erase:
                StartDownload(false, events);
                break;
            case Phase::Download:
                TargetWritten(events);
                break;
            case Phase::Verify:
                OnVerifyComplete(read, events);
                break;
            case Phase::Upload:
                OnUploadComplete(std::move(read), events);
                break;
            case Phase::None:
                break;
            }
        }
    }
    if (m_hOperation == nullptr) {
        Add(events, JobEvent::Kind::Finished);
        events.back().verifyDone = m_verifyDone;
        events.back().context.Health = std::exchange(m_health, LinkHealth{}); // the whole job's
    }
    return events;
}

} // namespace nemora::dfuse

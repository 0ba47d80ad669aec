#pragma once

// One background DfuSe operation: detach (0), leave DFU mode (1), upload (2), erase (3) or download (4)
// of an image, on a thread of its own.
//
// The thread opens the device by path, selects the image's alternate setting, brings the device to
// dfuIDLE and does the work; it ends the operation with Percent 100 on success, or with the error code
// and the request that failed (CurrentRequest) and the device's status. Status() hands out copies of the
// context taken under a lock. Stop() may come at any moment: it cuts any wait short, joins the thread,
// leaves a device that is still there idle (ABORT or CLRSTATUS) and returns the final context.
//
//   upload    reads every element of the image from the device and writes the bytes back into the image
//   erase     erases every sector of the device's map that the image touches and that is erasable and
//             writable (the same rule as the image filter), one page erase per sector; never a mass erase
//   download  writes every element in wTransferSize blocks from wBlockNum 2 after a set-address; every
//             byte of the image is sent (blank blocks are left out, when at all, by the image filter)
//   leave     sets the address pointer to the image's first element (when it has one), sends the
//             zero-length DNLOAD and expects dfuMANIFEST: the device then starts its firmware and
//             re-enumerates in application mode
//   detach    DFU_DETACH to a device in application mode (a reset follows when it will not detach itself)
//
// Error codes: STDFUPRT_DFUERROR when the device reports an error status or stalls a request,
// STDFUPRT_UNEXPECTEDERROR when the link fails (device gone, I/O error, timeout, short answer),
// STDFUPRT_BADFIRMWARESTATEMACHINE when the device is in a state the protocol does not allow or its
// descriptors or memory map cannot be read, STDFUPRT_RETRYERROR when it stays busy, STDFUPRT_BADPARAMETER
// when the image cannot be used (destroyed meanwhile, or the device is in the wrong mode for the
// operation).

#include "dfuse/dfu_protocol.h"
#include "dfuse/dfuse_contract.h"
#include "dfuse/dfuse_file_calls.h"
#include "usb/transport.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace nemora::dfuse {

using WaiterFactory = std::function<std::unique_ptr<PollWaiter>()>;

class BackgroundOperation {
public:
    // Checks the context and starts the thread on `image` (the context's image handle is only carried
    // along). Returns nullptr with `code` set when the context cannot be run (STDFUPRT_BADPARAMETER: no
    // image where the operation needs one) or no thread can be made (STDFUPRT_UNABLETOLAUNCHDFUTHREAD).
    // `storeRead` (optional) receives, on the operation's thread, the image an upload has read; false from
    // it fails the upload. The transport must outlive the operation. `makeWaiter` may be empty: real time.
    static std::unique_ptr<BackgroundOperation> Launch(usb::Transport& transport, const DFUThreadContext& context,
                                                       std::optional<Image> image,
                                                       std::function<bool(const Image&)> storeRead,
                                                       const WaiterFactory& makeWaiter, std::uint32_t& code);
    ~BackgroundOperation();

    BackgroundOperation(const BackgroundOperation&) = delete;
    BackgroundOperation& operator=(const BackgroundOperation&) = delete;

    DFUThreadContext Status() const;
    // Ends the work (if still running), joins and returns the final context. Later calls return it again.
    DFUThreadContext Stop();
    // True once the thread has no more work (finished, failed or stopped).
    bool Done() const;
    // What a finished upload read (the image as launched otherwise).
    Image Read() const;
    const std::string& DevicePath() const { return m_path; }

private:
    BackgroundOperation(usb::Transport& transport, const DFUThreadContext& context, Image image,
                        std::function<bool(const Image&)> storeRead, std::unique_ptr<PollWaiter> waiter);
    void Run();
    ProtocolError Work(DfuDevice& device);
    ProtocolError Upload(DfuDevice& device, Image& image);
    ProtocolError Erase(DfuDevice& device, const Image& image);
    ProtocolError Download(DfuDevice& device, const Image& image);
    ProtocolError Leave(DfuDevice& device, const Image& image);
    void Progress(std::uint64_t done, std::uint64_t total);
    void Block(std::uint32_t block, std::uint32_t length);
    void Fail(const ProtocolError& error, DfuDevice* device);

    usb::Transport& m_transport;
    std::function<bool(const Image&)> m_storeRead;
    std::string m_path;
    std::unique_ptr<PollWaiter> m_waiter;
    // Real time, not cancelled by a stop, but bounded: the clean-up after a failure or a stop never waits
    // longer than kCleanupBudget, whatever poll timeout the device asks for.
    class CleanupWaiter final : public PollWaiter {
    public:
        void Start()
        {
            m_end = std::chrono::steady_clock::now() + kCleanupBudget;
            m_expired = false;
        }
        bool WaitUntil(std::chrono::steady_clock::time_point deadline) override;
        std::chrono::steady_clock::time_point Now() override { return std::chrono::steady_clock::now(); }
        void Cancel() override { m_expired = true; }
        bool Cancelled() const override { return m_expired; }

    private:
        std::chrono::steady_clock::time_point m_end = std::chrono::steady_clock::now() + kCleanupBudget;
        bool m_expired = false;
    };
    static constexpr std::chrono::milliseconds kCleanupBudget{5000};
    CleanupWaiter m_plainWaiter;
    mutable std::mutex m_mutex;
    DFUThreadContext m_context; // guarded by m_mutex
    Image m_image;              // guarded by m_mutex: what to work on, then what an upload read
    bool m_done = false;        // guarded by m_mutex
    std::thread m_thread;
};

} // namespace nemora::dfuse

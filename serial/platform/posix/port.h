#pragma once
// An open serial port: the device under it, one service thread, and the
// Windows comm semantics on top (overlapped transfers, COMMTIMEOUTS, line
// events, line errors, purge and close). Each public member is one Win32
// call on a port handle, with the Windows result and last error.
#include "serial/platform/posix/comm_timeouts.h"
#include "serial/platform/posix/device.h"
#include "serial/platform/posix/handle_table.h"
#include "serial/platform/posix/marked_input.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace winapi::posix {

// Request states kept in OVERLAPPED.Internal, as the NT status codes Windows keeps there.
constexpr ULONG_PTR STATUS_SUCCESS_CODE = 0x0;
constexpr ULONG_PTR STATUS_TIMEOUT_CODE = 0x102;
constexpr ULONG_PTR STATUS_PENDING_CODE = 0x103;
constexpr ULONG_PTR STATUS_CANCELLED_CODE = 0xC0000120;
constexpr ULONG_PTR STATUS_UNSUCCESSFUL_CODE = 0xC0000001;

class Port : public KernelObject {
public:
    using Clock = std::chrono::steady_clock;

    // Puts the device into raw mode and starts the service thread.
    Port(std::unique_ptr<Device> device, bool overlapped, DWORD access);
    ~Port() override;
    void onClose() override;

    BOOL read(void* buffer, DWORD length, DWORD* transferred, OVERLAPPED* overlapped);
    BOOL write(const void* buffer, DWORD length, DWORD* transferred, OVERLAPPED* overlapped);
    // GetOverlappedResult's wait when the record names no event.
    void waitUntilComplete(OVERLAPPED* overlapped);

    BOOL getState(DCB* dcb);
    BOOL setState(const DCB* dcb);
    BOOL setup(DWORD inQueue, DWORD outQueue);
    BOOL getTimeouts(COMMTIMEOUTS* timeouts);
    BOOL setTimeouts(const COMMTIMEOUTS* timeouts);
    BOOL purge(DWORD flags);
    BOOL clearError(DWORD* errors, COMSTAT* stat);
    BOOL setMask(DWORD mask);
    BOOL waitEvent(DWORD* mask, OVERLAPPED* overlapped);
    BOOL escape(DWORD function);
    BOOL modemStatus(DWORD* status);

private:
    // Where a request reports its end: the caller's OVERLAPPED, or a record
    // that a synchronous caller waits on inside the call.
    struct SyncResult {
        bool done = false;
        ULONG_PTR status = STATUS_PENDING_CODE;
        DWORD count = 0;
    };
    struct Completion {
        OVERLAPPED* overlapped = nullptr;
        SyncResult* sync = nullptr;
    };
    struct Transfer {
        std::uint8_t* into = nullptr;      // reads
        const std::uint8_t* from = nullptr;  // writes
        DWORD length = 0;
        DWORD done = 0;
        Completion completion;
        bool started = false;
        ReadPlan plan;
        std::optional<Clock::time_point> totalDeadline;
        std::optional<Clock::time_point> intervalDeadline;
    };
    struct LineWait {
        DWORD* mask;
        Completion completion;
    };

    void serviceLoop();
    void wakeServiceThread();
    void stopLocked();
    void pumpLocked(Clock::time_point now);
    int pollTimeoutLocked(Clock::time_point now) const;

    bool wantsInputLocked() const;
    bool drainInputLocked();
    void acceptInputLocked(const std::vector<InputItem>& items);
    std::optional<LineCounters> counterDeltaLocked();
    void sampleModemLinesLocked(Clock::time_point now);
    bool serveReadsLocked(Clock::time_point now);
    void startReadLocked(Transfer& read, Clock::time_point now);
    void serveWritesLocked(Clock::time_point now);
    void checkOutputEmptyLocked(Clock::time_point now);

    void raiseEventsLocked(DWORD events);
    void latchErrorsLocked(DWORD errors);
    void cancelLocked(std::deque<Transfer>& queue, ULONG_PTR status);
    void completeLocked(const Completion& completion, ULONG_PTR status, DWORD count,
                        DWORD* mask = nullptr, DWORD maskValue = 0);
    bool abortLatchedLocked() const;
    BOOL finishSynchronously(std::unique_lock<std::mutex>& lock, SyncResult& result, DWORD* transferred);
    bool validTransferArguments(const void* buffer, DWORD length, DWORD* transferred,
                                OVERLAPPED* overlapped) const;
    BOOL startTransfer(Transfer transfer, bool isRead, DWORD* transferred, OVERLAPPED* overlapped);

    std::mutex mutex_;
    std::condition_variable completed_;
    std::unique_ptr<Device> device_;
    const bool overlapped_;
    const DWORD access_;
    int wakeFd_ = -1;
    std::thread thread_;
    bool closed_ = false;

    std::deque<std::uint8_t> input_;
    std::size_t inputCapacity_ = 4096;
    DWORD outQueueSize_ = 0;
    MarkedInputDecoder decoder_;
    bool inputStalled_ = false;  // stopped reading the device at inputCapacity_
    bool hungUp_ = false;        // the device reported end of file or an error

    std::deque<Transfer> reads_;
    std::deque<Transfer> writes_;
    std::optional<LineWait> lineWait_;
    DWORD eventMask_ = 0;
    DWORD eventHistory_ = 0;
    DWORD errors_ = 0;
    bool outputHeld_ = false;
    bool sentSinceEmpty_ = false;
    std::optional<Clock::time_point> outputCheckAt_;

    bool modemLinesKnown_ = true;
    int lastModemBits_ = 0;
    std::optional<Clock::time_point> nextModemSample_;
    bool countersKnown_ = true;
    LineCounters lastCounters_;

    COMMTIMEOUTS timeouts_{};
    DCB dcb_{};
};

}  // namespace winapi::posix

#pragma once
// What a port's transfers are made of: the request record, where it reports
// its end, the FIFO queue the reads and the writes each wait in, and when the
// transmitter ran empty after them.
#include "serial/platform/posix/device.h"
#include "serial/platform/posix/events.h"
#include "serial/platform/posix/received_input.h"
#include "serial/platform/win32_calls.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

namespace winapi::posix {

// The COMMTIMEOUTS rules as plain data: what a read or write of n bytes may
// wait for. Pure, so the rule table is tested without a device.
using Millis = std::chrono::milliseconds;

struct ReadPlan {
    bool immediate = false;        // complete now with what is buffered (maybe nothing)
    std::optional<Millis> total;   // from the start of the read
    std::optional<Millis> interval;  // from the last byte received
};

// What SetCommTimeouts accepts: a read interval of MAXDWORD only with both
// read totals 0 (the library's "return at once"; the other MAXDWORD modes,
// such as "wait for the first bytes", it never sets, so they are refused).
bool isValidTimeouts(const COMMTIMEOUTS& t);

// Interval MAXDWORD: immediate. Otherwise the total is multiplier * n +
// constant (0: none) and a non-zero interval runs after each byte.
ReadPlan planRead(const COMMTIMEOUTS& t, DWORD length);
// multiplier * n + constant; both 0: no limit.
std::optional<Millis> writeTotal(const COMMTIMEOUTS& t, DWORD length);

// Request states kept in OVERLAPPED.Internal, as the NT status codes Windows keeps there.
constexpr ULONG_PTR STATUS_SUCCESS_CODE = 0x0;
constexpr ULONG_PTR STATUS_TIMEOUT_CODE = 0x102;
constexpr ULONG_PTR STATUS_PENDING_CODE = 0x103;
constexpr ULONG_PTR STATUS_CANCELLED_CODE = 0xC0000120;
constexpr ULONG_PTR STATUS_UNSUCCESSFUL_CODE = 0xC0000001;

inline bool isSuccess(ULONG_PTR status) {
    return status == STATUS_SUCCESS_CODE || status == STATUS_TIMEOUT_CODE;
}
inline DWORD errorForStatus(ULONG_PTR status) {
    return status == STATUS_CANCELLED_CODE ? ERROR_OPERATION_ABORTED : ERROR_GEN_FAILURE;
}

ULONG_PTR loadStatus(OVERLAPPED* overlapped);
DWORD loadCount(OVERLAPPED* overlapped);
void markPending(OVERLAPPED* overlapped);
// The count first, then the status with release ordering: whoever sees the
// status sees the count.
void storeResult(OVERLAPPED* overlapped, ULONG_PTR status, DWORD count);

// A caller's overlapped record and its event, looked up once as the request
// starts: completing it then takes no handle-table lock.
struct Request {
    OVERLAPPED* overlapped = nullptr;
    std::shared_ptr<Event> event;
};

// Reports requests' ends (the port).
class CompletionSink {
public:
    virtual void complete(const Request& request, ULONG_PTR status, DWORD count) = 0;

protected:
    ~CompletionSink() = default;
};

struct Transfer {
    std::uint8_t* into = nullptr;        // reads
    const std::uint8_t* from = nullptr;  // writes
    DWORD length = 0;
    DWORD done = 0;
    Request request{};
    bool started = false;
    ReadPlan plan{};
    std::optional<Clock::time_point> totalDeadline{};
    std::optional<Clock::time_point> intervalDeadline{};
};

// Requests in arrival order; only the head runs its timers.
class TransferQueue {
public:
    bool empty() const { return queue_.empty(); }
    std::size_t size() const { return queue_.size(); }
    void push(const Transfer& transfer) { queue_.push_back(transfer); }
    // Ends every queued request with the status and the bytes it had moved.
    void cancelAll(CompletionSink& sink, ULONG_PTR status);
    // Bytes the queued requests have still to move.
    DWORD outstandingBytes() const;
    // The head's nearest deadline.
    std::optional<Clock::time_point> nextDeadline() const;

protected:
    void completeFront(CompletionSink& sink, ULONG_PTR status);

    std::deque<Transfer> queue_;
};

// The port's queued reads, served in order from the receive buffer under
// the COMMTIMEOUTS in force when each becomes the head.
class ReadQueue : public TransferQueue {
public:
    // Moves buffered bytes into the reads and completes those that are full,
    // due or timed out; true when any byte was taken.
    bool serve(ReceivedInput& input, const COMMTIMEOUTS& timeouts, Clock::time_point now, CompletionSink& sink);
};

// The port's queued writes, handed to the device in order; the head's
// write time-out starts when it becomes the head.
class WriteQueue : public TransferQueue {
public:
    // Gives the device what it takes now and completes the writes that are
    // done, timed out or failed (the device hung up); true when any byte moved.
    bool serve(Device& device, bool& hungUp, const COMMTIMEOUTS& timeouts, Clock::time_point now,
               CompletionSink& sink);
};

// When the transmitter ran empty: after bytes were handed to the device, the
// moment its output queue reads 0 with no write left. The kernel does not
// announce that moment, so the queue is checked again after roughly the
// time its bytes need on the line.
class TransmitterEmpty {
public:
    void noteSent() { sentSinceEmpty_ = true; }
    // True once when the transmitter has just run empty (EV_TXEMPTY is due).
    bool check(Device& device, bool writesQueued, bool hungUp, DWORD baud, Clock::time_point now);
    // When check() should look again.
    std::optional<Clock::time_point> nextCheck() const { return checkAt_; }

private:
    bool sentSinceEmpty_ = false;
    std::optional<Clock::time_point> checkAt_;
};

}  // namespace winapi::posix

#pragma once
// What a port's transfers are made of: the time-outs, the request record and
// where it reports its end, the transfer in flight, and when the transmitter
// ran empty after it.
#include "serial/platform/posix/device.h"
#include "serial/platform/posix/events.h"
#include "serial/platform/posix/received_input.h"
#include "serial/platform/win32_calls.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace winapi::posix {

// What SetCommTimeouts accepts: the modes the library sets. Both
// multipliers 0 (it never scales a time-out by the length), and a read
// interval of MAXDWORD only with the read total 0 (its "return at once"). A
// read interval of another value is kept for GetCommTimeouts and otherwise
// ignored: its timer starts after the first byte, and the library reads one
// byte at a time, so that byte always completes the read first.
bool isValidTimeouts(const COMMTIMEOUTS& t);
// now + milliseconds; a total of 0 is no limit.
std::optional<Clock::time_point> deadlineAfter(Clock::time_point now, DWORD milliseconds);

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

// Stores the result, then sets the record's event: a caller that sees the
// status or the event sees the count. The event was looked up as the request
// started, as the record may be reused as soon as the status shows.
void finish(const Request& request, ULONG_PTR status, DWORD count);

// One read or one write in flight: the library's worker makes one transfer
// at a time, so a port holds at most one of each.
struct Transfer {
    std::uint8_t* into = nullptr;        // a read
    const std::uint8_t* from = nullptr;  // a write
    DWORD length = 0;
    DWORD done = 0;
    Request request{};
    bool atOnce = false;  // a read that completes with whatever is buffered
    std::optional<Clock::time_point> deadline{};
};

// Moves buffered bytes into the read; its end status once it is full, due at
// once or timed out, else nothing.
std::optional<ULONG_PTR> serveRead(Transfer& read, ReceivedInput& input, Clock::time_point now);
// Gives the device what it takes now; the end status once the write is done,
// timed out or failed (the device hung up), else nothing.
std::optional<ULONG_PTR> serveWrite(Transfer& write, Device& device, bool& hungUp, Clock::time_point now);

// When the transmitter ran empty: after bytes were handed to the device, the
// moment its output queue reads 0 with no write left. The kernel does not
// announce that moment, so the queue is checked again after roughly the
// time its bytes need on the line.
class TransmitterEmpty {
public:
    void noteSent() { sentSinceEmpty_ = true; }
    // True once when the transmitter has just run empty (EV_TXEMPTY is due).
    bool check(Device& device, bool writing, bool hungUp, DWORD baud, Clock::time_point now);
    // When check() should look again.
    std::optional<Clock::time_point> nextCheck() const { return checkAt_; }

private:
    bool sentSinceEmpty_ = false;
    std::optional<Clock::time_point> checkAt_;
};

}  // namespace winapi::posix

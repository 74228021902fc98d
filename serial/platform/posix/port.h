#pragma once
// An open serial port: the device under it, one service thread, and the
// Windows comm semantics on top (overlapped transfers, COMMTIMEOUTS, line
// events, line errors, purge and close). Each public member is one Win32
// call on a port handle, with the Windows result and last error. Transfers
// and line-event waits are overlapped ones, each record with its event: the
// library opens a handle without FILE_FLAG_OVERLAPPED only to probe a port.
#include "serial/platform/posix/device.h"
#include "serial/platform/posix/handle_table.h"
#include "serial/platform/posix/port_requests.h"
#include "serial/platform/posix/received_input.h"
#include "serial/platform/posix/service_wake.h"
#include "torvane/unique_fd.h"

#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace winapi::posix {

class Port final : public KernelObject {
public:
    // Puts the device into raw mode and starts the service thread.
    Port(std::unique_ptr<Device> device, bool overlapped);
    ~Port() override;
    void onClose() override;

    // ReadFile and WriteFile.
    BOOL startTransfer(Transfer transfer, bool isRead, DWORD* transferred, OVERLAPPED* overlapped);

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
    struct LineWait {
        DWORD* mask;
        Request request;
    };

    // The service thread (port.cpp).
    void serviceLoop();
    void wakeServiceThread();
    void noteChangeLocked(PortChange change, std::optional<Clock::time_point> due = std::nullopt);
    void pumpLocked(Clock::time_point now, bool inputAnnounced);
    int pollTimeoutLocked(Clock::time_point now);
    bool drainInputLocked();
    void checkTransmitterLocked(Clock::time_point now);
    void sampleModemLinesLocked(Clock::time_point now);
    bool modemLinesMayHaveChangedLocked();
    void readModemBaselineLocked();
    bool serveReadLocked(Clock::time_point now);
    void serveWriteLocked(Clock::time_point now);

    void raiseEventsLocked(DWORD events);
    static void endLocked(std::optional<Transfer>& transfer, ULONG_PTR status);
    void completeLineWaitLocked(ULONG_PTR status, DWORD reported);
    bool abortLatchedLocked() const;
    DWORD startRequest(OVERLAPPED* overlapped, Request& request) const;

    // Lock order: this mutex, then an event's (a completion sets the
    // caller's event under it). The handle table's lock is never taken under
    // it: requests hold their events, looked up as they start.
    std::mutex mutex_;
    std::unique_ptr<Device> device_;
    const bool overlapped_;
    torvane::UniqueFd wakeFd_;
    std::thread thread_;
    bool closed_ = false;
    ServiceWake wake_;

    ReceivedInput input_;
    std::optional<Transfer> read_;
    std::optional<Transfer> write_;
    TransmitterEmpty transmitter_;

    std::optional<LineWait> lineWait_;
    DWORD eventMask_ = 0;
    DWORD eventHistory_ = 0;
    DWORD errors_ = 0;

    bool modemLinesKnown_ = true;
    int lastModemBits_ = 0;
    bool modemChangesCounted_ = true;  // until the device says it does not count
    std::uint32_t lastModemChanges_ = 0;
    bool rereadModemLines_ = false;
    std::optional<Clock::time_point> nextModemSample_;

    COMMTIMEOUTS timeouts_{};
    DCB dcb_{};
};

}  // namespace winapi::posix

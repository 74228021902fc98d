#pragma once
// The two threads of an open port. The watcher keeps one line-event wait
// outstanding on the device and hands each completed wait to the main thread;
// the worker performs every byte transfer that WriteByte and ReadByte request.
// Both create their events before they start, so that a stop or a request can
// never come before the events exist.
#include <cstdint>
#include <functional>

#include "serial/platform/win32_calls.h"
#include "serial/src/thread.h"
#include "serial/src/unique_handle.h"

namespace winseria {

// What the worker needs of the port object: one overlapped transfer per
// request. Every path ends by signalling TransferReady.
class ByteTransfers {
public:
    virtual winapi::DWORD SendByte(const std::uint8_t* buffer) = 0;
    virtual winapi::DWORD ReceiveBytes(std::uint8_t* buffer, winapi::DWORD count) = 0;

protected:
    ~ByteTransfers() = default;
};

class TZdarzeniaCommThread : public TThread {
public:
    using CommEventHandler = std::function<void(TZdarzeniaCommThread* sender, winapi::DWORD mask)>;

    // Raises the process's priority class, sets the port's event mask from
    // `eventSet` and starts the thread.
    TZdarzeniaCommThread(winapi::HANDLE portHandle, std::uint16_t eventSet);
    ~TZdarzeniaCommThread() override;

    // Runs on the main thread only, where the notifications run too.
    void SetOnCommEvent(CommEventHandler handler) { OnCommEvent = std::move(handler); }
    void StopThread();

protected:
    void Run() override;
    // On the main thread: passes the last completed wait's events on.
    virtual void NotifyOwner();

private:
    // Waits for the stop signal up to `milliseconds`; true when it came.
    bool StopWithin(winapi::DWORD milliseconds);
    void WithdrawWait();

    winapi::HANDLE PortHandle;
    winapi::DWORD EventMask = 0;
    CommEventHandler OnCommEvent;
    UniqueHandle StopSignal;
    UniqueHandle EventSignal;
    winapi::OVERLAPPED Overlapped{};
    bool WaitOutstanding = false;
    winapi::DWORD PlatformMask = 0;
};

class TZapisOdczytThread : public TThread {
public:
    // `port` performs the transfers. Creates the handshake's events
    // (replacing those of an earlier worker) and starts the thread; when an
    // event cannot be created it records the failure, leaves the handshake
    // without events and does not start.
    TZapisOdczytThread(ByteTransfers* port, winapi::HANDLE portHandle);
    ~TZapisOdczytThread() override;

    // Signals the stop: the worker takes no further request, and a transfer
    // in flight is aborted.
    void StopThread();
    bool Started() const { return StopSignal != nullptr; }

protected:
    void Run() override;
    virtual void PerformWrite();
    virtual void PerformRead();

private:
    bool CreateEvents();

    ByteTransfers* Port;
    winapi::HANDLE PortHandle;
    // The handshake's StopTransfers, which outlives this worker.
    winapi::HANDLE StopSignal = nullptr;
};

}  // namespace winseria

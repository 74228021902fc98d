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

namespace winseria {

class TComm;

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
    winapi::HANDLE StopSignal = nullptr;
    winapi::HANDLE EventSignal = nullptr;
    winapi::OVERLAPPED Overlapped{};
    bool WaitOutstanding = false;
    winapi::DWORD PlatformMask = 0;
};

class TZapisOdczytThread : public TThread {
public:
    // `port` is the object whose SendByte and ReceiveBytes the worker runs.
    // Creates the handshake's events (replacing those of an earlier worker)
    // and starts the thread; when an event cannot be created it records the
    // failure, leaves the handshake without events and does not start.
    TZapisOdczytThread(TComm* port, winapi::HANDLE portHandle);
    ~TZapisOdczytThread() override;

    void StopThread();
    bool Started() const { return StopSignal != nullptr; }

protected:
    void Run() override;
    virtual void PerformWrite();
    virtual void PerformRead();

private:
    bool CreateEvents();

    TComm* Port;
    winapi::HANDLE PortHandle;
    winapi::HANDLE StopSignal = nullptr;
};

}  // namespace winseria

#pragma once
// The two threads of an open port. The watcher keeps one line-event wait
// outstanding on the device and hands each completed wait to the main thread;
// the worker performs every byte transfer that WriteByte and ReadByte request.
// Both create their events before they start, so that a stop or a request can
// never come before the events exist.
#include <cstdint>
#include <functional>

#include "serial/platform/win32_calls.h"
#include "serial/src/handshake.h"
#include "serial/src/thread.h"
#include "serial/src/unique_handle.h"

namespace winseria {

class TZdarzeniaCommThread final : public TThread {
public:
    using CommEventHandler = std::function<void(TZdarzeniaCommThread* sender, winapi::DWORD mask)>;

    // Raises the process's priority class, sets the port's event mask from
    // `eventSet` and starts the thread.
    TZdarzeniaCommThread(winapi::HANDLE portHandle, std::uint16_t eventSet);
    ~TZdarzeniaCommThread() override;

    // Runs on the main thread only, where the notifications run too.
    void SetOnCommEvent(CommEventHandler handler) { onCommEvent_ = std::move(handler); }
    void StopThread();

protected:
    void Run() override;

private:
    // On the main thread: passes the last completed wait's events on.
    void NotifyOwner();
    // Waits for the stop signal up to `milliseconds`; true when it came.
    bool StopWithin(winapi::DWORD milliseconds);
    void WithdrawWait();

    winapi::HANDLE portHandle_;
    winapi::DWORD eventMask_ = 0;
    CommEventHandler onCommEvent_;
    // Owned by the watcher: its stop signal, and the event of its line-event wait.
    UniqueHandle stopSignal_;
    UniqueHandle eventSignal_;
    winapi::OVERLAPPED overlapped_{};
    bool waitOutstanding_ = false;
    winapi::DWORD platformMask_ = 0;
};

class TZapisOdczytThread final : public TThread {
public:
    // `port` performs the transfers. Has the handshake replace its worker
    // events and starts the thread; when an event cannot be created the
    // failure is recorded, the handshake has no worker events and the
    // thread does not start.
    explicit TZapisOdczytThread(ByteDevice& port);
    ~TZapisOdczytThread() override;

    // The handshake's StopWorker: the worker takes no further request, and
    // a transfer in flight is aborted.
    void StopThread();

protected:
    void Run() override;

private:
    ByteDevice& port_;
};

}  // namespace winseria

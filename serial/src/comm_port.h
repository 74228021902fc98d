#pragma once
// The process's one port object, and the lock that serializes the calls
// that create, replace, close or use it: two threads initializing or closing
// at once, or changing the settings while another closes, each get a defined
// result instead of meeting a half-built or half-closed object.
#include <memory>
#include <mutex>

namespace winseria {

class TComm;

// The port object, or none before the first initialization. Not locked:
// for code that holds a PortLock, or that runs alone (tests).
TComm* CommPort();

// While a PortLock lives, no other thread creates, replaces, closes or uses
// the port object. Never taken by the transfers (WriteByte, ReadByte) or by
// the calls handed to the main thread, so a close that waits for those
// never waits for itself.
class PortLock {
public:
    PortLock();
    TComm* get() const { return CommPort(); }
    // Installs a new port object and releases the one it replaces (whose
    // port is closed by then: an open port refuses a new initialization).
    void Replace(std::unique_ptr<TComm> port);

private:
    std::unique_lock<std::mutex> lock_;
};

}  // namespace winseria

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

// The library's locks, in the order a thread may take them (a lock is only
// ever taken while holding locks above it):
//   1. PortLock (here): the port object.
//   2. The handshake's turn (HandshakeState::TakeTurn): one transfer at a
//      time; an initialization takes it under PortLock.
//   3. The main-thread dispatcher's queue lock and its hook lock
//      (dispatcher.cpp): held briefly, never while a call is served. Off
//      Linux each waiting thread's word has a lock of its own, taken last
//      under the queue lock or alone (a leaf).
//   4. The error slot's lock (library_state.cpp): a leaf.
// Platform calls come last: the stand-in's own locks are taken under any of
// these and never call back into the library. The calls served on the main
// thread take none of 1 and 2, so a close that waits for them (holding
// PortLock) never waits for itself.
//
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

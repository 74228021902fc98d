#pragma once
// The serial library hands every completed line-event wait of its watcher
// thread to the main thread: the thread that opened the port (the one that
// called InitializePort). The watcher queues the call and blocks until the
// main thread has run it, or until the port is being closed. A host with an
// event loop wakes that loop from the hook and serves the queue from it; a
// host without one need not do anything (see docs/serial-library.md):
//
//   winseria::SetMainThreadWakeHook([this] { QMetaObject::invokeMethod(
//       this, [] { winseria::ServeMainThreadCalls(); }, Qt::QueuedConnection); });
#include <functional>

namespace winseria {

// Installs `hook` (an empty function removes it). The library calls it on the
// watcher thread each time a call starts waiting for the main thread. It must
// return quickly and must not wait for the main thread. Replacing the hook
// waits until a call of the previous one has returned, so the host may
// destroy what the old hook refers to once this returns.
void SetMainThreadWakeHook(std::function<void()> hook);

// Runs the calls now waiting for the main thread, in the order they came;
// calls that arrive meanwhile wait for the next serve (each one calls the
// wake hook). Only the main thread serves: on any other thread this does
// nothing.
void ServeMainThreadCalls();

}  // namespace winseria

#pragma once
// Test ports for the library tests: a pseudo-terminal whose slave is reached
// as "\\.\COMn" through a link in a private TORVANE_PORTS_DIR (the fixtures
// the platform tests use), and helpers to read what the tests need from the
// system (descriptor and thread counts).
#include <chrono>
#include <cstddef>

#include "tests/serial/platform/fixtures/pty_pair.h"

namespace winseria::test {

// One pty fixture for all serial tests.
using torvane::testing::PortsDir;
using torvane::testing::PtyPair;

// Counts for leak checks.
std::size_t OpenDescriptorCount();
std::size_t ThreadCount();
// The count once it is `expected`, or after 2 s: a joined thread can stay
// listed in /proc for a moment after its join returned.
std::size_t ThreadCountOnceItIs(std::size_t expected);
// Handles open in the POSIX stand-in's table.
std::size_t OpenHandleCount();
// Starts and joins a thread, so that helper threads a runtime starts with the
// first thread (ThreadSanitizer's) exist before a count is taken.
void SettleThreads();

// Waits until `predicate` holds or `limit` passes; returns the last value.
template <typename Predicate>
bool Eventually(Predicate predicate, std::chrono::milliseconds limit = std::chrono::milliseconds(3000));

}  // namespace winseria::test

#include "tests/serial/support/pty_port_inl.h"

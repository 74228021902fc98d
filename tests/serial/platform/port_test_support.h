#pragma once
// Shared pieces of the port tests: owned handles, overlapped records with
// their events, and a port opened on a pty or on a virtual null-modem.
#include "tests/serial/platform/fixtures/virtual_null_modem.h"
#include "serial/platform/win32_calls.h"
#include "tests/serial/platform/fixtures/pty_pair.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace porttest {

using namespace winapi;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr DWORD kPoison = 0xDEADBEEF;

struct Handle {
    HANDLE value = INVALID_HANDLE_VALUE;
    Handle() = default;
    explicit Handle(HANDLE h) : value(h) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    void reset() {
        if (value != INVALID_HANDLE_VALUE && value != nullptr) CloseHandle(value);
        value = INVALID_HANDLE_VALUE;
    }
    HANDLE release() {
        HANDLE h = value;
        value = INVALID_HANDLE_VALUE;
        return h;
    }
    HANDLE get() const { return value; }
};

// An OVERLAPPED with its own manual-reset event; fields poisoned with `fill`
// so a field the call should not touch shows up.
struct Overlapped {
    explicit Overlapped(unsigned char fill = 0) {
        std::memset(&record, fill, sizeof record);
        record.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);  // set: the call must reset it
    }
    ~Overlapped() { CloseHandle(record.hEvent); }
    bool signalled(DWORD ms = 0) const { return WaitForSingleObject(record.hEvent, ms) == WAIT_OBJECT_0; }
    OVERLAPPED record;
};

// Reads the request state as a caller polling a live request must: the
// service thread may store it at any moment.
inline ULONG_PTR statusOf(OVERLAPPED& record) {
    return std::atomic_ref<ULONG_PTR>(record.Internal).load(std::memory_order_acquire);
}

inline HANDLE openCom(unsigned number, bool overlapped = true) {
    return CreateFileA(torvane::testing::comName(number).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       OPEN_EXISTING, overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
}

inline void setTimeouts(HANDLE port, DWORD interval, DWORD readMultiplier, DWORD readConstant,
                        DWORD writeMultiplier = 0, DWORD writeConstant = 0) {
    COMMTIMEOUTS t{interval, readMultiplier, readConstant, writeMultiplier, writeConstant};
    ASSERT_EQ(SetCommTimeouts(port, &t), TRUE);
}

// Finishes a transfer that ReadFile or WriteFile (`started`, their answer)
// left pending; false when it failed.
inline bool completed(HANDLE port, BOOL started, Overlapped& ov, DWORD& count) {
    if (started) return true;
    return GetLastError() == ERROR_IO_PENDING && GetOverlappedResult(port, &ov.record, &count, TRUE);
}

// Reads the port's DCB, lets `change` alter it and sets it; false when
// either call fails.
template <class Change>
bool changeState(HANDLE port, Change change) {
    DCB dcb{};
    if (!GetCommState(port, &dcb)) return false;
    change(dcb);
    return SetCommState(port, &dcb) == TRUE;
}

inline double elapsedMs(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// A port on the test's side of a pty: COM7 -> the slave, the test holds the master.
struct PtyPort {
    explicit PtyPort(bool overlapped = true) {
        dir.link(7, pty.slavePath());
        port.value = openCom(7, overlapped);
    }
    torvane::testing::PtyPair pty;
    torvane::testing::PortsDir dir;
    Handle port;
};

// A port on end 0 of a virtual null-modem registered as COM9; the test drives end 1.
struct VirtualPort {
    explicit VirtualPort(bool overlapped = true) {
        modem.registerPort(0, 9);
        port.value = openCom(9, overlapped);
    }
    torvane::testing::PortsDir dir;  // tests always run with a private ports directory
    winapi::posix::VirtualNullModem modem;
    winapi::posix::VirtualNullModem::End& peer() { return modem.end(1); }
    Handle port;
};

}  // namespace porttest

namespace porttest {

// A port with the test's side of the line, on either kind of device.
class Bench {
public:
    virtual ~Bench() = default;
    virtual HANDLE port() = 0;
    // Bytes the port will receive.
    virtual void send(const std::string& bytes) = 0;
    // Bytes the port sent.
    virtual std::vector<std::uint8_t> receive(std::size_t count, std::chrono::milliseconds wait) = 0;
};

enum class DeviceKind { Pty, Virtual };

inline const char* kindName(DeviceKind kind) { return kind == DeviceKind::Pty ? "pty" : "virtual"; }

class PtyBench : public Bench {
public:
    explicit PtyBench(bool overlapped) : p_(overlapped) {}
    HANDLE port() override { return p_.port.get(); }
    void send(const std::string& bytes) override { p_.pty.write(std::vector<std::uint8_t>(bytes.begin(), bytes.end())); }
    std::vector<std::uint8_t> receive(std::size_t count, std::chrono::milliseconds wait) override {
        return p_.pty.read(count, wait);
    }

private:
    PtyPort p_;
};

class VirtualBench : public Bench {
public:
    explicit VirtualBench(bool overlapped) : v_(overlapped) {}
    HANDLE port() override { return v_.port.get(); }
    void send(const std::string& bytes) override { v_.peer().write(bytes); }
    std::vector<std::uint8_t> receive(std::size_t count, std::chrono::milliseconds wait) override {
        return v_.peer().readExactly(count, wait);
    }
    VirtualPort& line() { return v_; }

private:
    VirtualPort v_;
};

inline std::unique_ptr<Bench> makeBench(DeviceKind kind, bool overlapped = true) {
    if (kind == DeviceKind::Pty) return std::make_unique<PtyBench>(overlapped);
    return std::make_unique<VirtualBench>(overlapped);
}

// A test that runs once on a pty and once on a virtual null-modem, with the
// port opened for overlapped or for synchronous transfers.
template <bool kOverlapped>
class OnEachDevice : public ::testing::TestWithParam<DeviceKind> {
protected:
    void SetUp() override {
        bench = makeBench(GetParam(), kOverlapped);
        port = bench->port();
        ASSERT_NE(port, INVALID_HANDLE_VALUE) << GetLastError();
    }
    std::unique_ptr<Bench> bench;
    HANDLE port = INVALID_HANDLE_VALUE;
};

inline const auto kBothDevices = ::testing::Values(DeviceKind::Pty, DeviceKind::Virtual);

// Names each instance after its device: "pty", "virtual".
inline std::string deviceParamName(const ::testing::TestParamInfo<DeviceKind>& info) {
    return kindName(info.param);
}

// Waits (bounded) until the port has `count` bytes queued: a pty hands
// bytes to its other side asynchronously.
inline bool waitForInQueue(HANDLE port, DWORD count, std::chrono::milliseconds limit = 3000ms) {
    auto deadline = Clock::now() + limit;
    for (;;) {
        COMSTAT stat{};
        DWORD errors = 0;
        if (ClearCommError(port, &errors, &stat) && stat.cbInQue >= count) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
}

}  // namespace porttest

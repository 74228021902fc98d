// Reads and writes on ports over a pty and over the virtual null-modem:
// time-out rules, immediate and pending completion, abort by purge and close.
#include "tests/serial/platform/port_test_support.h"

#include <atomic>
#include <thread>

using namespace porttest;

namespace {

constexpr ULONG_PTR kStatusPending = 0x103;

struct ReadTimeoutCase {
    const char* name;
    COMMTIMEOUTS timeouts;
    DWORD length;
    std::string before;  // queued before the read starts
    int sendAfterMs;     // -1: nothing more is sent
    std::string later;
    bool immediate;
    DWORD expectedCount;
    double minMs;
    double maxMs;
};

const ReadTimeoutCase kReadTimeouts[] = {
    {"maxdword_interval_empty", {MAXDWORD, 0, 0, 0, 0}, 1, "", -1, "", true, 0, 0, 1000},
    {"maxdword_interval_returns_buffered", {MAXDWORD, 0, 0, 0, 0}, 8, "abc", -1, "", true, 3, 0, 1000},
    {"enough_buffered_completes_at_once", {0, 0, 0, 0, 0}, 2, "xyz", -1, "", true, 2, 0, 1000},
    {"total_constant_times_out_empty", {0, 0, 200, 0, 0}, 1, "", -1, "", false, 0, 190, 3000},
    {"two_second_read_gets_early_byte", {2000, 0, 2000, 0, 0}, 1, "", 100, "k", false, 1, 90, 1900},
    {"no_timeouts_waits_for_all", {0, 0, 0, 0, 0}, 2, "", 80, "hi", false, 2, 70, 3000},
};

class ReadTimeouts : public ::testing::TestWithParam<std::tuple<DeviceKind, ReadTimeoutCase>> {};

TEST_P(ReadTimeouts, CompleteAsWindowsDoes) {
    auto [kind, c] = GetParam();
    auto bench = makeBench(kind);
    HANDLE port = bench->port();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    ASSERT_EQ(SetCommTimeouts(port, &c.timeouts), TRUE);
    if (!c.before.empty()) {
        bench->send(c.before);
        ASSERT_TRUE(waitForInQueue(port, static_cast<DWORD>(c.before.size())));
    }
    Overlapped ov(0xFF);
    std::vector<char> buffer(c.length + 1, '\0');
    DWORD count = kPoison;
    auto start = Clock::now();
    BOOL result = ReadFile(port, buffer.data(), c.length, &count, &ov.record);
    if (c.immediate) {
        ASSERT_EQ(result, TRUE) << GetLastError();
        EXPECT_EQ(count, c.expectedCount);
        EXPECT_TRUE(ov.signalled()) << "an immediate completion sets the event";
        EXPECT_EQ(ov.record.Internal, 0u);
        EXPECT_EQ(ov.record.InternalHigh, c.expectedCount);
    } else {
        ASSERT_EQ(result, FALSE);
        ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
        EXPECT_EQ(count, 0u);
        if (c.sendAfterMs >= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(c.sendAfterMs));
            bench->send(c.later);
        }
        ASSERT_TRUE(ov.signalled(10000)) << "completion must come";
        ASSERT_EQ(GetOverlappedResult(port, &ov.record, &count, FALSE), TRUE) << GetLastError();
        EXPECT_EQ(count, c.expectedCount);
    }
    double ms = elapsedMs(start);
    EXPECT_GE(ms, c.minMs);
    EXPECT_LT(ms, c.maxMs);
    EXPECT_EQ(ov.record.Offset, 0xFFFFFFFFu) << "Offset is the caller's";
    std::string expected = (c.before + c.later).substr(0, c.expectedCount);
    EXPECT_EQ(std::string(buffer.data(), count), expected);
}

INSTANTIATE_TEST_SUITE_P(Transfers, ReadTimeouts,
                         ::testing::Combine(kBothDevices, ::testing::ValuesIn(kReadTimeouts)),
                         [](const auto& info) {
                             return std::string(kindName(std::get<0>(info.param))) + "_" +
                                    std::get<1>(info.param).name;
                         });

class OnBothDevices : public OnEachDevice<true> {};

INSTANTIATE_TEST_SUITE_P(Transfers, OnBothDevices, kBothDevices, deviceParamName);

TEST_P(OnBothDevices, PendingReadIsIncompleteUntilDataArrives) {
    setTimeouts(port, 0, 0, 0);
    Overlapped ov(0xFF);
    char byte = 0;
    SetLastError(kPoison);
    ASSERT_EQ(ReadFile(port, &byte, 1, nullptr, &ov.record), FALSE);
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    EXPECT_FALSE(ov.signalled()) << "the call resets the event";
    EXPECT_EQ(statusOf(ov.record), kStatusPending);
    DWORD count = kPoison;
    EXPECT_EQ(GetOverlappedResult(port, &ov.record, &count, FALSE), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
    EXPECT_EQ(count, kPoison) << "no count while pending";
    bench->send("Z");
    ASSERT_EQ(GetOverlappedResult(port, &ov.record, &count, TRUE), TRUE);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(byte, 'Z');
    EXPECT_TRUE(ov.signalled());
    EXPECT_EQ(ov.record.Internal, 0u);
    EXPECT_EQ(ov.record.InternalHigh, 1u);
}

// One read and one write at a time, as the library's worker makes them: a
// second read while one is pending is refused and leaves the first alone.
TEST_P(OnBothDevices, ASecondReadWhileOneIsPendingIsRefused) {
    setTimeouts(port, 0, 0, 5000);
    Overlapped first, second;
    char a = 0, b = 0;
    ASSERT_EQ(ReadFile(port, &a, 1, nullptr, &first.record), FALSE);
    SetLastError(kPoison);
    EXPECT_EQ(ReadFile(port, &b, 1, nullptr, &second.record), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    bench->send("1");
    DWORD n = 0;
    ASSERT_EQ(GetOverlappedResult(port, &first.record, &n, TRUE), TRUE);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(a, '1');
}

TEST_P(OnBothDevices, PurgeRxAbortCancelsThePendingRead) {
    setTimeouts(port, 0, 0, 0);
    Overlapped ov;
    char byte = 0;
    ASSERT_EQ(ReadFile(port, &byte, 1, nullptr, &ov.record), FALSE);
    ASSERT_EQ(PurgeComm(port, PURGE_RXABORT), TRUE);
    ASSERT_TRUE(ov.signalled(2000));
    DWORD count = kPoison;
    SetLastError(kPoison);
    EXPECT_EQ(GetOverlappedResult(port, &ov.record, &count, TRUE), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_EQ(count, 0u);
}

TEST_P(OnBothDevices, PurgeRxClearEmptiesTheBuffer) {
    bench->send("junk");
    ASSERT_TRUE(waitForInQueue(port, 4));
    ASSERT_EQ(PurgeComm(port, PURGE_RXCLEAR), TRUE);
    COMSTAT stat;
    std::memset(&stat, 0xFF, sizeof stat);
    DWORD errors = kPoison;
    ASSERT_EQ(ClearCommError(port, &errors, &stat), TRUE);
    EXPECT_EQ(stat.cbInQue, 0u);
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(stat.fReserved, 0u);
}

TEST_P(OnBothDevices, PurgeRejectsUnknownFlags) {
    for (DWORD flags : {DWORD{0}, DWORD{0x10}, DWORD{0xFFFFFFFF}}) {
        SetLastError(kPoison);
        EXPECT_EQ(PurgeComm(port, flags), FALSE) << flags;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << flags;
    }
}

TEST_P(OnBothDevices, WriteReachesTheOtherSide) {
    Overlapped ov;
    DWORD count = kPoison;
    const char text[] = "hello";
    ASSERT_TRUE(completed(port, WriteFile(port, text, 5, &count, &ov.record), ov, count)) << GetLastError();
    EXPECT_EQ(count, 5u);
    auto got = bench->receive(5, 3000ms);
    EXPECT_EQ(std::string(got.begin(), got.end()), "hello");
}

TEST_P(OnBothDevices, EveryByteValueSurvivesBothWays) {
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    setTimeouts(port, 0, 0, 5000);
    bench->send(all);
    std::string got(256, '\0');
    Overlapped in;
    DWORD count = 0;
    ASSERT_TRUE(completed(port, ReadFile(port, got.data(), 256, &count, &in.record), in, count)) << GetLastError();
    EXPECT_EQ(count, 256u);
    EXPECT_EQ(got, all) << "0xFF and 0x00 must not be taken for line-error marks";
    Overlapped out;
    ASSERT_TRUE(completed(port, WriteFile(port, all.data(), 256, &count, &out.record), out, count)) << GetLastError();
    auto echoed = bench->receive(256, 3000ms);
    EXPECT_EQ(std::string(echoed.begin(), echoed.end()), all) << "no output processing";
}

TEST_P(OnBothDevices, CloseCancelsPendingReadAndWaitOnTheRecord) {
    setTimeouts(port, 0, 0, 0);
    Overlapped ov;
    char byte = 0;
    ASSERT_EQ(ReadFile(port, &byte, 1, nullptr, &ov.record), FALSE);
    HANDLE h = port;  // the bench's own close later fails harmlessly with error 6
    EXPECT_EQ(CloseHandle(h), TRUE);
    EXPECT_TRUE(ov.signalled()) << "cancelled before CloseHandle returns";
    DWORD count = kPoison;
    EXPECT_EQ(GetOverlappedResult(h, &ov.record, &count, TRUE), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(ReadFile(h, &byte, 1, nullptr, &ov.record), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// Every transfer runs overlapped with an event in its record, as the
// library's do; a record without one is refused, as is a missing record.
TEST_P(OnBothDevices, OverlappedHandleNeedsARecordWithItsEvent) {
    char byte = 0;
    DWORD count = kPoison;
    EXPECT_EQ(ReadFile(port, &byte, 1, &count, nullptr), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(count, 0u);
    OVERLAPPED noEvent{};
    EXPECT_EQ(WriteFile(port, "x", 1, nullptr, &noEvent), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetOverlappedResult(port, nullptr, &count, FALSE), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetOverlappedResult(port, &noEvent, &count, FALSE), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// The library opens a handle without FILE_FLAG_OVERLAPPED only to probe a
// port: such a handle refuses transfers and line-event waits.
class Synchronous : public OnEachDevice<false> {};

INSTANTIATE_TEST_SUITE_P(Transfers, Synchronous, kBothDevices, deviceParamName);

TEST_P(Synchronous, HandleRefusesTransfersAndEventWaits) {
    Overlapped ov;
    char byte = 0;
    DWORD mask = 0;
    ASSERT_EQ(SetCommMask(port, EV_RXCHAR), TRUE);
    EXPECT_EQ(ReadFile(port, &byte, 1, nullptr, &ov.record), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(WriteFile(port, "x", 1, nullptr, &ov.record), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(WaitCommEvent(port, &mask, &ov.record), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
}

// Writes that cannot go out: the virtual line's receive buffer is bounded.
class HeldWrites : public ::testing::Test {
protected:
    VirtualPort v;
};

TEST_F(HeldWrites, WriteTimeOutCompletesWithTheShortCount) {
    v.peer().setReceiveCapacity(3);
    setTimeouts(v.port.get(), 0, 0, 0, 0, 200);
    Overlapped ov;
    DWORD count = kPoison;
    auto start = Clock::now();
    ASSERT_EQ(WriteFile(v.port.get(), "0123456789", 10, &count, &ov.record), FALSE);
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    ASSERT_EQ(GetOverlappedResult(v.port.get(), &ov.record, &count, TRUE), TRUE) << "a time-out succeeds";
    EXPECT_EQ(count, 3u);
    EXPECT_GE(elapsedMs(start), 190);
    EXPECT_LT(elapsedMs(start), 3000);
}

TEST_F(HeldWrites, WriteWithoutLimitWaitsForRoom) {
    v.peer().setReceiveCapacity(0);
    setTimeouts(v.port.get(), 0, 0, 0, 0, 0);
    Overlapped ov;
    DWORD count = kPoison;
    ASSERT_EQ(WriteFile(v.port.get(), "abcd", 4, &count, &ov.record), FALSE);
    EXPECT_FALSE(ov.signalled(100));
    EXPECT_EQ(GetOverlappedResult(v.port.get(), &ov.record, &count, FALSE), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
    COMSTAT stat{};
    ASSERT_EQ(ClearCommError(v.port.get(), nullptr, &stat), TRUE);
    EXPECT_EQ(stat.cbOutQue, 4u);
    v.peer().setReceiveCapacity(100);
    ASSERT_EQ(GetOverlappedResult(v.port.get(), &ov.record, &count, TRUE), TRUE);
    EXPECT_EQ(count, 4u);
    auto got = v.peer().readExactly(4, 2000ms);
    EXPECT_EQ(std::string(got.begin(), got.end()), "abcd");
}

// A pending write ends aborted by a purge (waited for) and by a close
// (already ended when CloseHandle returns).
struct WriteCancel {
    const char* name;
    bool (*cancel)(Handle& port);
    BOOL waitForIt;
};

const WriteCancel kWriteCancels[] = {
    {"purge_tx_abort", [](Handle& p) { return PurgeComm(p.get(), PURGE_TXABORT | PURGE_TXCLEAR) == TRUE; }, TRUE},
    {"close", [](Handle& p) { return CloseHandle(p.release()) == TRUE; }, FALSE},
};

class CancelledWrite : public HeldWrites, public ::testing::WithParamInterface<WriteCancel> {};

TEST_P(CancelledWrite, EndsAbortedWithNothingWritten) {
    v.peer().setReceiveCapacity(0);
    const HANDLE port = v.port.get();
    Overlapped ov;
    ASSERT_EQ(WriteFile(port, "x", 1, nullptr, &ov.record), FALSE);
    ASSERT_TRUE(GetParam().cancel(v.port));
    DWORD count = kPoison;
    EXPECT_EQ(GetOverlappedResult(port, &ov.record, &count, GetParam().waitForIt), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_EQ(count, 0u);
}

INSTANTIATE_TEST_SUITE_P(HeldWrites, CancelledWrite, ::testing::ValuesIn(kWriteCancels),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// The port's buffer fills up to one byte short, then a marked byte (three
// bytes in-band) arrives: it must wait for room, not be lost or spin.
TEST(FullBuffer, MarkThatDoesNotFitWaitsForRoom) {
    VirtualPort v;
    v.modem.end(0).setReceiveCapacity(10000);  // the line holds more than the port's 4096
    setTimeouts(v.port.get(), 0, 0, 5000);
    std::string block(4095, 'd');
    ASSERT_EQ(v.peer().write(block), block.size());
    v.peer().sendFaulty('F', posix::VirtualLineFault::Framing);
    v.peer().write("t");
    std::string got(4097, '\0');
    DWORD count = 0;
    Overlapped ov;
    ASSERT_TRUE(completed(v.port.get(), ReadFile(v.port.get(), got.data(), 4097, &count, &ov.record), ov, count))
        << GetLastError();
    EXPECT_EQ(count, 4097u);
    EXPECT_EQ(got, block + "Ft");
    DWORD errors = 0;
    ASSERT_EQ(ClearCommError(v.port.get(), &errors, nullptr), TRUE);
    EXPECT_EQ(errors, CE_FRAME);
}

}  // namespace

#pragma once
// TComm: the library's one serial port. Opens the device for overlapped I/O,
// writes line settings, buffer sizes and time-outs, runs the comm-event
// watcher and the transfer worker, turns line-event notifications into a
// clearing of line errors, and closes everything again in a fixed order.
// Every failing operation records its message and code in the error slot.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "serial/platform/win32_calls.h"
#include "serial/src/comm_threads.h"
#include "serial/src/handshake.h"
#include "serial/src/line_events.h"
#include "serial/src/unique_handle.h"

namespace winseria {

struct TransferKind;

// "\\.\COM" followed by the port number in decimal.
std::string DeviceNameFor(std::uint8_t port);

// What a read time-out of `readSec` and a write time-out of `writeSec`
// seconds ask of the device.
winapi::COMMTIMEOUTS TimeoutsFor(std::uint16_t writeSec, std::uint16_t readSec);

// The parity a new port object takes from the library default.
std::uint32_t ParityFromDefault(std::uint8_t parity);

class TComm final : public ByteDevice {
public:
    TComm();
    TComm(const TComm&) = delete;
    TComm& operator=(const TComm&) = delete;
    ~TComm();

    std::int32_t SetParams(std::uint8_t port, std::uint32_t baud, std::uint16_t writeTimeoutSec,
                           std::uint16_t readTimeoutSec);
    bool IsOpen() const { return static_cast<bool>(portHandle_); }
    std::int32_t Open();
    void CloseDevice();
    std::int32_t Connect();
    std::int32_t Disconnect();
    std::int32_t Configure();
    static void SetDcbFlags(winapi::DCB& dcb);
    std::int32_t SetTimeouts(std::uint16_t writeSec, std::uint16_t readSec);
    std::int32_t ClearOutput();
    std::int32_t ClearInput();
    void HandleCommEvent(TZdarzeniaCommThread* sender, winapi::DWORD mask);
    void LineEvent(winapi::DWORD event);
    winapi::HANDLE CommHandle() const { return portHandle_.get(); }

    // One overlapped transfer each, run by the worker thread only.
    winapi::DWORD WriteToDevice(const std::uint8_t& byte) override;
    winapi::DWORD ReadFromDevice(std::uint8_t& byte) override;

    // True when no byte handed to WriteByte is still to leave: no write waits
    // for the worker or runs, and the driver's output queue is empty.
    bool QueryTransmitEmpty();

    // Read access for the exports and for tests.
    const winapi::DCB& CurrentDcb() const { return dcb_; }
    const std::string& Name() const { return deviceName_; }
    const winapi::COMMTIMEOUTS& Saved() const { return savedTimeouts_; }
    std::uint16_t Events() const { return eventSet_; }
    winapi::DWORD LastLineErrors() const { return lineErrors_; }
    std::uint32_t Speed() const { return baudRate_; }
    std::uint32_t ParityCode() const { return parity_; }
    std::uint32_t StopBitsCode() const { return stopBits_; }
    std::uint32_t DataBits() const { return byteSize_; }
    std::uint16_t WriteTimeout() const { return writeTimeoutSec_; }
    std::uint16_t ReadTimeout() const { return readTimeoutSec_; }
    TZdarzeniaCommThread* Watcher() const { return eventThread_.get(); }
    TZapisOdczytThread* Worker() const { return transferThread_.get(); }

    void SetSpeed(std::uint32_t baud) { baudRate_ = baud; }
    void SetParity(std::uint32_t parity) { parity_ = parity; }

private:
    // One overlapped transfer of `count` bytes in the direction `kind`
    // (transfer.cpp); returns the bytes moved.
    winapi::DWORD RunTransfer(const TransferKind& kind, winapi::OVERLAPPED& overlapped, void* buffer,
                              winapi::DWORD count);
    winapi::DWORD AwaitTransfer(const TransferKind& kind, winapi::OVERLAPPED& overlapped, winapi::DWORD count);
    // Cancels the worker's transfers of one direction (purge and CancelIo).
    void Abort(winapi::DWORD purgeFlag);
    // Completes a transfer left outstanding on the device before its
    // record is reused or released; returns what it moved before that.
    winapi::DWORD Withdraw(winapi::OVERLAPPED& overlapped, winapi::DWORD purgeFlag);

    UniqueFileHandle portHandle_;
    winapi::OVERLAPPED writeOverlapped_{};
    winapi::OVERLAPPED readOverlapped_{};
    winapi::DCB dcb_{};
    std::string deviceName_;
    winapi::COMMTIMEOUTS savedTimeouts_{};
    winapi::COMMTIMEOUTS timeouts_{};
    std::unique_ptr<TZdarzeniaCommThread> eventThread_;
    std::unique_ptr<TZapisOdczytThread> transferThread_;
    std::uint16_t eventSet_ = 0;
    winapi::DWORD lineErrors_ = 0;
    std::uint32_t baudRate_ = 0;
    std::uint32_t parity_ = 0;
    std::uint32_t stopBits_ = 0;
    std::uint32_t byteSize_ = 0;
    std::uint32_t inQueueSize_ = 0;
    std::uint32_t outQueueSize_ = 0;
    std::uint16_t writeTimeoutSec_ = 0;
    std::uint16_t readTimeoutSec_ = 0;

    // Line errors that CharSent's ClearCommError took, kept for the next
    // line-event report.
    std::atomic<winapi::DWORD> errorsTakenByQuery_{0};
};

}  // namespace winseria

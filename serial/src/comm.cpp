#include "serial/src/comm.h"

#include "serial/src/dispatcher.h"
#include "serial/src/handshake.h"
#include "serial/src/library_state.h"

namespace winseria {

using namespace winapi;

namespace {

constexpr std::uint32_t kInQueueSize = 4096;
constexpr std::uint32_t kOutQueueSize = 2048;
constexpr DWORD kConnectSettleMs = 10;

std::int32_t AsCode(DWORD error) { return static_cast<std::int32_t>(error); }

Message OpenFailureMessage(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND: return Message::DeviceNotFound;
    case ERROR_ACCESS_DENIED: return Message::AccessDenied;
    case ERROR_INVALID_HANDLE: return Message::InvalidHandle;
    default: return Message::WrongDevice;
    }
}

// Line-error flags in the order they are reported; the last one present
// stays in the error slot.
struct LineErrorReport {
    DWORD flag;
    Message message;
};
constexpr LineErrorReport kLineErrorReports[] = {
    {CE_BREAK, Message::LineBreak},   {CE_FRAME, Message::LineFrame},   {CE_OVERRUN, Message::LineOverrun},
    {CE_RXOVER, Message::LineRxOver}, {CE_RXPARITY, Message::LineParity}, {CE_TXFULL, Message::LineTxFull},
};

}  // namespace

std::string DeviceNameFor(std::uint8_t port) { return "\\\\.\\COM" + std::to_string(port); }

COMMTIMEOUTS TimeoutsFor(std::uint16_t writeSec, std::uint16_t readSec) {
    COMMTIMEOUTS timeouts{};
    const DWORD readMs = DWORD{readSec} * 1000u;
    timeouts.ReadIntervalTimeout = readSec == 0 ? MAXDWORD : readMs;
    timeouts.ReadTotalTimeoutConstant = readMs;
    timeouts.WriteTotalTimeoutConstant = DWORD{writeSec} * 1000u;
    return timeouts;
}

std::uint32_t ParityFromDefault(std::uint8_t parity) {
    switch (parity) {
    case NOPARITY:
    case ODDPARITY:
    case MARKPARITY:
    case SPACEPARITY: return parity;
    default: return EVENPARITY;
    }
}

TComm::TComm()
    : deviceName_("Comm2"),
      eventSet_(kAllEvents),
      parity_(ParityFromDefault(Defaults().parity.load())),
      stopBits_(Defaults().stopBits.load()),
      byteSize_(Defaults().byteSize.load()),
      inQueueSize_(kInQueueSize),
      outQueueSize_(kOutQueueSize) {}

TComm::~TComm() { Disconnect(); }

std::int32_t TComm::SetParams(std::uint8_t port, std::uint32_t baud, std::uint16_t writeTimeoutSec,
                              std::uint16_t readTimeoutSec) {
    baudRate_ = baud;
    try {
        deviceName_ = DeviceNameFor(port);
    } catch (const std::bad_alloc&) {
        SetError(Message::DcbUpdate, AsCode(ERROR_NOT_ENOUGH_MEMORY));
        return AsCode(ERROR_NOT_ENOUGH_MEMORY);
    }
    writeTimeoutSec_ = writeTimeoutSec;
    readTimeoutSec_ = readTimeoutSec;
    return 0;
}

std::int32_t TComm::Open() {
    SetLastError(0);
    portHandle_.reset(CreateFileA(deviceName_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED, nullptr));
    if (!portHandle_) {
        const DWORD error = GetLastError();
        SetError(OpenFailureMessage(error), AsCode(error));
        return AsCode(error);
    }
    if (GetFileType(portHandle_.get()) == FILE_TYPE_CHAR) return 0;
    // Not a serial device. The close would leave no error behind, so the
    // failure is reported as an invalid handle: the port is closed and the
    // caller must not take the result for success.
    const DWORD typeError = GetLastError();
    CloseDevice();
    const DWORD code = typeError != ERROR_SUCCESS ? typeError : ERROR_INVALID_HANDLE;
    SetError(Message::InvalidHandle, AsCode(code));
    return AsCode(code);
}

void TComm::CloseDevice() {
    SetLastError(0);
    portHandle_.reset();
}

std::int32_t TComm::Connect() {
    try {
        Disconnect();
    } catch (...) {
        // A failed close of the previous connection does not stop this one.
    }
    SetLastError(0);
    SetError(Message::Empty, 0);
    dispatch::BecomeMainThread();

    std::int32_t result = Open();
    if (!IsOpen()) return result;

    eventThread_ = std::make_unique<TZdarzeniaCommThread>(portHandle_.get(), eventSet_);
    eventThread_->SetOnCommEvent([this](TZdarzeniaCommThread* sender, DWORD mask) { HandleCommEvent(sender, mask); });
    transferThread_ = std::make_unique<TZapisOdczytThread>(*this);

    if (const std::int32_t configured = Configure(); configured != 0) return configured;

    SetLastError(0);
    if (!SetupComm(portHandle_.get(), inQueueSize_, outQueueSize_)) {
        return RecordFailure(Message::BufferSetup);
    }
    result = SetTimeouts(writeTimeoutSec_, readTimeoutSec_);

    const DWORD createError = Handshake().ReplacePortClosed();
    Sleep(kConnectSettleMs);
    if (createError != ERROR_SUCCESS) {
        SetError(Message::PortClosedCreate, AsCode(createError));
        return AsCode(createError);
    }
    return result;
}

std::int32_t TComm::Disconnect() {
    if (!IsOpen()) return 0;
    // The worker's stop comes first: from here on no request is handed to
    // it, and the transfer in flight is aborted instead of waiting for its
    // time-out. Then the watcher goes, purging the device on its way out.
    if (transferThread_) transferThread_->StopThread();
    if (eventThread_) {
        eventThread_->StopThread();
        eventThread_->WaitFor();
        eventThread_.reset();
    }
    if (transferThread_) {
        transferThread_->WaitFor();
        transferThread_.reset();
    }
    // Restored only once no transfer can run: the device's own time-outs
    // are often none at all, and a read under them would never end.
    SetLastError(0);
    if (!SetCommTimeouts(portHandle_.get(), &savedTimeouts_)) RecordFailure(Message::TimeoutsWrite);
    CloseDevice();

    if (!Handshake().SignalPortClosed()) return RecordFailure(Message::EventSignal);
    return 0;
}

std::int32_t TComm::Configure() {
    if (!IsOpen()) return 0;
    SetLastError(0);
    if (!GetCommState(portHandle_.get(), &dcb_)) {
        return RecordFailure(Message::DcbUpdate);
    }
    dcb_.BaudRate = baudRate_;
    dcb_.Parity = static_cast<BYTE>(parity_);
    dcb_.StopBits = static_cast<BYTE>(stopBits_);
    dcb_.ByteSize = static_cast<BYTE>(byteSize_);
    SetDcbFlags(dcb_);
    if (!SetCommState(portHandle_.get(), &dcb_)) {
        return RecordFailure(Message::DcbUpdate);
    }
    return 0;
}

void TComm::SetDcbFlags(DCB& dcb) {
    // No hardware or software handshake, DTR and RTS left low, and transfers
    // aborted on a line error until the next notification clears it.
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fAbortOnError = 1;
}

std::int32_t TComm::SetTimeouts(std::uint16_t writeSec, std::uint16_t readSec) {
    SetLastError(0);
    if (!GetCommTimeouts(portHandle_.get(), &savedTimeouts_)) {
        return RecordFailure(Message::TimeoutsRead);
    }
    if (!IsOpen()) return 0;
    timeouts_ = TimeoutsFor(writeSec, readSec);
    if (!SetCommTimeouts(portHandle_.get(), &timeouts_)) {
        return RecordFailure(Message::TimeoutsWrite);
    }
    return 0;
}

std::int32_t TComm::ClearOutput() {
    SetLastError(0);
    if (!IsOpen() || PurgeComm(portHandle_.get(), PURGE_TXCLEAR)) return 0;
    return AsCode(GetLastError());
}

std::int32_t TComm::ClearInput() {
    SetLastError(0);
    if (!IsOpen() || PurgeComm(portHandle_.get(), PURGE_RXCLEAR)) return 0;
    return AsCode(GetLastError());
}

void TComm::HandleCommEvent(TZdarzeniaCommThread* /*sender*/, DWORD mask) {
    // Only the errors are wanted: without a COMSTAT the device is not asked
    // for its queues on every line event.
    DWORD errors = 0;
    ClearCommError(portHandle_.get(), &errors, nullptr);
    lineErrors_ = errors | errorsTakenByQuery_.exchange(0);
    // The dispatched events in table order: the line errors first (a break,
    // then framing, overrun and parity errors; their flags were read just
    // before), then the data events.
    for (const LineEventRow& event : kLineEvents) {
        if (event.dispatched && (mask & event.platformBit)) LineEvent(event.platformBit);
    }
}

void TComm::LineEvent(DWORD event) {
    if (event != EV_ERR && event != EV_BREAK) return;
    for (const LineErrorReport& report : kLineErrorReports) {
        if (lineErrors_ & report.flag) SetError(report.message, AsCode(report.flag));
    }
}

bool TComm::QueryTransmitEmpty() {
    if (!IsOpen()) return false;
    // In the order a write passes through them: the hand-over, the driver's queue.
    if (Handshake().WritePending()) return false;
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(portHandle_.get(), &errors, &status)) return false;
    errorsTakenByQuery_.fetch_or(errors);
    return status.cbOutQue == 0;
}

}  // namespace winseria

// The 21 exported functions. Each one catches everything: a failure reaches
// the caller as a result and an entry in the error slot, never as an
// exception crossing the C boundary.
#define WINSERIA_BUILDING 1
#include "serial/include/winseria.h"

#include <cstring>
#include <memory>
#include <new>

#include "serial/src/comm.h"
#include "serial/src/comm_port.h"
#include "serial/src/dispatcher.h"
#include "serial/src/handshake.h"
#include "serial/src/library_state.h"

namespace {

using namespace winseria;
using namespace winapi;

constexpr std::int32_t kAccessDeniedCode = static_cast<std::int32_t>(ERROR_ACCESS_DENIED);
constexpr DWORD kParityPurgePauseMs = 50;
constexpr DWORD kSpeedPauseMs = 10;
constexpr std::uint32_t kModemLines = 0xF0;
const char kVersion[] = "3.00";

// Runs `body`; an exception (out of memory, a thread the system refuses)
// is recorded as ERROR_NOT_ENOUGH_MEMORY and the function returns `failed`.
template <typename Result, typename Body>
Result Guarded(Result failed, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        SetError(Message::Empty, static_cast<std::int32_t>(ERROR_NOT_ENOUGH_MEMORY));
        return failed;
    }
}

// A caller that never serves the main thread's queue still gets its line
// errors cleared: the exports that reach the device serve it first when
// they run on the main thread.
void ServeAtEntry() { dispatch::ServePending(); }

HANDLE HandleOf(const TComm* port) { return port != nullptr ? port->CommHandle() : INVALID_HANDLE_VALUE; }

std::uint8_t AsBoolean(bool value) { return value ? 1 : 0; }

std::int32_t Initialize(std::uint8_t port, std::uint32_t baud, std::uint16_t writeTimeoutSec,
                        std::uint16_t readTimeoutSec) {
    PortLock lock;
    SetLastError(0);
    if (const TComm* current = lock.get(); current != nullptr && current->IsOpen()) {
        SetError(Message::AlreadyInitialized, kAccessDeniedCode);
        return kAccessDeniedCode;
    }
    // The port is closed, so a transfer still running fails at once and
    // gives up its turn; the new connection replaces the handshake's events.
    const std::unique_lock turn = Handshake().TakeTurn();
    lock.Replace(std::make_unique<TComm>());
    TComm* comm = lock.get();
    std::int32_t result = comm->SetParams(port, baud, writeTimeoutSec, readTimeoutSec);
    if (result == 0) result = comm->Connect();
    return result;
}

std::int32_t ClearBuffers(TComm* comm) {
    SetLastError(0);
    if (comm == nullptr) return 0;
    if (const std::int32_t output = comm->ClearOutput(); output != 0) return output;
    return comm->ClearInput();
}

std::int32_t Escape(DWORD function) {
    ServeAtEntry();
    const PortLock lock;
    SetLastError(0);
    return EscapeCommFunction(HandleOf(lock.get()), function);
}

struct ChannelLines {
    DWORD dtr;
    DWORD rts;
};
constexpr ChannelLines kChannels[] = {
    {CLRDTR, SETRTS}, {CLRDTR, SETRTS}, {SETDTR, SETRTS}, {CLRDTR, CLRRTS}, {SETDTR, CLRRTS},
};

}  // namespace

extern "C" {

WINSERIA_API int32_t WINSERIA_CALL InitializePort(uint8_t port, uint32_t baud, uint16_t writeTimeoutSec,
                                                  uint16_t readTimeoutSec) {
    return Guarded<int32_t>(static_cast<int32_t>(ERROR_NOT_ENOUGH_MEMORY), [&] {
        ServeAtEntry();
        return Initialize(port, baud, writeTimeoutSec, readTimeoutSec);
    });
}

WINSERIA_API int32_t WINSERIA_CALL pInitializePort(uint8_t port, uint32_t baud, uint16_t writeTimeoutSec,
                                                   uint16_t readTimeoutSec, uint8_t parity, uint8_t byteSize,
                                                   uint8_t stopBits) {
    return Guarded<int32_t>(static_cast<int32_t>(ERROR_NOT_ENOUGH_MEMORY), [&] {
        ServeAtEntry();
        // Stored before the one-port check: a refused call still sets them.
        LineDefaults& defaults = Defaults();
        defaults.parity.store(parity);
        defaults.byteSize.store(byteSize);
        defaults.stopBits.store(stopBits);
        return Initialize(port, baud, writeTimeoutSec, readTimeoutSec);
    });
}

WINSERIA_API int32_t WINSERIA_CALL UnInitializePort(void) {
    return Guarded<int32_t>(static_cast<int32_t>(ERROR_NOT_ENOUGH_MEMORY), [] {
        ServeAtEntry();
        const PortLock lock;
        SetLastError(0);
        TComm* comm = lock.get();
        return comm != nullptr ? comm->Disconnect() : 0;
    });
}

WINSERIA_API uint8_t WINSERIA_CALL WriteByte(uint8_t value) {
    return Guarded<uint8_t>(0, [&] {
        ServeAtEntry();
        return AsBoolean(Handshake().Write(value));
    });
}

WINSERIA_API uint8_t WINSERIA_CALL ReadByte(uint8_t* value) {
    if (value == nullptr) return 0;
    return Guarded<uint8_t>(0, [&] {
        ServeAtEntry();
        return AsBoolean(Handshake().Read(*value));
    });
}

WINSERIA_API uint8_t WINSERIA_CALL TimeOut(void) { return Handshake().TimedOut(); }

WINSERIA_API uint8_t WINSERIA_CALL IsError(char** buffer, int32_t* code) {
    if (code == nullptr) return 0;
    if (buffer == nullptr || *buffer == nullptr) {
        *code = -1;
        return 0;
    }
    const ErrorRecord error = TakeError();
    std::memcpy(*buffer, error.text.data(), error.text.size());
    (*buffer)[error.text.size()] = '\0';
    *code = error.code;
    return AsBoolean(error.code != 0);
}

WINSERIA_API void WINSERIA_CALL DllVersion(const char** version) {
    if (version != nullptr) *version = kVersion;
}

WINSERIA_API uint8_t WINSERIA_CALL SerialPortPresent(uint8_t port) {
    return Guarded<uint8_t>(0, [&] {
        ServeAtEntry();
        const std::string name = DeviceNameFor(port);
        const UniqueFileHandle probe(
            CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        return AsBoolean(static_cast<bool>(probe));
    });
}

WINSERIA_API int32_t WINSERIA_CALL ClearPort(void) {
    return Guarded<int32_t>(static_cast<int32_t>(ERROR_NOT_ENOUGH_MEMORY), [] {
        ServeAtEntry();
        const PortLock lock;
        return ClearBuffers(lock.get());
    });
}

WINSERIA_API uint8_t WINSERIA_CALL ChangeParity(uint8_t parity) {
    return Guarded<uint8_t>(0, [&] {
        ServeAtEntry();
        const PortLock lock;
        TComm* comm = lock.get();
        if (comm == nullptr) return AsBoolean(false);
        ClearBuffers(comm);
        Sleep(kParityPurgePauseMs);
        comm->SetParity(parity);
        const std::int32_t result = comm->Configure();
        Sleep(kParityPurgePauseMs);
        return AsBoolean(result == 0);
    });
}

WINSERIA_API uint8_t WINSERIA_CALL ChangeSpeed(uint16_t speed) {
    return Guarded<uint8_t>(0, [&] {
        ServeAtEntry();
        const PortLock lock;
        TComm* comm = lock.get();
        if (comm == nullptr) return AsBoolean(false);
        comm->SetSpeed(speed);
        const std::int32_t result = comm->Configure();
        Sleep(kSpeedPauseMs);
        return AsBoolean(result == 0);
    });
}

WINSERIA_API void WINSERIA_CALL Opoznienie(uint16_t milliseconds) {
    Guarded<int>(0, [&] {
        ServeAtEntry();
        Sleep(milliseconds);
        return 0;
    });
}

WINSERIA_API uint8_t WINSERIA_CALL UstawCTS(uint8_t flag) {
    Defaults().ctsFlag.store(flag);
    return flag;
}

WINSERIA_API uint8_t WINSERIA_CALL UstawKanal(uint8_t channel) {
    return Guarded<uint8_t>(0, [&] {
        ServeAtEntry();
        if (channel >= std::size(kChannels)) return AsBoolean(false);
        const PortLock lock;
        SetLastError(0);
        const HANDLE port = HandleOf(lock.get());
        const ChannelLines& lines = kChannels[channel];
        if (!EscapeCommFunction(port, lines.dtr)) return AsBoolean(false);
        return AsBoolean(EscapeCommFunction(port, lines.rts) != FALSE);
    });
}

WINSERIA_API uint32_t WINSERIA_CALL ModemStatus(void) {
    return Guarded<uint32_t>(0, [] {
        ServeAtEntry();
        const PortLock lock;
        SetLastError(0);
        const TComm* comm = lock.get();
        DWORD status = 0;
        if (comm == nullptr || !comm->IsOpen() || !GetCommModemStatus(comm->CommHandle(), &status)) return 0u;
        return status & kModemLines;
    });
}

WINSERIA_API uint8_t WINSERIA_CALL CharSent(void) {
    return Guarded<uint8_t>(0, [] {
        ServeAtEntry();
        const PortLock lock;
        TComm* comm = lock.get();
        return AsBoolean(comm != nullptr && comm->QueryTransmitEmpty());
    });
}

WINSERIA_API int32_t WINSERIA_CALL SetDTRLine(void) {
    return Guarded<int32_t>(0, [] { return Escape(SETDTR); });
}

WINSERIA_API int32_t WINSERIA_CALL ClearDTRLine(void) {
    return Guarded<int32_t>(0, [] { return Escape(CLRDTR); });
}

WINSERIA_API int32_t WINSERIA_CALL SetRTSLine(void) {
    return Guarded<int32_t>(0, [] { return Escape(SETRTS); });
}

WINSERIA_API int32_t WINSERIA_CALL ClearRTSLine(void) {
    return Guarded<int32_t>(0, [] { return Escape(CLRRTS); });
}

}  // extern "C"

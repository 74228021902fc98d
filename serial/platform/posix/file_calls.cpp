// CreateFileA and the calls on its handles. A port name opens the device it
// names (device_resolver.h) as a port; every handle CreateFileA gives is one.
#include "serial/platform/posix/device_resolver.h"
#include "serial/platform/posix/errors.h"
#include "serial/platform/posix/events.h"
#include "serial/platform/posix/port.h"

#include <system_error>

namespace winapi::posix {

namespace {

HANDLE failOpen(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

// Runs a comm call on the port a handle names; FALSE with
// ERROR_INVALID_HANDLE when it names none.
template <typename... Params, typename... Args>
BOOL onPort(HANDLE handle, BOOL (Port::*call)(Params...), Args... args) {
    std::shared_ptr<Port> port = lookup<Port>(handle);
    return port ? (port.get()->*call)(args...) : FALSE;
}

}  // namespace

}  // namespace winapi::posix

namespace winapi {

using namespace posix;

HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD, void*, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE) {
    std::optional<unsigned> number = parseComPortName(fileName);
    if (!number) return failOpen(ERROR_FILE_NOT_FOUND);
    // Only the open the library makes: an existing port, to read and write.
    if (creationDisposition != OPEN_EXISTING || desiredAccess != (GENERIC_READ | GENERIC_WRITE))
        return failOpen(ERROR_INVALID_PARAMETER);
    try {
        DWORD error = ERROR_SUCCESS;
        std::unique_ptr<Device> device = openPortDevice(*number, error);
        if (!device) return failOpen(error);
        HANDLE handle = insertNew([&] {
            return std::make_shared<Port>(std::move(device), (flagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0);
        });
        return handle ? handle : INVALID_HANDLE_VALUE;
    } catch (const std::bad_alloc&) {
        return failOpen(ERROR_NOT_ENOUGH_MEMORY);
    } catch (const std::system_error& e) {  // the port's eventfd or service thread
        return failOpen(windowsErrorFromErrno(e.code().value()));
    }
}

DWORD GetFileType(HANDLE file) { return lookup<Port>(file) ? FILE_TYPE_CHAR : FILE_TYPE_UNKNOWN; }

BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead, OVERLAPPED* overlapped) {
    if (bytesRead) *bytesRead = 0;
    Transfer read{.into = static_cast<std::uint8_t*>(buffer), .length = bytesToRead};
    return onPort(file, &Port::startTransfer, read, true, bytesRead, overlapped);
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten, OVERLAPPED* overlapped) {
    if (bytesWritten) *bytesWritten = 0;
    Transfer write{.from = static_cast<const std::uint8_t*>(buffer), .length = bytesToWrite};
    return onPort(file, &Port::startTransfer, write, false, bytesWritten, overlapped);
}

// As on Windows: a finished request is answered from the record alone; an
// unfinished one is waited for on its event (every record the stand-in
// accepts has one).
BOOL GetOverlappedResult(HANDLE, OVERLAPPED* overlapped, DWORD* bytesTransferred, BOOL wait) {
    if (overlapped == nullptr || overlapped->hEvent == nullptr) return fail(ERROR_INVALID_PARAMETER);
    if (loadStatus(overlapped) == STATUS_PENDING_CODE) {
        if (!wait) return fail(ERROR_IO_INCOMPLETE);
        if (WaitForSingleObject(overlapped->hEvent, INFINITE) == WAIT_FAILED) return FALSE;
    }
    ULONG_PTR final = loadStatus(overlapped);
    if (final == STATUS_PENDING_CODE) return fail(ERROR_IO_INCOMPLETE);  // event set by someone else
    if (bytesTransferred) *bytesTransferred = loadCount(overlapped);
    return isSuccess(final) ? TRUE : fail(errorForStatus(final));
}

BOOL GetCommState(HANDLE file, DCB* dcb) { return onPort(file, &Port::getState, dcb); }
BOOL SetCommState(HANDLE file, DCB* dcb) { return onPort(file, &Port::setState, dcb); }
BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) { return onPort(file, &Port::setup, inQueue, outQueue); }
BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) { return onPort(file, &Port::getTimeouts, timeouts); }
BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) { return onPort(file, &Port::setTimeouts, timeouts); }
BOOL PurgeComm(HANDLE file, DWORD flags) { return onPort(file, &Port::purge, flags); }
// The library cancels only from the worker, which starts every transfer:
// cancelling all of the port's transfers is the same there.
BOOL CancelIo(HANDLE file) { return onPort(file, &Port::purge, PURGE_TXABORT | PURGE_RXABORT); }
BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat) { return onPort(file, &Port::clearError, errors, stat); }
BOOL SetCommMask(HANDLE file, DWORD eventMask) { return onPort(file, &Port::setMask, eventMask); }
BOOL WaitCommEvent(HANDLE file, DWORD* mask, OVERLAPPED* overlapped) {
    return onPort(file, &Port::waitEvent, mask, overlapped);
}
BOOL EscapeCommFunction(HANDLE file, DWORD function) { return onPort(file, &Port::escape, function); }
BOOL GetCommModemStatus(HANDLE file, DWORD* modemStatus) { return onPort(file, &Port::modemStatus, modemStatus); }

}  // namespace winapi

// The serial library's platform calls on Windows: each one forwards to the
// real Win32 call of the same name, unchanged. Our records are declared with
// the Windows layout (checked below), so they are passed through by a cast.
//
// Our header comes first, before <windows.h> defines TRUE, INFINITE and the
// error codes as macros; below this point only the Windows spellings are used.
#include "serial/platform/win32_calls.h"

#include <cstdint>

namespace {
// The seam's constants, taken before <windows.h> turns their names into
// macros; each is compared with the Windows value further down.
constexpr std::uint64_t kSeamConstants[] = {
    winapi::ERROR_SUCCESS,
    winapi::ERROR_FILE_NOT_FOUND,
    winapi::ERROR_ACCESS_DENIED,
    winapi::ERROR_INVALID_HANDLE,
    winapi::ERROR_NOT_ENOUGH_MEMORY,
    winapi::ERROR_GEN_FAILURE,
    winapi::ERROR_NOT_SUPPORTED,
    winapi::ERROR_INVALID_PARAMETER,
    winapi::ERROR_OPERATION_ABORTED,
    winapi::ERROR_IO_INCOMPLETE,
    winapi::ERROR_IO_PENDING,
    winapi::GENERIC_READ,
    winapi::GENERIC_WRITE,
    winapi::OPEN_EXISTING,
    winapi::FILE_ATTRIBUTE_NORMAL,
    winapi::FILE_FLAG_OVERLAPPED,
    winapi::FILE_TYPE_UNKNOWN,
    winapi::FILE_TYPE_DISK,
    winapi::FILE_TYPE_CHAR,
    winapi::FILE_TYPE_PIPE,
    winapi::WAIT_OBJECT_0,
    winapi::WAIT_TIMEOUT,
    winapi::WAIT_FAILED,
    winapi::MAXIMUM_WAIT_OBJECTS,
    winapi::INFINITE,
    winapi::MAXDWORD,
    winapi::TRUE,
    winapi::FALSE,
    winapi::NOPARITY,
    winapi::ODDPARITY,
    winapi::EVENPARITY,
    winapi::MARKPARITY,
    winapi::SPACEPARITY,
    winapi::ONESTOPBIT,
    winapi::ONE5STOPBITS,
    winapi::TWOSTOPBITS,
    winapi::DTR_CONTROL_DISABLE,
    winapi::DTR_CONTROL_ENABLE,
    winapi::DTR_CONTROL_HANDSHAKE,
    winapi::RTS_CONTROL_DISABLE,
    winapi::RTS_CONTROL_ENABLE,
    winapi::RTS_CONTROL_HANDSHAKE,
    winapi::RTS_CONTROL_TOGGLE,
    winapi::PURGE_TXABORT,
    winapi::PURGE_RXABORT,
    winapi::PURGE_TXCLEAR,
    winapi::PURGE_RXCLEAR,
    winapi::EV_RXCHAR,
    winapi::EV_RXFLAG,
    winapi::EV_TXEMPTY,
    winapi::EV_CTS,
    winapi::EV_DSR,
    winapi::EV_RLSD,
    winapi::EV_BREAK,
    winapi::EV_ERR,
    winapi::EV_RING,
    winapi::CE_RXOVER,
    winapi::CE_OVERRUN,
    winapi::CE_RXPARITY,
    winapi::CE_FRAME,
    winapi::CE_BREAK,
    winapi::CE_TXFULL,
    winapi::SETXOFF,
    winapi::SETXON,
    winapi::SETRTS,
    winapi::CLRRTS,
    winapi::SETDTR,
    winapi::CLRDTR,
    winapi::SETBREAK,
    winapi::CLRBREAK,
    winapi::MS_CTS_ON,
    winapi::MS_DSR_ON,
    winapi::MS_RING_ON,
    winapi::MS_RLSD_ON,
    winapi::PROCESS_SET_INFORMATION,
    winapi::NORMAL_PRIORITY_CLASS,
    winapi::REALTIME_PRIORITY_CLASS,
    winapi::THREAD_PRIORITY_NORMAL,
    winapi::THREAD_PRIORITY_TIME_CRITICAL,
};
}  // namespace

#include <windows.h>

#include <array>
#include <bit>
#include <cstddef>
#include <iterator>

namespace {

// The seam's scalar types must be the Windows ones in size, so that pointers
// to them can be handed to the Windows calls.
static_assert(sizeof(winapi::DWORD) == sizeof(::DWORD));
static_assert(sizeof(winapi::WORD) == sizeof(::WORD));
static_assert(sizeof(winapi::BYTE) == sizeof(::BYTE));
static_assert(sizeof(winapi::BOOL) == sizeof(::BOOL));
static_assert(sizeof(winapi::HANDLE) == sizeof(::HANDLE));
static_assert(sizeof(winapi::ULONG_PTR) == sizeof(::ULONG_PTR));

#define TORVANE_SAME_FIELD(rec, field) \
    static_assert(offsetof(winapi::rec, field) == offsetof(::rec, field), #rec "." #field)

static_assert(sizeof(winapi::DCB) == sizeof(::DCB));
static_assert(alignof(winapi::DCB) == alignof(::DCB));
TORVANE_SAME_FIELD(DCB, DCBlength);
TORVANE_SAME_FIELD(DCB, BaudRate);
TORVANE_SAME_FIELD(DCB, wReserved);
TORVANE_SAME_FIELD(DCB, XonLim);
TORVANE_SAME_FIELD(DCB, XoffLim);
TORVANE_SAME_FIELD(DCB, ByteSize);
TORVANE_SAME_FIELD(DCB, Parity);
TORVANE_SAME_FIELD(DCB, StopBits);
TORVANE_SAME_FIELD(DCB, XonChar);
TORVANE_SAME_FIELD(DCB, XoffChar);
TORVANE_SAME_FIELD(DCB, ErrorChar);
TORVANE_SAME_FIELD(DCB, EofChar);
TORVANE_SAME_FIELD(DCB, EvtChar);
TORVANE_SAME_FIELD(DCB, wReserved1);
// Bit-fields cannot be named by offsetof: each is set to all ones alone in
// both records, and the two byte images must be equal.
#define TORVANE_SAME_BITS(rec, field, ones)                                                      \
    static_assert(                                                                              \
        [] {                                                                                    \
            winapi::rec ours{};                                                                 \
            ours.field = ones;                                                                  \
            ::rec theirs{};                                                                     \
            theirs.field = ones;                                                                \
            using Image = std::array<unsigned char, sizeof(::rec)>;                             \
            return std::bit_cast<Image>(ours) == std::bit_cast<Image>(theirs);                  \
        }(),                                                                                    \
        #rec "." #field)
TORVANE_SAME_BITS(DCB, fBinary, 1);
TORVANE_SAME_BITS(DCB, fParity, 1);
TORVANE_SAME_BITS(DCB, fOutxCtsFlow, 1);
TORVANE_SAME_BITS(DCB, fOutxDsrFlow, 1);
TORVANE_SAME_BITS(DCB, fDtrControl, 3);
TORVANE_SAME_BITS(DCB, fDsrSensitivity, 1);
TORVANE_SAME_BITS(DCB, fTXContinueOnXoff, 1);
TORVANE_SAME_BITS(DCB, fOutX, 1);
TORVANE_SAME_BITS(DCB, fInX, 1);
TORVANE_SAME_BITS(DCB, fErrorChar, 1);
TORVANE_SAME_BITS(DCB, fNull, 1);
TORVANE_SAME_BITS(DCB, fRtsControl, 3);
TORVANE_SAME_BITS(DCB, fAbortOnError, 1);
TORVANE_SAME_BITS(DCB, fDummy2, 0x1ffff);

static_assert(sizeof(winapi::COMMTIMEOUTS) == sizeof(::COMMTIMEOUTS));
TORVANE_SAME_FIELD(COMMTIMEOUTS, ReadIntervalTimeout);
TORVANE_SAME_FIELD(COMMTIMEOUTS, ReadTotalTimeoutMultiplier);
TORVANE_SAME_FIELD(COMMTIMEOUTS, ReadTotalTimeoutConstant);
TORVANE_SAME_FIELD(COMMTIMEOUTS, WriteTotalTimeoutMultiplier);
TORVANE_SAME_FIELD(COMMTIMEOUTS, WriteTotalTimeoutConstant);

static_assert(sizeof(winapi::COMSTAT) == sizeof(::COMSTAT));
TORVANE_SAME_FIELD(COMSTAT, cbInQue);
TORVANE_SAME_FIELD(COMSTAT, cbOutQue);
TORVANE_SAME_BITS(COMSTAT, fCtsHold, 1);
TORVANE_SAME_BITS(COMSTAT, fDsrHold, 1);
TORVANE_SAME_BITS(COMSTAT, fRlsdHold, 1);
TORVANE_SAME_BITS(COMSTAT, fXoffHold, 1);
TORVANE_SAME_BITS(COMSTAT, fXoffSent, 1);
TORVANE_SAME_BITS(COMSTAT, fEof, 1);
TORVANE_SAME_BITS(COMSTAT, fTxim, 1);
TORVANE_SAME_BITS(COMSTAT, fReserved, 0x1ffffff);

static_assert(sizeof(winapi::OVERLAPPED) == sizeof(::OVERLAPPED));
static_assert(alignof(winapi::OVERLAPPED) == alignof(::OVERLAPPED));
TORVANE_SAME_FIELD(OVERLAPPED, Internal);
TORVANE_SAME_FIELD(OVERLAPPED, InternalHigh);
TORVANE_SAME_FIELD(OVERLAPPED, hEvent);
// Offset and OffsetHigh sit in an anonymous union in the Windows record.
static_assert(offsetof(winapi::OVERLAPPED, Offset) == 2 * sizeof(::ULONG_PTR));
static_assert(offsetof(winapi::OVERLAPPED, OffsetHigh) == 2 * sizeof(::ULONG_PTR) + sizeof(::DWORD));

#undef TORVANE_SAME_FIELD
#undef TORVANE_SAME_BITS

// The seam's constants carry the Windows values, in the order taken above.
constexpr std::uint64_t kWindowsConstants[] = {
    ERROR_SUCCESS,
    ERROR_FILE_NOT_FOUND,
    ERROR_ACCESS_DENIED,
    ERROR_INVALID_HANDLE,
    ERROR_NOT_ENOUGH_MEMORY,
    ERROR_GEN_FAILURE,
    ERROR_NOT_SUPPORTED,
    ERROR_INVALID_PARAMETER,
    ERROR_OPERATION_ABORTED,
    ERROR_IO_INCOMPLETE,
    ERROR_IO_PENDING,
    GENERIC_READ,
    GENERIC_WRITE,
    OPEN_EXISTING,
    FILE_ATTRIBUTE_NORMAL,
    FILE_FLAG_OVERLAPPED,
    FILE_TYPE_UNKNOWN,
    FILE_TYPE_DISK,
    FILE_TYPE_CHAR,
    FILE_TYPE_PIPE,
    WAIT_OBJECT_0,
    WAIT_TIMEOUT,
    WAIT_FAILED,
    MAXIMUM_WAIT_OBJECTS,
    INFINITE,
    MAXDWORD,
    TRUE,
    FALSE,
    NOPARITY,
    ODDPARITY,
    EVENPARITY,
    MARKPARITY,
    SPACEPARITY,
    ONESTOPBIT,
    ONE5STOPBITS,
    TWOSTOPBITS,
    DTR_CONTROL_DISABLE,
    DTR_CONTROL_ENABLE,
    DTR_CONTROL_HANDSHAKE,
    RTS_CONTROL_DISABLE,
    RTS_CONTROL_ENABLE,
    RTS_CONTROL_HANDSHAKE,
    RTS_CONTROL_TOGGLE,
    PURGE_TXABORT,
    PURGE_RXABORT,
    PURGE_TXCLEAR,
    PURGE_RXCLEAR,
    EV_RXCHAR,
    EV_RXFLAG,
    EV_TXEMPTY,
    EV_CTS,
    EV_DSR,
    EV_RLSD,
    EV_BREAK,
    EV_ERR,
    EV_RING,
    CE_RXOVER,
    CE_OVERRUN,
    CE_RXPARITY,
    CE_FRAME,
    CE_BREAK,
    CE_TXFULL,
    SETXOFF,
    SETXON,
    SETRTS,
    CLRRTS,
    SETDTR,
    CLRDTR,
    SETBREAK,
    CLRBREAK,
    MS_CTS_ON,
    MS_DSR_ON,
    MS_RING_ON,
    MS_RLSD_ON,
    PROCESS_SET_INFORMATION,
    NORMAL_PRIORITY_CLASS,
    REALTIME_PRIORITY_CLASS,
    THREAD_PRIORITY_NORMAL,
    THREAD_PRIORITY_TIME_CRITICAL,
};
static_assert(std::size(kSeamConstants) == std::size(kWindowsConstants));
constexpr bool SameConstants() {
    for (std::size_t i = 0; i < std::size(kSeamConstants); ++i) {
        if (kSeamConstants[i] != kWindowsConstants[i]) return false;
    }
    return true;
}
static_assert(SameConstants(), "a constant of the serial platform seam differs from <windows.h>");

template <typename To, typename From>
To* As(From* record) {
    static_assert(sizeof(To) == sizeof(From));
    return reinterpret_cast<To*>(record);
}

}  // namespace

namespace winapi {

HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode, void* securityAttributes,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile) {
    return ::CreateFileA(fileName, desiredAccess, shareMode, static_cast<LPSECURITY_ATTRIBUTES>(securityAttributes),
                         creationDisposition, flagsAndAttributes, templateFile);
}

DWORD GetFileType(HANDLE file) { return ::GetFileType(file); }

BOOL CloseHandle(HANDLE object) { return ::CloseHandle(object); }

BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead, OVERLAPPED* overlapped) {
    return ::ReadFile(file, buffer, bytesToRead, As<::DWORD>(bytesRead), As<::OVERLAPPED>(overlapped));
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten, OVERLAPPED* overlapped) {
    return ::WriteFile(file, buffer, bytesToWrite, As<::DWORD>(bytesWritten), As<::OVERLAPPED>(overlapped));
}

BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* bytesTransferred, BOOL wait) {
    return ::GetOverlappedResult(file, As<::OVERLAPPED>(overlapped), As<::DWORD>(bytesTransferred), wait);
}

BOOL GetCommState(HANDLE file, DCB* dcb) { return ::GetCommState(file, As<::DCB>(dcb)); }

BOOL SetCommState(HANDLE file, DCB* dcb) { return ::SetCommState(file, As<::DCB>(dcb)); }

BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) { return ::SetupComm(file, inQueue, outQueue); }

BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
    return ::GetCommTimeouts(file, As<::COMMTIMEOUTS>(timeouts));
}

BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
    return ::SetCommTimeouts(file, As<::COMMTIMEOUTS>(timeouts));
}

BOOL PurgeComm(HANDLE file, DWORD flags) { return ::PurgeComm(file, flags); }

BOOL CancelIo(HANDLE file) { return ::CancelIo(file); }

BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat) {
    return ::ClearCommError(file, As<::DWORD>(errors), As<::COMSTAT>(stat));
}

BOOL SetCommMask(HANDLE file, DWORD eventMask) { return ::SetCommMask(file, eventMask); }

BOOL WaitCommEvent(HANDLE file, DWORD* eventMask, OVERLAPPED* overlapped) {
    return ::WaitCommEvent(file, As<::DWORD>(eventMask), As<::OVERLAPPED>(overlapped));
}

BOOL EscapeCommFunction(HANDLE file, DWORD function) { return ::EscapeCommFunction(file, function); }

BOOL GetCommModemStatus(HANDLE file, DWORD* modemStatus) {
    return ::GetCommModemStatus(file, As<::DWORD>(modemStatus));
}

HANDLE CreateEventA(void* securityAttributes, BOOL manualReset, BOOL initialState, const char* name) {
    return ::CreateEventA(static_cast<LPSECURITY_ATTRIBUTES>(securityAttributes), manualReset, initialState, name);
}

BOOL SetEvent(HANDLE event) { return ::SetEvent(event); }

BOOL ResetEvent(HANDLE event) { return ::ResetEvent(event); }

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) { return ::WaitForSingleObject(object, milliseconds); }

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    return ::WaitForMultipleObjects(count, handles, waitAll, milliseconds);
}

DWORD GetCurrentProcessId() { return ::GetCurrentProcessId(); }

HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId) {
    return ::OpenProcess(desiredAccess, inheritHandle, processId);
}

BOOL SetPriorityClass(HANDLE process, DWORD priorityClass) { return ::SetPriorityClass(process, priorityClass); }

HANDLE GetCurrentThread() { return ::GetCurrentThread(); }

BOOL SetThreadPriority(HANDLE thread, int priority) { return ::SetThreadPriority(thread, priority); }

void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

void SetLastError(DWORD errorCode) { ::SetLastError(errorCode); }

DWORD GetLastError() { return ::GetLastError(); }

}  // namespace winapi

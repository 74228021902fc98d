// The serial library's platform calls on Windows: each one forwards to the
// real Win32 call of the same name, unchanged. Our records are declared with
// the Windows layout (checked below), so they are passed through by a cast.
//
// Our header comes first, before <windows.h> defines TRUE, INFINITE and the
// error codes as macros; below this point only the Windows spellings are used.
#include "serial/platform/win32_calls.h"

#include <cstdint>

namespace {
// Each constant of the seam under a name of its own, taken before <windows.h>
// turns the Windows names into macros; compared with the Windows value below.
#define TORVANE_KEEP_SEAM_VALUE(type, name, value) \
    constexpr std::uint64_t kSeam_##name = static_cast<std::uint64_t>(winapi::name);
TORVANE_WINAPI_CONSTANTS(TORVANE_KEEP_SEAM_VALUE)
#undef TORVANE_KEEP_SEAM_VALUE
}  // namespace

#include <windows.h>

#include <array>
#include <bit>
#include <cstddef>

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

// The seam's constants carry the Windows values. In this expansion `name` as
// an operand of ## or # stays the name, and elsewhere becomes the value
// <windows.h> gives it.
#define TORVANE_SAME_VALUE(type, name, value) \
    static_assert(kSeam_##name == static_cast<std::uint64_t>(name), #name " differs from <windows.h>");
TORVANE_WINAPI_CONSTANTS(TORVANE_SAME_VALUE)
#undef TORVANE_SAME_VALUE

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

#pragma once
// The platform-call seam of the serial library: exactly the Win32 calls its
// algorithms use, with their Windows names, argument and result types, and
// last-error codes. On Windows they forward to the real calls (win32/); on
// POSIX they are a faithful stand-in (posix/). The records have the Windows
// layout so that the Windows side can pass them through unchanged.
// No OS header is included here.
#include <cstdint>

namespace winapi {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BOOL = int;
using HANDLE = void*;
using ULONG_PTR = std::uintptr_t;

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

// Every constant of the seam, once: its type, its Windows name and value. The
// list declares them below; the Windows build checks each against
// <windows.h> by name (win32/win32_calls.cpp). A new constant is one row.
#define TORVANE_WINAPI_CONSTANTS(X)            \
    X(BOOL, TRUE, 1)                           \
    X(BOOL, FALSE, 0)                          \
    X(DWORD, INFINITE, 0xFFFFFFFFu)            \
    X(DWORD, MAXDWORD, 0xFFFFFFFFu)            \
    /* Error codes. */                         \
    X(DWORD, ERROR_SUCCESS, 0)                 \
    X(DWORD, ERROR_FILE_NOT_FOUND, 2)          \
    X(DWORD, ERROR_ACCESS_DENIED, 5)           \
    X(DWORD, ERROR_INVALID_HANDLE, 6)          \
    X(DWORD, ERROR_NOT_ENOUGH_MEMORY, 8)       \
    X(DWORD, ERROR_GEN_FAILURE, 31)            \
    X(DWORD, ERROR_NOT_SUPPORTED, 50)          \
    X(DWORD, ERROR_INVALID_PARAMETER, 87)      \
    X(DWORD, ERROR_OPERATION_ABORTED, 995)     \
    X(DWORD, ERROR_IO_INCOMPLETE, 996)         \
    X(DWORD, ERROR_IO_PENDING, 997)            \
    /* CreateFileA, GetFileType. */            \
    X(DWORD, GENERIC_READ, 0x80000000u)        \
    X(DWORD, GENERIC_WRITE, 0x40000000u)       \
    X(DWORD, OPEN_EXISTING, 3)                 \
    X(DWORD, FILE_ATTRIBUTE_NORMAL, 0x80)      \
    X(DWORD, FILE_FLAG_OVERLAPPED, 0x40000000u)\
    X(DWORD, FILE_TYPE_UNKNOWN, 0)             \
    X(DWORD, FILE_TYPE_DISK, 1)                \
    X(DWORD, FILE_TYPE_CHAR, 2)                \
    X(DWORD, FILE_TYPE_PIPE, 3)                \
    /* Waits. */                               \
    X(DWORD, WAIT_OBJECT_0, 0)                 \
    X(DWORD, WAIT_TIMEOUT, 258)                \
    X(DWORD, WAIT_FAILED, 0xFFFFFFFFu)         \
    X(DWORD, MAXIMUM_WAIT_OBJECTS, 64)         \
    /* DCB values. */                          \
    X(BYTE, NOPARITY, 0)                       \
    X(BYTE, ODDPARITY, 1)                      \
    X(BYTE, EVENPARITY, 2)                     \
    X(BYTE, MARKPARITY, 3)                     \
    X(BYTE, SPACEPARITY, 4)                    \
    X(BYTE, ONESTOPBIT, 0)                     \
    X(BYTE, ONE5STOPBITS, 1)                   \
    X(BYTE, TWOSTOPBITS, 2)                    \
    X(DWORD, DTR_CONTROL_DISABLE, 0)           \
    X(DWORD, DTR_CONTROL_ENABLE, 1)            \
    X(DWORD, DTR_CONTROL_HANDSHAKE, 2)         \
    X(DWORD, RTS_CONTROL_DISABLE, 0)           \
    X(DWORD, RTS_CONTROL_ENABLE, 1)            \
    X(DWORD, RTS_CONTROL_HANDSHAKE, 2)         \
    X(DWORD, RTS_CONTROL_TOGGLE, 3)            \
    /* PurgeComm. */                           \
    X(DWORD, PURGE_TXABORT, 0x1)               \
    X(DWORD, PURGE_RXABORT, 0x2)               \
    X(DWORD, PURGE_TXCLEAR, 0x4)               \
    X(DWORD, PURGE_RXCLEAR, 0x8)               \
    /* Line events. */                         \
    X(DWORD, EV_RXCHAR, 0x1)                   \
    X(DWORD, EV_RXFLAG, 0x2)                   \
    X(DWORD, EV_TXEMPTY, 0x4)                  \
    X(DWORD, EV_CTS, 0x8)                      \
    X(DWORD, EV_DSR, 0x10)                     \
    X(DWORD, EV_RLSD, 0x20)                    \
    X(DWORD, EV_BREAK, 0x40)                   \
    X(DWORD, EV_ERR, 0x80)                     \
    X(DWORD, EV_RING, 0x100)                   \
    /* ClearCommError flags. */                \
    X(DWORD, CE_RXOVER, 0x1)                   \
    X(DWORD, CE_OVERRUN, 0x2)                  \
    X(DWORD, CE_RXPARITY, 0x4)                 \
    X(DWORD, CE_FRAME, 0x8)                    \
    X(DWORD, CE_BREAK, 0x10)                   \
    X(DWORD, CE_TXFULL, 0x100)                 \
    /* EscapeCommFunction. */                  \
    X(DWORD, SETXOFF, 1)                       \
    X(DWORD, SETXON, 2)                        \
    X(DWORD, SETRTS, 3)                        \
    X(DWORD, CLRRTS, 4)                        \
    X(DWORD, SETDTR, 5)                        \
    X(DWORD, CLRDTR, 6)                        \
    X(DWORD, SETBREAK, 8)                      \
    X(DWORD, CLRBREAK, 9)                      \
    /* GetCommModemStatus. */                  \
    X(DWORD, MS_CTS_ON, 0x10)                  \
    X(DWORD, MS_DSR_ON, 0x20)                  \
    X(DWORD, MS_RING_ON, 0x40)                 \
    X(DWORD, MS_RLSD_ON, 0x80)                 \
    /* Processes and threads. */               \
    X(DWORD, PROCESS_SET_INFORMATION, 0x0200)  \
    X(DWORD, NORMAL_PRIORITY_CLASS, 0x20)      \
    X(DWORD, REALTIME_PRIORITY_CLASS, 0x100)   \
    X(int, THREAD_PRIORITY_NORMAL, 0)          \
    X(int, THREAD_PRIORITY_TIME_CRITICAL, 15)

#define TORVANE_WINAPI_DECLARE(type, name, value) constexpr type name = value;
TORVANE_WINAPI_CONSTANTS(TORVANE_WINAPI_DECLARE)
#undef TORVANE_WINAPI_DECLARE

struct DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
};

struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};

struct COMSTAT {
    DWORD fCtsHold : 1;
    DWORD fDsrHold : 1;
    DWORD fRlsdHold : 1;
    DWORD fXoffHold : 1;
    DWORD fXoffSent : 1;
    DWORD fEof : 1;
    DWORD fTxim : 1;
    DWORD fReserved : 25;
    DWORD cbInQue;
    DWORD cbOutQue;
};

struct OVERLAPPED {
    ULONG_PTR Internal;      // status of the request
    ULONG_PTR InternalHigh;  // bytes moved
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};

// Files and devices.
HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode, void* securityAttributes,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
DWORD GetFileType(HANDLE file);
BOOL CloseHandle(HANDLE object);
BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead, OVERLAPPED* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten,
               OVERLAPPED* overlapped);
BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* bytesTransferred, BOOL wait);
// Cancels the transfers the calling thread started on `file`.
BOOL CancelIo(HANDLE file);

// Communications.
BOOL GetCommState(HANDLE file, DCB* dcb);
BOOL SetCommState(HANDLE file, DCB* dcb);
BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue);
BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts);
BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts);
BOOL PurgeComm(HANDLE file, DWORD flags);
BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat);
BOOL SetCommMask(HANDLE file, DWORD eventMask);
BOOL WaitCommEvent(HANDLE file, DWORD* eventMask, OVERLAPPED* overlapped);
BOOL EscapeCommFunction(HANDLE file, DWORD function);
BOOL GetCommModemStatus(HANDLE file, DWORD* modemStatus);

// Synchronisation.
HANDLE CreateEventA(void* securityAttributes, BOOL manualReset, BOOL initialState, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

// Processes, threads, time, errors.
DWORD GetCurrentProcessId();
HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId);
BOOL SetPriorityClass(HANDLE process, DWORD priorityClass);
HANDLE GetCurrentThread();
BOOL SetThreadPriority(HANDLE thread, int priority);
void Sleep(DWORD milliseconds);
void SetLastError(DWORD errorCode);
DWORD GetLastError();

}  // namespace winapi

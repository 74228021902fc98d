/* winseria: one serial port per process, single-byte transfers with time-outs.
 *
 * The library opens one serial port at a time ("\\.\COMn"; on Linux port n
 * is the link comN in $TORVANE_PORTS_DIR when that variable is set, else a
 * fixed numbering of /dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*; a set-user-ID or
 * set-group-ID process ignores the variable, as the C library does with its
 * own variables in secure-execution mode), configures it
 * with no handshake, and moves single bytes through a worker thread with
 * per-byte time-outs. A second thread watches the port's line events and
 * clears its line errors.
 *
 * Errors: no function raises or aborts. Every failure is stored in one
 * error slot (a message and a code, the most recent failure only), which
 * IsError fetches and empties. Codes are the system's error codes (Windows
 * values on every platform: 2 no such device, 5 in use or refused, 6 invalid
 * handle, 87 invalid parameter, 995 aborted). Texts are Windows-1250 bytes
 * (Polish); the longest needs a 52-byte buffer with its terminating zero.
 *
 * Threads: the functions are meant for one calling thread, the thread that
 * opens the port (called "the main thread" below), but each one may also be
 * called from any other thread, at the same time as any other function, and
 * still returns one of its documented results; the "Thread:" line of each
 * says how such calls meet:
 *   - InitializePort, pInitializePort, UnInitializePort, ClearPort,
 *     ChangeParity, ChangeSpeed, UstawKanal, ModemStatus, CharSent and the
 *     four line functions take turns on one lock: each sees the port either
 *     open or closed, never half of either. Two initializations at once: one
 *     opens, the other is refused with 5 (unless a close came between them).
 *   - WriteByte and ReadByte take turns with each other (one transfer at a
 *     time; the others wait for it), never with the calls above: a close on
 *     another thread ends a transfer that is waiting, at once.
 *   - Once UnInitializePort has begun, no transfer starts any more, a
 *     transfer in flight is aborted, and the close ends within a bound
 *     (milliseconds, plus a line-event call the main thread is running).
 *   - The error slot and the time-out flag are shared by all threads: a
 *     thread may fetch another thread's failure.
 * The line events that the watcher thread reports are run on the main
 * thread: a host with an event loop serves them through
 * serial/main_thread.h; in any other program the functions below that reach
 * the device serve them on entry when called on the main thread.
 *
 * Booleans are one byte, 1 for true and 0 for false. On Windows every
 * function uses the standard calling convention (__stdcall) and is exported
 * by name and by a fixed ordinal.
 */
#ifndef WINSERIA_H
#define WINSERIA_H

#include <stdint.h>

#if defined(_WIN32)
#define WINSERIA_CALL __stdcall
#else
#define WINSERIA_CALL
#endif

#if defined(WINSERIA_BUILDING)
#if defined(_WIN32)
#define WINSERIA_API __declspec(dllexport)
#else
#define WINSERIA_API __attribute__((visibility("default")))
#endif
#else
#define WINSERIA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Opens serial port `port` (0-255) at `baud` bits per second with the current
 * line defaults (at start: even parity, 8 data bits, one stop bit; see
 * pInitializePort), no hardware or software handshake, DTR and RTS low,
 * driver buffers of 4096 (in) and 2048 (out) bytes, and per-byte time-outs:
 * a write gives up after writeTimeoutSec seconds (0: never), a read after
 * readTimeoutSec seconds (0: returns at once with what has arrived). Starts
 * the watcher and worker threads and pauses 10 ms.
 * Result: 0 on success, else the code of the failing step, also in the
 * error slot (2 "no such device", 5 "in use", 6 not a serial device, 87 a
 * setting the device refuses, ...); a call that is not refused empties the
 * error slot before it opens the port.
 * While a port is open, every further call is refused with 5 ("Ten port jest
 * już zainicjowany"), whatever the port number. A failure after the device
 * was opened (settings, buffers, time-outs) leaves it open with its threads
 * running: call UnInitializePort before the next attempt. Transfers on such
 * a port fail at once, as on a closed one.
 * Thread: any; the calling thread becomes the main thread. Takes turns with
 * the other port calls; a transfer running on a closed port fails first. */
WINSERIA_API int32_t WINSERIA_CALL InitializePort(uint8_t port, uint32_t baud, uint16_t writeTimeoutSec,
                                                  uint16_t readTimeoutSec);

/* Stores `parity` (0 none, 1 odd, 2 even, 3 mark, 4 space; any other value
 * is taken as even), `byteSize` (data bits, 5-8) and `stopBits` (0 one,
 * 1 one and a half, 2 two) as the defaults of this and every later
 * initialization, then does what InitializePort does. The defaults are
 * stored even when the initialization is then refused or fails. Values
 * the device refuses make the initialization fail with 87 and the port
 * stays open (see InitializePort); on Linux an FTDI converter refuses 5 and
 * 6 data bits, which its driver would take silently. A device that fails a
 * setting its driver accepted, with no more than a kernel log line, cannot
 * be seen: the call succeeds.
 * Result and thread: as InitializePort (the defaults are stored before the
 * turn is taken). */
WINSERIA_API int32_t WINSERIA_CALL pInitializePort(uint8_t port, uint32_t baud, uint16_t writeTimeoutSec,
                                                   uint16_t readTimeoutSec, uint8_t parity, uint8_t byteSize,
                                                   uint8_t stopBits);

/* Closes the port: restores the device's original time-outs, stops the
 * watcher (which aborts a transfer still outstanding and empties both
 * driver buffers), stops the worker, closes the device and marks the port
 * closed, so that later transfers fail at once.
 * Result: 0 on success and when no port is open; else a system code, also
 * in the error slot. A failure to restore the time-outs is recorded but
 * does not stop the close.
 * Thread: any, at any time: a transfer waiting on another thread ends at
 * once (with 1 when its byte moved first, else 0 and its reason in the
 * error slot; see WriteByte), and transfers that begin meanwhile are refused. Takes turns with the other port calls; a second
 * close finds the port closed and returns 0. On the main thread it serves
 * pending line-event calls while it waits for the threads. */
WINSERIA_API int32_t WINSERIA_CALL UnInitializePort(void);

/* Writes one byte through the worker thread and waits for the result.
 * Result: 1 when the byte was written. 0 when it was not: the write time-out
 * ran out ("Timeout zapisu.", TimeOut() then 1), the device failed or aborted
 * the write (TimeOut() 1), no port was ever opened, the port has been closed
 * or its worker has ended (TimeOut() 0 in these three cases: nothing was
 * attempted). The reason is in the error slot with the code of the system
 * call that failed, or 0 where none did (never an earlier call's code).
 * Thread: any; transfers of several threads take turns (each waits for the
 * one before it). A close on another thread ends it at once, and what the
 * caller then sees is true of the byte:
 *   - 1: the byte was written (the close may still have purged it from the
 *     driver's output queue before it left the port).
 *   - 0 with TimeOut() 1: the worker ran the write and the close aborted it
 *     before the byte moved ("Niepoprawny zapis." with 995).
 *   - 0 with TimeOut() 0: the byte never reached the worker ("Zapis
 *     przerwany." or "Błąd funkcji WaitForMultipleObjects.", code 0).
 * So a byte reported not written was not written: a retry sends it once. */
WINSERIA_API uint8_t WINSERIA_CALL WriteByte(uint8_t value);

/* Reads one byte through the worker thread, waiting at most the read
 * time-out of InitializePort.
 * Result: 1 with the byte stored in *value. 0 otherwise, *value untouched:
 * nothing arrived in time ("Timeout odczytu." after waiting, or "Niepoprawny
 * odczyt." with a read time-out of 0; TimeOut() then 1), the read was
 * aborted ("Odczyt przerwany", e.g. by UnInitializePort on another thread or
 * by a line error), or, as for WriteByte, no port / a closed port / an ended
 * worker. A null `value` returns 0 at once and changes nothing.
 * Thread: as WriteByte. Against a close on another thread: 1 means the byte
 * was read and is in *value; 0 with TimeOut() 1 means the close aborted the
 * read before a byte came ("Odczyt przerwany" with 995); 0 with TimeOut() 0
 * means the read never reached the worker ("Przerwany zapis " or "Błąd
 * funkcji WaitForMultipleObjects.", code 0). No byte read is ever dropped. */
WINSERIA_API uint8_t WINSERIA_CALL ReadByte(uint8_t* value);

/* Result: 1 when the last transfer that ran moved no byte (its time-out ran
 * out, or it failed or was aborted); 0 after a successful one, and 0 when the
 * last WriteByte or ReadByte did not reach the worker at all.
 * Thread: any. */
WINSERIA_API uint8_t WINSERIA_CALL TimeOut(void);

/* Fetches and empties the error slot. *buffer is the caller's buffer (at
 * least 52 bytes); the message is copied there as Windows-1250 text with a
 * terminating zero (an empty text when there was no failure), and *code
 * receives the code.
 * Result: 1 when the code is not 0. A failure recorded with code 0 comes back
 * as its text with result 0.
 * A null `buffer` or *buffer sets *code to -1 and returns 0, leaving the slot
 * as it was; a null `code` returns 0 and touches nothing.
 * Thread: any (the slot is guarded). */
WINSERIA_API uint8_t WINSERIA_CALL IsError(char** buffer, int32_t* code);

/* Stores in *version a pointer to the library's static text "3.00" (never
 * freed, never written). A null `version` is ignored.
 * Thread: any. */
WINSERIA_API void WINSERIA_CALL DllVersion(const char** version);

/* Tries to open port `port` exclusively and closes it again at once.
 * Result: 1 when the open succeeded. A port in use, by this library
 * included, counts as not present. Records nothing in the error slot.
 * Thread: any. */
WINSERIA_API uint8_t WINSERIA_CALL SerialPortPresent(uint8_t port);

/* Empties the driver's transmit buffer, then its receive buffer.
 * Result: 0 on success and when no port is open; else the system code of
 * the failed purge (nothing is recorded in the error slot).
 * Thread: any; takes turns with the other port calls. A transfer running
 * meanwhile may lose the bytes purged. */
WINSERIA_API int32_t WINSERIA_CALL ClearPort(void);

/* Empties both driver buffers, pauses 50 ms, sets the open port's parity
 * (0-4, taken as given) and applies the settings, then pauses 50 ms.
 * Result: 1 when the settings were applied, and also when the port is
 * closed (nothing is applied then); 0 before any initialization or when the
 * device refuses the setting (recorded in the error slot).
 * Thread: any; takes turns with the other port calls for the whole call,
 * pauses included (a close on another thread waits up to 100 ms). */
WINSERIA_API uint8_t WINSERIA_CALL ChangeParity(uint8_t parity);

/* Sets the open port's speed to `speed` bits per second (16 bits: 115200
 * becomes 49664; InitializePort takes 32-bit speeds) and applies the
 * settings, then pauses 10 ms. Nothing is purged.
 * Result: as ChangeParity.
 * Thread: as ChangeParity (up to 10 ms). */
WINSERIA_API uint8_t WINSERIA_CALL ChangeSpeed(uint16_t speed);

/* Pauses the calling thread for `milliseconds` (0-65535).
 * Thread: any. */
WINSERIA_API void WINSERIA_CALL Opoznienie(uint16_t milliseconds);

/* Stores the CTS flag and returns it. The flag has no effect: the library
 * never uses CTS flow control.
 * Thread: any. */
WINSERIA_API uint8_t WINSERIA_CALL UstawCTS(uint8_t flag);

/* Sets DTR, then RTS, to the pattern of `channel`:
 *   0, 1: DTR low, RTS high;  2: DTR high, RTS high;
 *   3: DTR low, RTS low;      4: DTR high, RTS low.
 * RTS is set only when setting DTR succeeded.
 * Result: 1 when both lines were set; 0 for channels 5-255 (nothing is
 * changed), without an open port, and where the device has no modem lines
 * (a pseudo-terminal). Records nothing in the error slot.
 * Thread: any; takes turns with the other port calls. */
WINSERIA_API uint8_t WINSERIA_CALL UstawKanal(uint8_t channel);

/* Result: the modem input lines of the open port: 0x10 CTS, 0x20 DSR, 0x40
 * ring indicator, 0x80 carrier detect; never other bits. 0 without an open
 * port and when the lines cannot be read.
 * Thread: any; takes turns with the other port calls. */
WINSERIA_API uint32_t WINSERIA_CALL ModemStatus(void);

/* Tells whether every byte written has left the transmitter, without
 * waiting and without disturbing the watcher thread.
 * Result: 1 when no WriteByte is waiting for the worker or running and the
 * driver reports no byte still to send (ClearCommError: COMSTAT.cbOutQue 0,
 * which counts the bytes of pending writes and the device's output queue);
 * 0 while a byte is still queued, when no port is open and when the query
 * fails. Line errors that the query clears from the port are kept and
 * reported with the next line event. A UART's own transmit FIFO is not
 * counted by the driver (at most 16 bytes on a 16550).
 * Thread: any; takes turns with the other port calls. */
WINSERIA_API uint8_t WINSERIA_CALL CharSent(void);

/* Raises DTR on the open port.
 * Result: the system's result, non-zero on success; 0 without an open port
 * and where the device has no modem lines. Records nothing in the error slot.
 * Thread: any; takes turns with the other port calls. */
WINSERIA_API int32_t WINSERIA_CALL SetDTRLine(void);

/* Lowers DTR. Result and thread: as SetDTRLine. */
WINSERIA_API int32_t WINSERIA_CALL ClearDTRLine(void);

/* Raises RTS. Result and thread: as SetDTRLine. */
WINSERIA_API int32_t WINSERIA_CALL SetRTSLine(void);

/* Lowers RTS. Result and thread: as SetDTRLine. */
WINSERIA_API int32_t WINSERIA_CALL ClearRTSLine(void);

#ifdef __cplusplus
}
#endif

#endif /* WINSERIA_H */

/* winseria: one serial port per process, single-byte transfers with time-outs.
 *
 * (Each function is documented below: arguments, result, failure behaviour,
 * and which thread may call it.)
 *
 * Text results are Windows-1250 bytes. On Windows every function uses the
 * standard calling convention (__stdcall) and is exported by name and by a
 * fixed ordinal.
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

WINSERIA_API int32_t WINSERIA_CALL InitializePort(uint8_t port, uint32_t baud, uint16_t writeTimeoutSec,
                                                  uint16_t readTimeoutSec);
WINSERIA_API int32_t WINSERIA_CALL pInitializePort(uint8_t port, uint32_t baud, uint16_t writeTimeoutSec,
                                                   uint16_t readTimeoutSec, uint8_t parity, uint8_t byteSize,
                                                   uint8_t stopBits);
WINSERIA_API int32_t WINSERIA_CALL UnInitializePort(void);
WINSERIA_API uint8_t WINSERIA_CALL WriteByte(uint8_t value);
WINSERIA_API uint8_t WINSERIA_CALL ReadByte(uint8_t* value);
WINSERIA_API uint8_t WINSERIA_CALL TimeOut(void);
WINSERIA_API uint8_t WINSERIA_CALL IsError(char** buffer, int32_t* code);
WINSERIA_API void WINSERIA_CALL DllVersion(const char** version);
WINSERIA_API uint8_t WINSERIA_CALL SerialPortPresent(uint8_t port);
WINSERIA_API int32_t WINSERIA_CALL ClearPort(void);
WINSERIA_API uint8_t WINSERIA_CALL ChangeParity(uint8_t parity);
WINSERIA_API uint8_t WINSERIA_CALL ChangeSpeed(uint16_t speed);
WINSERIA_API void WINSERIA_CALL Opoznienie(uint16_t milliseconds);
WINSERIA_API uint8_t WINSERIA_CALL UstawCTS(uint8_t flag);
WINSERIA_API uint8_t WINSERIA_CALL UstawKanal(uint8_t channel);
WINSERIA_API uint32_t WINSERIA_CALL ModemStatus(void);
WINSERIA_API uint8_t WINSERIA_CALL CharSent(void);
WINSERIA_API int32_t WINSERIA_CALL SetDTRLine(void);
WINSERIA_API int32_t WINSERIA_CALL ClearDTRLine(void);
WINSERIA_API int32_t WINSERIA_CALL SetRTSLine(void);
WINSERIA_API int32_t WINSERIA_CALL ClearRTSLine(void);

#ifdef __cplusplus
}
#endif

#endif /* WINSERIA_H */

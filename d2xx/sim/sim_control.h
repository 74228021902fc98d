#pragma once
// Control interface of the simulated vendor library (libftd2xx.so / FTD2XX.DLL
// built from d2xx/sim). Tests and tools use it to choose the device set the
// library simulates and to read back what was asked of it. The seven vendor
// functions themselves are declared in "d2xx/ftd2xx_abi.h".
//
// Scenario. At its first use the library loads the JSON scenario named by the
// environment variable TORVANE_SIM, or, when the variable is unset or empty, a
// small built-in demo set. The functions below replace the scenario at any
// time; replacing it forgets every open handle (a handle from before the load
// is stale and gives FT_INVALID_HANDLE) and restarts handle numbering at 0x1.
// The format is described in docs/sim-scenarios.md.
//
// Broken scenario. A missing file or a malformed scenario prints one line on
// stderr, "torvane-sim: <source>: <fault>", and puts the library into a failed
// state in which every vendor function returns FT_OTHER_ERROR (18) and writes
// nothing, until a good scenario is loaded.
//
// Call log. Every call of a vendor function appends one line:
//
//     NAME(INPUTS) -> STATUS[ OUTPUTS]
//
//   NAME     the function's name, e.g. FT_OpenEx
//   INPUTS   the input arguments in call order, separated by "," (no blanks);
//            pointers the library writes through are not listed
//   STATUS   the returned status in decimal
//   OUTPUTS  only when STATUS is 0: what the library wrote, as name=value
//
// Values: flags in hexadecimal with "0x" and upper-case digits (0x40000001);
// handles as "0x" and lower-case hexadecimal of the handle value (0x0 for the
// null handle); indices and numbers in decimal; texts in double quotes with
// '"' and '\' escaped by '\' and any byte outside 0x20..0x7E as \xNN (upper
// case hex); versions and locations as 0x and eight upper-case hexadecimal digits.
//
//   FT_ListDevices(0x80000000) -> 0 count=3            number of devices
//   FT_ListDevices(1,0x40000001) -> 0 serial="FT0B1"   serial by index
//   FT_ListDevices(1,0x40000002) -> 0 description="COM_B"
//   FT_ListDevices(1,0x40000004) -> 0 location=0x00001002
//   FT_ListDevices(0x20000000) -> 6                    any other shape
//   FT_OpenEx("FT0B1",0x1) -> 0 handle=0x1             by serial (0x2: description)
//   FT_OpenEx(0x00001002,0x4) -> 0 handle=0x2         by location
//   FT_OpenEx(0x8) -> 6                                any other flags
//   FT_Close(0x1) -> 0
//   FT_EE_Read(0x1) -> 0 description="COM_B"
//   FT_GetDriverVersion(0x1) -> 0 version=0x00021004
//   FT_GetLibraryVersion() -> 0 version=0x00030115
//   FT_GetComPortNumber(0x1) -> 0 port=-1
//
// The serial of a by-index listing is shown as the bytes written, up to the
// first zero byte written or all of them when none was (16 bytes, or 17 in the
// "overrun" write mode). A null pointer where the library must write gives
// FT_INVALID_PARAMETER and is logged like any other call.
//
// All functions are safe to call from any thread; calls are serialised.

#if defined(_WIN32)
#define TORVANE_SIM_CALL __stdcall
#else
#define TORVANE_SIM_CALL
#endif

#if defined(_WIN32) && defined(FT_BUILDING_LIBRARY)
#define TORVANE_SIM_EXPORT __declspec(dllexport)
#elif defined(FT_BUILDING_LIBRARY)
#define TORVANE_SIM_EXPORT __attribute__((visibility("default")))
#else
#define TORVANE_SIM_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Loads a scenario from JSON text. Returns 0 on success, non-zero when the
// text is not a valid scenario (the library is then in the failed state and
// TorvaneSim_LastError() tells why).
TORVANE_SIM_EXPORT int TORVANE_SIM_CALL TorvaneSim_LoadScenarioText(const char* json);

// Loads a scenario from a file. Returns 0 on success, non-zero when the file
// is missing, unreadable or not a valid scenario (failed state, as above).
TORVANE_SIM_EXPORT int TORVANE_SIM_CALL TorvaneSim_LoadScenarioFile(const char* path);

// Loads the scenario TORVANE_SIM names, or the built-in demo set when the
// variable is unset or empty, exactly as at the library's first use.
// Returns 0 on success, non-zero on a broken scenario.
TORVANE_SIM_EXPORT int TORVANE_SIM_CALL TorvaneSim_LoadFromEnvironment(void);

// Loads the built-in demo set (always succeeds).
TORVANE_SIM_EXPORT void TORVANE_SIM_CALL TorvaneSim_UseBuiltInDemo(void);

// The fault of the last failed load, or "" when the scenario in force loaded
// fine. Valid until the next call into the library.
TORVANE_SIM_EXPORT const char* TORVANE_SIM_CALL TorvaneSim_LastError(void);

// The call log since the last load or clear: one line per call as described
// above, each ended by "\n". Valid until the next call into the library.
TORVANE_SIM_EXPORT const char* TORVANE_SIM_CALL TorvaneSim_CallLog(void);

// Empties the call log. Loading a scenario empties it too.
TORVANE_SIM_EXPORT void TORVANE_SIM_CALL TorvaneSim_ClearCallLog(void);

// The number of handles currently open (opened and not yet closed).
TORVANE_SIM_EXPORT int TORVANE_SIM_CALL TorvaneSim_OpenHandleCount(void);

#ifdef __cplusplus
}  // extern "C"
#endif

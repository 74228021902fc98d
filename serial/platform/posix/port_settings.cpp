// The port's settings and lines: DCB, queue sizes, time-outs, the DTR and
// RTS escape functions and the modem status.
#include "serial/platform/posix/dcb_termios.h"
#include "serial/platform/posix/errors.h"
#include "serial/platform/posix/port.h"

namespace winapi::posix {

constexpr DWORD kLargestQueue = 64u << 20;  // SetupComm's limit; constexpr keeps it internal

BOOL Port::getState(DCB* dcb) {
    if (dcb == nullptr) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    KernelTermios t;
    if (int e = device_->getTermios(t)) return fail(windowsErrorFromErrno(e));
    *dcb = withLineSettings(dcb_, t);
    return TRUE;
}

BOOL Port::setState(const DCB* dcb) {
    if (dcb == nullptr || !isValidDcb(*dcb)) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    // Refused before anything changes: the driver would take it silently.
    if (dcb->ByteSize < device_->smallestByteSize()) return fail(ERROR_INVALID_PARAMETER);
    KernelTermios current;
    if (int e = device_->getTermios(current)) return fail(windowsErrorFromErrno(e));
    if (int e = device_->setTermios(termiosForDcb(current, *dcb))) return fail(windowsErrorFromErrno(e));
    device_->keepSettingsAtClose();
    // Lines follow the DCB where the device has them; a pty has none, and
    // that must not stop it from being configured.
    device_->changeModemLines(TIOCM_DTR, dcb->fDtrControl != DTR_CONTROL_DISABLE);
    device_->changeModemLines(TIOCM_RTS, dcb->fRtsControl == RTS_CONTROL_ENABLE);
    dcb_ = *dcb;
    dcb_.DCBlength = sizeof(DCB);
    noteChangeLocked(PortChange::StateChanged);  // flow control may have released held output
    return TRUE;
}

BOOL Port::setup(DWORD inQueue, DWORD outQueue) {
    if (inQueue > kLargestQueue || outQueue > kLargestQueue) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    input_.growTo(inQueue);
    noteChangeLocked(PortChange::StateChanged);
    return TRUE;
}

BOOL Port::getTimeouts(COMMTIMEOUTS* timeouts) {
    if (timeouts == nullptr) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    *timeouts = timeouts_;
    return TRUE;
}

BOOL Port::setTimeouts(const COMMTIMEOUTS* timeouts) {
    if (timeouts == nullptr || !isValidTimeouts(*timeouts)) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    timeouts_ = *timeouts;  // requests already started keep their own
    return TRUE;
}

BOOL Port::escape(DWORD function) {
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    // The four the library uses; the rest are refused.
    if (function != SETRTS && function != CLRRTS && function != SETDTR && function != CLRDTR)
        return fail(ERROR_INVALID_PARAMETER);
    const int line = function == SETRTS || function == CLRRTS ? TIOCM_RTS : TIOCM_DTR;
    int e = device_->changeModemLines(line, function == SETRTS || function == SETDTR);
    if (e != 0) return fail(windowsErrorFromModemErrno(e));
    noteChangeLocked(PortChange::StateChanged);
    return TRUE;
}

BOOL Port::modemStatus(DWORD* status) {
    if (status == nullptr) return fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(mutex_);
    if (closed_) return fail(ERROR_INVALID_HANDLE);
    int bits = 0;
    if (int e = device_->modemLines(bits)) return fail(windowsErrorFromModemErrno(e));
    *status = modemStatusOf(bits);
    return TRUE;
}

}  // namespace winapi::posix

#include "serial/src/library_state.h"

#include <mutex>
#include <utility>

namespace winseria {
namespace {

struct ErrorSlot {
    std::mutex mutex;  // last in the library's lock order (comm_port.h)
    std::string text;
    std::int32_t code = 0;
};

// The state objects are created on first use and never destroyed: threads
// of a port that is still open at process end may touch them while static
// destructors run, and nothing closes a port at exit.
ErrorSlot& Slot() {
    static ErrorSlot* slot = new ErrorSlot;
    return *slot;
}

}  // namespace

void SetError(std::string_view cp1250Text, std::int32_t code) {
    ErrorSlot& slot = Slot();
    std::lock_guard lock(slot.mutex);
    slot.text.assign(cp1250Text);
    slot.code = code;
}

void SetError(Message message, std::int32_t code) { SetError(Text(message), code); }

std::int32_t RecordFailure(Message message) {
    const auto code = static_cast<std::int32_t>(winapi::GetLastError());
    SetError(message, code);
    return code;
}

void SetErrorCode(std::int32_t code) {
    ErrorSlot& slot = Slot();
    std::lock_guard lock(slot.mutex);
    slot.code = code;
}

ErrorRecord TakeError() {
    ErrorSlot& slot = Slot();
    std::lock_guard lock(slot.mutex);
    ErrorRecord record{std::move(slot.text), slot.code};
    slot.text.clear();
    slot.code = 0;
    return record;
}

LineDefaults& Defaults() {
    static LineDefaults* defaults = new LineDefaults;
    return *defaults;
}

winapi::HANDLE CreateManualEvent(bool signalled) {
    return winapi::CreateEventA(nullptr, winapi::TRUE, signalled ? winapi::TRUE : winapi::FALSE, nullptr);
}

}  // namespace winseria

#pragma once
// Owning wrappers for the platform's handles: the handle is closed through
// the platform seam's CloseHandle when its owner lets it go. Close() closes
// it early and reports how the close went, for the places that record a
// failed close.
#include <utility>

#include "serial/platform/win32_calls.h"

namespace winseria {

// The value that means "no handle": CreateEvent and OpenProcess fail with
// NULL, CreateFile with INVALID_HANDLE_VALUE.
struct ZeroHandle {
    static winapi::HANDLE value() { return nullptr; }
};
struct InvalidHandle {
    static winapi::HANDLE value() { return winapi::INVALID_HANDLE_VALUE; }
};

template <class NoHandle>
class BasicUniqueHandle {
public:
    BasicUniqueHandle() = default;
    explicit BasicUniqueHandle(winapi::HANDLE handle) : handle_(handle) {}
    BasicUniqueHandle(BasicUniqueHandle&& other) noexcept : handle_(other.release()) {}
    BasicUniqueHandle& operator=(BasicUniqueHandle&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~BasicUniqueHandle() { reset(); }

    winapi::HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != NoHandle::value(); }
    winapi::HANDLE release() { return std::exchange(handle_, NoHandle::value()); }

    // Closes the handle held, if any (the close's result is not examined),
    // and takes `handle` in its place.
    void reset(winapi::HANDLE handle = NoHandle::value()) {
        const winapi::HANDLE previous = std::exchange(handle_, handle);
        if (previous != NoHandle::value()) winapi::CloseHandle(previous);
    }

    // Closes the handle now: FALSE, with the last error set, when the close
    // failed. Nothing is held afterwards either way.
    winapi::BOOL Close() { return winapi::CloseHandle(release()); }

private:
    winapi::HANDLE handle_ = NoHandle::value();
};

// Events and processes.
using UniqueHandle = BasicUniqueHandle<ZeroHandle>;
// Devices.
using UniqueFileHandle = BasicUniqueHandle<InvalidHandle>;

}  // namespace winseria

#pragma once
// The stand-in's handle table. A handle names a slot and the slot's
// generation, so a closed or recycled handle is recognised as stale instead of
// reaching whatever object took its slot. Objects are reference counted: a call
// in flight keeps its object alive even when another thread closes the handle.
#include "serial/platform/win32_calls.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <deque>
#include <vector>

namespace winapi::posix {

class KernelObject {
public:
    virtual ~KernelObject() = default;
    // Runs once, when the handle is closed; in-flight references may remain.
    virtual void onClose() {}
};

class HandleTable {
public:
    static HandleTable& instance();

    // nullptr when no slot can be had.
    HANDLE insert(std::shared_ptr<KernelObject> object);
    std::shared_ptr<KernelObject> find(HANDLE handle) const;
    // Empties the slot and returns what it held (nullptr for a bad handle).
    std::shared_ptr<KernelObject> remove(HANDLE handle);
    // How many handles are open now (for leak checks).
    std::size_t openCount() const;

private:
    struct Slot {
        std::shared_ptr<KernelObject> object;
        std::uint32_t generation = 0;
    };
    struct Decoded {
        std::size_t index;
        std::uint32_t generation;
    };
    static bool decode(HANDLE handle, Decoded& out);
    static HANDLE encode(std::size_t index, std::uint32_t generation);

    mutable std::mutex mutex_;
    std::vector<Slot> slots_;
    std::deque<std::size_t> free_;
};

// The pseudo handle GetCurrentThread returns (Windows uses the same value).
inline HANDLE const CURRENT_THREAD_PSEUDO_HANDLE = reinterpret_cast<HANDLE>(~std::uintptr_t{1});

// The object a handle names, if it is of type T; otherwise nullptr and
// ERROR_INVALID_HANDLE as the last error.
template <class T>
std::shared_ptr<T> lookup(HANDLE handle) {
    auto object = std::dynamic_pointer_cast<T>(HandleTable::instance().find(handle));
    if (!object) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

}  // namespace winapi::posix

#pragma once
// The stand-in's handle table. A handle names a slot and the slot's
// generation, so a closed or recycled handle is recognised as stale instead of
// reaching whatever object took its slot. Objects are reference counted: a call
// in flight keeps its object alive even when another thread closes the handle.
#include "serial/platform/win32_calls.h"
#include "torvane/handle_table.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <type_traits>
#include <typeinfo>

namespace winapi::posix {

class KernelObject {
public:
    virtual ~KernelObject() = default;
    // Runs once, when the handle is closed; in-flight references may remain.
    virtual void onClose() {}
    // Set, under the table's lock, as the handle leaves the table.
    bool closed() const { return closed_.load(std::memory_order_acquire); }

private:
    friend class HandleTable;
    std::atomic<bool> closed_{false};
};

// The process's one table, with its lock. Handle values are multiples of
// four (as on Windows) with the generation in the high half, so no handle is
// NULL, INVALID_HANDLE_VALUE or a pseudo handle.
class HandleTable {
public:
    static HandleTable& instance();

    // nullptr when no slot can be had.
    HANDLE insert(std::shared_ptr<KernelObject> object);
    // Each thread remembers the objects it found last, and finds them again
    // without the lock: a handle value is never reused, so a handle whose
    // object is not closed still names it.
    std::shared_ptr<KernelObject> find(HANDLE handle) const;
    // Empties the slot and returns what it held (nullptr for a bad handle).
    std::shared_ptr<KernelObject> remove(HANDLE handle);

private:
    // The tests' leak checks count the open handles (tests/serial/support).
    friend struct OpenHandles;

    static constexpr torvane::HandleLayout kLayout{2, sizeof(std::uintptr_t) * 4};
    static constexpr std::size_t kMaxHandles = std::size_t{1} << 24;  // far more than a process here holds
    using Table = torvane::HandleTable<std::shared_ptr<KernelObject>, kMaxHandles, kLayout>;

    mutable std::mutex mutex_;
    Table table_;
};

// Makes an object and gives it a handle: nullptr, with ERROR_NOT_ENOUGH_MEMORY
// as the last error, when memory or the table's slots run out.
template <class Make>
HANDLE insertNew(Make make) {
    try {
        if (HANDLE handle = HandleTable::instance().insert(make())) return handle;
    } catch (const std::bad_alloc&) {
    }
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

// The pseudo handle GetCurrentThread returns (Windows uses the same value).
inline HANDLE const CURRENT_THREAD_PSEUDO_HANDLE = reinterpret_cast<HANDLE>(~std::uintptr_t{1});

// The object a handle names, if it is a T (a final class: the type is
// compared, not searched); otherwise nullptr and ERROR_INVALID_HANDLE as the
// last error.
template <class T>
std::shared_ptr<T> lookup(HANDLE handle) {
    static_assert(std::is_final_v<T>);
    std::shared_ptr<KernelObject> object = HandleTable::instance().find(handle);
    if (object && typeid(*object) == typeid(T)) return std::static_pointer_cast<T>(std::move(object));
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

}  // namespace winapi::posix

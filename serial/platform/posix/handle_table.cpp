#include "serial/platform/posix/handle_table.h"

#include "serial/platform/posix/errors.h"

#include <array>

namespace winapi::posix {

namespace {
std::uintptr_t valueOf(HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }
}  // namespace

HandleTable& HandleTable::instance() {
    // Never destroyed: ports still open at exit keep their threads; tearing
    // the table down under them would be worse than leaving it.
    static HandleTable* table = new HandleTable;
    return *table;
}

HANDLE HandleTable::insert(std::shared_ptr<KernelObject> object) {
    std::lock_guard lock(mutex_);
    std::optional<std::uintptr_t> handle = table_.Insert(std::move(object));
    return handle ? reinterpret_cast<HANDLE>(*handle) : nullptr;
}

std::shared_ptr<KernelObject> HandleTable::find(HANDLE handle) const {
    struct Found {
        HANDLE handle = nullptr;
        std::shared_ptr<KernelObject> object;
    };
    // Indexed by the slot number (the handle's low bits above the alignment).
    thread_local std::array<Found, 16> recent;
    Found& cached = recent[(valueOf(handle) >> kLayout.alignShift) % recent.size()];
    if (cached.handle == handle && cached.object && !cached.object->closed()) return cached.object;
    std::shared_ptr<KernelObject> object;
    {
        std::lock_guard lock(mutex_);
        if (const std::shared_ptr<KernelObject>* found = table_.Find(valueOf(handle))) object = *found;
    }
    if (object) cached = {handle, object};
    return object;
}

std::shared_ptr<KernelObject> HandleTable::remove(HANDLE handle) {
    std::lock_guard lock(mutex_);
    std::shared_ptr<KernelObject> removed = table_.Remove(valueOf(handle)).value_or(nullptr);
    if (removed) removed->closed_.store(true, std::memory_order_release);
    return removed;
}

}  // namespace winapi::posix

namespace winapi {

BOOL CloseHandle(HANDLE object) {
    std::shared_ptr<posix::KernelObject> removed = posix::HandleTable::instance().remove(object);
    if (!removed) return posix::fail(ERROR_INVALID_HANDLE);
    removed->onClose();
    return TRUE;
}

}  // namespace winapi

#include "serial/platform/posix/handle_table.h"

namespace winapi::posix {

namespace {
// Handle values: generation in the high half, (slot + 1) * 4 in the low half,
// so no handle is NULL, INVALID_HANDLE_VALUE or a pseudo handle, and all are
// multiples of four as on Windows.
constexpr unsigned kGenerationShift = 32;
constexpr std::uintptr_t kIndexMask = 0xFFFFFFFFu;
constexpr std::size_t kMaxSlots = (kIndexMask >> 2) - 1;
}  // namespace

HandleTable& HandleTable::instance() {
    // Never destroyed: ports still open at exit keep their threads; tearing
    // the table down under them would be worse than leaving it.
    static HandleTable* table = new HandleTable;
    return *table;
}

HANDLE HandleTable::encode(std::size_t index, std::uint32_t generation) {
    std::uintptr_t value = (static_cast<std::uintptr_t>(generation) << kGenerationShift) |
                           (static_cast<std::uintptr_t>(index + 1) << 2);
    return reinterpret_cast<HANDLE>(value);
}

bool HandleTable::decode(HANDLE handle, Decoded& out) {
    auto value = reinterpret_cast<std::uintptr_t>(handle);
    if ((value & 3u) != 0) return false;
    std::uintptr_t slotPlusOne = (value & kIndexMask) >> 2;
    if (slotPlusOne == 0) return false;
    out.index = slotPlusOne - 1;
    out.generation = static_cast<std::uint32_t>(value >> kGenerationShift);
    return out.generation != 0;
}

HANDLE HandleTable::insert(std::shared_ptr<KernelObject> object) {
    if (!object) return nullptr;
    std::lock_guard lock(mutex_);
    std::size_t index;
    if (!free_.empty()) {
        index = free_.front();
        free_.pop_front();
    } else {
        if (slots_.size() >= kMaxSlots) return nullptr;
        slots_.emplace_back();
        index = slots_.size() - 1;
    }
    Slot& slot = slots_[index];
    if (++slot.generation == 0) slot.generation = 1;
    slot.object = std::move(object);
    return encode(index, slot.generation);
}

std::shared_ptr<KernelObject> HandleTable::find(HANDLE handle) const {
    Decoded d;
    if (!decode(handle, d)) return nullptr;
    std::lock_guard lock(mutex_);
    if (d.index >= slots_.size()) return nullptr;
    const Slot& slot = slots_[d.index];
    if (slot.generation != d.generation) return nullptr;
    return slot.object;
}

std::shared_ptr<KernelObject> HandleTable::remove(HANDLE handle) {
    Decoded d;
    if (!decode(handle, d)) return nullptr;
    std::lock_guard lock(mutex_);
    if (d.index >= slots_.size()) return nullptr;
    Slot& slot = slots_[d.index];
    if (slot.generation != d.generation || !slot.object) return nullptr;
    std::shared_ptr<KernelObject> object = std::move(slot.object);
    slot.object.reset();
    // Oldest free slot first: a stale handle's slot is reused as late as possible.
    free_.push_back(d.index);
    return object;
}

std::size_t HandleTable::openCount() const {
    std::lock_guard lock(mutex_);
    return slots_.size() - free_.size();
}

}  // namespace winapi::posix

namespace winapi {

BOOL CloseHandle(HANDLE object) {
    // Closing the current-thread pseudo handle has no effect, as on Windows.
    if (object == posix::CURRENT_THREAD_PSEUDO_HANDLE) return TRUE;
    std::shared_ptr<posix::KernelObject> removed = posix::HandleTable::instance().remove(object);
    if (!removed) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    removed->onClose();
    return TRUE;
}

}  // namespace winapi

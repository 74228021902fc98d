#pragma once
// A fixed table of open objects addressed by generation-tagged handle values.
// A handle is (generation << kSlotBits) | (slot + 1): never 0, and a handle of a
// closed entry never designates the entry's next occupant, because closing
// advances the slot's generation. Portable; not synchronised (callers lock).
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

namespace ftdi_linux {

template <typename T, std::size_t Slots = 64>
class HandleTable {
    static_assert(Slots > 0 && Slots < 256);

public:
    using Handle = std::uintptr_t;
    static constexpr unsigned kSlotBits = 8;

    // nullopt when every slot is taken.
    std::optional<Handle> Insert(T value) {
        for (std::size_t i = 0; i < Slots; ++i) {
            if (!slots_[i].value) {
                slots_[i].value.emplace(std::move(value));
                return Encode(i, slots_[i].generation);
            }
        }
        return std::nullopt;
    }

    // The entry the handle designates, or null for 0, an unknown or a stale handle.
    T* Find(Handle handle) {
        Slot* slot = SlotOf(handle);
        return slot ? &*slot->value : nullptr;
    }

    // Takes the entry out; its handle (and every copy of it) becomes stale.
    std::optional<T> Remove(Handle handle) {
        Slot* slot = SlotOf(handle);
        if (!slot) return std::nullopt;
        std::optional<T> taken = std::move(slot->value);
        slot->value.reset();
        slot->generation = NextGeneration(slot->generation);
        return taken;
    }

    template <typename Predicate>
    T* FindIf(Predicate predicate) {
        for (Slot& slot : slots_)
            if (slot.value && predicate(*slot.value)) return &*slot.value;
        return nullptr;
    }

private:
    static constexpr Handle kSlotMask = (Handle{1} << kSlotBits) - 1;
    static constexpr Handle kMaxGeneration = ~Handle{0} >> kSlotBits;

    struct Slot {
        Handle generation = 1;
        std::optional<T> value;
    };

    static Handle Encode(std::size_t slot, Handle generation) {
        return (generation << kSlotBits) | static_cast<Handle>(slot + 1);
    }

    static Handle NextGeneration(Handle generation) {
        return generation == kMaxGeneration ? 1 : generation + 1;
    }

    Slot* SlotOf(Handle handle) {
        const Handle index = handle & kSlotMask;
        if (index == 0 || index > Slots) return nullptr;
        Slot& slot = slots_[index - 1];
        if (!slot.value || slot.generation != (handle >> kSlotBits)) return nullptr;
        return &slot;
    }

    std::array<Slot, Slots> slots_{};
};

}  // namespace ftdi_linux

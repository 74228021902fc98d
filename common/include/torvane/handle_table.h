#pragma once
// A table of objects addressed by generation-tagged handle values: the serial
// stand-in's handles and the Linux vendor library's device handles.
//
// A handle is (generation << generationShift) | ((slot + 1) << alignShift):
// never 0, and a handle of a removed entry never designates the slot's next
// occupant, because removing advances the slot's generation. Zero, made-up,
// misaligned, removed and stale handles find nothing. Freed slots are reused
// oldest first, so a stale handle's slot is taken again as late as possible.
// A table of std::shared_ptr counts references: what Find gave a caller lives
// on after its entry is removed. Not synchronised: callers lock.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

namespace torvane {

struct HandleLayout {
    unsigned alignShift;       // low bits that are always zero
    unsigned generationShift;  // the generation above, the slot number below
};

template <typename T, std::size_t MaxSlots, HandleLayout Layout>
class HandleTable {
public:
    using Handle = std::uintptr_t;

private:
    static constexpr unsigned kHandleBits = sizeof(Handle) * 8;
    static_assert(Layout.alignShift < Layout.generationShift && Layout.generationShift < kHandleBits);
    static constexpr Handle kAlignMask = (Handle{1} << Layout.alignShift) - 1;
    static constexpr Handle kSlotMask = (Handle{1} << (Layout.generationShift - Layout.alignShift)) - 1;
    static constexpr Handle kMaxGeneration = ~Handle{0} >> Layout.generationShift;
    static_assert(MaxSlots > 0 && MaxSlots < kSlotMask, "slot + 1 must fit below the generation");

public:
    // nullopt when every slot is taken.
    std::optional<Handle> Insert(T value) {
        std::size_t index;
        if (!free_.empty()) {
            index = free_.front();
            free_.pop_front();
        } else if (slots_.size() < MaxSlots) {
            slots_.emplace_back();
            index = slots_.size() - 1;
        } else {
            return std::nullopt;
        }
        slots_[index].value.emplace(std::move(value));
        return Encode(index, slots_[index].generation);
    }

    // The entry the handle designates, or null.
    T* Find(Handle handle) {
        Slot* slot = SlotOf(handle);
        return slot ? &*slot->value : nullptr;
    }
    const T* Find(Handle handle) const { return const_cast<HandleTable*>(this)->Find(handle); }

    // Takes the entry out; its handle (and every copy of it) becomes stale.
    std::optional<T> Remove(Handle handle) {
        Slot* slot = SlotOf(handle);
        if (!slot) return std::nullopt;
        free_.push_back(static_cast<std::size_t>(slot - slots_.data()));
        slot->generation = slot->generation == kMaxGeneration ? 1 : slot->generation + 1;
        std::optional<T> taken;
        taken.swap(slot->value);
        return taken;
    }

    // How many entries the table holds.
    std::size_t Size() const { return slots_.size() - free_.size(); }

    template <typename Predicate>
    T* FindIf(Predicate predicate) {
        for (Slot& slot : slots_)
            if (slot.value && predicate(*slot.value)) return &*slot.value;
        return nullptr;
    }

private:
    struct Slot {
        Handle generation = 1;
        std::optional<T> value;
    };

    static Handle Encode(std::size_t index, Handle generation) {
        return (generation << Layout.generationShift) | (static_cast<Handle>(index + 1) << Layout.alignShift);
    }

    Slot* SlotOf(Handle handle) {
        if ((handle & kAlignMask) != 0) return nullptr;
        const Handle slotPlusOne = (handle >> Layout.alignShift) & kSlotMask;
        if (slotPlusOne == 0 || slotPlusOne > slots_.size()) return nullptr;
        Slot& slot = slots_[slotPlusOne - 1];
        if (!slot.value || slot.generation != (handle >> Layout.generationShift)) return nullptr;
        return &slot;
    }

    std::vector<Slot> slots_;
    std::deque<std::size_t> free_;
};

}  // namespace torvane

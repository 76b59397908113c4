#include "driver/instance_table.h"

#include <atomic>
#include <cstdint>

#include "driver/driver_instance.h"

namespace voxa {
namespace {

// One 32-bit word a slot, changed only atomically (the 486 has the locked
// compare-exchange): bit 0 open, bits 1-11 the messages holding the
// instance, bits 12-31 the generation. An even generation marks a free slot;
// taking a slot makes it odd, freeing it makes it even again, so an id (an
// odd generation and the slot's number) is never handed out twice in a
// row. Generations wrap before the all-ones value, so no id is 0xFFFFFFFF,
// and the lowest odd generation keeps every id above 0. Opens take the
// slots in turn, not the lowest free one, so an id comes back only after
// 2^31 opens (each slot's 2^19 odd generations, 4096 slots).
constexpr int kSlotBits = 12;
constexpr int kSlots = 1 << kSlotBits;
constexpr uint32_t kOpen = 1;
constexpr uint32_t kOneUser = 2;
constexpr uint32_t kUserMask = 0xFFE;
constexpr uint32_t kGenerations = 0xFFFFE;

struct Slot {
  std::atomic<uint32_t> state{0};
  DriverInstance* instance = nullptr;
};

Slot g_slots[kSlots];
std::atomic<uint32_t> g_next_slot{0};  // where the next open starts looking

uint32_t Generation(uint32_t state) { return state >> kSlotBits; }
uint32_t NextGeneration(uint32_t generation) { return (generation + 1) % kGenerations; }

// The slot and generation an id names, if it can name an open instance.
struct IdParts {
  int slot;
  uint32_t generation;
};

bool Parse(DWORD_PTR id, IdParts* parts) {
  if (id >> kSlotBits >= kGenerations) return false;
  *parts = {static_cast<int>(id & (kSlots - 1)), static_cast<uint32_t>(id >> kSlotBits)};
  return parts->generation % 2 != 0;
}

// Takes a reference to the slot an id names while its instance is open; -1
// when the id names none.
int Acquire(DWORD_PTR id) {
  IdParts id_parts;
  if (!Parse(id, &id_parts)) return -1;
  std::atomic<uint32_t>& state = g_slots[id_parts.slot].state;
  uint32_t s = state.load(std::memory_order_acquire);
  do {
    if (Generation(s) != id_parts.generation || (s & kOpen) == 0 ||
        (s & kUserMask) == kUserMask) {
      return -1;
    }
  } while (!state.compare_exchange_weak(s, s + kOneUser, std::memory_order_acq_rel));
  return id_parts.slot;
}

// Deletes a closed instance that nobody holds, and frees its slot.
void Free(int slot, uint32_t generation) {
  Slot& entry = g_slots[slot];
  delete entry.instance;
  entry.instance = nullptr;
  entry.state.store(NextGeneration(generation) << kSlotBits, std::memory_order_release);
}

// Drops a reference; whoever drops the last one of a closed instance deletes
// it and frees the slot.
void Release(int slot) {
  const uint32_t s =
      g_slots[slot].state.fetch_sub(kOneUser, std::memory_order_acq_rel) - kOneUser;
  if ((s & (kOpen | kUserMask)) == 0) Free(slot, Generation(s));
}

bool IsOpen(int slot) {
  return (g_slots[slot].state.load(std::memory_order_acquire) & kOpen) != 0;
}

}  // namespace

DWORD_PTR EnterInstance(DriverInstance* instance) {
  const uint32_t first = g_next_slot.load(std::memory_order_relaxed);
  for (uint32_t i = 0; i < kSlots; ++i) {
    const int slot = static_cast<int>((first + i) % kSlots);
    Slot& entry = g_slots[slot];
    uint32_t s = entry.state.load(std::memory_order_acquire);
    if (Generation(s) % 2 != 0 || s != Generation(s) << kSlotBits) continue;
    // Taken, not yet open: nobody else uses the slot until it is published.
    const uint32_t generation = NextGeneration(Generation(s));
    if (!entry.state.compare_exchange_strong(s, generation << kSlotBits,
                                             std::memory_order_acq_rel)) {
      continue;
    }
    entry.instance = instance;
    entry.state.store(generation << kSlotBits | kOpen, std::memory_order_release);
    g_next_slot.store(static_cast<uint32_t>(slot) + 1, std::memory_order_relaxed);
    return DWORD_PTR{generation} << kSlotBits | static_cast<DWORD_PTR>(slot);
  }
  delete instance;
  return 0;
}

void CloseInstance(DWORD_PTR id) {
  // Marks the instance closed; the last holder deletes it. DriverProc holds
  // the instance, locked, for the DRV_CLOSE message itself, so that holder
  // is at the latest the close's own message, and messages that were waiting
  // for the lock find the instance closed. The close takes no reference of
  // its own: it must work even when every reference is held.
  IdParts id_parts;
  if (!Parse(id, &id_parts)) return;
  std::atomic<uint32_t>& state = g_slots[id_parts.slot].state;
  uint32_t s = state.load(std::memory_order_acquire);
  do {
    if (Generation(s) != id_parts.generation || (s & kOpen) == 0) return;
  } while (!state.compare_exchange_weak(s, s & ~kOpen, std::memory_order_acq_rel));
  // Held by nobody: only a DRV_CLOSE that found every reference taken holds
  // none, and all those holders let go before the mark. Nobody else is left
  // to delete it.
  if ((s & kUserMask) == 0) Free(id_parts.slot, id_parts.generation);
}

void DeleteOpenInstances() {
  for (Slot& entry : g_slots) {
    const uint32_t s = entry.state.load(std::memory_order_acquire);
    if (Generation(s) % 2 == 0 || entry.instance == nullptr) continue;
    delete entry.instance;
    entry.instance = nullptr;
    entry.state.store(NextGeneration(Generation(s)) << kSlotBits, std::memory_order_release);
  }
}

InstanceAccess::InstanceAccess(DWORD_PTR id) : slot_(Acquire(id)) {
  if (slot_ < 0) return;
  DriverInstance* instance = g_slots[slot_].instance;
  instance->Lock();
  // Closed while this message waited for the lock.
  if (IsOpen(slot_)) {
    instance_ = instance;
  } else {
    instance->Unlock();
  }
}

InstanceAccess::~InstanceAccess() {
  if (slot_ < 0) return;
  if (instance_ != nullptr) instance_->Unlock();
  Release(slot_);
}

}  // namespace voxa

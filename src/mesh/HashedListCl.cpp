#include "HashedListCl.h"

namespace pallix {

namespace {
constexpr std::size_t kInitialSlots = 8;
}

void THashChainTable::Reset(std::size_t chains) {
  std::size_t size = kInitialSlots;
  while (size < chains * 2) size *= 2;
  slots_.assign(size, Slot{});
  mask_ = size - 1;
  chains_ = 0;
}

void THashChainTable::Grow() {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(old.size() * 2, Slot{});
  mask_ = slots_.size() - 1;
  for (const Slot& s : old) {
    if (s.Head == kEmpty) continue;
    std::size_t slot = s.Hash & mask_;
    while (slots_[slot].Head != kEmpty) slot = Next(slot);
    slots_[slot] = s;
  }
}

}  // namespace pallix

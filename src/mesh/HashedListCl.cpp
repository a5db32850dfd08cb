#include "HashedListCl.h"

namespace pallix {

namespace {
constexpr std::size_t kInitialSlots = 64;
}

void THashChainTable::Reset() {
  slots_.assign(kInitialSlots, Slot{});
  mask_ = kInitialSlots - 1;
  chains_ = 0;
}

void THashChainTable::StartChain(std::uint64_t hash, std::int32_t head) {
  // Kept at most half full so probe runs stay short.
  if ((chains_ + 1) * 2 > slots_.size()) Grow();
  std::size_t slot = Home(hash);
  while (slots_[slot].Head != kEmpty) slot = Next(slot);
  slots_[slot] = Slot{Fold(hash), head};
  ++chains_;
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

// An ordered list of objects with an index that finds the item equal to a given one without
// scanning the list. Items whose keys are identical share one chain, newest first; SameItems
// then picks among them. Chain heads sit in an open-addressing table that grows with the list,
// so a lookup costs one short probe and the length of its key's chain.
#pragma once

#include <cassert>
#include <cstdint>
#include <vector>

namespace pallix {

// Key hash -> position of the newest item of that key. Items are only ever appended.
// Reserve sizes the table once for what is to come, so a run of appends never rehashes.
// Slots are kept to eight bytes (32 bits of the hash and the head) so that large tables stay
// cache friendly.
class THashChainTable {
 public:
  static constexpr std::int32_t kEmpty = -1;
  struct Slot {
    std::uint32_t Hash = 0;
    std::int32_t Head = kEmpty;
  };

  THashChainTable() { Reset(); }

  static std::uint32_t Fold(std::uint64_t hash) { return static_cast<std::uint32_t>(hash ^ (hash >> 32)); }
  std::size_t Home(std::uint64_t hash) const { return Fold(hash) & mask_; }
  std::size_t Next(std::size_t slot) const { return (slot + 1) & mask_; }
  const Slot& At(std::size_t slot) const { return slots_[slot]; }
  void SetHead(std::size_t slot, std::int32_t head) { slots_[slot].Head = head; }
  // Asks the processor to bring the home slot of a hash into the cache; the lookup of a large
  // table otherwise waits for memory.
  void Prefetch(std::uint64_t hash) const {
#if defined(__GNUC__)
    __builtin_prefetch(&slots_[Home(hash)]);
#else
    (void)hash;
#endif
  }
  // Starts the chain of a key that is not in the table yet.
  void StartChain(std::uint64_t hash, std::int32_t head) {
    // Kept at most half full so probe runs stay short.
    if ((chains_ + 1) * 2 > slots_.size()) Grow();
    std::size_t slot = Home(hash);
    while (slots_[slot].Head != kEmpty) slot = Next(slot);
    slots_[slot] = Slot{Fold(hash), head};
    ++chains_;
  }
  // Empty, with room for at least chains keys without growing; the storage is kept.
  void Reset(std::size_t chains = 0);

 private:
  void Grow();

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t chains_ = 0;
};

// Items are held by value, in one block.
template <class T>
class THashedObjectList {
 public:
  THashedObjectList() = default;
  virtual ~THashedObjectList() = default;
  THashedObjectList(const THashedObjectList&) = delete;
  THashedObjectList& operator=(const THashedObjectList&) = delete;

  std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
  T* Get(std::int32_t index) { return &items_.at(static_cast<std::size_t>(index)); }
  const T* Get(std::int32_t index) const { return &items_.at(static_cast<std::size_t>(index)); }

  // Empties the list and makes room for count items, keeping the storage it has.
  void Reset(std::size_t count) {
    items_.clear();
    items_.reserve(count);
    older_.clear();
    older_.reserve(count);
    chains_.Reset(count);
  }

  // The index of the newest item of item's key for which SameItems(item, stored) holds, when
  // search is set and there is one; otherwise item is appended and added set. One hash and one
  // probe serve both the search and the append.
  std::int32_t FindOrAdd(const T& item, bool search, bool& added) {
    const std::uint64_t hash = KeyHash(item);
    const std::size_t slot = FindChain(item, hash);
    const std::int32_t head = chains_.At(slot).Head;
    if (search) {
      if (const std::int32_t found = FindInChain(item, head); found >= 0) {
        added = false;
        return found;
      }
    }
    const auto index = Count();
    older_.push_back(head);
    if (head == THashChainTable::kEmpty) {
      chains_.StartChain(hash, index);
    } else {
      chains_.SetHead(slot, index);
    }
    items_.push_back(item);
    added = true;
    return index;
  }

  // Index of the newest item of sought's key for which SameItems(sought, item) holds; -1 if none.
  std::int32_t IndexOfItem(const T& sought) const {
    return FindInChain(sought, chains_.At(FindChain(sought, KeyHash(sought))).Head);
  }

  // Hands every item over in list order and leaves the list empty.
  std::vector<T> TakeItems() {
    std::vector<T> items = std::move(items_);
    items_.clear();
    older_.clear();
    chains_.Reset();
    return items;
  }

 protected:
  void PrefetchHash(std::uint64_t hash) const { chains_.Prefetch(hash); }
  // Items with the same key must have the same hash.
  virtual std::uint64_t KeyHash(const T& item) const = 0;
  virtual bool SameKey(const T& a, const T& b) const = 0;
  // Decides among the items of one key; need not be symmetric.
  virtual bool SameItems(const T& sought, const T& stored) const = 0;

 private:
  // The newest item from head on, down its chain, for which SameItems(sought, item) holds; -1
  // if none.
  std::int32_t FindInChain(const T& sought, std::int32_t head) const {
    for (std::int32_t i = head; i != THashChainTable::kEmpty; i = older_[static_cast<std::size_t>(i)]) {
      if (SameItems(sought, items_[static_cast<std::size_t>(i)])) return i;
    }
    return -1;
  }
  // The slot of item's key chain, or the empty slot where that chain would start.
  std::size_t FindChain(const T& item, std::uint64_t hash) const {
    std::size_t slot = chains_.Home(hash);
    for (;;) {
      const THashChainTable::Slot& s = chains_.At(slot);
      if (s.Head == THashChainTable::kEmpty) return slot;
      if (s.Hash == THashChainTable::Fold(hash) && SameKey(item, items_[static_cast<std::size_t>(s.Head)]))
        return slot;
      slot = chains_.Next(slot);
    }
  }

  std::vector<T> items_;
  std::vector<std::int32_t> older_;  // per item: the next older item of its key
  THashChainTable chains_;
};

}  // namespace pallix

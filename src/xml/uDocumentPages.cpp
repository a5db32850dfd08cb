#include "uDocumentPages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace pallix {

namespace {
constexpr std::size_t kLargePage = std::size_t{2} << 20;
constexpr std::size_t kMapped = 4 * kLargePage;  // smaller blocks come from the heap
}  // namespace

char* AllocateDocumentBlock(std::size_t size) {
  if (size < kMapped) return static_cast<char*>(std::calloc(size, 1));
  void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
  madvise(block, size, MADV_HUGEPAGE);  // a hint: without it the block is only slower to fill
#endif
  return static_cast<char*>(block);
}

void FreeDocumentBlock(char* block, std::size_t size) {
  if (size < kMapped) {
    std::free(block);
  } else if (block) {
    munmap(block, size);
  }
}

void ReleaseReadPages(const char* block, const char* begin, const char* end) {
  // Whole large pages only: giving back part of one would split it. The large page begun
  // before begin is given back once its end is read too.
  const auto page = static_cast<std::uintptr_t>(kLargePage);
  begin = std::max(block, begin - reinterpret_cast<std::uintptr_t>(begin) % page);
  const auto at = reinterpret_cast<std::uintptr_t>(begin);
  const std::uintptr_t skip = (page - at % page) % page;  // to the first whole page
  if (end - begin <= static_cast<std::ptrdiff_t>(skip)) return;
  char* const first = const_cast<char*>(begin) + skip;
  const std::size_t length = static_cast<std::size_t>(end - first) / page * page;
  // Read again, such pages would be zeros; a failure only keeps them.
  if (length > 0) madvise(first, length, MADV_DONTNEED);
}

}  // namespace pallix

#include "uDocumentPages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace pallix {

void ReleaseReadPages(const char* begin, const char* end) {
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(begin) + page - 1) & ~(page - 1);
  const std::uintptr_t last = reinterpret_cast<std::uintptr_t>(end) & ~(page - 1);
  // Read again, such pages would be zeros; a failure only keeps them.
  if (first < last) madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

}  // namespace pallix

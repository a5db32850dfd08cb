#include "uDocumentPages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace pallix {

void ReleaseReadPages(const char* begin, const char* end) {
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto at = reinterpret_cast<std::uintptr_t>(begin);
  const std::uintptr_t skip = (page - at % page) % page;  // to the first whole page
  if (end - begin <= static_cast<std::ptrdiff_t>(skip)) return;
  char* const first = const_cast<char*>(begin) + skip;
  const std::size_t length = static_cast<std::size_t>(end - first) / page * page;
  // Read again, such pages would be zeros; a failure only keeps them.
  if (length > 0) madvise(first, length, MADV_DONTNEED);
}

}  // namespace pallix

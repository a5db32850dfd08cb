#include "uDocumentPages.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>

namespace pallix {

char* AllocateDocumentBlock(std::size_t size) { return static_cast<char*>(std::calloc(size, 1)); }

void FreeDocumentBlock(char* block, std::size_t /*size*/) { std::free(block); }

void ReleaseReadPages(const char* /*block*/, const char* begin, const char* end) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const auto page = static_cast<std::uintptr_t>(info.dwPageSize);
  const auto at = reinterpret_cast<std::uintptr_t>(begin);
  const std::uintptr_t skip = (page - at % page) % page;  // to the first whole page
  if (end - begin <= static_cast<std::ptrdiff_t>(skip)) return;
  char* const first = const_cast<char*>(begin) + skip;
  const SIZE_T length = static_cast<SIZE_T>(end - first) / page * page;
  // The contents may go; unlocking pages that are not locked takes them out of the working set.
  if (length > 0 && VirtualAlloc(first, length, MEM_RESET, PAGE_READWRITE)) VirtualUnlock(first, length);
}

}  // namespace pallix

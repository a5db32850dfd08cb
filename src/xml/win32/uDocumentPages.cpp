#include "uDocumentPages.h"

#include <windows.h>

#include <cstdint>

namespace pallix {

void ReleaseReadPages(const char* begin, const char* end) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const auto page = static_cast<std::uintptr_t>(info.dwPageSize);
  const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(begin) + page - 1) & ~(page - 1);
  const std::uintptr_t last = reinterpret_cast<std::uintptr_t>(end) & ~(page - 1);
  if (first >= last) return;
  // The contents may go; unlocking pages that are not locked takes them out of the working set.
  void* pages = reinterpret_cast<void*>(first);
  const SIZE_T size = last - first;
  if (VirtualAlloc(pages, size, MEM_RESET, PAGE_READWRITE)) VirtualUnlock(pages, size);
}

}  // namespace pallix

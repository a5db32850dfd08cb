// Faults Wine does not provoke by itself, injected from the host: an allocation of the
// library that fails (its imports of the C runtime's allocation functions are redirected),
// and a window that cannot be created (a CBT hook refuses it).
#pragma once

#include <windows.h>

namespace testhost {

// Redirects the library's malloc, calloc and realloc imports through the switch below.
void HookAllocations(HMODULE dll);
// The library's next allocation, on any thread, fails once.
void FailNextAllocation();
// Allocations failed on purpose so far.
int FailedAllocations();

// When the next window of this class is created on this thread, `action` runs (on that
// thread, before the window procedure sees the window) and, with `refuse`, the creation fails.
void WatchWindowClass(const char* className, bool refuse, void (*action)());

// The thread's floating-point control state (x87 control word, MXCSR).
struct FloatState {
  unsigned short x87;
  unsigned int mxcsr;
  bool operator==(const FloatState& o) const { return x87 == o.x87 && mxcsr == o.mxcsr; }
};
FloatState CurrentFloatState();
void SetFloatState(const FloatState& state);
// The system's default, and a host's own: overflow unmasked, rounding down.
inline constexpr FloatState kDefaultFloat{0x027F, 0x1F80};
inline constexpr FloatState kHostileFloat{0x0677, 0x3B80};

}  // namespace testhost

#include "FaultInjection.h"

#include <xmmintrin.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace testhost {

namespace {

volatile LONG gFailNext = 0;
volatile LONG gFailed = 0;

using MallocFn = void*(__cdecl*)(size_t);
using CallocFn = void*(__cdecl*)(size_t, size_t);
using ReallocFn = void*(__cdecl*)(void*, size_t);
MallocFn gMalloc = nullptr;
CallocFn gCalloc = nullptr;
ReallocFn gRealloc = nullptr;

bool TakeFailure() {
  if (InterlockedCompareExchange(&gFailNext, 0, 1) != 1) return false;
  InterlockedIncrement(&gFailed);
  return true;
}

void* __cdecl FailingMalloc(size_t n) { return TakeFailure() ? nullptr : gMalloc(n); }
void* __cdecl FailingCalloc(size_t n, size_t size) { return TakeFailure() ? nullptr : gCalloc(n, size); }
void* __cdecl FailingRealloc(void* p, size_t n) { return TakeFailure() ? nullptr : gRealloc(p, n); }

// Points the import slot of `name` (from the C runtime) at `replacement`; returns the old target.
void* Redirect(HMODULE dll, const char* name, void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(dll);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* imp = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name;
       ++imp) {
    const char* lib = reinterpret_cast<const char*>(base + imp->Name);
    if (lstrcmpiA(lib, "msvcrt.dll") != 0 && lstrcmpiA(lib, "ucrtbase.dll") != 0 &&
        std::strncmp(lib, "api-ms-win-crt-heap", 19) != 0)
      continue;
    auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0) continue;
      DWORD old = 0;
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
      void* previous = reinterpret_cast<void*>(slots->u1.Function);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
      return previous;
    }
  }
  std::fprintf(stderr, "the library imports no %s\n", name);
  std::exit(1);
}

const char* gWatchedClass = nullptr;
bool gRefuse = false;
void (*gAction)() = nullptr;
HHOOK gCbtHook = nullptr;

LRESULT CALLBACK CbtProc(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND && gWatchedClass) {
    char cls[64] = {};
    GetClassNameA(reinterpret_cast<HWND>(wp), cls, sizeof cls);
    if (lstrcmpiA(cls, gWatchedClass) == 0) {
      gWatchedClass = nullptr;
      if (gAction) gAction();
      if (gRefuse) return 1;
    }
  }
  return CallNextHookEx(gCbtHook, code, wp, lp);
}

}  // namespace

void HookAllocations(HMODULE dll) {
  if (gMalloc) return;
  gMalloc = reinterpret_cast<MallocFn>(Redirect(dll, "malloc", reinterpret_cast<void*>(&FailingMalloc)));
  gCalloc = reinterpret_cast<CallocFn>(Redirect(dll, "calloc", reinterpret_cast<void*>(&FailingCalloc)));
  gRealloc = reinterpret_cast<ReallocFn>(Redirect(dll, "realloc", reinterpret_cast<void*>(&FailingRealloc)));
}

void FailNextAllocation() { InterlockedExchange(&gFailNext, 1); }

int FailedAllocations() { return static_cast<int>(gFailed); }

void WatchWindowClass(const char* className, bool refuse, void (*action)()) {
  if (!gCbtHook) gCbtHook = SetWindowsHookExA(WH_CBT, CbtProc, nullptr, GetCurrentThreadId());
  gWatchedClass = className;
  gRefuse = refuse;
  gAction = action;
}

FloatState CurrentFloatState() {
  FloatState state{};
  __asm__ volatile("fnstcw %0" : "=m"(state.x87));
  state.mxcsr = _mm_getcsr();
  return state;
}

void SetFloatState(const FloatState& state) {
  __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(state.x87));
  _mm_setcsr(state.mxcsr);
}

}  // namespace testhost

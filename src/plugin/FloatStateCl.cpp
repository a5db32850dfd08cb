#include "FloatStateCl.h"

#if defined(__i386__) || defined(__x86_64__)
#include <xmmintrin.h>
#define PALLIX_X86_FLOAT 1
#endif

namespace pallix {

namespace {
TExportFloatScope* gInnermost = nullptr;  // export runs happen on the host's one thread
}

TFloatState TFloatState::Current() {
  TFloatState state;
#ifdef PALLIX_X86_FLOAT
  std::uint16_t cw = 0;
  __asm__ volatile("fnstcw %0" : "=m"(cw));
  state.x87 = cw;
  state.mxcsr = _mm_getcsr();
#endif
  return state;
}

void TFloatState::Apply() const {
#ifdef PALLIX_X86_FLOAT
  const std::uint16_t cw = x87;
  __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(cw));
  _mm_setcsr(mxcsr);
#endif
}

bool operator==(const TFloatState& a, const TFloatState& b) { return a.x87 == b.x87 && a.mxcsr == b.mxcsr; }

TFloatState ExportFloatState() {
  TFloatState state;
#if defined(_WIN32)
  state.x87 = 0x027F;
#else
  state.x87 = 0x037F;
#endif
  state.mxcsr = 0x1F80;
  return state;
}

TExportFloatScope::TExportFloatScope() : saved_(TFloatState::Current()), outer_(gInnermost) {
  ExportFloatState().Apply();
  gInnermost = this;
}

TExportFloatScope::~TExportFloatScope() {
  gInnermost = outer_;
  saved_.Apply();
}

THostFloatScope::THostFloatScope() : active_(gInnermost != nullptr) {
  if (active_) gInnermost->saved_.Apply();
}

THostFloatScope::~THostFloatScope() {
  if (active_) ExportFloatState().Apply();
}

}  // namespace pallix

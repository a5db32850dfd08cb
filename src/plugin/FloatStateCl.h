// The thread's floating-point control state: the x87 control word and the SSE control and
// status register (MXCSR). A host may unmask exceptions or pick another rounding or precision;
// an export then traps on an overflow, or writes other numbers. The export runs in a state of
// its own and gives the host its own back on every way out, and while the host is called.
#pragma once

#include <cstdint>

namespace pallix {

struct TFloatState {
  std::uint16_t x87 = 0;
  std::uint32_t mxcsr = 0;

  static TFloatState Current();
  // Clears the exception flags raised so far first, so an unmasked one cannot fire later.
  void Apply() const;
};

bool operator==(const TFloatState& a, const TFloatState& b);

// Every exception masked, rounding to nearest, denormals kept, and on Windows the system's
// 53-bit x87 precision that 32-bit code is built for.
TFloatState ExportFloatState();

// Saves the thread's state and applies the export's; the destructor restores the saved one.
class TExportFloatScope {
 public:
  TExportFloatScope();
  ~TExportFloatScope();
  TExportFloatScope(const TExportFloatScope&) = delete;
  TExportFloatScope& operator=(const TExportFloatScope&) = delete;

 private:
  friend class THostFloatScope;
  TFloatState saved_;
  TExportFloatScope* outer_;
};

// Around a call into the host: the host's own state while it runs (when an export scope is
// active), the export's again afterwards.
class THostFloatScope {
 public:
  THostFloatScope();
  ~THostFloatScope();
  THostFloatScope(const THostFloatScope&) = delete;
  THostFloatScope& operator=(const THostFloatScope&) = delete;

 private:
  bool active_;
};

}  // namespace pallix

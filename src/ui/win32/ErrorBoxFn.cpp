#include "ErrorBoxFn.h"

#include <windows.h>

namespace pallix {

void ShowErrorBox(const char* message) noexcept {
  // Owned by the host's active window, so the box is modal to the editor that started the run.
  MessageBoxA(GetActiveWindow(), message, kErrorBoxTitle, MB_OK | MB_ICONERROR);
}

}  // namespace pallix

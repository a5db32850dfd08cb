#include "ErrorBoxFn.h"

#include <windows.h>

namespace pallix {

void ShowErrorBox(const std::string& message) {
  // Owned by the host's active window, so the box is modal to the editor that started the run.
  MessageBoxA(GetActiveWindow(), message.c_str(), kErrorBoxTitle, MB_OK | MB_ICONERROR);
}

}  // namespace pallix

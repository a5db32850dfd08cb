// Shared pieces of the plug-in's Win32 windows: the module handle, the form font, panels that
// act as buttons, the modal message loop and the shell folder browser. Windows only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace pallix::win {

// An exception cannot pass the system's frames between a window procedure or a callback and
// the code that started the window (in the 32-bit build it ends the host). Every such entry
// runs its body through Guard, which keeps the exception instead; the modal loops end when one
// is kept, and whoever owns the window rethrows it once the window is gone.
void KeepException() noexcept;  // the exception being handled, unless one is kept already
bool ExceptionKept() noexcept;
void ForgetKeptException() noexcept;
// Throws the kept exception, if any, and forgets it.
void RethrowKeptException();

template <typename Result, typename Body>
Result Guard(Result fallback, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    KeepException();
    return fallback;
  }
}

// The system's text for an error code, without its line end; empty when it has none.
std::string SystemErrorText(DWORD code);

// CreateWindowExA in the plug-in's module (id: the control id of a child window). When the
// window cannot be made, rethrows what its window procedure kept, or raises "Cannot create the
// WHAT" with the system's reason.
HWND CreateChecked(const char* what, DWORD exStyle, const char* className, const char* text, DWORD style,
                   int x, int y, int width, int height, HWND parent, int id = 0, void* param = nullptr);

// The plug-in library's own module (window classes and resources are registered with it).
HINSTANCE PluginInstance();

// Registers a form's window class with the plug-in module, once: button-face background,
// arrow cursor.
void RegisterFormClass(const char* className, WNDPROC proc);

// "MS Sans Serif" at 8 points for the screen's resolution; the caller deletes it.
HFONT CreateFormFont();

// Outer size of a window whose client area is width x height.
SIZE WindowSizeForClient(DWORD style, DWORD exStyle, int width, int height);

// Marks a panel that the keyboard may press (Enter or space while it has the focus).
inline constexpr LONG_PTR PanelButtonTag = 0xC0FF33;

enum class TBevel { Raised, Lowered, None };

// A panel: a caption centred on a bevelled face. Messages from child controls go up to the
// panel's parent, so a panel can hold controls without handling them itself.
struct TPanelInfo {
  std::string caption;
  TBevel bevelOuter = TBevel::Raised;
  LONG_PTR tag = 0;
  bool buttonLook = false;  // MakePanelButton: bevel lowered while the left button is down
  std::function<void()> onClick;
};

// Registers the panel class (once per plug-in instance); UnregisterPanelClass undoes it so the
// library can be unloaded without leaving a class that points into it.
void RegisterPanelClass();
void UnregisterPanelClass();

// Creates a panel child window that owns a copy of `info`; raises like CreateChecked.
HWND CreatePanel(const char* what, HWND parent, const TPanelInfo& info, int x, int y, int width, int height,
                 DWORD extraStyle, int id);
TPanelInfo* PanelInfo(HWND panel);
// Turns a panel into a button: pressed look on mouse down, tagged for the keyboard.
void MakePanelButton(HWND panel);

// Lets every message waiting in this thread's queue run; stops early when a window procedure
// kept an exception.
void ProcessMessages();

// The shell folder browser: the chosen folder's path, or empty when cancelled.
std::string BrowseForFolder(const std::string& title, const std::string& initialFolder, HWND owner);

// Control ids of the options window; the Windows test host finds the controls by them.
enum OptionsControlId : int {
  idOK = 1001,
  idCancel,
  idMain,
  idFileName,
  idBrowseFile,
  idScale,
  idExportMaterials,
  idMaterialPath,
  idBrowseMaterialPath,
  idAllowDynamicLighting,
  idExportTextures,
  idTexturePath,
  idBrowseTexturePath,
  idExportLightmaps,
  idMaterialNamePrefix,
  idNormalsToExport,
  idFirstLabel = 1100,
  idProgressLabel = 1200,
  idProgressBar,
};

}  // namespace pallix::win

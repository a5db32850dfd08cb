// The progress window. It is modeless and has no loop of its own: SetPosition lets the
// thread's pending messages run, which is what keeps it (and the host) painted.
#include "ProgressFm.h"

#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <algorithm>
#include <string>

#include "MessagePacerCl.h"
#include "WinControls.h"

namespace pallix {

namespace {

constexpr char kFormClass[] = "TProgressForm";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;
constexpr int kClientWidth = 361;
constexpr int kClientHeight = 51;
constexpr int kBarHeight = 19;

LRESULT CALLBACK ProgressProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return win::Guard<LRESULT>(0, [&]() -> LRESULT {
    // The close box only hides the window; the run goes on.
    if (msg == WM_CLOSE) {
      ShowWindow(hwnd, SW_HIDE);
      return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
  });
}

// The bar is drawn the classic way, as the smooth continuous bar it was designed as: a themed
// bar ignores PBS_SMOOTH, and where themes are drawn in software (Wine) every step of it costs
// a repaint of the whole themed image. Systems without themes have nothing to switch off.
void DrawWithoutTheme(HWND control) {
  using SetWindowThemeFn = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
  const HMODULE uxtheme = LoadLibraryA("uxtheme.dll");
  if (!uxtheme) return;
  if (const auto set = reinterpret_cast<SetWindowThemeFn>(
          reinterpret_cast<void (*)()>(GetProcAddress(uxtheme, "SetWindowTheme")))) {
    set(control, L" ", L" ");
  }
  FreeLibrary(uxtheme);
}

}  // namespace

// Releases what was made, also when the constructor did not get to the end.
struct TProgressForm::Window {
  HWND hwnd = nullptr;
  HWND ProgressLabel = nullptr;
  HWND ProgressBar1 = nullptr;
  HFONT font = nullptr;
  std::int32_t barPosition = 0;
  TMessagePacer pacer;

  Window() = default;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  ~Window() {
    if (hwnd) DestroyWindow(hwnd);
    if (font) DeleteObject(font);
    UnregisterClassA(kFormClass, win::PluginInstance());
  }
};

void EnableTerminalProgress(bool) {}

TProgressForm::TProgressForm() : window_(std::make_unique<Window>()) {
  using namespace win;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  RegisterFormClass(kFormClass, ProgressProc);
  Window& w = *window_;
  w.font = CreateFormFont();
  const SIZE size = WindowSizeForClient(kStyle, kExStyle, kClientWidth, kClientHeight);
  // Placed where it was designed, not centred.
  ForgetKeptException();
  w.hwnd = CreateChecked("progress window", kExStyle, kFormClass, "Progress", kStyle, 261, 284, size.cx,
                         size.cy, GetActiveWindow());
  constexpr char kControls[] = "progress window's controls";
  w.ProgressLabel =
      CreateChecked(kControls, 0, "STATIC", "Progress...", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 6,
                    8, kClientWidth - 12, 15, w.hwnd, idProgressLabel);
  SendMessageA(w.ProgressLabel, WM_SETFONT, reinterpret_cast<WPARAM>(w.font), FALSE);
  w.ProgressBar1 = CreateChecked(kControls, 0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE | PBS_SMOOTH, 0,
                                 kClientHeight - kBarHeight, kClientWidth, kBarHeight, w.hwnd, idProgressBar);
  DrawWithoutTheme(w.ProgressBar1);
  SendMessageA(w.ProgressBar1, PBM_SETRANGE32, 0, 100);
  SendMessageA(w.ProgressBar1, PBM_SETPOS, 0, 0);
}

TProgressForm::~TProgressForm() = default;

void TProgressForm::Show() {
  ShowWindow(window_->hwnd, SW_SHOW);
  UpdateWindow(window_->hwnd);
}

void TProgressForm::SetText(std::string_view text) {
  SetWindowTextA(window_->ProgressLabel, std::string(text).c_str());
  window_->pacer.TextChanged();
}

void TProgressForm::SetPosition(std::int32_t position) {
  Window& w = *window_;
  const std::int32_t shown = std::clamp(position, 0, 100);
  if (shown != w.barPosition) {
    SendMessageA(w.ProgressBar1, PBM_SETPOS, static_cast<WPARAM>(shown), 0);
    w.barPosition = shown;
  }
  if (!w.pacer.Due(shown, GetTickCount())) return;
  win::ProcessMessages();
  // What a window procedure raised meanwhile ends the run.
  win::RethrowKeptException();
}

std::unique_ptr<IProgressView> CreateProgressView() { return std::make_unique<TProgressForm>(); }

}  // namespace pallix

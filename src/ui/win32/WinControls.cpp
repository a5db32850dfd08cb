#include "WinControls.h"

#include <shlobj.h>

#include <exception>
#include <memory>

#include "BasicFn.h"

namespace pallix::win {

namespace {

// All of the plug-in's windows live on the host's thread that runs the export.
std::exception_ptr& Kept() {
  static std::exception_ptr kept;
  return kept;
}

constexpr char kPanelClass[] = "TPallixPanel";

struct PanelState {
  TPanelInfo info;
  HFONT font = nullptr;
  bool tracking = false;  // left button went down on the panel
};

PanelState* State(HWND panel) {
  return reinterpret_cast<PanelState*>(GetWindowLongPtrA(panel, GWLP_USERDATA));
}

void PaintPanel(HWND panel, PanelState& state) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(panel, &ps);
  RECT rc;
  GetClientRect(panel, &rc);
  FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
  if (state.info.bevelOuter != TBevel::None) {
    DrawEdge(dc, &rc, state.info.bevelOuter == TBevel::Raised ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT);
  }
  if (!state.info.caption.empty()) {
    HGDIOBJ old = SelectObject(dc, state.font ? state.font : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(IsWindowEnabled(panel) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    RECT text = rc;
    if (state.info.bevelOuter == TBevel::Lowered) OffsetRect(&text, 1, 1);
    DrawTextA(dc, state.info.caption.c_str(), static_cast<int>(state.info.caption.size()), &text,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
  }
  if (GetFocus() == panel) {
    RECT focus = rc;
    InflateRect(&focus, -3, -3);
    DrawFocusRect(dc, &focus);
  }
  EndPaint(panel, &ps);
}

void SetBevel(HWND panel, PanelState& state, TBevel bevel) {
  if (state.info.bevelOuter == bevel) return;
  state.info.bevelOuter = bevel;
  InvalidateRect(panel, nullptr, TRUE);
}

LRESULT PanelMessage(HWND panel, UINT msg, WPARAM wp, LPARAM lp) {
  PanelState* state = State(panel);
  switch (msg) {
    case WM_NCCREATE: {
      const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lp);
      auto owned = std::make_unique<PanelState>();
      owned->info = *static_cast<const TPanelInfo*>(cs->lpCreateParams);
      SetWindowLongPtrA(panel, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owned.release()));
      break;
    }
    case WM_NCDESTROY:
      delete state;
      SetWindowLongPtrA(panel, GWLP_USERDATA, 0);
      break;
    case WM_SETFONT:
      if (state) state->font = reinterpret_cast<HFONT>(wp);
      if (LOWORD(lp)) InvalidateRect(panel, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(state ? state->font : nullptr);
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      if (state) {
        PaintPanel(panel, *state);
        return 0;
      }
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
      InvalidateRect(panel, nullptr, TRUE);
      break;
    case WM_LBUTTONDOWN:
      if (state && IsWindowEnabled(panel)) {
        state->tracking = true;
        SetCapture(panel);
        if (state->info.buttonLook) SetBevel(panel, *state, TBevel::Lowered);
      }
      return 0;
    case WM_LBUTTONUP:
      if (state && state->tracking) {
        state->tracking = false;
        ReleaseCapture();
        if (state->info.buttonLook) SetBevel(panel, *state, TBevel::Raised);
        RECT rc;
        GetClientRect(panel, &rc);
        const POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        // The handler may close the window that holds the panel: copy it first.
        if (PtInRect(&rc, at) && state->info.onClick) {
          const std::function<void()> click = state->info.onClick;
          click();
        }
      }
      return 0;
    case WM_CAPTURECHANGED:
      if (state && state->tracking && reinterpret_cast<HWND>(lp) != panel) {
        state->tracking = false;
        if (state->info.buttonLook) SetBevel(panel, *state, TBevel::Raised);
      }
      return 0;
    // Child controls report to the panel; their owner is the window holding it.
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
      return SendMessageA(GetParent(panel), msg, wp, lp);
    default:
      break;
  }
  return DefWindowProcA(panel, msg, wp, lp);
}

// A failed WM_NCCREATE (0) makes the creation fail, which Created reports.
LRESULT CALLBACK PanelProc(HWND panel, UINT msg, WPARAM wp, LPARAM lp) {
  return Guard<LRESULT>(0, [&] { return PanelMessage(panel, msg, wp, lp); });
}

}  // namespace

void KeepException() noexcept {
  if (!Kept()) Kept() = std::current_exception();
}

bool ExceptionKept() noexcept { return static_cast<bool>(Kept()); }

void ForgetKeptException() noexcept { Kept() = nullptr; }

void RethrowKeptException() {
  if (!Kept()) return;
  std::exception_ptr kept;
  kept.swap(Kept());
  std::rethrow_exception(kept);
}

std::string SystemErrorText(DWORD code) {
  char text[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                           sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) --n;
  return std::string(text, n);
}

HWND CreateChecked(const char* what, DWORD exStyle, const char* className, const char* text, DWORD style,
                   int x, int y, int width, int height, HWND parent, int id, void* param) {
  // Not every refusal sets an error code; a stale one must not pass for the reason.
  SetLastError(0);
  HWND window = CreateWindowExA(exStyle, className, text, style, x, y, width, height, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), PluginInstance(), param);
  if (window) return window;
  const DWORD code = GetLastError();
  RethrowKeptException();
  const std::string reason = code == 0 ? std::string() : SystemErrorText(code);
  if (reason.empty()) Raise("Cannot create the %s.", {what});
  Raise("Cannot create the %s: %s", {what, reason});
}

HINSTANCE PluginInstance() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&PluginInstance), &module);
  return module;
}

void RegisterFormClass(const char* className, WNDPROC proc) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  if (GetClassInfoExA(PluginInstance(), className, &wc)) return;
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = PluginInstance();
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = className;
  RegisterClassExA(&wc);
}

HFONT CreateFormFont() {
  HDC screen = GetDC(nullptr);
  const int height = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
}

SIZE WindowSizeForClient(DWORD style, DWORD exStyle, int width, int height) {
  RECT rc{0, 0, width, height};
  AdjustWindowRectEx(&rc, style, FALSE, exStyle);
  return SIZE{rc.right - rc.left, rc.bottom - rc.top};
}

void RegisterPanelClass() {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  if (GetClassInfoExA(PluginInstance(), kPanelClass, &wc)) return;
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = PanelProc;
  wc.hInstance = PluginInstance();
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kPanelClass;
  RegisterClassExA(&wc);
}

void UnregisterPanelClass() { UnregisterClassA(kPanelClass, PluginInstance()); }

HWND CreatePanel(const char* what, HWND parent, const TPanelInfo& info, int x, int y, int width, int height,
                 DWORD extraStyle, int id) {
  return CreateChecked(what, 0, kPanelClass, info.caption.c_str(), WS_CHILD | WS_VISIBLE | extraStyle, x, y,
                       width, height, parent, id, const_cast<TPanelInfo*>(&info));
}

TPanelInfo* PanelInfo(HWND panel) {
  PanelState* state = State(panel);
  return state ? &state->info : nullptr;
}

void MakePanelButton(HWND panel) {
  if (TPanelInfo* info = PanelInfo(panel)) {
    info->buttonLook = true;
    info->tag = PanelButtonTag;
  }
}

void ProcessMessages() {
  MSG msg;
  while (!ExceptionKept() && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Not ours to consume: leave it for the host's own loop.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

namespace {
int CALLBACK BrowseCallback(HWND browser, UINT msg, LPARAM, LPARAM data) {
  const int result = Guard(0, [&] {
    if (msg == BFFM_INITIALIZED) SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
  });
  // The browser cannot end the run itself: cancel it, and BrowseForFolder rethrows.
  if (ExceptionKept()) PostMessageA(browser, WM_COMMAND, IDCANCEL, 0);
  return result;
}

// The new dialog style needs COM on this thread; the host may not have started it.
struct OleSession {
  HRESULT result = OleInitialize(nullptr);
  ~OleSession() {
    if (SUCCEEDED(result)) OleUninitialize();
  }
};
}  // namespace

std::string BrowseForFolder(const std::string& title, const std::string& initialFolder, HWND owner) {
  const OleSession com;
  BROWSEINFOA bi{};
  bi.hwndOwner = owner;
  bi.lpszTitle = title.c_str();
  bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  if (!initialFolder.empty()) {
    bi.lpfn = BrowseCallback;
  }
  std::string result;
  // Selected without its trailing backslash (a drive root keeps it): the shell matches folders.
  std::string select = initialFolder;
  if (select.size() > 3 && select.back() == '\\') select.pop_back();
  if (!select.empty()) bi.lParam = reinterpret_cast<LPARAM>(select.c_str());
  if (LPITEMIDLIST item = SHBrowseForFolderA(&bi)) {
    char path[MAX_PATH + 1] = {};
    const bool found = SHGetPathFromIDListA(item, path);
    CoTaskMemFree(item);
    if (found) result = path;
  }
  RethrowKeptException();
  return result;
}

}  // namespace pallix::win

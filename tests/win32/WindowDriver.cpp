#include "WindowDriver.h"

#include <cstdio>

#include "TestHost.h"

namespace testhost {

namespace {
DWORD gUiThread = 0;
bool gScreenshots = false;
constexpr DWORD kPoll = 20;

struct FindOwned {
  HWND owner;
  HWND except;
  HWND found;
};

BOOL CALLBACK FindOwnedProc(HWND hwnd, LPARAM lp) {
  auto* f = reinterpret_cast<FindOwned*>(lp);
  char cls[16] = {};
  GetClassNameA(hwnd, cls, sizeof cls);
  if (hwnd != f->except && std::string(cls) == "#32770" && GetWindow(hwnd, GW_OWNER) == f->owner &&
      IsWindowVisible(hwnd)) {
    f->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

struct Collect {
  std::string text;
  bool icon = false;
};

BOOL CALLBACK CollectProc(HWND hwnd, LPARAM lp) {
  auto* c = reinterpret_cast<Collect*>(lp);
  char cls[16] = {};
  GetClassNameA(hwnd, cls, sizeof cls);
  if (lstrcmpiA(cls, "Static") != 0) return TRUE;
  const LONG style = GetWindowLongA(hwnd, GWL_STYLE);
  if ((style & SS_TYPEMASK) == SS_ICON) {
    c->icon = c->icon || (SendMessageA(hwnd, STM_GETICON, 0, 0) != 0 && IsWindowVisible(hwnd));
    return TRUE;
  }
  const std::string t = Text(hwnd);
  if (!t.empty()) c->text += (c->text.empty() ? "" : "\n") + t;
  return TRUE;
}

struct FindId {
  int id;
  HWND found;
};

BOOL CALLBACK FindIdProc(HWND hwnd, LPARAM lp) {
  auto* f = reinterpret_cast<FindId*>(lp);
  if (GetDlgCtrlID(hwnd) == f->id) {
    f->found = hwnd;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

DriverThread::DriverThread(Body body, void* context) : body_(body), context_(context) {
  thread_ = CreateThread(nullptr, 0, Start, this, 0, nullptr);
}

DriverThread::~DriverThread() {
  if (thread_) {
    Join();
    CloseHandle(thread_);
  }
}

DWORD WINAPI DriverThread::Start(void* self) {
  auto* t = static_cast<DriverThread*>(self);
  t->body_(t->context_);
  return 0;
}

bool DriverThread::Join(DWORD timeoutMs) {
  if (!thread_) return true;
  const bool done = WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0;
  if (!done) std::fprintf(stderr, "driver thread did not finish\n");
  EXPECT(done);
  return done;
}

void SetUiThread(DWORD threadId) { gUiThread = threadId; }

HWND WaitForWindow(const char* cls, const char* title, DWORD timeoutMs) {
  for (DWORD waited = 0;; waited += kPoll) {
    HWND hwnd = FindWindowA(cls, title);
    if (hwnd && IsWindowVisible(hwnd)) return hwnd;
    if (waited >= timeoutMs) break;
    Sleep(kPoll);
  }
  std::fprintf(stderr, "window \"%s\" did not show\n", title ? title : "");
  return nullptr;
}

bool StaysAbsent(const char* cls, const char* title, DWORD periodMs) {
  for (DWORD waited = 0; waited <= periodMs; waited += kPoll) {
    HWND hwnd = FindWindowA(cls, title);
    if (hwnd && IsWindowVisible(hwnd)) return false;
    Sleep(kPoll);
  }
  return true;
}

bool WaitGone(HWND window, DWORD timeoutMs) {
  for (DWORD waited = 0; waited <= timeoutMs; waited += kPoll) {
    if (!IsWindow(window) || !IsWindowVisible(window)) return true;
    Sleep(kPoll);
  }
  return false;
}

HWND WaitForOwnedDialog(HWND owner, DWORD timeoutMs, HWND except) {
  for (DWORD waited = 0; waited <= timeoutMs; waited += kPoll) {
    FindOwned f{owner, except, nullptr};
    EnumWindows(FindOwnedProc, reinterpret_cast<LPARAM>(&f));
    if (f.found) return f.found;
    Sleep(kPoll);
  }
  return nullptr;
}

HWND Control(HWND form, int id) {
  FindId f{id, nullptr};
  EnumChildWindows(form, FindIdProc, reinterpret_cast<LPARAM>(&f));
  return f.found;
}

std::string Text(HWND control) {
  const LRESULT n = SendMessageA(control, WM_GETTEXTLENGTH, 0, 0);
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  const LRESULT got =
      SendMessageA(control, WM_GETTEXT, static_cast<WPARAM>(n + 1), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(got));
  return text;
}

void TypeText(HWND edit, const std::string& text) {
  SendMessageA(edit, EM_SETSEL, 0, -1);
  SendMessageA(edit, WM_CLEAR, 0, 0);
  for (char c : text) SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
}

void Click(HWND control) {
  RECT rc;
  GetClientRect(control, &rc);
  const LPARAM at = MAKELPARAM((rc.right - rc.left) / 2, (rc.bottom - rc.top) / 2);
  PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageA(control, WM_LBUTTONUP, 0, at);
}

bool Checked(HWND check) { return SendMessageA(check, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void SetChecked(HWND check, bool checked) {
  if (Checked(check) != checked) SendMessageA(check, BM_CLICK, 0, 0);
}

int Selected(HWND combo) { return static_cast<int>(SendMessageA(combo, CB_GETCURSEL, 0, 0)); }

void Select(HWND combo, int index) {
  SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  // What the list reports when the user picks an item.
  SendMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
}

HWND Focused() {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(gUiThread, &info)) return nullptr;
  return info.hwndFocus;
}

void PressKey(WORD vk) {
  HWND target = Focused();
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)) << 16;
  PostMessageA(target, WM_KEYDOWN, vk, 1 | scan);
  PostMessageA(target, WM_KEYUP, vk, 1 | scan | (1u << 30) | (1u << 31));
}

COLORREF PixelAt(HWND window, int x, int y) {
  HDC dc = GetDC(window);
  const COLORREF c = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return c;
}

std::string DialogText(HWND box) {
  Collect c;
  EnumChildWindows(box, CollectProc, reinterpret_cast<LPARAM>(&c));
  return c.text;
}

bool DialogHasIcon(HWND box) {
  Collect c;
  EnumChildWindows(box, CollectProc, reinterpret_cast<LPARAM>(&c));
  return c.icon;
}

void PressDialogButton(HWND box, int id) {
  if (HWND button = GetDlgItem(box, id)) {
    SendMessageA(button, BM_CLICK, 0, 0);
  } else {
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
  }
}

void EnableScreenshots(bool enabled) { gScreenshots = enabled; }

void Screenshot(const std::string& name, HWND window) {
  if (!gScreenshots) return;
  RECT rc;
  GetWindowRect(window, &rc);
  const std::string request = HostFolder() + "shot-" + name + ".request";
  const std::string done = HostFolder() + "shot-" + name + ".done";
  DeleteFileA(done.c_str());
  const std::string tmp = request + ".tmp";
  if (FILE* f = std::fopen(tmp.c_str(), "w")) {
    std::fprintf(f, "%ld %ld %ld %ld\n", rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    std::fclose(f);
  }
  MoveFileA(tmp.c_str(), request.c_str());  // the script must never see a half-written request
  for (DWORD waited = 0; waited < 20000; waited += kPoll) {
    if (GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES) return;
    Sleep(kPoll);
  }
  std::fprintf(stderr, "screenshot %s was not taken\n", name.c_str());
  EXPECT(false);
}

void PumpFor(DWORD ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(10);
  }
}

}  // namespace testhost

#include "StandInEditor.h"

#include <cstdio>
#include <cstring>

#include "TestHost.h"

namespace testhost {

namespace {
StandInEditor* gEditor = nullptr;

using SetCallbackFn = void(__stdcall*)(pallix::HostCallback);
using ExecuteFn = void(__stdcall*)();

template <typename Fn>
Fn Export(HMODULE dll, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

bool IsInstallRequest(const std::string& request) {
  return request.find("<installdirectory") != std::string::npos;
}

LRESULT CALLBACK EditorProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_ENABLE && !wp && gEditor && gEditor->onDisabled) gEditor->onDisabled(*gEditor, hwnd);
  return DefWindowProcA(hwnd, msg, wp, lp);
}
}  // namespace

StandInEditor::StandInEditor() : dll(LoadPlugin()) { gEditor = this; }

StandInEditor::~StandInEditor() {
  for (HWND w : windows) DestroyWindow(w);
  gEditor = nullptr;
  FreeLibrary(dll);
}

void StandInEditor::OpenWindows(int count) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = EditorProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "TStandInEditor";
  RegisterClassA(&wc);
  for (int i = 0; i < count; ++i) {
    HWND w = CreateWindowExA(0, "TStandInEditor", "Korvel", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10 + 40 * i,
                             10 + 40 * i, 300, 200, nullptr, nullptr, wc.hInstance, nullptr);
    EXPECT(w != nullptr);
    windows.push_back(w);
  }
  if (!windows.empty()) SetActiveWindow(windows.back());
}

bool StandInEditor::AllWindowsEnabled() const {
  for (HWND w : windows)
    if (!IsWindowEnabled(w)) return false;
  return true;
}

int StandInEditor::SceneRequests() const {
  int n = 0;
  for (const Call& c : calls) n += c.mode == 0 && !IsInstallRequest(c.request);
  return n;
}

int StandInEditor::InstallRequests() const {
  int n = 0;
  for (const Call& c : calls) n += c.mode == 0 && IsInstallRequest(c.request);
  return n;
}

void StandInEditor::Register() { Export<SetCallbackFn>(dll, "PluginSetCallback")(&Callback); }

void StandInEditor::Unregister() { Export<SetCallbackFn>(dll, "PluginSetCallback")(nullptr); }

void StandInEditor::Execute() { Export<ExecuteFn>(dll, "PluginExecute")(); }

std::int32_t __stdcall StandInEditor::Callback(pallix::HostCallbackRecord* record) {
  StandInEditor& self = *gEditor;
  const std::string request = record->Request ? record->Request : "";
  self.calls.push_back({record->Mode, request});
  if (record->Mode == 0) {
    if (self.onRequest) self.onRequest(self, request);
    if (IsInstallRequest(request)) {
      self.installAnswer_ =
          "<answer>\r\n  <installdirectory>" + self.installDirectory + "</installdirectory>\r\n</answer>";
      self.pending_ = self.installAnswer_;
    } else {
      if (self.sceneStatus != 0) return self.sceneStatus;
      self.pending_ = self.sceneDocument;
    }
    record->AnswerLength = static_cast<LONG>(self.pending_.size());
    return 0;
  }
  EXPECT(record->Answer != nullptr);
  EXPECT(record->AnswerLength == static_cast<LONG>(self.pending_.size()));
  if (record->Answer && record->AnswerLength >= 0) {
    const std::size_t n = std::min(self.pending_.size(), static_cast<std::size_t>(record->AnswerLength));
    std::memcpy(record->Answer, self.pending_.data(), n);
  }
  return 0;
}

std::string OptionsFilePath() { return HostFolder() + "Pallix.ini"; }

bool ReadFile(const std::string& path, std::string& text) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  text.clear();
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  std::fclose(f);
  return true;
}

bool WriteFile(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace testhost

// The options window with the Win32 API. The form's members hold the values while no window
// exists; while it is shown the controls hold them and are read back when it closes.
#include "OptionsFm.h"

#include <windows.h>
// after windows.h, which it needs
#include <commdlg.h>

#include <array>
#include <string>

#include "OptionsRules.h"
#include "UiResources.h"
#include "WinControls.h"

namespace pallix {

namespace {

using namespace win;

constexpr char kFormClass[] = "TOptionsForm";
constexpr char kTitle[] = "Pallix (Version 2.0)";
constexpr char kControls[] = "options window's controls";
constexpr int kClientWidth = 594;
constexpr int kClientHeight = 382;
constexpr DWORD kFormStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
constexpr COLORREF kEnabledColor = RGB(255, 255, 255);
constexpr COLORREF kDisabledColor = RGB(210, 236, 210);

// Rows of pnlMain, top to bottom.
constexpr int kRowTop = 10;
constexpr int kRowStep = 24;
constexpr int kLabelX = 7;
constexpr int kSubLabelX = 15;
constexpr int kControlX = 127;
constexpr int kPathWidth = 392;
constexpr int kBrowseX = kControlX + kPathWidth + 4;
constexpr int kBrowseWidth = 25;
constexpr int kEditHeight = 21;
constexpr int kListWidth = 210;

int RowY(int row) { return kRowTop + row * kRowStep; }

std::string WindowText(HWND hwnd) {
  const int n = GetWindowTextLengthA(hwnd);
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  const int got = GetWindowTextA(hwnd, text.data(), n + 1);
  text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return text;
}

bool IsPanel(HWND hwnd) {
  char name[32] = {};
  return hwnd && GetClassNameA(hwnd, name, sizeof name) && std::string_view(name) == "TPallixPanel";
}

}  // namespace

struct TOptionsForm::Window {
  explicit Window(TOptionsForm& owner) : form(owner) {}

  TOptionsForm& form;
  HWND hwnd = nullptr;
  HWND pnlMain = nullptr;
  HWND btnOK = nullptr;
  HWND btnCancel = nullptr;
  HWND edFileName = nullptr;
  HWND btnBrowseFile = nullptr;
  HWND edScale = nullptr;
  HWND chkExportMaterials = nullptr;
  HWND edMaterialPath = nullptr;
  HWND btnBrowseMaterialPath = nullptr;
  HWND cbAllowDynamicLighting = nullptr;
  HWND chkExportTextures = nullptr;
  HWND edTexturePath = nullptr;
  HWND btnBrowseTexturePath = nullptr;
  HWND chkExportLightmaps = nullptr;
  HWND edMaterialNamePrefix = nullptr;
  HWND cbNormalsToExport = nullptr;
  HWND lastFocus = nullptr;
  HFONT font = nullptr;
  HBITMAP imgTop = nullptr;
  HBRUSH enabledBrush = nullptr;
  HBRUSH disabledBrush = nullptr;
  std::vector<HWND> disabledOthers;

  bool Exists() const { return hwnd != nullptr; }

  // Creation and teardown.
  void Create();
  void Destroy();
  HWND AddControl(const char* cls, const char* text, DWORD style, int x, int y, int w, int h, int id);
  HWND AddLabel(const char* text, int x, int row);
  HWND AddPanel(HWND parent, const char* caption, int x, int y, int w, int h, int id,
                void (Window::*click)());
  void WriteControls();
  void ReadControls();
  void ApplyEditEnabled(HWND edit, bool enabled);
  void RunModalLoop();
  void DisableOtherWindows();
  void EnableOtherWindows();

  // Handlers.
  bool FormKeyPress(WPARAM key);
  void btnOKClick();
  void btnCancelClick();
  void btnBrowseFileClick() { BrowseFile(); }
  void btnBrowseMaterialPathClick();
  void btnBrowseTexturePathClick();
  bool ValidateInput();
  void BrowseFile();
  void BrowseRelativeFolder(const char* title, HWND edit, std::string& value);
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static BOOL CALLBACK DisableOne(HWND other, LPARAM self);
};

// ----------------------------------------------------------------------------------------------
// The form's own operations (shared header).

TOptionsForm::TOptionsForm() : window_(std::make_unique<Window>(*this)) { FormCreate(); }

TOptionsForm::~TOptionsForm() {
  if (window_ && window_->Exists()) window_->Destroy();
}

void TOptionsForm::FormCreate() {
  edScale.assign(1, '1');  // not = "1": g++ 12 warns falsely (-Wrestrict) on that assignment
  SetExportMaterials(true);
  SetExportTextures(true);
  SetExportLightmaps(true);
}

void TOptionsForm::SetExportMaterials(bool checked) {
  exportMaterials_ = checked;
  if (window_ && window_->Exists())
    SendMessageA(window_->chkExportMaterials, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  chkExportMaterialsClick();
}

void TOptionsForm::SetExportTextures(bool checked) {
  exportTextures_ = checked;
  if (window_ && window_->Exists())
    SendMessageA(window_->chkExportTextures, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  chkExportTexturesClick();
}

void TOptionsForm::SetExportLightmaps(bool checked) {
  exportLightmaps_ = checked;
  if (window_ && window_->Exists())
    SendMessageA(window_->chkExportLightmaps, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TOptionsForm::chkExportMaterialsClick() { SetEditEnabled(TPathEdit::Material, exportMaterials_); }

void TOptionsForm::chkExportTexturesClick() { SetEditEnabled(TPathEdit::Texture, exportTextures_); }

void TOptionsForm::SetEditEnabled(TPathEdit edit, bool enabled) {
  (edit == TPathEdit::Material ? materialPathEnabled_ : texturePathEnabled_) = enabled;
  if (window_ && window_->Exists())
    window_->ApplyEditEnabled(edit == TPathEdit::Material ? window_->edMaterialPath : window_->edTexturePath,
                              enabled);
}

bool TOptionsForm::ShowModal() {
  ModalResult = TModalResult::None;
  ForgetKeptException();
  // The window goes, and the host's windows come back, on every way out.
  struct Closer {
    Window& window;
    ~Closer() { window.Destroy(); }
  } closer{*window_};
  window_->Create();
  window_->RunModalLoop();
  if (!ExceptionKept()) window_->ReadControls();
  window_->Destroy();
  // What a handler raised ends the run now that the window is gone.
  RethrowKeptException();
  if (ModalResult == TModalResult::None) ModalResult = TModalResult::Cancel;
  return ModalResult == TModalResult::OK;
}

// ----------------------------------------------------------------------------------------------
// Window construction.

HWND TOptionsForm::Window::AddControl(const char* cls, const char* text, DWORD style, int x, int y, int w,
                                      int h, int id) {
  HWND control =
      CreateChecked(kControls, 0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, pnlMain, id);
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

HWND TOptionsForm::Window::AddLabel(const char* text, int x, int row) {
  return AddControl("STATIC", text, SS_LEFTNOWORDWRAP | SS_NOPREFIX, x, RowY(row) + 3, kControlX - x - 2, 15,
                    idFirstLabel + row);
}

HWND TOptionsForm::Window::AddPanel(HWND parent, const char* caption, int x, int y, int w, int h, int id,
                                    void (Window::*click)()) {
  TPanelInfo info;
  info.caption = caption;
  info.onClick = [this, click] { (this->*click)(); };
  HWND panel = CreatePanel(kControls, parent, info, x, y, w, h, WS_TABSTOP, id);
  SendMessageA(panel, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return panel;
}

void TOptionsForm::Window::Create() {
  if (Exists()) return;
  RegisterPanelClass();
  RegisterFormClass(kFormClass, Proc);
  font = CreateFormFont();
  enabledBrush = CreateSolidBrush(kEnabledColor);
  disabledBrush = CreateSolidBrush(kDisabledColor);
  imgTop = static_cast<HBITMAP>(LoadImageA(PluginInstance(), MAKEINTRESOURCEA(PALLIX_BANNER_BITMAP),
                                           IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));

  const SIZE size = WindowSizeForClient(kFormStyle, kFormExStyle, kClientWidth, kClientHeight);
  const int x = (GetSystemMetrics(SM_CXSCREEN) - size.cx) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - size.cy) / 2;
  // Owned by the host's active window so it stays above the editor while it is modal.
  hwnd = CreateChecked("options window", kFormExStyle, kFormClass, kTitle, kFormStyle, x, y, size.cx, size.cy,
                       GetActiveWindow(), 0, this);

  // Tab order follows creation order: OK, Cancel, then the rows of pnlMain.
  btnOK = AddPanel(hwnd, "OK", 431, 352, 75, 25, idOK, &Window::btnOKClick);
  btnCancel = AddPanel(hwnd, "Cancel", 511, 352, 75, 25, idCancel, &Window::btnCancelClick);
  TPanelInfo mainInfo;
  pnlMain = CreatePanel(kControls, hwnd, mainInfo, 4, 80, 585, 265, WS_CLIPSIBLINGS, idMain);
  SetWindowLongPtrA(pnlMain, GWL_EXSTYLE, GetWindowLongPtrA(pnlMain, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);

  const DWORD edit = WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;
  const DWORD list = WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
  const DWORD check = WS_TABSTOP | BS_AUTOCHECKBOX;

  AddLabel("Filename", kLabelX, 0);
  edFileName = AddControl("EDIT", "", edit, kControlX, RowY(0), kPathWidth, kEditHeight, idFileName);
  btnBrowseFile = AddPanel(pnlMain, "...", kBrowseX, RowY(0), kBrowseWidth, kEditHeight, idBrowseFile,
                           &Window::btnBrowseFileClick);
  AddLabel("Scale Factor", kLabelX, 1);
  edScale = AddControl("EDIT", "", edit, kControlX, RowY(1), 65, kEditHeight, idScale);
  AddLabel("Materials", kLabelX, 2);
  chkExportMaterials =
      AddControl("BUTTON", "Export", check, kControlX, RowY(2) + 2, 97, 17, idExportMaterials);
  AddLabel("Path (relative)", kSubLabelX, 3);
  edMaterialPath = AddControl("EDIT", "", edit, kControlX, RowY(3), kPathWidth, kEditHeight, idMaterialPath);
  btnBrowseMaterialPath = AddPanel(pnlMain, "...", kBrowseX, RowY(3), kBrowseWidth, kEditHeight,
                                   idBrowseMaterialPath, &Window::btnBrowseMaterialPathClick);
  AddLabel("Allow dynamic lighting", kSubLabelX, 4);
  cbAllowDynamicLighting =
      AddControl("COMBOBOX", "", list, kControlX, RowY(4), kListWidth, 120, idAllowDynamicLighting);
  AddLabel("Textures", kLabelX, 5);
  chkExportTextures = AddControl("BUTTON", "Export", check, kControlX, RowY(5) + 2, 97, 17, idExportTextures);
  AddLabel("Path (relative)", kSubLabelX, 6);
  edTexturePath = AddControl("EDIT", "", edit, kControlX, RowY(6), kPathWidth, kEditHeight, idTexturePath);
  btnBrowseTexturePath = AddPanel(pnlMain, "...", kBrowseX, RowY(6), kBrowseWidth, kEditHeight,
                                  idBrowseTexturePath, &Window::btnBrowseTexturePathClick);
  AddLabel("Lightmap Data", kLabelX, 7);
  chkExportLightmaps =
      AddControl("BUTTON", "Export", check, kControlX, RowY(7) + 2, 97, 17, idExportLightmaps);
  AddLabel("Material Name Prefix", kLabelX, 8);
  edMaterialNamePrefix =
      AddControl("EDIT", "", edit, kControlX, RowY(8), kListWidth, kEditHeight, idMaterialNamePrefix);
  AddLabel("Normals to Export", kLabelX, 9);
  cbNormalsToExport =
      AddControl("COMBOBOX", "", list, kControlX, RowY(9), kListWidth, 120, idNormalsToExport);

  for (const char* item : {"for all materials", "for non-lightmapped materials only"})
    SendMessageA(cbAllowDynamicLighting, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  for (const char* item : {"None", "Face Normals", "Smooth Normals"})
    SendMessageA(cbNormalsToExport, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));

  // FormCreate turns these three panels into buttons, in this order.
  MakePanelButton(btnBrowseFile);
  MakePanelButton(btnOK);
  MakePanelButton(btnCancel);

  WriteControls();
}

void TOptionsForm::Window::WriteControls() {
  SetWindowTextA(edFileName, form.edFileName.c_str());
  SetWindowTextA(edScale, form.edScale.c_str());
  SetWindowTextA(edMaterialPath, form.edMaterialPath.c_str());
  SetWindowTextA(edTexturePath, form.edTexturePath.c_str());
  SetWindowTextA(edMaterialNamePrefix, form.edMaterialNamePrefix.c_str());
  SendMessageA(cbAllowDynamicLighting, CB_SETCURSEL, static_cast<WPARAM>(form.cbAllowDynamicLighting), 0);
  SendMessageA(cbNormalsToExport, CB_SETCURSEL, static_cast<WPARAM>(form.cbNormalsToExport), 0);
  SendMessageA(chkExportMaterials, BM_SETCHECK, form.exportMaterials_ ? BST_CHECKED : BST_UNCHECKED, 0);
  SendMessageA(chkExportTextures, BM_SETCHECK, form.exportTextures_ ? BST_CHECKED : BST_UNCHECKED, 0);
  SendMessageA(chkExportLightmaps, BM_SETCHECK, form.exportLightmaps_ ? BST_CHECKED : BST_UNCHECKED, 0);
  ApplyEditEnabled(edMaterialPath, form.materialPathEnabled_);
  ApplyEditEnabled(edTexturePath, form.texturePathEnabled_);
}

void TOptionsForm::Window::ReadControls() {
  if (!Exists()) return;
  form.edFileName = WindowText(edFileName);
  form.edScale = WindowText(edScale);
  form.edMaterialPath = WindowText(edMaterialPath);
  form.edTexturePath = WindowText(edTexturePath);
  form.edMaterialNamePrefix = WindowText(edMaterialNamePrefix);
  form.cbAllowDynamicLighting =
      static_cast<std::int32_t>(SendMessageA(cbAllowDynamicLighting, CB_GETCURSEL, 0, 0));
  form.cbNormalsToExport = static_cast<std::int32_t>(SendMessageA(cbNormalsToExport, CB_GETCURSEL, 0, 0));
  form.exportMaterials_ = SendMessageA(chkExportMaterials, BM_GETCHECK, 0, 0) == BST_CHECKED;
  form.exportTextures_ = SendMessageA(chkExportTextures, BM_GETCHECK, 0, 0) == BST_CHECKED;
  form.exportLightmaps_ = SendMessageA(chkExportLightmaps, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TOptionsForm::Window::ApplyEditEnabled(HWND edit, bool enabled) {
  EnableWindow(edit, enabled ? TRUE : FALSE);
  InvalidateRect(edit, nullptr, TRUE);
}

void TOptionsForm::Window::Destroy() {
  EnableOtherWindows();
  if (hwnd) DestroyWindow(hwnd);
  hwnd = nullptr;
  pnlMain = btnOK = btnCancel = edFileName = btnBrowseFile = edScale = nullptr;
  chkExportMaterials = edMaterialPath = btnBrowseMaterialPath = cbAllowDynamicLighting = nullptr;
  chkExportTextures = edTexturePath = btnBrowseTexturePath = chkExportLightmaps = nullptr;
  edMaterialNamePrefix = cbNormalsToExport = lastFocus = nullptr;
  for (HGDIOBJ obj : std::array<HGDIOBJ, 4>{font, imgTop, enabledBrush, disabledBrush})
    if (obj) DeleteObject(obj);
  font = nullptr;
  imgTop = nullptr;
  enabledBrush = disabledBrush = nullptr;
  // Nothing of the library may stay registered once the window is gone: the host can unload it.
  UnregisterClassA(kFormClass, PluginInstance());
  UnregisterPanelClass();
}

// ----------------------------------------------------------------------------------------------
// Modal loop and keyboard.

void TOptionsForm::Window::DisableOtherWindows() {
  EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(this));
}

BOOL CALLBACK TOptionsForm::Window::DisableOne(HWND other, LPARAM self) {
  return Guard<BOOL>(FALSE, [&] {
    auto* w = reinterpret_cast<Window*>(self);
    if (other != w->hwnd && IsWindowVisible(other) && IsWindowEnabled(other)) {
      // Room first: a window is only disabled once it is sure to be enabled again.
      w->disabledOthers.reserve(w->disabledOthers.size() + 1);
      EnableWindow(other, FALSE);
      w->disabledOthers.push_back(other);
    }
    return TRUE;
  });
}

void TOptionsForm::Window::EnableOtherWindows() {
  for (HWND other : disabledOthers)
    if (IsWindow(other)) EnableWindow(other, TRUE);
  disabledOthers.clear();
}

void TOptionsForm::Window::RunModalLoop() {
  DisableOtherWindows();
  if (ExceptionKept()) return;
  ShowWindow(hwnd, SW_SHOW);
  SetForegroundWindow(hwnd);
  SetFocus(btnOK);
  UpdateWindow(hwnd);
  MSG msg;
  while (form.ModalResult == TModalResult::None && !ExceptionKept()) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      // The host is quitting: close as cancelled and leave the quit for its own loop.
      PostQuitMessage(static_cast<int>(msg.wParam));
      form.ModalResult = TModalResult::Cancel;
      break;
    }
    if (got < 0) break;
    const bool ours = msg.hwnd == hwnd || IsChild(hwnd, msg.hwnd);
    if (ours) {
      // Key preview: the form sees typed characters before the focused control.
      if (msg.message == WM_CHAR && FormKeyPress(msg.wParam)) continue;
      // Enter and Escape go to the control itself: no default button, no cancel key.
      const bool plainKey = msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE);
      if (!plainKey && IsDialogMessageA(hwnd, &msg)) continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  EnableOtherWindows();
}

bool TOptionsForm::Window::FormKeyPress(WPARAM key) {
  if (key != 13 && key != 32) return false;
  HWND focused = GetFocus();
  if (!IsPanel(focused) || (focused != hwnd && !IsChild(hwnd, focused))) return false;
  TPanelInfo* info = PanelInfo(focused);
  if (!info || info->tag != PanelButtonTag || !info->onClick) return false;
  const std::function<void()> click = info->onClick;
  click();
  return true;
}

// ----------------------------------------------------------------------------------------------
// Handlers.

void TOptionsForm::Window::btnOKClick() {
  ReadControls();
  if (ValidateInput()) form.ModalResult = TModalResult::OK;
}

void TOptionsForm::Window::btnCancelClick() { form.ModalResult = TModalResult::Cancel; }

bool TOptionsForm::Window::ValidateInput() {
  const std::vector<std::string> problems = InputProblems(form.edFileName, form.edScale);
  if (problems.empty()) return true;
  MessageBoxA(hwnd, InputErrorText(problems).c_str(), kInputErrorTitle, MB_OK);
  return false;
}

void TOptionsForm::Window::BrowseFile() {
  ReadControls();
  const std::string folder = FileDialogFolder(form.edFileName);
  char file[MAX_PATH * 4] = {};
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = hwnd;
  ofn.lpstrFilter = "Ogre mesh file (*.mesh, *.xml)\0*.mesh;*.xml\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.Flags = OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_EXPLORER | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameA(&ofn)) return;
  form.edFileName = file;
  SetWindowTextA(edFileName, file);
  const auto end = static_cast<LPARAM>(form.edFileName.size());
  SendMessageA(edFileName, EM_SETSEL, static_cast<WPARAM>(end), end);
  if (!form.edMaterialNamePrefix.empty()) {
    form.edMaterialNamePrefix = PrefixAfterFileChoice(form.edMaterialNamePrefix, form.edFileName);
    SetWindowTextA(edMaterialNamePrefix, form.edMaterialNamePrefix.c_str());
  }
}

void TOptionsForm::Window::BrowseRelativeFolder(const char* title, HWND edit, std::string& value) {
  ReadControls();
  const std::string base = BrowseBaseFolder(form.edFileName);
  const std::string chosen = BrowseForFolder(title, base, hwnd);
  value = RelativeFolder(base, chosen);
  SetWindowTextA(edit, value.c_str());
}

void TOptionsForm::Window::btnBrowseMaterialPathClick() {
  BrowseRelativeFolder("Please select a (relative) material path", edMaterialPath, form.edMaterialPath);
}

void TOptionsForm::Window::btnBrowseTexturePathClick() {
  BrowseRelativeFolder("Please select a (relative) texture path", edTexturePath, form.edTexturePath);
}

// ----------------------------------------------------------------------------------------------
// Window procedure.

LRESULT CALLBACK TOptionsForm::Window::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<Window*>(reinterpret_cast<const CREATESTRUCTA*>(lp)->lpCreateParams);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self && self->hwnd == hwnd) return Guard<LRESULT>(0, [&] { return self->HandleMessage(msg, wp, lp); });
  return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT TOptionsForm::Window::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      if (imgTop) {
        HDC mem = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(mem, imgTop);
        BitBlt(dc, 0, 0, kClientWidth, 74, mem, 0, 0, SRCCOPY);
        SelectObject(mem, old);
        DeleteDC(mem);
      }
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wp);
      if (HIWORD(wp) == BN_CLICKED) {
        if (id == idExportMaterials) {
          form.exportMaterials_ = SendMessageA(chkExportMaterials, BM_GETCHECK, 0, 0) == BST_CHECKED;
          form.chkExportMaterialsClick();
        } else if (id == idExportTextures) {
          form.exportTextures_ = SendMessageA(chkExportTextures, BM_GETCHECK, 0, 0) == BST_CHECKED;
          form.chkExportTexturesClick();
        } else if (id == idExportLightmaps) {
          form.exportLightmaps_ = SendMessageA(chkExportLightmaps, BM_GETCHECK, 0, 0) == BST_CHECKED;
        }
      }
      // IDOK and IDCANCEL from the dialog manager are ignored: only the panels close the window.
      return 0;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      const auto control = reinterpret_cast<HWND>(lp);
      char name[16] = {};
      GetClassNameA(control, name, sizeof name);
      if (lstrcmpiA(name, "Edit") != 0) break;
      const bool enabled = IsWindowEnabled(control) != FALSE;
      const auto dc = reinterpret_cast<HDC>(wp);
      SetBkColor(dc, enabled ? kEnabledColor : kDisabledColor);
      SetTextColor(dc, GetSysColor(enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
      return reinterpret_cast<LRESULT>(enabled ? enabledBrush : disabledBrush);
    }
    case WM_ACTIVATE:
      // Give the focus back to the control that had it (after a message box, for example).
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND focused = GetFocus();
        if (focused && IsChild(hwnd, focused)) lastFocus = focused;
      } else if (lastFocus && IsWindow(lastFocus)) {
        SetFocus(lastFocus);
        return 0;
      }
      break;
    case WM_CLOSE:
      form.ModalResult = TModalResult::Cancel;
      return 0;
    default:
      break;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace pallix

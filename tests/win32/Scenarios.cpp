// The stand-in editor's scenarios: each one runs PluginExecute while a driver thread works the
// plug-in's windows like a user, then checks what the editor and the file system saw.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FaultInjection.h"
#include "Scenarios.h"
#include "StandInEditor.h"
#include "TestHost.h"
#include "WinControls.h"
#include "WindowDriver.h"

namespace testhost {

namespace {

using namespace pallix::win;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kPaleGreen = RGB(210, 236, 210);
constexpr char kErrorIntro[] =
    "Some input was either missing or incorrect. Please correct the issues specified below:\r\n\r\n";

// What the options window shows.
struct Shown {
  std::string fileName, scale, materialPath, texturePath, prefix;
  bool materials = false, textures = false, lightmaps = false;
  int lighting = -1, normals = -1;
};

Shown ReadForm(HWND form) {
  Shown s;
  s.fileName = Text(Control(form, idFileName));
  s.scale = Text(Control(form, idScale));
  s.materialPath = Text(Control(form, idMaterialPath));
  s.texturePath = Text(Control(form, idTexturePath));
  s.prefix = Text(Control(form, idMaterialNamePrefix));
  s.materials = Checked(Control(form, idExportMaterials));
  s.textures = Checked(Control(form, idExportTextures));
  s.lightmaps = Checked(Control(form, idExportLightmaps));
  s.lighting = Selected(Control(form, idAllowDynamicLighting));
  s.normals = Selected(Control(form, idNormalsToExport));
  return s;
}

void ExpectShown(const Shown& got, const Shown& want) {
  auto text = [](const char* what, const std::string& g, const std::string& w) {
    if (g != w) std::fprintf(stderr, "%s shows \"%s\", expected \"%s\"\n", what, g.c_str(), w.c_str());
    EXPECT(g == w);
  };
  text("edFileName", got.fileName, want.fileName);
  text("edScale", got.scale, want.scale);
  text("edMaterialPath", got.materialPath, want.materialPath);
  text("edTexturePath", got.texturePath, want.texturePath);
  text("edMaterialNamePrefix", got.prefix, want.prefix);
  EXPECT(got.materials == want.materials);
  EXPECT(got.textures == want.textures);
  EXPECT(got.lightmaps == want.lightmaps);
  EXPECT(got.lighting == want.lighting);
  EXPECT(got.normals == want.normals);
}

Shown Defaults() {
  Shown s;
  s.scale = "1";
  s.prefix = "Test/";
  s.materials = s.textures = s.lightmaps = true;
  s.lighting = 1;
  s.normals = 1;
  return s;
}

// Rectangle of a control in its form's client coordinates.
RECT ClientRectIn(HWND form, HWND control) {
  RECT rc;
  GetWindowRect(control, &rc);
  MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

void ExpectRect(HWND form, HWND control, int x, int y, int w, int h, const char* what) {
  const RECT rc = ClientRectIn(form, control);
  const bool ok = rc.left == x && rc.top == y && rc.right - rc.left == w && rc.bottom - rc.top == h;
  if (!ok)
    std::fprintf(stderr, "%s at (%ld,%ld) %ldx%ld, expected (%d,%d) %dx%d\n", what, rc.left, rc.top,
                 rc.right - rc.left, rc.bottom - rc.top, x, y, w, h);
  EXPECT(ok);
}

void ExpectClientSize(HWND window, int w, int h) {
  RECT rc;
  GetClientRect(window, &rc);
  if (rc.right != w || rc.bottom != h)
    std::fprintf(stderr, "client %ldx%ld, expected %dx%d\n", rc.right, rc.bottom, w, h);
  EXPECT(rc.right == w && rc.bottom == h);
}

void ExpectFormFont(HWND control) {
  auto font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
  LOGFONTA lf{};
  EXPECT(font && GetObjectA(font, sizeof lf, &lf) == sizeof lf);
  if (std::strcmp(lf.lfFaceName, "MS Sans Serif") != 0) std::fprintf(stderr, "font \"%s\"\n", lf.lfFaceName);
  EXPECT(std::strcmp(lf.lfFaceName, "MS Sans Serif") == 0);
  HDC screen = GetDC(nullptr);
  EXPECT(lf.lfHeight == -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72));
  ReleaseDC(nullptr, screen);
}

void ExpectPressedLook(HWND panel, bool lowered) {
  const COLORREF up = PixelAt(panel, 0, 0);
  PostMessageA(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  Sleep(300);
  const COLORREF down = PixelAt(panel, 0, 0);
  PostMessageA(panel, WM_LBUTTONUP, 0, MAKELPARAM(-50, -50));
  Sleep(300);
  EXPECT((down != up) == lowered);
  EXPECT(PixelAt(panel, 0, 0) == up);
}

// Waits (bounded) until `control` has the focus.
bool WaitFocusOn(HWND control) {
  for (int i = 0; i < 100 && Focused() != control; ++i) Sleep(20);
  return Focused() == control;
}

// Waits until the focus moves away from `from`; returns the new focus.
HWND WaitFocusChange(HWND from) {
  for (int i = 0; i < 100; ++i) {
    HWND now = Focused();
    if (now && now != from) return now;
    Sleep(20);
  }
  return Focused();
}

void TypeInto(HWND form, const Typed& t) {
  TypeText(Control(form, idFileName), t.fileName);
  TypeText(Control(form, idScale), t.scale);
  // Paths first: a path box is disabled while its check box is off.
  TypeText(Control(form, idMaterialPath), t.materialPath);
  TypeText(Control(form, idTexturePath), t.texturePath);
  SetChecked(Control(form, idExportMaterials), t.materials);
  SetChecked(Control(form, idExportTextures), t.textures);
  SetChecked(Control(form, idExportLightmaps), t.lightmaps);
  TypeText(Control(form, idMaterialNamePrefix), t.prefix);
  Select(Control(form, idAllowDynamicLighting), t.lighting);
  Select(Control(form, idNormalsToExport), t.normals);
}

Shown AsShown(const Typed& t) {
  Shown s;
  s.fileName = t.fileName;
  s.scale = t.scale;
  s.materialPath = t.materialPath;
  s.texturePath = t.texturePath;
  s.prefix = t.prefix;
  s.materials = t.materials;
  s.textures = t.textures;
  s.lightmaps = t.lightmaps;
  s.lighting = t.lighting;
  s.normals = t.normals;
  return s;
}

// The options file as key=value lines of section [options], in file order.
std::vector<std::pair<std::string, std::string>> IniEntries(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> entries;
  std::size_t pos = 0;
  bool inOptions = false;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    pos = end + 1;
    if (line.empty()) continue;
    if (line[0] == '[') {
      inOptions = lstrcmpiA(line.c_str(), "[options]") == 0;
      continue;
    }
    const std::size_t eq = line.find('=');
    if (inOptions && eq != std::string::npos) entries.emplace_back(line.substr(0, eq), line.substr(eq + 1));
  }
  return entries;
}

void ExpectSavedOptions(const Typed& t) {
  std::string text;
  EXPECT(ReadFile(OptionsFilePath(), text));
  const auto entries = IniEntries(text);
  const auto want = OptionEntries(t);
  if (entries != want) std::fprintf(stderr, "options file:\n%s\n", text.c_str());
  EXPECT(entries == want);
}

// ---------------------------------------------------------------------------------------------

struct FirstRun {
  bool shots = false;
};

void DriveFirstRun(FirstRun& run) {
  HWND form = WaitForWindow(kOptionsClass, kOptionsTitle);
  EXPECT(form != nullptr);
  if (!form) return Rescue();

  ExpectShown(ReadForm(form), Defaults());
  EXPECT(IsWindowEnabled(Control(form, idMaterialPath)));
  EXPECT(IsWindowEnabled(Control(form, idTexturePath)));
  EXPECT(Text(Control(form, idAllowDynamicLighting)) == "for non-lightmapped materials only");
  EXPECT(Text(Control(form, idNormalsToExport)) == "Face Normals");
  EXPECT(SendMessageA(Control(form, idNormalsToExport), CB_GETCOUNT, 0, 0) == 3);
  EXPECT(SendMessageA(Control(form, idAllowDynamicLighting), CB_GETCOUNT, 0, 0) == 2);

  // Layout.
  ExpectClientSize(form, 594, 382);
  RECT outer;
  GetWindowRect(form, &outer);
  const int dx = (outer.left + outer.right) - GetSystemMetrics(SM_CXSCREEN);
  const int dy = (outer.top + outer.bottom) - GetSystemMetrics(SM_CYSCREEN);
  EXPECT(dx >= -1 && dx <= 1 && dy >= -1 && dy <= 1);  // centred
  ExpectRect(form, Control(form, idMain), 4, 80, 585, 265, "pnlMain");
  ExpectRect(form, Control(form, idOK), 431, 352, 75, 25, "btnOK");
  ExpectRect(form, Control(form, idCancel), 511, 352, 75, 25, "btnCancel");
  EXPECT(Text(Control(form, idOK)) == "OK");
  EXPECT(Text(Control(form, idCancel)) == "Cancel");
  EXPECT(Text(Control(form, idBrowseFile)) == "...");
  const RECT fileName = ClientRectIn(Control(form, idMain), Control(form, idFileName));
  EXPECT(fileName.left == 127);
  const RECT firstLabel = ClientRectIn(Control(form, idMain), Control(form, idFirstLabel));
  EXPECT(firstLabel.left == 7);
  EXPECT(Text(Control(form, idFirstLabel)) == "Filename");
  // Flat edit boxes: a plain border, no sunken 3-D edge.
  EXPECT((GetWindowLongA(Control(form, idScale), GWL_EXSTYLE) & WS_EX_CLIENTEDGE) == 0);
  ExpectFormFont(Control(form, idScale));
  // The drop-down lists take no typed text.
  EXPECT((GetWindowLongA(Control(form, idNormalsToExport), GWL_STYLE) & 3) == CBS_DROPDOWNLIST);
  Screenshot("options-window", form);

  // The focus starts on OK; Tab walks OK, Cancel, then the rows.
  EXPECT(WaitFocusOn(Control(form, idOK)));
  const int order[] = {idCancel,
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
                       idOK};
  for (int id : order) {
    HWND before = Focused();
    PressKey(VK_TAB);
    HWND now = WaitFocusChange(before);
    if (GetDlgCtrlID(now) != id)
      std::fprintf(stderr, "Tab reached control %d, expected %d\n", GetDlgCtrlID(now), id);
    EXPECT(GetDlgCtrlID(now) == id);

    // Keys on the panels: only the tagged ones act like buttons.
    if (id == idBrowseMaterialPath || id == idBrowseTexturePath) {
      PressKey(VK_RETURN);
      PressKey(VK_SPACE);
      EXPECT(WaitForOwnedDialog(form, 600) == nullptr);
    } else if (id == idBrowseFile) {
      PressKey(VK_RETURN);
      HWND dialog = WaitForOwnedDialog(form, 10000);
      EXPECT(dialog != nullptr);
      if (dialog) {
        PressDialogButton(dialog, IDCANCEL);
        EXPECT(WaitGone(dialog));
        Sleep(200);
      }
      EXPECT(Text(Control(form, idFileName)).empty());  // a cancelled dialog changes nothing
      EXPECT(Focused() == Control(form, idBrowseFile));
    }
  }

  // Escape has no effect.
  PressKey(VK_ESCAPE);
  Sleep(400);
  EXPECT(IsWindowVisible(form));

  // The path boxes follow their check boxes, colour included; the browse panels stay usable.
  HWND materialPath = Control(form, idMaterialPath);
  EXPECT(PixelAt(materialPath, 4, 8) == kWhite);
  SetChecked(Control(form, idExportMaterials), false);
  Sleep(300);
  EXPECT(!IsWindowEnabled(materialPath));
  EXPECT(PixelAt(materialPath, 4, 8) == kPaleGreen);
  EXPECT(IsWindowEnabled(Control(form, idBrowseMaterialPath)));
  EXPECT(IsWindowEnabled(Control(form, idAllowDynamicLighting)));
  EXPECT(IsWindowEnabled(Control(form, idTexturePath)));
  SetChecked(Control(form, idExportTextures), false);
  Sleep(300);
  EXPECT(PixelAt(Control(form, idTexturePath), 4, 8) == kPaleGreen);
  SetChecked(Control(form, idExportMaterials), true);
  Sleep(300);
  EXPECT(IsWindowEnabled(materialPath));
  EXPECT(PixelAt(materialPath, 4, 8) == kWhite);

  // Only the panel buttons look pressed while the left button is down; releasing it outside
  // the panel does not click.
  ExpectPressedLook(Control(form, idOK), true);
  ExpectPressedLook(Control(form, idBrowseFile), true);
  ExpectPressedLook(Control(form, idBrowseMaterialPath), false);
  EXPECT(IsWindowVisible(form));
  EXPECT(WaitForOwnedDialog(form, 300) == nullptr);

  // Space on a panel button presses it too: Cancel.
  for (int i = 0; i < 20 && Focused() != Control(form, idCancel); ++i) {
    HWND before = Focused();
    PressKey(VK_TAB);
    WaitFocusChange(before);
  }
  EXPECT(Focused() == Control(form, idCancel));
  PressKey(VK_SPACE);
  EXPECT(WaitGone(form));
  if (IsWindow(form)) Rescue();
  (void)run;
}

}  // namespace

int RunFirstRun(int, char** argv) {
  (void)argv;
  DeleteFileA(OptionsFilePath().c_str());
  StandInEditor editor;
  editor.Register();
  FirstRun run;
  ExecuteWithDriver(editor, run, DriveFirstRun);
  EXPECT(editor.calls.empty());
  EXPECT(!FileExists(OptionsFilePath()));  // Cancel writes nothing
  return 0;
}

// ---------------------------------------------------------------------------------------------
// The file dialog and the folder browser.

namespace {

constexpr int kFileNameEdit = 0x480;   // edt1 of the explorer-style file dialog
constexpr int kFileNameCombo = 0x47c;  // cmb13, used instead by newer dialogs
constexpr int kFileTypeCombo = 0x470;  // cmb1

HWND DialogFileNameBox(HWND dialog) {
  if (HWND edit = Control(dialog, kFileNameEdit)) return edit;
  if (HWND combo = Control(dialog, kFileNameCombo)) {
    if (HWND inner = FindWindowExA(combo, nullptr, "Edit", nullptr)) return inner;
    return combo;
  }
  return nullptr;
}

// Chooses `name` in the save dialog that the file row's "..." panel opens.
bool ChooseInFileDialog(HWND form, const std::string& name, std::string* filter) {
  Click(Control(form, idBrowseFile));
  HWND dialog = WaitForOwnedDialog(form, 10000);
  EXPECT(dialog != nullptr);
  if (!dialog) return false;
  if (filter) *filter = Text(Control(dialog, kFileTypeCombo));
  HWND box = DialogFileNameBox(dialog);
  EXPECT(box != nullptr);
  if (box) SendMessageA(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
  PressDialogButton(dialog, IDOK);
  // No overwrite prompt: the dialog simply closes.
  const bool gone = WaitGone(dialog, 10000);
  EXPECT(gone);
  EXPECT(WaitForOwnedDialog(form, 300) == nullptr);
  Sleep(200);
  return gone;
}

// Opens a folder browser from a path row's panel; presses OK or Cancel in it.
void BrowseFolder(HWND form, int panel, const char* title, bool ok) {
  Click(Control(form, panel));
  HWND browser = WaitForOwnedDialog(form, 10000);
  EXPECT(browser != nullptr);
  if (!browser) return;
  Sleep(500);  // the browser selects the initial folder once it has initialised
  const std::string text = DialogText(browser);
  if (text.find(title) == std::string::npos) std::fprintf(stderr, "browser shows \"%s\"\n", text.c_str());
  EXPECT(text.find(title) != std::string::npos);
  PressDialogButton(browser, ok ? IDOK : IDCANCEL);
  EXPECT(WaitGone(browser, 10000));
  Sleep(200);
}

struct BrowseRun {};

void DriveBrowse(BrowseRun&) {
  HWND form = WaitForWindow(kOptionsClass, kOptionsTitle);
  EXPECT(form != nullptr);
  if (!form) return Rescue();
  const std::string folder = HostFolder();
  WriteFile(folder + "existing.mesh", "x");

  // A chosen file replaces the name and, as the prefix is not empty, the prefix.
  std::string filter;
  ChooseInFileDialog(form, "existing.mesh", &filter);
  EXPECT(filter == "Ogre mesh file (*.mesh, *.xml)");
  const std::string chosen = Text(Control(form, idFileName));
  if (lstrcmpiA(chosen.c_str(), (folder + "existing.mesh").c_str()) != 0)
    std::fprintf(stderr, "chosen file \"%s\"\n", chosen.c_str());
  EXPECT(lstrcmpiA(chosen.c_str(), (folder + "existing.mesh").c_str()) == 0);
  EXPECT(Text(Control(form, idMaterialNamePrefix)) == "existing/");
  // The text cursor stands at the end of the name.
  DWORD from = 0, to = 0;
  SendMessageA(Control(form, idFileName), EM_GETSEL, reinterpret_cast<WPARAM>(&from),
               reinterpret_cast<LPARAM>(&to));
  EXPECT(from == chosen.size() && to == chosen.size());

  // An empty prefix stays empty.
  TypeText(Control(form, idMaterialNamePrefix), "");
  ChooseInFileDialog(form, "ship.xml", nullptr);
  EXPECT(Text(Control(form, idMaterialNamePrefix)).empty());
  EXPECT(lstrcmpiA(Text(Control(form, idFileName)).c_str(), (folder + "ship.xml").c_str()) == 0);

  // The browser opens on the output file's folder; OK on it stores that folder relative to
  // itself, a cancelled browser empties the box.
  // (On drive C: of the prefix: Wine's browser cannot select folders deep in its Z: drive.)
  CreateDirectoryA("C:\\pallixtest", nullptr);
  TypeText(Control(form, idFileName), "C:\\pallixtest\\out.mesh");
  BrowseFolder(form, idBrowseMaterialPath, "Please select a (relative) material path", true);
  const std::string stored = Text(Control(form, idMaterialPath));
  if (stored != "..\\pallixtest") std::fprintf(stderr, "material path \"%s\"\n", stored.c_str());
  EXPECT(stored == "..\\pallixtest");
  TypeText(Control(form, idTexturePath), "textures");
  BrowseFolder(form, idBrowseTexturePath, "Please select a (relative) texture path", false);
  EXPECT(Text(Control(form, idTexturePath)).empty());
  // Also when the file name is relative.
  TypeText(Control(form, idFileName), "pallixrel\\out.mesh");
  TypeText(Control(form, idTexturePath), "textures");
  BrowseFolder(form, idBrowseTexturePath, "Please select a (relative) texture path", false);
  if (!Text(Control(form, idTexturePath)).empty())
    std::fprintf(stderr, "texture path \"%s\"\n", Text(Control(form, idTexturePath)).c_str());
  EXPECT(Text(Control(form, idTexturePath)).empty());

  // The plain path panels have no pressed look: their bevel stays up while the button is down.
  Click(Control(form, idCancel));
  EXPECT(WaitGone(form));
  if (IsWindow(form)) Rescue();
}

// ---------------------------------------------------------------------------------------------
// OK: the export runs with what was typed.

struct ExportRun {
  Typed typed;
  bool keyboard = false;
  bool presetFile = false;  // the options file already holds `typed`
};

void DriveExport(ExportRun& run) {
  HWND form = WaitForWindow(kOptionsClass, kOptionsTitle);
  EXPECT(form != nullptr);
  if (!form) return Rescue();
  EXPECT(WaitFocusOn(Control(form, idOK)));
  if (run.presetFile) {
    ExpectShown(ReadForm(form), AsShown(run.typed));
  } else {
    ExpectShown(ReadForm(form), Defaults());
    TypeInto(form, run.typed);
  }
  if (run.keyboard) {
    // Clicking a check box took the focus: Tab back round to OK, then Enter.
    for (int i = 0; i < 20 && Focused() != Control(form, idOK); ++i) {
      HWND before = Focused();
      PressKey(VK_TAB);
      WaitFocusChange(before);
    }
    EXPECT(Focused() == Control(form, idOK));
    PressKey(VK_RETURN);
  } else {
    Click(Control(form, idOK));
  }
  EXPECT(WaitGone(form));
  if (IsWindow(form)) Rescue();
}

void DriveSecondRun(ExportRun& run) {
  HWND form = WaitForWindow(kOptionsClass, kOptionsTitle);
  EXPECT(form != nullptr);
  if (!form) return Rescue();
  ExpectShown(ReadForm(form), AsShown(run.typed));
  EXPECT(IsWindowEnabled(Control(form, idMaterialPath)) == (run.typed.materials ? TRUE : FALSE));
  EXPECT(IsWindowEnabled(Control(form, idTexturePath)) == (run.typed.textures ? TRUE : FALSE));
  Click(Control(form, idCancel));
  EXPECT(WaitGone(form));
  if (IsWindow(form)) Rescue();
}

// Checks the progress window from inside the host callback, where the run is paused.
int gShotAt = 0;
bool gHostileFloat = false;
bool gProgressSeen = false;
bool gProgressClosed = false;

void OnRequestDuringExport(StandInEditor& editor, const std::string& request) {
  // The editor's own code runs in its own floating-point state.
  if (gHostileFloat) EXPECT(CurrentFloatState() == kHostileFloat);
  const bool install = request.find("<installdirectory") != std::string::npos;
  HWND progress = FindWindowA(kProgressClass, "Progress");
  EXPECT(progress != nullptr);
  EXPECT(gProgressClosed || IsWindowVisible(progress));
  if (!progress) return;
  if (!gProgressSeen) {
    gProgressSeen = true;
    ExpectClientSize(progress, 361, 51);
    RECT outer;
    GetWindowRect(progress, &outer);
    EXPECT(outer.left == 261 && outer.top == 284);
    ExpectRect(progress, Control(progress, idProgressLabel), 6, 8, 349, 15, "ProgressLabel");
    ExpectRect(progress, Control(progress, idProgressBar), 0, 32, 361, 19, "ProgressBar1");
    EXPECT((GetWindowLongA(Control(progress, idProgressBar), GWL_STYLE) & PBS_SMOOTH) != 0);
    ExpectFormFont(Control(progress, idProgressLabel));
    EXPECT(SendMessageA(Control(progress, idProgressBar), PBM_GETRANGE, TRUE, 0) == 0);
    EXPECT(SendMessageA(Control(progress, idProgressBar), PBM_GETRANGE, FALSE, 0) == 100);
  }
  const std::string label = Text(Control(progress, idProgressLabel));
  EXPECT(label == (install ? "Copying texture files..." : "Reading Korvel Scene..."));
  if (install && editor.InstallRequests() == gShotAt) {
    PumpFor(300);
    Screenshot("progress-window", progress);
    // Its close box only hides it; the run goes on.
    SendMessageA(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT(IsWindow(progress) && !IsWindowVisible(progress));
    gProgressClosed = true;
  }
}

}  // namespace

int RunBrowse(int, char**) {
  DeleteFileA(OptionsFilePath().c_str());
  StandInEditor editor;
  editor.Register();
  BrowseRun run;
  ExecuteWithDriver(editor, run, DriveBrowse);
  EXPECT(editor.calls.empty());
  return 0;
}

int RunExport(int argc, char** argv) {
  const Args args(argc, argv);
  StandInEditor editor;
  const std::string sceneFile = args.Value("--scene");
  EXPECT(ReadFile(sceneFile, editor.sceneDocument));
  editor.installDirectory = args.Value("--install");
  ExportRun run;
  run.typed = TypedFromArgs(args);
  run.keyboard = args.Has("--keyboard");
  run.presetFile = args.Has("--preset");
  if (run.presetFile) {
    WriteOptions(run.typed);
  } else {
    DeleteFileA(OptionsFilePath().c_str());
  }

  // A callback registered earlier is replaced: only the second one may be called.
  editor.Register();
  struct Decoy {
    static std::int32_t __stdcall Call(pallix::HostCallbackRecord*) {
      std::fprintf(stderr, "the replaced callback was called\n");
      EXPECT(false);
      return 99;
    }
  };
  using SetFn = void(__stdcall*)(pallix::HostCallback);
  auto set =
      reinterpret_cast<SetFn>(reinterpret_cast<void*>(GetProcAddress(editor.dll, "PluginSetCallback")));
  set(&Decoy::Call);
  editor.Register();

  gShotAt = std::atoi(args.Value("--shot-at", "3").c_str());
  editor.onRequest = OnRequestDuringExport;
  // An editor with overflow unmasked and rounding down: the files must not change, and the
  // editor gets its state back.
  gHostileFloat = args.Has("--hostile-float");
  if (gHostileFloat) SetFloatState(kHostileFloat);
  ExecuteWithDriver(editor, run, DriveExport);
  if (gHostileFloat) {
    EXPECT(CurrentFloatState() == kHostileFloat);
    SetFloatState(kDefaultFloat);
    gHostileFloat = false;
  }
  editor.onRequest = nullptr;
  EXPECT(editor.SceneRequests() == 1);
  EXPECT(gProgressSeen);
  EXPECT(FindWindowA(kProgressClass, nullptr) == nullptr);  // released with the exporter
  EXPECT(FileExists(run.typed.fileName));
  ExpectSavedOptions(run.typed);

  // The next run shows the saved options again.
  const std::size_t calls = editor.calls.size();
  ExecuteWithDriver(editor, run, DriveSecondRun);
  EXPECT(editor.calls.size() == calls);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Cancel, invalid input, host error, no callback.

namespace {

constexpr char kPresetOptions[] =
    "[options]\r\nfilename=C:\\levels\\hall.xml\r\nscale=+2.50e0\r\nexportMaterials=0\r\nmaterialPath=mat\r\n"
    "exportTextures=1\r\ntexturePath=..\\tex\r\nexportLightmaps=0\r\nmaterialNamePrefix=hall/\r\n"
    "normalsToExport=2\r\nallowDynamicLighting=0\r\n";

Shown PresetShown() {
  Shown s;
  s.fileName = "C:\\levels\\hall.xml";
  s.scale = "+2.50e0";
  s.materialPath = "mat";
  s.texturePath = "..\\tex";
  s.prefix = "hall/";
  s.materials = false;
  s.textures = true;
  s.lightmaps = false;
  s.lighting = 0;
  s.normals = 2;
  return s;
}

struct Plain {};

void DriveCancel(Plain&) {
  HWND form = WaitForWindow(kOptionsClass, kOptionsTitle);
  EXPECT(form != nullptr);
  if (!form) return Rescue();
  ExpectShown(ReadForm(form), PresetShown());
  EXPECT(!IsWindowEnabled(Control(form, idMaterialPath)));  // exportMaterials=0 in the file
  TypeText(Control(form, idFileName), "C:\\other\\name.mesh");
  SetChecked(Control(form, idExportLightmaps), true);
  // The close box ends the window like Cancel.
  PostMessageA(form, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT(WaitGone(form));
  if (IsWindow(form)) Rescue();
}

void DriveInvalid(Plain&) {
  HWND form = WaitForWindow(kOptionsClass, kOptionsTitle);
  EXPECT(form != nullptr);
  if (!form) return Rescue();
  TypeText(Control(form, idFileName), "");
  TypeText(Control(form, idScale), "abc");
  const Shown before = ReadForm(form);
  Click(Control(form, idOK));
  HWND box = WaitForOwnedDialog(form, 10000);
  EXPECT(box != nullptr);
  if (!box) return Rescue();
  EXPECT(Text(box) == "Error (Invalid input)");
  const std::string text = DialogText(box);
  const std::string want =
      std::string(kErrorIntro) + "- File name is missing\r\n- Scale is not a valid floating point number\r\n";
  // The box's static control may drop the trailing line end when it lays out the text.
  const bool same = text == want || text + "\r\n" == want;
  if (!same) std::fprintf(stderr, "error box says:\n%s\n", text.c_str());
  EXPECT(same);
  EXPECT(!DialogHasIcon(box));
  EXPECT(GetDlgItem(box, IDOK) != nullptr && GetDlgItem(box, IDCANCEL) == nullptr);
  PressDialogButton(box, IDOK);
  EXPECT(WaitGone(box));
  // One box only, and the window stays with the input as it was.
  EXPECT(WaitForOwnedDialog(form, 800) == nullptr);
  EXPECT(IsWindowVisible(form));
  ExpectShown(ReadForm(form), before);

  // A wrong extension alone is reported by itself.
  TypeText(Control(form, idFileName), "C:\\out\\ship.mesh2");
  TypeText(Control(form, idScale), "1.5");
  Click(Control(form, idOK));
  box = WaitForOwnedDialog(form, 10000);
  EXPECT(box != nullptr);
  if (!box) return Rescue();
  EXPECT(DialogText(box).find("- File name doesn't have a correct extension (.mesh or .xml)") !=
         std::string::npos);
  EXPECT(DialogText(box).find("Scale") == std::string::npos);
  PressDialogButton(box, IDOK);
  EXPECT(WaitGone(box));

  Click(Control(form, idCancel));
  EXPECT(WaitGone(form));
  if (IsWindow(form)) Rescue();
}

struct HostErrorRun {
  std::string fileName;
};

void DriveHostError(HostErrorRun& run) {
  HWND form = WaitForWindow(kOptionsClass, kOptionsTitle);
  EXPECT(form != nullptr);
  if (!form) return Rescue();
  TypeText(Control(form, idFileName), run.fileName);
  Click(Control(form, idOK));
  EXPECT(WaitGone(form));
  ExpectErrorBox("Korvel callback returned error code 7");
}

void DriveNoCallback(Plain&) {
  ExpectErrorBox("No host callback registered.");
  EXPECT(StaysAbsent(kOptionsClass, kOptionsTitle, 300));
}

}  // namespace

int RunCancel(int, char**) {
  const std::string ini = OptionsFilePath();
  EXPECT(WriteFile(ini, kPresetOptions));
  StandInEditor editor;
  editor.Register();
  Plain run;
  ExecuteWithDriver(editor, run, DriveCancel);
  EXPECT(editor.calls.empty());
  std::string after;
  EXPECT(ReadFile(ini, after));
  EXPECT(after == kPresetOptions);
  return 0;
}

int RunInvalid(int, char**) {
  DeleteFileA(OptionsFilePath().c_str());
  StandInEditor editor;
  editor.Register();
  Plain run;
  ExecuteWithDriver(editor, run, DriveInvalid);
  EXPECT(editor.calls.empty());
  EXPECT(!FileExists(OptionsFilePath()));
  return 0;
}

int RunHostError(int, char**) {
  DeleteFileA(OptionsFilePath().c_str());
  StandInEditor editor;
  editor.sceneStatus = 7;
  editor.Register();
  HostErrorRun run{HostFolder() + "failed.mesh"};
  ExecuteWithDriver(editor, run, DriveHostError);
  EXPECT(editor.SceneRequests() == 1);
  EXPECT(editor.calls.size() == 1);  // no fetch after a failed length query
  EXPECT(!FileExists(run.fileName));
  // The options were saved before the export started.
  std::string text;
  EXPECT(ReadFile(OptionsFilePath(), text));
  EXPECT(text.find("filename=" + run.fileName) != std::string::npos);
  return 0;
}

int RunNoCallback(int, char**) {
  DeleteFileA(OptionsFilePath().c_str());
  StandInEditor editor;
  editor.Unregister();
  Plain run;
  ExecuteWithDriver(editor, run, DriveNoCallback);
  EXPECT(!FileExists(OptionsFilePath()));
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Shared with the other scenario files (Scenarios.h).

Typed TypedFromArgs(const Args& args) {
  Typed t;
  t.fileName = args.Value("--file");
  t.scale = args.Value("--scale", "1");
  t.materialPath = args.Value("--material-path");
  t.texturePath = args.Value("--texture-path");
  t.prefix = args.Value("--prefix", "");
  t.materials = !args.Has("--no-materials");
  t.textures = !args.Has("--no-textures");
  t.lightmaps = !args.Has("--no-lightmaps");
  const std::string normals = args.Value("--normals", "face");
  t.normals = normals == "none" ? 0 : normals == "smooth" ? 2 : 1;
  t.lighting = args.Value("--dynamic-lighting", "unlit") == "all" ? 0 : 1;
  return t;
}

std::vector<std::pair<std::string, std::string>> OptionEntries(const Typed& t) {
  return {
      {"filename", t.fileName},
      {"scale", t.scale},
      {"exportMaterials", t.materials ? "1" : "0"},
      {"materialPath", t.materialPath},
      {"exportTextures", t.textures ? "1" : "0"},
      {"texturePath", t.texturePath},
      {"exportLightmaps", t.lightmaps ? "1" : "0"},
      {"materialNamePrefix", t.prefix},
      {"normalsToExport", std::to_string(t.normals)},
      {"allowDynamicLighting", std::to_string(t.lighting)},
  };
}

void WriteOptions(const Typed& t) {
  // Through the profile API, as the plug-in itself would.
  const std::string ini = OptionsFilePath();
  DeleteFileA(ini.c_str());
  for (const auto& [key, value] : OptionEntries(t))
    WritePrivateProfileStringA("options", key.c_str(), value.c_str(), ini.c_str());
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str());
}

void Rescue() {
  for (int i = 0; i < 5; ++i) {
    HWND form = FindWindowA(kOptionsClass, kOptionsTitle);
    if (HWND box = form ? WaitForOwnedDialog(form, 100) : nullptr) {
      PostMessageA(box, WM_CLOSE, 0, 0);
      continue;
    }
    if (form) PostMessageA(form, WM_CLOSE, 0, 0);
    Sleep(100);
  }
}

void ExpectErrorBox(const std::string& message) {
  HWND box = WaitForWindow("#32770", "Pallix");
  EXPECT(box != nullptr);
  if (!box) return Rescue();
  const std::string text = DialogText(box);
  if (text != message) std::fprintf(stderr, "error box says \"%s\"\n", text.c_str());
  EXPECT(text == message);
  EXPECT(DialogHasIcon(box));
  EXPECT(GetDlgItem(box, IDOK) != nullptr && GetDlgItem(box, IDCANCEL) == nullptr);
  // By now the run has released everything: the progress window is gone.
  EXPECT(FindWindowA(kProgressClass, nullptr) == nullptr);
  EXPECT(FindWindowA(kOptionsClass, nullptr) == nullptr);
  PressDialogButton(box, IDOK);
  EXPECT(WaitGone(box));
}

}  // namespace testhost

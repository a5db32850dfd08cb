// The stand-in editor's scenarios: each one runs PluginExecute while a driver thread works the
// plug-in's windows like a user, then checks what the editor and the file system saw.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "StandInEditor.h"
#include "TestHost.h"
#include "WinControls.h"
#include "WindowDriver.h"

namespace testhost {

namespace {

using namespace pallix::win;

constexpr char kOptionsClass[] = "TOptionsForm";
constexpr char kOptionsTitle[] = "Pallix (Version 2.0)";
constexpr char kProgressClass[] = "TProgressForm";
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
  if (rc.right != w || rc.bottom != h) std::fprintf(stderr, "client %ldx%ld, expected %dx%d\n", rc.right, rc.bottom, w, h);
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

// Waits until the focus moves away from `from`; returns the new focus.
HWND WaitFocusChange(HWND from) {
  for (int i = 0; i < 100; ++i) {
    HWND now = Focused();
    if (now && now != from) return now;
    Sleep(20);
  }
  return Focused();
}

// Sets the form's controls as the user would.
struct Typed {
  std::string fileName, scale = "1", materialPath, texturePath, prefix = "Test/";
  bool materials = true, textures = true, lightmaps = true;
  int lighting = 1, normals = 1;
};

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
  const std::vector<std::pair<std::string, std::string>> want = {
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
  if (entries != want) std::fprintf(stderr, "options file:\n%s\n", text.c_str());
  EXPECT(entries == want);
}

// Ends whatever is still open so a failed scenario cannot hang: boxes first, then the form.
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

// Runs PluginExecute on this thread while `drive` works the windows from another.
template <typename Context>
void ExecuteWithDriver(StandInEditor& editor, Context& context, void (*drive)(Context&)) {
  SetUiThread(GetCurrentThreadId());
  struct Box {
    Context* context;
    void (*drive)(Context&);
  } box{&context, drive};
  DriverThread driver(
      [](void* p) {
        auto* b = static_cast<Box*>(p);
        b->drive(*b->context);
      },
      &box);
  editor.Execute();
  driver.Join();
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
  EXPECT(Focused() == Control(form, idOK));
  const int order[] = {idCancel,      idFileName,           idBrowseFile,           idScale,
                       idExportMaterials, idMaterialPath,   idBrowseMaterialPath,   idAllowDynamicLighting,
                       idExportTextures,  idTexturePath,    idBrowseTexturePath,    idExportLightmaps,
                       idMaterialNamePrefix, idNormalsToExport, idOK};
  for (int id : order) {
    HWND before = Focused();
    PressKey(VK_TAB);
    HWND now = WaitFocusChange(before);
    if (GetDlgCtrlID(now) != id) std::fprintf(stderr, "Tab reached control %d, expected %d\n", GetDlgCtrlID(now), id);
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

  Click(Control(form, idCancel));
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

int RunBrowse(int, char**) { return 1; }
int RunExport(int, char**) { return 1; }
int RunCancel(int, char**) { return 1; }
int RunInvalid(int, char**) { return 1; }
int RunHostError(int, char**) { return 1; }
int RunNoCallback(int, char**) { return 1; }

}  // namespace testhost

// Faults the plug-in must survive without taking the editor down: read-only textures, windows
// that cannot be made, memory that runs out behind a window procedure, output folders named
// against a drive or a share, and an editor with floating-point state of its own. Also the
// timed export that bench/dll_bench.sh measures.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FaultInjection.h"
#include "Scenarios.h"
#include "WinControls.h"

namespace testhost {

namespace {

using pallix::win::idOK;

constexpr char kLevel[] = R"(<scene>
  <settings ambient="FF808080" author="tests" comment="faults" shadowOpacity="50" />
  <materials>
    <category name="level">
      <material id="m1" name="Stone" used="true">
        <layer type="texture" blend="replace"><texture file="stone.bmp" /></layer>
      </material>
    </category>
  </materials>
  <primitives>
    <primitive id="p1" name="floor" type="userdefined" visible="true" snap="none" autoUV="false">
      <vertices>
        <vertex id="a" x="0" y="0" z="0" /><vertex id="b" x="2" y="0" z="0" /><vertex id="c" x="2" y="0" z="2" />
      </vertices>
      <polygons>
        <poly mid="m1"><vertex vid="a" u0="0" v0="0" /><vertex vid="b" u0="1" v0="0" /><vertex vid="c" u0="1" v0="1" /></poly>
      </polygons>
    </primitive>
  </primitives>
  <lights />
</scene>
)";

std::string TextureSource() { return HostFolder() + "textures\\"; }

// The editor answers with kLevel; its settings file names TextureSource().
void PrepareEditor(StandInEditor& editor) {
  const std::string install = HostFolder() + "editor";
  CreateDirectoryA(install.c_str(), nullptr);
  CreateDirectoryA(TextureSource().c_str(), nullptr);
  EXPECT(WriteFile(install + "\\Korvel.ini", "[Dirs]\r\ntexturefiles=" + TextureSource() + "\r\n"));
  editor.sceneDocument = kLevel;
  editor.installDirectory = install;
  editor.Register();
}

// Names in a folder, sorted, "." and ".." left out.
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(h, &found));
  FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

bool IsFolder(const std::string& path) {
  const DWORD attr = GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// One PluginExecute: OK pressed at once when `pressOk` (the options file is preset), then every
// error box read and closed until the call returns.
struct Run {
  bool pressOk = true;
  volatile LONG done = 0;
  std::string box;            // what the last error box said
  bool windowsAtBox = false;  // a plug-in window still there while the box showed
  LARGE_INTEGER okAt{};
};

void Drive(Run& run) {
  if (run.pressOk) {
    HWND form = WaitForWindow(kOptionsClass, kOptionsTitle);
    EXPECT(form != nullptr);
    if (!form) return Rescue();
    QueryPerformanceCounter(&run.okAt);
    Click(Control(form, idOK));
  }
  for (DWORD waited = 0; !run.done; waited += 20) {
    HWND box = FindWindowA("#32770", "Pallix");
    if (box && IsWindowVisible(box)) {
      run.box = DialogText(box);
      run.windowsAtBox = FindWindowA(kOptionsClass, nullptr) || FindWindowA(kProgressClass, nullptr);
      PressDialogButton(box, IDOK);
      WaitGone(box);
    } else if (waited > 30000 && FindWindowA(kOptionsClass, kOptionsTitle)) {
      std::fprintf(stderr, "the options window stays\n");
      EXPECT(false);
      Rescue();
    }
    Sleep(20);
  }
}

Run Execute(StandInEditor& editor, bool pressOk) {
  Run run;
  run.pressOk = pressOk;
  ExecuteWithDriver(editor, run, Drive, &run.done);
  return run;
}

void ExpectCleanEnd(const Run& run, const StandInEditor& editor) {
  EXPECT(!run.windowsAtBox);
  EXPECT(editor.AllWindowsEnabled());
  EXPECT(FindWindowA(kOptionsClass, nullptr) == nullptr);
  EXPECT(FindWindowA(kProgressClass, nullptr) == nullptr);
}

void ExpectNoBox(const Run& run) {
  if (!run.box.empty()) std::fprintf(stderr, "error box says \"%s\"\n", run.box.c_str());
  EXPECT(run.box.empty());
}

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// A read-only texture is copied as a plain file, replaced by the next export, and a copy that
// cannot be put in place leaves nothing behind.

int RunReadOnlyTextures(int, char**) {
  StandInEditor editor;
  PrepareEditor(editor);
  const std::string source = TextureSource() + "stone.bmp";
  const std::string out = HostFolder() + "ro-out\\";
  const std::string copies = out + "tex";
  const std::string copy = copies + "\\stone.bmp";
  Typed typed;
  typed.fileName = out + "level.mesh";
  typed.texturePath = "tex";
  CreateDirectoryA(out.c_str(), nullptr);
  WriteOptions(typed);

  for (const char* content : {"first", "second"}) {
    SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT(WriteFile(source, content));
    SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY);
    ExpectNoBox(Execute(editor, true));
    std::string got;
    EXPECT(ReadFile(copy, got) && got == content);
    const DWORD attr = GetFileAttributesA(copy.c_str());
    if (attr & FILE_ATTRIBUTE_READONLY) std::fprintf(stderr, "the copy is read-only (%lx)\n", attr);
    EXPECT(attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_READONLY) == 0);
    EXPECT(GetFileAttributesA(source.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT(Listing(copies) == std::vector<std::string>{"stone.bmp"});
  }

  // A folder holds the copy's name: the copy fails quietly and leaves no temporary.
  SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(copy.c_str());
  CreateDirectoryA(copy.c_str(), nullptr);
  ExpectNoBox(Execute(editor, true));
  EXPECT(IsFolder(copy));
  const std::vector<std::string> left = Listing(copies);
  for (const std::string& name : left) std::fprintf(stderr, "in the texture folder: %s\n", name.c_str());
  EXPECT(left == std::vector<std::string>{"stone.bmp"});
  SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_NORMAL);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// A window or control that cannot be made ends the run with the system's reason, before any
// editor window is disabled.

namespace {
StandInEditor* gEditor = nullptr;
bool gEnabledAtRefusal = false;
}  // namespace

int RunWindowFailures(int, char**) {
  struct Case {
    const char* windowClass;
    bool reachesExport;  // refused after the options window closed with OK
    const char* message;
  };
  const Case cases[] = {
      {"TOptionsForm", false, "Cannot create the options window"},
      {"Edit", false, "Cannot create the options window's controls"},
      {"TPallixPanel", false, "Cannot create the options window's controls"},
      {"TProgressForm", true, "Cannot create the progress window"},
      {"msctls_progress32", true, "Cannot create the progress window's controls"},
  };
  StandInEditor editor;
  PrepareEditor(editor);
  editor.OpenWindows(2);
  gEditor = &editor;
  Typed typed;
  typed.fileName = HostFolder() + "refused.mesh";
  WriteOptions(typed);
  for (const Case& c : cases) {
    gEnabledAtRefusal = false;
    WatchWindowClass(c.windowClass, true, [] { gEnabledAtRefusal = gEditor->AllWindowsEnabled(); });
    const Run run = Execute(editor, c.reachesExport);
    WatchWindowClass(nullptr, false, nullptr);
    if (!StartsWith(run.box, c.message))
      std::fprintf(stderr, "refused %s: error box says \"%s\"\n", c.windowClass, run.box.c_str());
    EXPECT(StartsWith(run.box, c.message));
    EXPECT(gEnabledAtRefusal);
    ExpectCleanEnd(run, editor);
  }
  gEditor = nullptr;
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Memory that runs out, in the run and inside the window procedures and callbacks: one error
// box in words a level designer understands, after the plug-in's windows are gone.

namespace {
HHOOK gMessageHook = nullptr;

LRESULT CALLBACK ArmOnOkClick(int code, WPARAM wp, LPARAM lp) {
  const auto* msg = reinterpret_cast<const MSG*>(lp);
  if (code == HC_ACTION && wp == PM_REMOVE && msg->message == WM_LBUTTONUP && GetDlgCtrlID(msg->hwnd) == idOK)
    FailNextAllocation();
  return CallNextHookEx(gMessageHook, code, wp, lp);
}

int gDisabled = 0;
}  // namespace

int RunOutOfMemory(int, char**) {
  struct Case {
    const char* where;
    bool pressOk;
    void (*arm)(StandInEditor& editor);
  };
  const Case cases[] = {
      {"scene answer", true,
       [](StandInEditor& editor) {
         editor.onRequest = [](StandInEditor&, const std::string& request) {
           if (request.find("<installdirectory") == std::string::npos) FailNextAllocation();
         };
       }},
      {"panel click", true,
       [](StandInEditor&) {
         gMessageHook = SetWindowsHookExA(WH_GETMESSAGE, ArmOnOkClick, nullptr, GetCurrentThreadId());
       }},
      {"control creation", false,
       [](StandInEditor&) { WatchWindowClass("TPallixPanel", false, FailNextAllocation); }},
      {"window-disabling callback", false,
       [](StandInEditor& editor) {
         gDisabled = 0;
         // The first editor window disabled: the plug-in's next allocation, for the second, fails.
         editor.onDisabled = [](StandInEditor&, HWND) {
           if (gDisabled++ == 0) FailNextAllocation();
         };
       }},
  };
  StandInEditor editor;
  PrepareEditor(editor);
  editor.OpenWindows(2);
  HookAllocations(editor.dll);
  Typed typed;
  typed.fileName = HostFolder() + "out-of-memory\\a-level-with-a-long-file-name.mesh";
  WriteOptions(typed);
  for (const Case& c : cases) {
    const int failedBefore = FailedAllocations();
    c.arm(editor);
    const Run run = Execute(editor, c.pressOk);
    editor.onRequest = nullptr;
    editor.onDisabled = nullptr;
    WatchWindowClass(nullptr, false, nullptr);
    if (gMessageHook) UnhookWindowsHookEx(gMessageHook);
    gMessageHook = nullptr;
    if (run.box != "Not enough memory to export this level.")
      std::fprintf(stderr, "%s: error box says \"%s\"\n", c.where, run.box.c_str());
    EXPECT(run.box == "Not enough memory to export this level.");
    EXPECT(FailedAllocations() == failedBefore + 1);
    ExpectCleanEnd(run, editor);
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Output folders of a mesh named against a drive's current folder or on a share resolve
// against the mesh file's own folder.

int RunOutputFolders(int, char**) {
  struct Case {
    const char* file;
    const char* materialPath;
    const char* texturePath;
    const char* material;  // where the material script must be
    const char* textures;  // and the texture copy
  };
  const Case cases[] = {
      {"C:ship.mesh", "", "tex", "C:\\pallixtest\\cwd\\ship.material", "C:\\pallixtest\\cwd\\tex"},
      {"C:ship.mesh", "C:m", "\\pallixtest\\t", "C:\\pallixtest\\cwd\\m\\ship.material", "C:\\pallixtest\\t"},
      {"\\\\pallixsrv\\share\\out\\ship.mesh", "\\mat", "tex", "\\\\pallixsrv\\share\\mat\\ship.material",
       "\\\\pallixsrv\\share\\out\\tex"},
      {"C:\\pallixtest\\out\\ship.mesh", "\\pallixtest\\m2", "..\\t2", "C:\\pallixtest\\m2\\ship.material",
       "C:\\pallixtest\\t2"},
  };
  // The current folder of drive C: is not its root, and Wine serves \\pallixsrv\share from the
  // prefix's dosdevices\unc folder.
  for (const char* folder : {"C:\\pallixtest", "C:\\pallixtest\\cwd", "C:\\pallixtest\\out"})
    CreateDirectoryA(folder, nullptr);
  EXPECT(SetCurrentDirectoryA("C:\\pallixtest\\cwd"));
  char prefix[MAX_PATH] = {};
  if (GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix)) {
    std::string unc = std::string("Z:") + prefix + "\\dosdevices\\unc";
    for (char& ch : unc)
      if (ch == '/') ch = '\\';
    for (const char* part : {"", "\\pallixsrv", "\\pallixsrv\\share", "\\pallixsrv\\share\\out"})
      CreateDirectoryA((unc + part).c_str(), nullptr);
  }
  StandInEditor editor;
  PrepareEditor(editor);
  EXPECT(WriteFile(TextureSource() + "stone.bmp", "stone"));
  for (const Case& c : cases) {
    // Drive C: and the share live in the Wine prefix, which other runs share.
    const std::string copy = std::string(c.textures) + "\\stone.bmp";
    DeleteFileA(c.material);
    DeleteFileA(copy.c_str());
    Typed typed;
    typed.fileName = c.file;
    typed.materialPath = c.materialPath;
    typed.texturePath = c.texturePath;
    WriteOptions(typed);
    ExpectNoBox(Execute(editor, true));
    if (!FileExists(c.material) || !FileExists(copy))
      std::fprintf(stderr, "%s with \"%s\" and \"%s\": no %s or no %s\n", c.file, c.materialPath,
                   c.texturePath, c.material, copy.c_str());
    EXPECT(FileExists(c.material));
    EXPECT(FileExists(copy));
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------
// The export through the DLL, timed from OK to the return of PluginExecute.

int RunTimedExport(int argc, char** argv) {
  const Args args(argc, argv);
  StandInEditor editor;
  if (!ReadFile(args.Value("--scene"), editor.sceneDocument)) {
    std::fprintf(stderr, "cannot read the scene\n");
    return 1;
  }
  editor.installDirectory = args.Value("--install");
  editor.Register();
  WriteOptions(TypedFromArgs(args));
  const Run run = Execute(editor, true);
  LARGE_INTEGER end, frequency;
  QueryPerformanceCounter(&end);
  QueryPerformanceFrequency(&frequency);
  if (!run.box.empty()) {
    std::printf("export failed: %s\n", run.box.c_str());
    return 1;
  }
  std::printf("export seconds: %.3f\n", static_cast<double>(end.QuadPart - run.okAt.QuadPart) /
                                            static_cast<double>(frequency.QuadPart));
  return 0;
}

}  // namespace testhost

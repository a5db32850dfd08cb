// What the editor sees of the library before any export: names, ordinals, texts, callback slot.
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "TestHost.h"

#if defined(__i386__)
// Calls a one-argument function and returns how far the stack pointer moved: 0 when the callee
// removed its argument (stdcall), -4 when it left it for the caller (cdecl).
extern "C" int __cdecl StackDeltaOfCall1(void* fn, void* arg);
asm(R"(
  .text
  .globl _StackDeltaOfCall1
_StackDeltaOfCall1:
  pushl %ebp
  movl %esp, %ebp
  pushl %ebx
  movl %esp, %ebx
  pushl 12(%ebp)
  call *8(%ebp)
  movl %esp, %eax
  subl %ebx, %eax
  movl %ebx, %esp
  popl %ebx
  popl %ebp
  ret
)");
#else
// x64 has one calling convention: the caller always cleans up, so there is nothing to measure.
extern "C" int StackDeltaOfCall1(void* fn, void* arg) {
  reinterpret_cast<void(__stdcall*)(void*)>(fn)(arg);
  return 0;
}
#endif

namespace testhost {

namespace {

struct ExpectedExport {
  const char* name;
  WORD ordinal;
};
constexpr ExpectedExport kExports[] = {
    {"PluginExecute", 1}, {"PluginSetCallback", 2},   {"PluginEmail", 3},       {"PluginAuthor", 4},
    {"PluginVersion", 5}, {"PluginKorvelVersion", 6}, {"PluginDescription", 7}, {"PluginName", 8},
};

struct ExpectedText {
  const char* name;
  const char* text;  // null: any non-empty text
};
constexpr ExpectedText kTexts[] = {
    {"PluginName", "Pallix"},       {"PluginDescription", "Ogre .mesh and .xml exporter"},
    {"PluginKorvelVersion", "1.6"}, {"PluginVersion", "2.0"},
    {"PluginAuthor", nullptr},      {"PluginEmail", nullptr},
};

using TextFn = const char*(__stdcall*)();

int gCallsA = 0;
int gCallsB = 0;
LONG __stdcall CallbackA(void*) { return ++gCallsA, 0; }
LONG __stdcall CallbackB(void*) { return ++gCallsB, 0; }

const IMAGE_EXPORT_DIRECTORY* ExportDirectory(HMODULE dll, DWORD& imageSize) {
  const auto* base = reinterpret_cast<const BYTE*>(dll);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  imageSize = nt->OptionalHeader.SizeOfImage;
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (dir.VirtualAddress == 0) return nullptr;
  return reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
}

void CheckExportDirectory(HMODULE dll) {
  const auto* base = reinterpret_cast<const BYTE*>(dll);
  DWORD imageSize = 0;
  const IMAGE_EXPORT_DIRECTORY* exp = ExportDirectory(dll, imageSize);
  EXPECT(exp != nullptr);
  if (!exp) return;
  EXPECT(std::strcmp(reinterpret_cast<const char*>(base + exp->Name), "Pallix.dll") == 0);
  EXPECT(exp->Base == 1);
  EXPECT(exp->NumberOfFunctions == 8);
  EXPECT(exp->NumberOfNames == 8);

  const auto* names = reinterpret_cast<const DWORD*>(base + exp->AddressOfNames);
  const auto* ordinals = reinterpret_cast<const WORD*>(base + exp->AddressOfNameOrdinals);
  std::set<std::string> seen;
  for (DWORD i = 0; i < exp->NumberOfNames; ++i) {
    const char* name = reinterpret_cast<const char*>(base + names[i]);
    const WORD ordinal = static_cast<WORD>(exp->Base + ordinals[i]);
    bool known = false;
    for (const ExpectedExport& e : kExports) {
      if (std::strcmp(e.name, name) != 0) continue;
      known = true;
      if (ordinal != e.ordinal) std::fprintf(stderr, "%s has ordinal %u, not %u\n", name, ordinal, e.ordinal);
      EXPECT(ordinal == e.ordinal);
    }
    if (!known) std::fprintf(stderr, "unexpected export %s\n", name);
    EXPECT(known);
    seen.insert(name);
  }
  EXPECT(seen.size() == 8);
}

void CheckLookups(HMODULE dll) {
  for (const ExpectedExport& e : kExports) {
    FARPROC byName = GetProcAddress(dll, e.name);
    FARPROC byOrdinal = GetProcAddress(dll, MAKEINTRESOURCEA(e.ordinal));
    if (!byName) std::fprintf(stderr, "%s not found by name\n", e.name);
    EXPECT(byName != nullptr);
    EXPECT(byName == byOrdinal);
  }
  // Decorated names must not leak into the table: the editor looks up plain names only.
  EXPECT(GetProcAddress(dll, "_PluginSetCallback@4") == nullptr);
  EXPECT(GetProcAddress(dll, "PluginSetCallback@4") == nullptr);
}

// Texts must be constant, live in the library image, and come back as the same pointer.
void CheckTexts(HMODULE dll) {
  DWORD imageSize = 0;
  ExportDirectory(dll, imageSize);
  const auto lo = reinterpret_cast<UINT_PTR>(dll);
  for (const ExpectedText& t : kTexts) {
    auto fn = reinterpret_cast<TextFn>(reinterpret_cast<void*>(GetProcAddress(dll, t.name)));
    EXPECT(fn != nullptr);
    if (!fn) continue;
    const char* first = fn();
    const char* second = fn();
    EXPECT(first != nullptr);
    if (!first) continue;
    EXPECT(first == second);
    const auto at = reinterpret_cast<UINT_PTR>(first);
    EXPECT(at >= lo && at < lo + imageSize);
    if (t.text) {
      if (std::strcmp(first, t.text) != 0) std::fprintf(stderr, "%s returned \"%s\"\n", t.name, first);
      EXPECT(std::strcmp(first, t.text) == 0);
    } else {
      EXPECT(std::strlen(first) > 0);
    }
    std::printf("%-20s \"%s\"\n", t.name, first);
  }
}

void CheckSetCallback(HMODULE dll) {
  void* set = reinterpret_cast<void*>(GetProcAddress(dll, "PluginSetCallback"));
  EXPECT(set != nullptr);
  if (!set) return;
  // Registering twice: the callee pops its argument each time and never calls the callback.
  EXPECT(StackDeltaOfCall1(set, reinterpret_cast<void*>(&CallbackA)) == 0);
  EXPECT(StackDeltaOfCall1(set, reinterpret_cast<void*>(&CallbackB)) == 0);
  EXPECT(gCallsA == 0 && gCallsB == 0);
  EXPECT(StackDeltaOfCall1(set, nullptr) == 0);
}

}  // namespace

int RunExports(int, char**) {
  HMODULE dll = LoadPlugin();
  CheckExportDirectory(dll);
  CheckLookups(dll);
  CheckTexts(dll);  // before any callback is registered
  CheckSetCallback(dll);
  CheckTexts(dll);
  FreeLibrary(dll);
  return 0;
}

}  // namespace testhost

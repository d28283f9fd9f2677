// The resources that the built ombru.exe carries, read back from the file itself.
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "harness/test.h"
#include "support/process.h"

namespace {

constexpr UINT kMainFrame = 128;
constexpr UINT kExitCommand = 0xE141;

std::string MenuText(HMENU menu, UINT position) {
  char text[64] = {};
  GetMenuStringA(menu, position, text, sizeof(text), MF_BYPOSITION);
  return text;
}

std::string ManifestText(HMODULE exe) {
  HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  if (!found)
    return std::string();
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(exe, found)));
  return std::string(bytes, SizeofResource(exe, found));
}

}  // namespace

START_TEST(menu_128) {
  HMODULE exe = LoadLibraryExA(testsupport::SiblingPath("ombru.exe").c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE);
  ok(exe != nullptr, "cannot load ombru.exe as data, error %lu\n", GetLastError());
  HMENU menu = LoadMenuA(exe, MAKEINTRESOURCEA(kMainFrame));
  ok(menu != nullptr, "menu 128 missing\n");
  if (!menu)
    return;
  ok(GetMenuItemCount(menu) == 1, "one pop-up expected, got %d\n", GetMenuItemCount(menu));
  ok(MenuText(menu, 0) == "&File", "pop-up [%s]\n", MenuText(menu, 0).c_str());
  HMENU file = GetSubMenu(menu, 0);
  ok(file && GetMenuItemCount(file) == 1, "one item expected in &File\n");
  ok(file && MenuText(file, 0) == "E&xit", "item [%s]\n", MenuText(file, 0).c_str());
  ok(file && GetMenuItemID(file, 0) == kExitCommand, "command %#x\n", GetMenuItemID(file, 0));
  DestroyMenu(menu);
  FreeLibrary(exe);
}

START_TEST(no_title_accelerators_or_icon) {
  HMODULE exe = LoadLibraryExA(testsupport::SiblingPath("ombru.exe").c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE);
  char title[256] = {};
  ok(LoadStringA(exe, kMainFrame, title, 256) == 0, "string 128 should not exist: [%s]\n", title);
  ok(FindResourceA(exe, MAKEINTRESOURCEA(kMainFrame), MAKEINTRESOURCEA(9)) == nullptr,
     "accelerator table 128 should not exist\n");
  ok(FindResourceA(exe, MAKEINTRESOURCEA(kMainFrame), MAKEINTRESOURCEA(14)) == nullptr,
     "icon 128 should not exist\n");
  FreeLibrary(exe);
}

START_TEST(manifest) {
  HMODULE exe = LoadLibraryExA(testsupport::SiblingPath("ombru.exe").c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE);
  const std::string manifest = ManifestText(exe);
  static const char* const expected[] = {
      "<assemblyIdentity name=\"OMBRU\" version=\"6.0.0.0\" processorArchitecture=\"amd64\"",
      "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
      "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
  };
  for (const char* text : expected) {
    ok(manifest.find(text) != std::string::npos, "manifest lacks %s\n", text);
  }
  FreeLibrary(exe);
}

START_TEST(static_gui_executable) {
  std::ifstream file(testsupport::SiblingPath("ombru.exe"), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ok(bytes.size() > 0x200, "cannot read ombru.exe\n");
  if (bytes.size() <= 0x200)
    return;
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(bytes.data() + dos->e_lfanew);
  ok(nt->FileHeader.Machine == IMAGE_FILE_MACHINE_AMD64, "machine %#x\n", nt->FileHeader.Machine);
  ok(nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI, "subsystem %u\n",
     nt->OptionalHeader.Subsystem);
  for (const char* dll : {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll"}) {
    ok(bytes.find(dll) == std::string::npos, "ombru.exe depends on %s\n", dll);
  }
}

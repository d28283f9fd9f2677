// The resources that the built ombru.exe carries, read back from the file itself.
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "harness/test.h"
#include "drivers/process.h"

START_TEST(static_gui_executable) {
  std::ifstream file(lab::SiblingPath("ombru.exe"), std::ios::binary);
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

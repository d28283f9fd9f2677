// What the built release binaries carry, read back from the files themselves: the image flags an
// administrator's tools check, the version resource they read, and no dependency on DLLs that a
// bare Windows machine lacks.
#include <windows.h>

#include <string>
#include <vector>

#include "common/record_file.h"
#include "drivers/process.h"
#include "harness/test.h"
#include "ombru_version.h"

namespace {

const char* const kReleaseBinaries[] = {"ombru.exe", "log_viewer.exe"};

std::string VersionString(const std::vector<char>& info, const char* name) {
  char* value = nullptr;
  UINT length = 0;
  const std::string path = std::string("\\StringFileInfo\\040904b0\\") + name;
  if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length))
    return "(none)";
  return std::string(value, length > 0 ? length - 1 : 0);
}

}  // namespace

START_TEST(static_hardened_gui_images) {
  for (const char* name : kReleaseBinaries) {
    const std::string bytes = lab::FileBytes(lab::SiblingPath(name));
    ok(bytes.size() > 0x400, "%s: cannot read\n", name);
    if (bytes.size() <= 0x400)
      continue;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(bytes.data() + dos->e_lfanew);
    ok(nt->FileHeader.Machine == IMAGE_FILE_MACHINE_AMD64, "%s: machine %#x\n", name,
       nt->FileHeader.Machine);
    ok(nt->FileHeader.TimeDateStamp == 0, "%s: link time %#lx in the image\n", name,
       nt->FileHeader.TimeDateStamp);
    const WORD flags = nt->OptionalHeader.DllCharacteristics;
    const WORD expected =
        IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA | IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE |
        IMAGE_DLLCHARACTERISTICS_NX_COMPAT | IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE;
    ok((flags & expected) == expected, "%s: DllCharacteristics %#x\n", name, flags);
    ok(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size > 0,
       "%s: no relocations, so no address randomisation\n", name);
    for (const char* check : {"*** stack smashing detected ***", "*** buffer overflow detected"})
      ok(bytes.find(check) != std::string::npos, "%s: [%s] not linked in\n", name, check);
    for (const char* dll :
         {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll", "libssp-0.dll"}) {
      ok(bytes.find(dll) == std::string::npos, "%s depends on %s\n", name, dll);
    }
  }
  const std::string agent = lab::FileBytes(lab::SiblingPath("ombru.exe"));
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(
      agent.data() + reinterpret_cast<const IMAGE_DOS_HEADER*>(agent.data())->e_lfanew);
  ok(nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI, "subsystem %u\n",
     nt->OptionalHeader.Subsystem);
}

START_TEST(version_resources) {
  for (const char* name : kReleaseBinaries) {
    const std::string path = lab::SiblingPath(name);
    DWORD unused = 0;
    std::vector<char> info(GetFileVersionInfoSizeA(path.c_str(), &unused));
    ok(!info.empty() &&
           GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()),
       "%s: no version resource\n", name);
    if (info.empty())
      continue;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length);
    const DWORD versionMs = MAKELONG(OMBRU_VERSION_MINOR, OMBRU_VERSION_MAJOR);
    const DWORD versionLs = MAKELONG(OMBRU_VERSION_TWEAK, OMBRU_VERSION_PATCH);
    ok(fixed && fixed->dwFileVersionMS == versionMs && fixed->dwFileVersionLS == versionLs &&
           fixed->dwProductVersionMS == versionMs && fixed->dwProductVersionLS == versionLs,
       "%s: fixed versions\n", name);
    const std::string numbers =
        std::to_string(OMBRU_VERSION_MAJOR) + "." + std::to_string(OMBRU_VERSION_MINOR) + "." +
        std::to_string(OMBRU_VERSION_PATCH) + "." + std::to_string(OMBRU_VERSION_TWEAK);
    const std::string expected[][2] = {
        {"FileVersion", numbers},
        {"ProductVersion", numbers},
        {"CompanyName", OMBRU_COMPANY_NAME},
        {"ProductName", OMBRU_PRODUCT_NAME},
        {"LegalCopyright", OMBRU_LEGAL_COPYRIGHT},
        {"OriginalFilename", name},
        {"FileDescription", name[0] == 'o' ? "OMBRU session agent" : "OMBRU log viewer"},
    };
    for (const auto& field : expected) {
      ok(VersionString(info, field[0].c_str()) == field[1], "%s: %s [%s]\n", name, field[0].c_str(),
         VersionString(info, field[0].c_str()).c_str());
    }
  }
}

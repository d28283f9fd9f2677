#include "common/record_file.h"

#include <windows.h>

#include "common/format.h"
#include "common/handle.h"

namespace lab {

void AppendLine(const std::string& path, const std::string& line) {
  if (path.empty())
    return;
  lab::Handle mutex(CreateMutexA(nullptr, FALSE, "OMBRU.Lab.RecordFiles"));
  WaitForSingleObject(mutex.Get(), 10000);
  lab::Handle file(CreateFileA(path.c_str(), FILE_APPEND_DATA,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) {
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
  ReleaseMutex(mutex.Get());
}

std::string FileBytes(const std::string& path) {
  lab::Handle file(CreateFileA(path.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
  std::string bytes;
  char buffer[64 * 1024];
  DWORD read = 0;
  while (file && ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
    bytes.append(buffer, read);
  return bytes;
}

std::vector<std::string> CompleteLines(const std::string& path) {
  const std::string text = FileBytes(path);
  std::vector<std::string> lines;
  size_t from = 0;
  for (size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1)
    lines.push_back(text.substr(from, end - from));
  return lines;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  size_t from = 0;
  for (size_t bar; (bar = line.find('|', from)) != std::string::npos; from = bar + 1)
    fields.push_back(line.substr(from, bar - from));
  fields.push_back(line.substr(from));
  return fields;
}

std::string UniqueName(const char* stem) {
  // Process ids come back from run to run, and a late writer may leave a file behind: the start
  // time of this process keeps names of different runs apart.
  static const unsigned long long startedAt = GetTickCount64();
  static LONG counter = 0;
  return lab::Format("%s.%lu.%llu.%ld", stem, GetCurrentProcessId(), startedAt,
                     InterlockedIncrement(&counter));
}

std::string TempPath(const char* stem) {
  char directory[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, directory);
  return std::string(directory) + UniqueName(stem) + ".txt";
}

}  // namespace lab

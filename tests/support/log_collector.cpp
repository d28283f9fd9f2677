#include "support/log_collector.h"

#include <fstream>
#include <iterator>

namespace testsupport {
namespace {

std::string TempFilePath(const char* stem) {
  char directory[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, directory);
  return std::string(directory) + UniqueName(stem) + ".bin";
}

}  // namespace

std::string InfoText(const std::string& record) { return record.substr(0, record.find('|')); }

std::string Bracketed(const std::vector<std::string>& texts, size_t from) {
  std::string joined;
  for (size_t i = from; i < texts.size(); ++i)
    joined += "[" + texts[i] + "]";
  return joined;
}

LogCollector::LogCollector(const char* behaviour)
    : outputPath(TempFilePath("collector")),
      stopName(UniqueName("collector.stop")),
      stop(CreateEventA(nullptr, TRUE, FALSE, stopName.c_str())) {
  const std::string readyName = UniqueName("collector.ready");
  ombru::Handle ready(CreateEventA(nullptr, TRUE, FALSE, readyName.c_str()));
  process.emplace(SiblingPath("log_collector.exe"),
                  "\"" + outputPath + "\" " + readyName + " " + stopName + " " + behaviour);
  HANDLE waitFor[] = {ready.Get(), process->Get()};
  running = process->Started() && WaitForMultipleObjects(2, waitFor, FALSE, 10000) == WAIT_OBJECT_0;
}

LogCollector::~LogCollector() {
  SetEvent(stop.Get());
  if (process)
    process->WaitForExit(5000);
  process.reset();
  DeleteFileA(outputPath.c_str());
}

std::vector<std::string> LogCollector::Messages(char pipe) const {
  std::ifstream file(outputPath, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<std::string> messages;
  size_t at = 0;
  while (at + 5 <= bytes.size()) {
    size_t length = 0;
    for (int i = 0; i < 4; ++i) {
      length |= size_t{static_cast<unsigned char>(bytes[at + 1 + i])} << (8 * i);
    }
    if (at + 5 + length > bytes.size())
      break;
    if (bytes[at] == pipe)
      messages.push_back(bytes.substr(at + 5, length));
    at += 5 + length;
  }
  return messages;
}

std::vector<std::string> LogCollector::WaitForMessages(char pipe, size_t count,
                                                       DWORD timeoutMs) const {
  return PollForCount([&] { return Messages(pipe); }, count, timeoutMs);
}

}  // namespace testsupport

namespace testsupport {

std::vector<std::string> LogCollector::WaitForInfoTexts(size_t count, DWORD timeoutMs) const {
  std::vector<std::string> texts;
  for (const std::string& record : WaitForMessages(kInfoPipe, count, timeoutMs)) {
    texts.push_back(InfoText(record));
  }
  return texts;
}

}  // namespace testsupport

#include "drivers/log_collector.h"

#include "common/little_endian.h"
#include "common/record_file.h"

namespace lab {

std::string InfoText(const std::string& record) { return record.substr(0, record.find('|')); }

std::string Bracketed(const std::vector<std::string>& texts, size_t from) {
  std::string joined;
  for (size_t i = from; i < texts.size(); ++i)
    joined += "[" + texts[i] + "]";
  return joined;
}

LogCollector::LogCollector(const char* behaviour)
    : outputPath(TempPath("collector")),
      stopName(UniqueName("collector.stop")),
      stop(CreateEventA(nullptr, TRUE, FALSE, stopName.c_str())) {
  const std::string readyName = UniqueName("collector.ready");
  lab::Handle ready(CreateEventA(nullptr, TRUE, FALSE, readyName.c_str()));
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
  // The process may be seen as ended a moment before its pipes are gone, and a server started in
  // that moment would find them still served.
  for (const LogPipe* pipe : {&InfoPipe(), &RecordPipe()}) {
    PollUntil(
        [&] { return !WaitNamedPipeA(pipe->name, 1) && GetLastError() == ERROR_FILE_NOT_FOUND; },
        5000);
  }
  DeleteFileA(outputPath.c_str());
}

std::vector<std::string> LogCollector::Messages(const LogPipe& pipe) const {
  const std::string bytes = FileBytes(outputPath);
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  std::vector<std::string> messages;
  for (size_t at = 0; at + 5 <= bytes.size();) {
    const size_t length = ReadUInt32(data + at + 1);
    if (at + 5 + length > bytes.size())
      break;
    if (bytes[at] == pipe.letter)
      messages.push_back(bytes.substr(at + 5, length));
    at += 5 + length;
  }
  return messages;
}

std::vector<std::string> LogCollector::WaitForMessages(const LogPipe& pipe, size_t count,
                                                       DWORD timeoutMs) const {
  return PollForCount([&] { return Messages(pipe); }, count, timeoutMs);
}

std::vector<std::string> LogCollector::WaitForInfoTexts(size_t count, DWORD timeoutMs) const {
  std::vector<std::string> texts;
  for (const std::string& record : WaitForMessages(InfoPipe(), count, timeoutMs))
    texts.push_back(InfoText(record));
  return texts;
}

}  // namespace lab

// LogInfo against a raw connect-write-close loop over the same pipe and the same collector, in
// one run: how much the log's own work (path, formatting, message mode) costs per record.
#include <windows.h>

#include <cstdio>
#include <string>

#include "log/win_log_impl.h"
#include "support/log_collector.h"

namespace {

constexpr int kRecords = 2000;
constexpr char kPipe[] = "\\\\.\\pipe\\VLM.Log.Info";

void RawSend(const std::string& record) {
  HANDLE pipe =
      CreateFileA(kPipe, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) {
    if (GetLastError() != ERROR_PIPE_BUSY || !WaitNamedPipeA(kPipe, 1000))
      return;
    pipe = CreateFileA(kPipe, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
      return;
  }
  DWORD written = 0;
  WriteFile(pipe, record.c_str(), static_cast<DWORD>(record.size() + 1), &written, nullptr);
  CloseHandle(pipe);
}

template <typename Send>
double RecordsPerSecond(const testsupport::LogCollector& collector, size_t before, Send send) {
  const double start = testsupport::NowMs();
  for (int i = 0; i < kRecords; ++i)
    send();
  collector.WaitForMessages(testsupport::kInfoPipe, before + kRecords, 60000);
  return kRecords * 1000.0 / (testsupport::NowMs() - start);
}

}  // namespace

int main() {
  testsupport::LogCollector collector;
  if (!collector.Running()) {
    std::printf("log collector stand-in did not start\n");
    return 1;
  }
  CWinLogImpl log;
  const std::string record = "Detected shell start|4712|C:\\Apps\\agent.exe";

  const double raw = RecordsPerSecond(collector, 0, [&] { RawSend(record); });
  const double logged =
      RecordsPerSecond(collector, kRecords, [&] { log.LogInfo("Detected shell start"); });
  const size_t arrived = collector.Messages(testsupport::kInfoPipe).size();

  std::printf("| raw connect-write-close to the collector, records/s | %.0f | |\n", raw);
  std::printf("| LogInfo, records/s (%zu of %d records arrived) | %.0f | |\n", arrived,
              2 * kRecords, logged);
  std::printf("| LogInfo / raw | %.2f | >= 0.9 |\n", logged / raw);
  return 0;
}

// LogInfo against a raw connect-write-close loop over the same pipe and the same collector, in
// one run: how much the log's own work (path, formatting, message mode) costs per record.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "drivers/log_collector.h"
#include "log/win_log_impl.h"
#include "spread.h"

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

constexpr int kRounds = 10;

// Milliseconds for one batch of records, counted until the collector holds them all.
template <typename Send>
double BatchMs(const lab::LogCollector& collector, Send send) {
  const size_t before = collector.Messages(lab::InfoPipe()).size();
  const double start = lab::NowMs();
  for (int i = 0; i < kRecords / kRounds; ++i)
    send();
  collector.WaitForMessages(lab::InfoPipe(), before + kRecords / kRounds, 60000);
  return lab::NowMs() - start;
}

}  // namespace

int main() {
  lab::LogCollector collector;
  if (!collector.Running()) {
    std::printf("log collector stand-in did not start\n");
    return 1;
  }
  CWinLogImpl log;
  const std::string record = "Detected shell start|4712|C:\\Apps\\agent.exe";

  // Alternating batches, so that neither side profits from warming up or from drift.
  double rawMs = 0, loggedMs = 0;
  std::vector<double> ratios;
  for (int round = 0; round < kRounds; ++round) {
    const double roundRawMs = BatchMs(collector, [&] { RawSend(record); });
    const double roundLoggedMs = BatchMs(collector, [&] { log.LogInfo("Detected shell start"); });
    ratios.push_back(roundRawMs / roundLoggedMs);
    rawMs += roundRawMs;
    loggedMs += roundLoggedMs;
  }
  const double raw = kRecords * 1000.0 / rawMs;
  const double logged = kRecords * 1000.0 / loggedMs;
  const size_t arrived = collector.Messages(lab::InfoPipe()).size();

  std::printf("| raw connect-write-close to the collector, records/s | %.0f | |\n", raw);
  std::printf("| LogInfo, records/s (%zu of %d records arrived) | %.0f | |\n", arrived,
              2 * kRecords, logged);
  std::printf("| LogInfo / raw, median of %d interleaved rounds (lowest-highest) | %s | >= 0.9 |\n",
              kRounds, bench::MedianAndRange(ratios).c_str());
  return 0;
}

// The agent in a session, measured against the stand-ins.
//
//   session_bench.exe latency N   shell exit to the runtime stand-in's receipt of 922, N times
//   session_bench.exe start N     agent start to its first record after the start record, against
//                                 the floor (the same start-up calls) and a bare user32 program,
//                                 N times each
//   session_bench.exe idle S      the agent, the floor (a window whose 100 ms tick makes the shell
//                                 test's calls) and a bare window with the same timer, side by
//                                 side with a shell running, for S seconds; prints "ready" and
//                                 the three process ids when all run, so that bench/run.sh can
//                                 sample their CPU
//   session_bench.exe flood N R   the agent's peak threads and working set while a runtime that
//                                 holds its first report is flooded with N storage-settings
//                                 broadcasts, beside the same agent held as long without them, in
//                                 R interleaved rounds
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <psapi.h>

#include "drivers/agent.h"
#include "drivers/directory_client.h"
#include "drivers/log_collector.h"
#include "drivers/process.h"
#include "drivers/runtime_record.h"
#include "drivers/shell.h"
#include "spread.h"

namespace {

constexpr uint32_t kShellStarted = 923;
constexpr uint32_t kShellStopped = 922;

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<size_t>(fraction * values.size()))];
}

int Latency(int transitions) {
  lab::RuntimeStandIn runtime;
  lab::LogCollector collector;
  lab::ChildProcess agent(lab::SiblingPath("ombru.exe"), "");
  runtime.WaitForSent(kShellStopped, 1);  // the first tick: no shell yet

  std::vector<double> latencies;
  for (int i = 0; i < transitions; ++i) {
    lab::ShellStandIn shell;
    runtime.WaitForSent(kShellStarted, static_cast<size_t>(i + 1));
    // End the shell at a point of the timer period that owes nothing to the last tick.
    Sleep(static_cast<DWORD>((i * 37) % 100));
    shell.Stop();
    const double ended = lab::NowMs();
    runtime.WaitForSent(kShellStopped, static_cast<size_t>(i + 2));
    const auto stopped = runtime.Sent(kShellStopped);
    if (stopped.size() == static_cast<size_t>(i + 2))
      latencies.push_back(stopped.back().timeMs - ended);
  }
  lab::PostToThread(agent.MainThreadId(), WM_QUIT, 0, 0);
  agent.WaitForExit(10000);
  if (latencies.empty())
    return 1;

  std::printf(
      "| shell exit to 922 at the runtime, median (%zu transitions, timer period 100 ms) "
      "| %.1f ms | <= 80 ms |\n",
      latencies.size(), Percentile(latencies, 0.5));
  std::printf("| shell exit to 922 at the runtime, 99th percentile | %.1f ms | <= 150 ms |\n",
              Percentile(latencies, 0.99));
  return 0;
}

// Milliseconds from CreateProcess until the collector holds `records` more messages.
double StartToRecords(const lab::LogCollector& collector, const char* exe, const char* arguments,
                      size_t records) {
  const size_t before = collector.Messages(lab::InfoPipe()).size();
  lab::WaitForNoAgent();
  const double start = lab::NowMs();
  lab::ChildProcess process(lab::SiblingPath(exe), arguments);
  while (collector.Messages(lab::InfoPipe()).size() < before + records &&
         lab::NowMs() - start < 10000) {
    Sleep(1);
  }
  const double elapsed = lab::NowMs() - start;
  lab::PostToThread(process.MainThreadId(), WM_QUIT, 0, 0);
  process.WaitForExit(10000);
  return elapsed;
}

int Start(int runs) {
  lab::RuntimeStandIn runtime;
  lab::LogCollector collector;
  lab::ShellStandIn shell;
  std::vector<double> agent, floor, bare, toFloor, toBare;
  for (int i = 0; i < runs; ++i) {
    agent.push_back(StartToRecords(collector, "ombru.exe", "", 2));
    floor.push_back(StartToRecords(collector, "bare_timer_window.exe", "--startup", 2));
    bare.push_back(StartToRecords(collector, "bare_timer_window.exe", "--report", 1));
    toFloor.push_back(agent.back() / floor.back());
    toBare.push_back(agent.back() / bare.back());
  }
  using bench::Median;
  std::printf(
      "| agent start to its first report after the start record, median of %d | %.1f ms | |\n",
      runs, Median(agent));
  std::printf("| floor: the same start-up calls, then a report | %.1f ms | |\n", Median(floor));
  std::printf("| bare user32 program start to its first record | %.1f ms | |\n", Median(bare));
  std::printf(
      "| start, agent / floor, median of %d interleaved rounds (lowest-highest) | %s | "
      "<= 1.1 |\n",
      runs, bench::MedianAndRange(toFloor).c_str());
  std::printf("| start, agent / bare, the same rounds | %s | |\n",
              bench::MedianAndRange(toBare).c_str());
  return 0;
}

int Idle(int seconds) {
  lab::RuntimeStandIn runtime;
  lab::LogCollector collector;
  lab::ShellStandIn shell;
  lab::ChildProcess agent(lab::SiblingPath("ombru.exe"), "");
  lab::ChildProcess floor(lab::SiblingPath("bare_timer_window.exe"), "--shell-test");
  lab::ChildProcess bare(lab::SiblingPath("bare_timer_window.exe"), "");
  lab::WaitForThreadWindow(agent.MainThreadId(), "ATL:");
  Sleep(1000);
  std::printf("ready %lu %lu %lu\n", agent.Id(), floor.Id(), bare.Id());
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(seconds) * 1000 + 2000);
  for (const lab::ChildProcess* process : {&agent, &floor, &bare}) {
    lab::PostToThread(process->MainThreadId(), WM_QUIT, 0, 0);
    process->WaitForExit(10000);
  }
  return 0;
}

struct Footprint {
  size_t threads = 0;     // the most seen
  size_t workingSet = 0;  // the peak, bytes
};

// An agent whose first report (the user's, at creation) the runtime holds, flooded with
// `broadcasts` storage-settings changes, each of which asks for another; 0: held as long as a
// flood took, untouched.
Footprint HeldAgent(int broadcasts, double holdMs) {
  lab::ShellStandIn shell;
  lab::RuntimeStandIn runtime;
  runtime.SetStorageType("2");
  runtime.HoldConnectUntilReleased(1);
  lab::ConfigureDirectoryClient({});
  lab::LogCollector collector;
  lab::UseDirectoryClient(lab::DirectoryClient::Complete);
  lab::Agent agent;
  runtime.WaitForCalls("Connect", 1);
  Footprint footprint;
  const auto sample = [&] {
    footprint.threads = std::max(footprint.threads, lab::ThreadCountOf(agent.Process().Id()));
  };
  const double start = lab::NowMs();
  for (int i = 1; i <= broadcasts; ++i) {
    agent.SettingChange("VLMStorageSettings");
    if (i % 100 == 0)
      sample();
  }
  while (lab::NowMs() - start < holdMs) {
    sample();
    Sleep(100);
  }
  sample();
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  GetProcessMemoryInfo(agent.Process().Get(), &memory, sizeof(memory));
  footprint.workingSet = memory.PeakWorkingSetSize;
  runtime.ReleaseConnect();
  agent.Exit();
  lab::UseDirectoryClient(lab::DirectoryClient::Absent);
  return footprint;
}

int Flood(int broadcasts, int rounds) {
  std::vector<double> workingSets, extraThreads;
  Footprint flooded, idle;
  for (int i = 0; i < rounds; ++i) {
    const double start = lab::NowMs();
    flooded = HeldAgent(broadcasts, 0);
    idle = HeldAgent(0, lab::NowMs() - start);
    workingSets.push_back(static_cast<double>(flooded.workingSet) / idle.workingSet);
    extraThreads.push_back(static_cast<double>(flooded.threads) - idle.threads);
  }
  std::printf(
      "| held runtime, %d broadcasts: agent's peak working set, last round | %.1f MiB | |\n",
      broadcasts, flooded.workingSet / 1048576.0);
  std::printf("| the same agent held as long, idle: peak working set, last round | %.1f MiB | |\n",
              idle.workingSet / 1048576.0);
  std::printf(
      "| peak working set, flooded / idle, median of %d interleaved rounds (lowest-highest) | %s | "
      "<= 1.1 |\n",
      rounds, bench::MedianAndRange(workingSets).c_str());
  std::printf("| threads, flooded - idle, the same rounds (idle: %zu in the last) | %s | <= 2 |\n",
              idle.threads, bench::MedianAndRange(extraThreads).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "latency") == 0)
    return Latency(std::atoi(argv[2]));
  if (argc == 3 && std::strcmp(argv[1], "start") == 0)
    return Start(std::atoi(argv[2]));
  if (argc == 3 && std::strcmp(argv[1], "idle") == 0)
    return Idle(std::atoi(argv[2]));
  if (argc == 4 && std::strcmp(argv[1], "flood") == 0)
    return Flood(std::atoi(argv[2]), std::atoi(argv[3]));
  std::printf("usage: session_bench.exe latency N | start N | idle SECONDS | flood N ROUNDS\n");
  return 2;
}

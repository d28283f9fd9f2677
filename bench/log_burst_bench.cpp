// Many agents logging at the same moment, as on a terminal server after a policy refresh or a
// logon storm: N writers released at once, each sending one record with the agent's client; then a
// steady stream from 8 writers. Into the log viewer, and into two floors that keep the system's 255
// instances a pipe listening, one thread each: one that also asks the system which process sent
// each message, the work the viewer does to name the sender (the lab collector's "wide-naming"),
// and the plainest one, which does not (its "wide"). They take turns, round by round, in one run.
//
//   log_burst_bench.exe [ROUNDS]
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "drivers/log_client.h"
#include "drivers/log_collector.h"
#include "drivers/log_viewer.h"
#include "drivers/process.h"
#include "spread.h"

namespace {

constexpr size_t kSteadyWriters = 8;
constexpr size_t kSteadyRecordsEach = 1000;
// A count that has not moved for this long is all a server took.
constexpr double kSettledMs = 2000;

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

// A server under test: how many records with the given tag it has taken, and the most memory its
// process has held, in MiB.
struct Taken {
  std::function<size_t(const std::string& tag)> count;
  HANDLE process;
  size_t operator()(const std::string& tag) const { return count(tag); }
  double PeakMiB() const {
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof(memory);
    GetProcessMemoryInfo(process, &memory, sizeof(memory));
    return memory.PeakWorkingSetSize / 1048576.0;
  }
};

struct Writer {
  HANDLE go;
  std::string tag;
  size_t records;
};

DWORD WINAPI Write(void* parameter) {
  const Writer& writer = *static_cast<const Writer*>(parameter);
  WaitForSingleObject(writer.go, INFINITE);
  for (size_t i = 0; i < writer.records; ++i) {
    const std::string record = writer.tag + " " + std::to_string(i) + "|" +
                               std::to_string(GetCurrentThreadId()) + "|C:\\bench\\ombru.exe";
    lab::SendAsAgent(lab::InfoPipe().name, record);
  }
  return 0;
}

// Starts `count` writers, releases them together and returns once every one has sent its records.
void RunWriters(size_t count, size_t recordsEach, const std::string& tag) {
  const lab::Handle go(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  std::vector<std::unique_ptr<Writer>> writers;
  std::vector<lab::Handle> threads;
  for (size_t i = 0; i < count; ++i) {
    writers.push_back(
        std::make_unique<Writer>(Writer{go.Get(), tag + "." + std::to_string(i), recordsEach}));
    threads.emplace_back(CreateThread(nullptr, 64 * 1024, Write, writers.back().get(),
                                      STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  }
  SetEvent(go.Get());
  for (const lab::Handle& thread : threads)
    WaitForSingleObject(thread.Get(), INFINITE);
}

// Waits until the server has taken `expected` records of the tag, or its count has settled.
size_t WaitForTaken(const Taken& taken, const std::string& tag, size_t expected) {
  size_t count = taken(tag);
  double changed = lab::NowMs();
  while (count < expected && lab::NowMs() - changed < kSettledMs) {
    Sleep(50);
    const size_t now = taken(tag);
    if (now != count) {
      count = now;
      changed = lab::NowMs();
    }
  }
  return count;
}

enum Server { kViewer, kFloor, kPlainFloor, kServers };
const char* const kServerNames[kServers] = {"viewer", "floor", "plain floor"};

// Runs `round` against a freshly started viewer and each floor in turn.
void EachServer(const std::function<void(Server server, const Taken& taken)>& round) {
  {
    lab::LogViewer viewer("--raw");
    viewer.WaitForOutput("serving", 10000);
    round(kViewer, {[&](const std::string& tag) { return Occurrences(viewer.Output(), tag + "."); },
                    viewer.Process()});
  }
  for (const Server server : {kFloor, kPlainFloor}) {
    lab::LogCollector floor(server == kFloor ? "wide-naming" : "wide");
    const auto count = [&](const std::string& tag) {
      size_t taken = 0;
      for (const std::string& message : floor.Messages(lab::InfoPipe()))
        taken += message.compare(0, tag.size() + 1, tag + ".") == 0;
      return taken;
    };
    round(server, {count, floor.Process()});
  }
}

void Burst(size_t writers, int rounds) {
  std::vector<double> taken[kServers];
  for (int round = 0; round < rounds; ++round) {
    EachServer([&](Server server, const Taken& count) {
      const std::string tag = "burst" + std::to_string(writers) + "-" + std::to_string(round) +
                              "-" + std::to_string(server);
      RunWriters(writers, 1, tag);
      taken[server].push_back(static_cast<double>(WaitForTaken(count, tag, writers)));
    });
  }
  std::printf(
      "| records taken of %zu writers released at once, median of %d rounds (lowest-highest): "
      "viewer | %s | all %zu, and at least the floor's |\n",
      writers, rounds, bench::MedianAndRange(taken[kViewer]).c_str(), writers);
  for (const Server floor : {kFloor, kPlainFloor}) {
    std::printf("| the same, %s | %s | |\n", kServerNames[floor],
                bench::MedianAndRange(taken[floor]).c_str());
  }
}

void Steady(int rounds) {
  constexpr size_t kRecords = kSteadyWriters * kSteadyRecordsEach;
  std::vector<double> perSecond[kServers], ratios[kServers], peakMiB[kServers];
  for (int round = 0; round < rounds; ++round) {
    EachServer([&](Server server, const Taken& count) {
      const std::string tag = "steady" + std::to_string(round) + "-" + std::to_string(server);
      const double start = lab::NowMs();
      RunWriters(kSteadyWriters, kSteadyRecordsEach, tag);
      const size_t taken = WaitForTaken(count, tag, kRecords);
      perSecond[server].push_back(taken * 1000.0 / (lab::NowMs() - start));
      peakMiB[server].push_back(count.PeakMiB());
    });
    for (const Server floor : {kFloor, kPlainFloor})
      ratios[floor].push_back(perSecond[kViewer].back() / perSecond[floor].back());
  }
  for (int server = 0; server < kServers; ++server) {
    std::printf("| steady stream from %zu writers, records/s taken, median: %s | %.0f | |\n",
                kSteadyWriters, kServerNames[server], bench::Median(perSecond[server]));
  }
  std::printf(
      "| steady stream, viewer / floor, median of %d rounds (lowest-highest) | %s | >= 0.9 |\n",
      rounds, bench::MedianAndRange(ratios[kFloor]).c_str());
  std::printf("| steady stream, viewer / plain floor, the same rounds | %s | |\n",
              bench::MedianAndRange(ratios[kPlainFloor]).c_str());
  for (int server = 0; server < kServers; ++server) {
    std::printf("| peak working set after the stream, median: %s | %.1f MiB | |\n",
                kServerNames[server], bench::Median(peakMiB[server]));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
  for (const size_t writers : {50, 200, 500})
    Burst(writers, rounds);
  Steady(rounds);
  return 0;
}

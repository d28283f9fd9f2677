// Plays an agent's session against the stand-ins and prints a timeline of what arrived where.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/log_collector.h"
#include "support/process.h"

namespace {

double startMs = 0;

std::vector<std::string> Fields(const std::string& message) {
  std::string text = message;
  if (!text.empty() && text.back() == '\0')
    text.pop_back();
  std::vector<std::string> fields;
  size_t from = 0;
  for (size_t bar; (bar = text.find('|', from)) != std::string::npos; from = bar + 1) {
    fields.push_back(text.substr(from, bar - from));
  }
  fields.push_back(text.substr(from));
  return fields;
}

void PrintNew(const testsupport::LogCollector& collector, char pipe, const char* where,
              size_t& shown) {
  const auto messages = collector.Messages(pipe);
  for (; shown < messages.size(); ++shown) {
    const auto fields = Fields(messages[shown]);
    std::printf("%8.3f s  %-16s %zu bytes\n", (testsupport::NowMs() - startMs) / 1000, where,
                messages[shown].size());
    for (size_t i = 0; i < fields.size(); ++i) {
      std::printf("%30s field %zu: %s\n", "", i + 1, fields[i].c_str());
    }
  }
}

void Step(const char* what) {
  std::printf("%8.3f s  %-16s %s\n", (testsupport::NowMs() - startMs) / 1000, "demo", what);
}

}  // namespace

int main() {
  startMs = testsupport::NowMs();
  testsupport::LogCollector collector;
  if (!collector.Running()) {
    std::printf("the log collector stand-in did not start\n");
    return 1;
  }
  size_t infoShown = 0, recordShown = 0;

  Step("starting the agent: ombru.exe with no option");
  testsupport::ChildProcess agent(testsupport::SiblingPath("ombru.exe"), "");
  collector.WaitForMessages(testsupport::kInfoPipe, 1);
  PrintNew(collector, testsupport::kInfoPipe, "information pipe", infoShown);

  Step("a second agent in the same session ends at once");
  testsupport::ChildProcess second(testsupport::SiblingPath("ombru.exe"), "");
  second.WaitForExit(10000);
  collector.WaitForMessages(testsupport::kInfoPipe, 2);
  PrintNew(collector, testsupport::kInfoPipe, "information pipe", infoShown);
  std::printf("%30s exit code %lu\n", "", second.ExitCode());

  Step("posting WM_QUIT with wParam 0 to the agent's main thread");
  testsupport::PostToThread(agent.MainThreadId(), WM_QUIT, 0, 0);
  agent.WaitForExit(10000);
  std::printf("%30s agent exit code %lu\n", "", agent.ExitCode());
  PrintNew(collector, testsupport::kInfoPipe, "information pipe", infoShown);
  PrintNew(collector, testsupport::kRecordPipe, "record pipe", recordShown);
  return agent.ExitCode() == 0 ? 0 : 1;
}

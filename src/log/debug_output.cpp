#include "log/debug_output.h"

#include "framework/exclusive_lock.h"

namespace ombru {

DebugOutputWriter::DebugOutputWriter(Write write, Limits limits)
    : write(std::move(write)), limits(limits) {}

DebugOutputWriter::~DebugOutputWriter() {
  {
    const ExclusiveLock hold(lock);
    stopping = true;
  }
  WakeAllConditionVariable(&changed);
  if (thread)
    WaitForSingleObject(thread.Get(), INFINITE);
}

void DebugOutputWriter::Enqueue(std::vector<std::string> lines) {
  size_t bytes = 0;
  for (const std::string& line : lines)
    bytes += line.size() + 1;
  {
    const ExclusiveLock hold(lock);
    if (queue.size() + lines.size() > limits.lines || queuedBytes + bytes > limits.bytes) {
      dropped += lines.size();
      return;
    }
    if (!thread) {
      thread.Reset(CreateThread(nullptr, 0, Run, this, 0, nullptr));
      if (!thread) {
        // Not reached: a thread can be created wherever the program could start.
        dropped += lines.size();
        return;
      }
    }
    for (std::string& line : lines)
      queue.push_back(std::move(line));
    queuedBytes += bytes;
  }
  WakeAllConditionVariable(&changed);
}

bool DebugOutputWriter::Flush(DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  const ExclusiveLock hold(lock);
  while (!Idle()) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline ||
        !SleepConditionVariableSRW(&changed, &lock, static_cast<DWORD>(deadline - now), 0)) {
      return Idle();
    }
  }
  return true;
}

size_t DebugOutputWriter::Dropped() {
  const ExclusiveLock hold(lock);
  return dropped;
}

DWORD WINAPI DebugOutputWriter::Run(void* parameter) {
  auto& self = *static_cast<DebugOutputWriter*>(parameter);
  for (;;) {
    std::string line;
    {
      const ExclusiveLock hold(self.lock);
      while (self.queue.empty() && !self.stopping)
        SleepConditionVariableSRW(&self.changed, &self.lock, INFINITE, 0);
      if (self.queue.empty())
        return 0;
      line = std::move(self.queue.front());
      self.queue.pop_front();
      self.queuedBytes -= line.size() + 1;
      self.writing = true;
    }
    self.write(line.c_str());
    {
      const ExclusiveLock hold(self.lock);
      self.writing = false;
    }
    WakeAllConditionVariable(&self.changed);
  }
}

DebugOutputWriter& DebugOutput() {
  static DebugOutputWriter* const writer =
      new DebugOutputWriter([](const char* line) { OutputDebugStringA(line); });
  return *writer;
}

}  // namespace ombru

// The demo's timeline: events from every peer of the agent, printed in the order they happened
// whatever the order in which the demo learnt of them.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace demo {

using EventFields = std::vector<std::pair<std::string, std::string>>;

struct Event {
  double timeMs;
  const char* where;
  std::string what;
  EventFields fields;
};

class Timeline {
 public:
  explicit Timeline(double epochMs) : epochMs(epochMs) {}

  // May be called from any thread.
  void Add(double timeMs, const char* where, const std::string& what, EventFields fields = {});

  // Prints every event added since the last flush, oldest first.
  void Flush();

  // Every event printed so far, in the order printed.
  const std::vector<Event>& Printed() const { return printed; }
  double EpochMs() const { return epochMs; }

 private:
  const double epochMs;
  std::mutex lock;
  std::vector<Event> pending;
  std::vector<Event> printed;
};

}  // namespace demo

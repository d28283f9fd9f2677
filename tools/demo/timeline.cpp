#include "demo/timeline.h"

#include <algorithm>
#include <cstdio>

namespace demo {

void Timeline::Add(double timeMs, const char* where, const std::string& what, EventFields fields) {
  const std::lock_guard<std::mutex> hold(lock);
  pending.push_back({timeMs, where, what, std::move(fields)});
}

void Timeline::Flush() {
  std::vector<Event> events;
  {
    const std::lock_guard<std::mutex> hold(lock);
    events.swap(pending);
  }
  std::stable_sort(events.begin(), events.end(),
                   [](const Event& a, const Event& b) { return a.timeMs < b.timeMs; });
  for (const Event& event : events) {
    std::printf("%9.3f  %-8s %s\n", (event.timeMs - epochMs) / 1000.0, event.where,
                event.what.c_str());
    for (const auto& field : event.fields)
      std::printf("           %-8s %s\n", field.first.c_str(), field.second.c_str());
  }
  std::fflush(stdout);
  printed.insert(printed.end(), events.begin(), events.end());
}

}  // namespace demo

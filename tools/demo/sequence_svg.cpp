#include "demo/sequence_svg.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "log_viewer/text_encoding.h"
#include "framework/format.h"

namespace demo {
namespace {

// The parties, left to right. ombru.exe stands for every start of it: the agent, its work items,
// the pending operation and the watchdog.
constexpr const char* kParties[] = {"shell",   "ombru.exe", "runtime", "log collector",
                                    "console", "services",  "user"};

constexpr int kTimeColumn = 70, kLaneWidth = 170, kTop = 60, kRow = 24;
// Arrows share their row with the lanes they cross; a step has the whole row.
constexpr size_t kLabelLength = 60, kStepLabelLength = 120;

struct Shape {
  const char* from;  // null: a step of the demo, across every lane
  const char* to;    // null: a mark on `from`'s lane
};

// Who did what to whom, by where the event was seen.
Shape ShapeOf(const Event& event) {
  const std::string where = event.where;
  if (where == "info" || where == "record")
    return {"ombru.exe", "log collector"};
  if (where == "runtime" || where == "console")
    return {"ombru.exe", event.where};
  if (where == "service")
    return {"ombru.exe", "services"};
  if (where == "screen")
    return {"ombru.exe", "user"};
  if (where == "shell")
    return {"shell", nullptr};
  if (where == "debug")
    return {"ombru.exe", nullptr};
  return {nullptr, nullptr};
}

// Text as XML character data: markup escaped, and controls, which XML does not allow, as '?'.
std::string XmlText(const std::string& ansi) {
  std::string text;
  for (const char c : viewer::Utf8FromWide(viewer::WideFromCodePage(ansi, CP_ACP))) {
    switch (c) {
      case '&':
        text += "&amp;";
        break;
      case '<':
        text += "&lt;";
        break;
      case '>':
        text += "&gt;";
        break;
      case '"':
        text += "&quot;";
        break;
      default:
        text += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    }
  }
  return text;
}

std::string Label(const Event& event, size_t longest) {
  std::string label = event.what;
  if (!event.fields.empty())
    label += ": " + event.fields.front().second;
  if (label.size() > longest)
    label = label.substr(0, longest - 3) + "...";
  return label;
}

int LaneX(const std::vector<const char*>& lanes, const char* party) {
  const auto at = std::find_if(lanes.begin(), lanes.end(),
                               [&](const char* lane) { return std::strcmp(lane, party) == 0; });
  return kTimeColumn + kLaneWidth / 2 + static_cast<int>(at - lanes.begin()) * kLaneWidth;
}

std::vector<const char*> LanesTakingPart(const std::vector<Event>& events) {
  std::vector<const char*> lanes;
  for (const char* party : kParties) {
    const bool tookPart = std::any_of(events.begin(), events.end(), [&](const Event& event) {
      const Shape shape = ShapeOf(event);
      return (shape.from && std::strcmp(shape.from, party) == 0) ||
             (shape.to && std::strcmp(shape.to, party) == 0);
    });
    if (tookPart)
      lanes.push_back(party);
  }
  return lanes;
}

std::string EventElement(const Event& event, const std::vector<const char*>& lanes, int y,
                         int width) {
  const Shape shape = ShapeOf(event);
  const std::string label = XmlText(Label(event, shape.from ? kLabelLength : kStepLabelLength));
  if (!shape.from) {
    return ombru::FormatString(
               "<g class=\"event step\"><line x1=\"%d\" y1=\"%d\" x2=\"%d\" "
               "y2=\"%d\" class=\"step\"/><text x=\"%d\" y=\"%d\">",
               kTimeColumn, y, width - 10, y, kTimeColumn + 4, y - 4) +
           label + "</text></g>\n";
  }
  const int from = LaneX(lanes, shape.from);
  if (!shape.to) {
    return ombru::FormatString(
               "<g class=\"event mark\" data-from=\"%s\"><circle cx=\"%d\" "
               "cy=\"%d\" r=\"4\"/><text x=\"%d\" y=\"%d\">",
               shape.from, from, y, from + 8, y - 4) +
           label + "</text></g>\n";
  }
  const int to = LaneX(lanes, shape.to);
  return ombru::FormatString(
             "<g class=\"event arrow\" data-from=\"%s\" data-to=\"%s\"><line "
             "x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" "
             "marker-end=\"url(#head)\"/><text x=\"%d\" y=\"%d\">",
             shape.from, shape.to, from, y, to, y, std::min(from, to) + 6, y - 4) +
         label + "</text></g>\n";
}

}  // namespace

std::string SequenceSvg(const std::vector<Event>& events, double epochMs) {
  const std::vector<const char*> lanes = LanesTakingPart(events);
  const int width = kTimeColumn + static_cast<int>(lanes.size()) * kLaneWidth + 10;
  const int height = kTop + static_cast<int>(events.size() + 1) * kRow;
  std::string svg = ombru::FormatString(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
      "font-family=\"sans-serif\" font-size=\"11\">\n"
      "<style>line{stroke:#333} .lane line{stroke:#bbb;stroke-dasharray:4 3} "
      ".step{stroke:#c60} .step text{fill:#c60;font-weight:bold} circle{fill:#06c}</style>\n"
      "<defs><marker id=\"head\" markerWidth=\"8\" markerHeight=\"8\" refX=\"8\" refY=\"4\" "
      "orient=\"auto\"><path d=\"M0,0 L8,4 L0,8 z\"/></marker></defs>\n"
      "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n",
      width, height);
  for (const char* lane : lanes) {
    const int x = LaneX(lanes, lane);
    svg += ombru::FormatString(
        "<g class=\"lane\" data-party=\"%s\"><text x=\"%d\" y=\"%d\" "
        "text-anchor=\"middle\" font-weight=\"bold\">%s</text><line "
        "x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\"/></g>\n",
        lane, x, kTop - 30, lane, x, kTop - 20, x, height - 10);
  }
  int y = kTop;
  for (const Event& event : events) {
    y += kRow;
    svg += ombru::FormatString("<text x=\"4\" y=\"%d\" fill=\"#666\">%.3f s</text>\n", y - 4,
                               (event.timeMs - epochMs) / 1000.0);
    svg += EventElement(event, lanes, y, width);
  }
  return svg + "</svg>\n";
}

}  // namespace demo

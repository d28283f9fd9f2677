// The demo's session as a picture: an SVG sequence diagram with one lane for each party that took
// part and one arrow or mark for each event of the timeline, in time order, with its time and
// text. Plain SVG, readable by any browser; no library.
#pragma once

#include <string>
#include <vector>

#include "demo/timeline.h"

namespace demo {

// `events` in time order; texts in the system's ANSI code page.
std::string SequenceSvg(const std::vector<Event>& events, double epochMs);

}  // namespace demo

// Milliseconds of the performance counter: the same clock in every process of the machine.
#pragma once

namespace viewer {

double NowMs();

}  // namespace viewer

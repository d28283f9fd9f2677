// The one clock of the lab: milliseconds of the performance counter, which is the same in every
// process of the machine, so that times recorded by different stand-ins can be compared.
#pragma once

namespace lab {

double NowMs();

}  // namespace lab

// How the frame asks for reports to the runtime. The report under way may be held up for as long
// as the runtime does not answer; every change noticed meanwhile merges into the one report of its
// kind that waits behind it, which finds the facts when it runs. So any number of changes costs at
// most one pool thread and one waiting report of each kind, the runtime's last report still
// carries the latest state, and neither kind ever waits behind the other.
#pragma once

namespace ombru {

// A report of the desktop shell's state (NotifyShellStateChange) as it is when the report runs.
void RequestShellStateReport();

// A report of the session's user (NotifyUserChange) as it is when the report runs.
void RequestUserChangeReport();

}  // namespace ombru

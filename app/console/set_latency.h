#pragma once
// torvane-list --set-latency MS --port PORT: the latency timer of one listed
// converter, set through the vendor library (Linux: its latency_timer in
// sysfs; Windows: FT_SetLatencyTimer), in effect until the converter is
// plugged in again.
#include <iosfwd>
#include <string>

#include "app/console/lister.h"

namespace torvane_list {

// Lists the converters as --json does and sets the timer of the one `port`
// names: its port ("COM36", any case), its device, its by-id or by-path link,
// or else its serial number. Prints one line on `out` when it was set and
// returns kExitClean (kExitOutputError when that line cannot be written).
// kExitNoSuchPort when nothing, or several converters sharing a serial, match
// (those are named); kExitLatencyNotSet when the converter cannot be opened or
// refuses (where the system has udev and permission is missing, the message
// gives the rule line that sets the timer at every plug-in). Messages go to
// `err`. `milliseconds` is 1..255, checked by the command line.
int SetLatency(int milliseconds, const std::string& port, Output& out, std::ostream& err);

}  // namespace torvane_list

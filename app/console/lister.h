#pragma once
// torvane-list: the device list refresh into an in-memory grid, printed as
// text. Kept apart from main() so that tests can run it in-process.
#include <iosfwd>

namespace torvane_list {

// Runs one refresh and prints every grid row from the header row, one line a
// row with the four cells joined by a tab, then the label's text as the last
// line, all to `out`. Messages (the device layer's status dialogs) go to `err`
// as their text, one line each. Returns 0; when an error escapes the refresh,
// prints its message with a full stop to `err` and returns 1.
int ListDevices(std::ostream& out, std::ostream& err);

}  // namespace torvane_list

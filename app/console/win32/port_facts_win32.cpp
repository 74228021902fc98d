// Windows has no more to say about a port than the vendor library does: no
// links, no list of the processes that hold it, no udev.
#include "app/console/port_details.h"

namespace torvane_list {

std::optional<NodeFacts> FactsOfNode(const std::string&) { return std::nullopt; }

std::string NodeFactsEnvironmentHelp() { return {}; }

std::optional<std::string> PermanentLatencyRule(const std::string&, int, int) { return std::nullopt; }

}  // namespace torvane_list

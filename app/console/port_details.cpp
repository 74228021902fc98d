#include "app/console/port_details.h"

#include <cmath>
#include <utility>

#include "devlist/unit2.h"

namespace torvane_list {
namespace {

using Json = nlohmann::ordered_json;

// A whole number of Mbit/s prints without a fraction (12, not 12.0).
Json Speed(double mbps) {
    return std::floor(mbps) == mbps ? Json(static_cast<std::int64_t>(mbps)) : Json(mbps);
}

template <typename T>
Json OrNull(const std::optional<T>& value) {
    return value ? Json(*value) : Json(nullptr);
}

Json Holders(const std::optional<std::vector<Holder>>& holders) {
    if (!holders) return nullptr;
    Json list = Json::array();
    for (const Holder& holder : *holders) list.push_back({{"pid", holder.pid}, {"command", holder.command}});
    return list;
}

}  // namespace

RowLatencies::RowLatencies() {
    devlist::InstallListedRowObserver([this](int row) {
        std::uint8_t milliseconds = 0;
        if (d2xx::GetFTLatencyTimer(milliseconds) == FT_OK) latencies_[row] = milliseconds;
    });
}

RowLatencies::~RowLatencies() { devlist::InstallListedRowObserver({}); }

std::optional<std::uint8_t> RowLatencies::Of(int row) const {
    const auto found = latencies_.find(row);
    return found == latencies_.end() ? std::nullopt : std::optional<std::uint8_t>(found->second);
}

void AddPortDetails(Json& object, std::optional<std::uint8_t> latency, const d2xx::DeviceInfoNode* node) {
    object["latency_ms"] = OrNull(latency);
    const Json& device = object["device"];
    const std::optional<NodeFacts> facts =
        device.is_string() ? FactsOfNode(device.get<std::string>()) : std::nullopt;
    if (facts) {
        object["usb_speed_mbps"] = facts->usbSpeedMbps ? Speed(*facts->usbSpeedMbps) : Json(nullptr);
        object["by_id"] = OrNull(facts->byId);
        object["by_path"] = OrNull(facts->byPath);
        object["in_use"] = OrNull(facts->inUse);
        object["held_by"] = Holders(facts->heldBy);
        return;
    }
    // Only the vendor's flags: high speed or full speed, and open or not.
    object["usb_speed_mbps"] = node ? Json((node->flags & FT_FLAGS_HISPEED) ? 480 : 12) : Json(nullptr);
    object["by_id"] = nullptr;
    object["by_path"] = nullptr;
    object["in_use"] = node ? Json((node->flags & FT_FLAGS_OPENED) != 0) : Json(nullptr);
    object["held_by"] = nullptr;
}

}  // namespace torvane_list

#pragma once
// The tests' device event source: events injected by hand instead of udev.
#include <condition_variable>
#include <mutex>
#include <optional>

#include "app/linux/hotplug.h"

namespace hotplug {

// A source fed by hand: Inject from any thread.
class ManualEventSource final : public DeviceEventSource {
public:
    void Inject(int events = 1);
    int Wait(std::optional<Milliseconds> timeout) override;
    void Interrupt() override;

private:
    std::mutex lock_;
    std::condition_variable changed_;
    int pending_ = 0;
    bool interrupted_ = false;
};

}  // namespace hotplug

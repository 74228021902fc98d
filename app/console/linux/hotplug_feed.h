#pragma once
// --watch on Linux: the window's hot-plug watcher (app/linux) as the lister's
// change feed, ended by SIGINT or SIGTERM or by the output's reader going away.
#include <signal.h>

#include <memory>

#include "app/console/lister.h"
#include "app/linux/hotplug.h"
#include "torvane/unique_fd.h"

namespace torvane_list {

class HotplugFeed final : public ChangeFeed {
public:
    // Over udev's monitor, coalesced as the window's watcher is (a burst
    // answered once, at most one change a second); nullptr without udev.
    static std::unique_ptr<HotplugFeed> OverUdev(int outputFd);

    // Changes from `source`. SIGINT and SIGTERM are blocked in the watcher
    // thread for its life, and in the calling thread only while it waits in
    // WaitForChange, where a signalfd takes them: either ends the watch. At
    // any other moment (a listing being made or written, perhaps stuck on a
    // reader that stopped reading) they act as on any program: by default
    // they end it. An error or hang-up on `outputFd` (a pipe whose reader
    // closed it, a terminal that hung up) ends the watch too; -1 watches no
    // output.
    HotplugFeed(std::unique_ptr<hotplug::DeviceEventSource> source, int outputFd, hotplug::CoalescingPolicy policy);
    ~HotplugFeed() override;
    HotplugFeed(const HotplugFeed&) = delete;
    HotplugFeed& operator=(const HotplugFeed&) = delete;

    // Blocks until one of the three; Stop also when the wait itself fails.
    Next WaitForChange() override;

private:
    Next Wait();

    torvane::UniqueFd signals_;
    torvane::UniqueFd changes_;  // an eventfd the watcher's callback counts up
    int outputFd_;
    std::unique_ptr<hotplug::HotplugWatcher> watcher_;  // declared last: stopped first
};

}  // namespace torvane_list

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

    // Changes from `source`. While the feed lives, SIGINT and SIGTERM are
    // blocked in the constructing thread (and in the watcher thread, which
    // inherits the mask) and taken through a signalfd: either ends the watch.
    // So does an error or hang-up on `outputFd` (a pipe whose reader closed
    // it, a terminal that hung up); -1 watches no output.
    HotplugFeed(std::unique_ptr<hotplug::DeviceEventSource> source, int outputFd, hotplug::CoalescingPolicy policy);
    ~HotplugFeed() override;
    HotplugFeed(const HotplugFeed&) = delete;
    HotplugFeed& operator=(const HotplugFeed&) = delete;

    // Blocks until one of the three; Stop also when the wait itself fails.
    Next WaitForChange() override;

private:
    friend class SignalEndedOutput;

    sigset_t previousMask_{};
    torvane::UniqueFd signals_;
    torvane::UniqueFd changes_;  // an eventfd the watcher's callback counts up
    int outputFd_;
    std::unique_ptr<hotplug::HotplugWatcher> watcher_;  // declared last: stopped first
};

// The watch's output. Each write runs with the signal mask the program had
// before `feed`: a SIGINT or SIGTERM that comes while a write is stuck (a
// reader that stopped reading: a full pipe, a stopped terminal) ends the
// program by the signal's own action, as it ends any program, whereas one
// that comes between writes ends the watch through the feed.
class SignalEndedOutput final : public Output {
public:
    SignalEndedOutput(const HotplugFeed& feed, Output& inner) : feed_(feed), inner_(inner) {}
    int Write(std::string_view text) override;

private:
    const HotplugFeed& feed_;
    Output& inner_;
};

}  // namespace torvane_list

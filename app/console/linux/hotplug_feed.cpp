#include "app/console/linux/hotplug_feed.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <utility>

#include "app/linux/udev_event_source.h"

namespace torvane_list {
namespace {

sigset_t EndingSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

}  // namespace

std::unique_ptr<HotplugFeed> HotplugFeed::OverUdev(int outputFd) {
    std::unique_ptr<hotplug::DeviceEventSource> source = hotplug::MakeUdevEventSource();
    if (!source) return nullptr;
    return std::make_unique<HotplugFeed>(
        std::move(source), outputFd,
        hotplug::CoalescingPolicy{std::chrono::milliseconds(1000), std::chrono::milliseconds(200)});
}

HotplugFeed::HotplugFeed(std::unique_ptr<hotplug::DeviceEventSource> source, int outputFd,
                         hotplug::CoalescingPolicy policy)
    : changes_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), outputFd_(outputFd) {
    // Blocked while the watcher thread starts, which keeps that mask for its
    // life: a signal is never delivered there, only to this thread.
    const sigset_t signals = EndingSignals();
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &signals, &previous);
    signals_.Reset(signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK));
    const int changes = changes_.Get();
    watcher_ = std::make_unique<hotplug::HotplugWatcher>(
        std::move(source),
        [changes] {
            const std::uint64_t one = 1;
            // A full counter already wakes the reader; nothing is lost then.
            [[maybe_unused]] const ssize_t ignored = write(changes, &one, sizeof one);
        },
        policy);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

HotplugFeed::~HotplugFeed() {
    watcher_.reset();
    signals_.Close();
}

ChangeFeed::Next HotplugFeed::WaitForChange() {
    // Blocked only for the wait, so that the signalfd takes them there; a
    // signal pending when the mask comes back (a second one) acts at once.
    const sigset_t signals = EndingSignals();
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &signals, &previous);
    const Next next = Wait();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return next;
}

ChangeFeed::Next HotplugFeed::Wait() {
    pollfd fds[] = {{changes_.Get(), POLLIN, 0}, {signals_.Get(), POLLIN, 0}, {outputFd_, 0, 0}};
    for (;;) {
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            return Next::Stop;
        }
        if (fds[1].revents != 0) {
            // Taken, so that it is not delivered when the mask comes back.
            signalfd_siginfo taken{};
            [[maybe_unused]] const ssize_t ignored = read(signals_.Get(), &taken, sizeof taken);
            return Next::Stop;
        }
        if (fds[2].revents != 0) return Next::Stop;
        if (fds[0].revents != 0) {
            std::uint64_t count = 0;
            if (read(changes_.Get(), &count, sizeof count) != sizeof count && errno != EAGAIN) return Next::Stop;
            if (count > 0) return Next::Changed;
        }
    }
}

}  // namespace torvane_list

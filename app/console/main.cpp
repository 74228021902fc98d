// torvane-list: prints the device list that the window would show.
#include <cstdio>
#include <iostream>

#include "app/console/lister.h"
#include "app/console/set_latency.h"
#include "app/demo_launch.h"
#include "app/standard_streams.h"
#if TORVANE_HAVE_HOTPLUG
#include "app/console/linux/hotplug_feed.h"
#include "app/linux/udev_event_source.h"
#elif defined(_WIN32)
#include "app/console/win32/device_change_feed.h"
#include "app/console/win32/watch_output.h"
#endif

namespace {

int Watch(torvane_list::Format format, torvane_list::Output& out) {
#if TORVANE_HAVE_HOTPLUG
    std::unique_ptr<torvane_list::HotplugFeed> feed = torvane_list::HotplugFeed::OverUdev(fileno(stdout));
    if (!feed) {
        std::cerr << "torvane-list: --watch: no udev monitor to watch with\n";
        return torvane_list::kExitNoWatch;
    }
    if (!hotplug::UdevDaemonRunning())
        std::cerr << "torvane-list: --watch: no udev daemon is running: converters that come or go are not seen\n";
    return torvane_list::WatchDevices(format, *feed, out, std::cerr);
#elif defined(_WIN32)
    std::unique_ptr<torvane_list::DeviceChangeFeed> feed = torvane_list::DeviceChangeFeed::Create();
    if (!feed) {
        std::cerr << "torvane-list: --watch: no window for device notifications\n";
        return torvane_list::kExitNoWatch;
    }
    torvane_list::WatchOutput served(out, *feed);
    return torvane_list::WatchDevices(format, *feed, served, std::cerr);
#else
    (void)format, (void)out;
    std::cerr << "torvane-list: --watch: no source of device events on this system\n";
    return torvane_list::kExitNoWatch;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    app::GuardStandardStreams();
    torvane_list::StreamOutput out(stdout);
    torvane_list::Options options;
    if (const auto done = torvane_list::ParseCommandLine(argc, argv, options, out, std::cerr)) return *done;
    if (const auto ended = app::UseSimulatedLibraryIfAsked(options.demo, argv, "torvane-list", std::cerr))
        return *ended;
    if (options.setLatency) return torvane_list::SetLatency(*options.setLatency, options.port, out, std::cerr);
    if (options.watch) return Watch(options.format, out);
    return torvane_list::ListDevices(options.format, out, std::cerr);
}

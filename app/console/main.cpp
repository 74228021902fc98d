// torvane-list: prints the device list that the window would show.
#include <iostream>

#include "app/console/lister.h"
#include "app/demo_launch.h"

int main(int argc, char** argv) {
    torvane_list::Options options;
    if (const auto done = torvane_list::ParseCommandLine(argc, argv, options, std::cout, std::cerr)) return *done;
    if (const auto ended = app::UseSimulatedLibraryIfAsked(options.demo, argv, "torvane-list", std::cerr))
        return *ended;
    return torvane_list::ListDevices(options.format, std::cout, std::cerr);
}

// torvane-list: prints the device list that the window would show.
#include <iostream>

#include "app/console/lister.h"

int main() { return torvane_list::ListDevices(std::cout, std::cerr); }

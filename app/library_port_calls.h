#pragma once
// The port buttons' calls bound to the device layer and the serial library.
#include "app/presenter.h"

namespace app {

PortCalls LibraryPortCalls();

}  // namespace app

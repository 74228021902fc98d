#include "serial/src/comm_port.h"

#include <utility>

#include "serial/src/comm.h"

namespace winseria {
namespace {

// Never destroyed: a port still open at process end keeps its threads, and
// nothing closes a port at exit.
std::unique_ptr<TComm>& PortHolder() {
    static auto* holder = new std::unique_ptr<TComm>;
    return *holder;
}

std::mutex& PortMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

}  // namespace

TComm* CommPort() { return PortHolder().get(); }

PortLock::PortLock() : lock_(PortMutex()) {}

void PortLock::Replace(std::unique_ptr<TComm> port) {
    std::unique_ptr<TComm> previous = std::exchange(PortHolder(), std::move(port));
    previous.reset();
}

}  // namespace winseria

#include "serial/src/thread.h"

#include <system_error>

#include "serial/src/dispatcher.h"

namespace winseria {

TThread::~TThread() { StopAndJoin(); }

bool TThread::Start() {
    finished_.store(false);
    try {
        thread_ = std::thread([this] { Body(); });
        return true;
    } catch (const std::system_error&) {
        finished_.store(true);
        return false;
    }
}

void TThread::Body() {
    Run();
    finished_.store(true);
    dispatch::Notify();
}

void TThread::RequestStop() {
    terminated_.store(true);
    dispatch::Notify();
}

bool TThread::Synchronize(std::function<void()> call) {
    return dispatch::RunOnMainThread(std::move(call), terminated_);
}

void TThread::WaitFor() {
    if (!thread_.joinable()) return;
    dispatch::WaitServing([this] { return finished_.load(); });
    thread_.join();
}

void TThread::StopAndJoin() {
    if (!thread_.joinable()) return;
    RequestStop();
    WaitFor();
}

}  // namespace winseria

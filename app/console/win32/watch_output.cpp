#include "app/console/win32/watch_output.h"

#include <windows.h>

#include <system_error>
#include <thread>

namespace torvane_list {
namespace {

// How long a write may still take once the watch was ended: a slow reader
// gets its listing whole, a stalled one does not hold the end.
constexpr DWORD kWriteGraceMs = 1000;

// A manual-reset event, closed with its owner.
struct DoneEvent {
    HANDLE handle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DoneEvent() = default;
    DoneEvent(const DoneEvent&) = delete;
    DoneEvent& operator=(const DoneEvent&) = delete;
    ~DoneEvent() {
        if (handle != nullptr) CloseHandle(handle);
    }
};

}  // namespace

int WatchOutput::Write(std::string_view text) {
    const DoneEvent done;
    if (done.handle == nullptr) return target_.Write(text);  // written as without a watch
    int error = 0;
    std::thread writer;
    try {
        writer = std::thread([&] {
            error = target_.Write(text);
            SetEvent(done.handle);
        });
    } catch (const std::system_error&) {
        return target_.Write(text);  // no thread to spare: written as without a watch
    }
    // Ended while the reader has stopped reading: the end the header describes.
    if (!feed_.ServeUntil(done.handle) && WaitForSingleObject(done.handle, kWriteGraceMs) != WAIT_OBJECT_0)
        TerminateProcess(GetCurrentProcess(), kExitOutputError);
    writer.join();
    return error;
}

}  // namespace torvane_list

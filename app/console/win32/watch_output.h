#pragma once
// --watch's output on Windows. A write into a pipe whose reader has stopped
// reading blocks until it reads again, and nothing on Windows XP cancels a
// synchronous write of another thread (CancelSynchronousIo came with Vista).
// So each listing is written on a thread of its own while the watch's thread
// keeps serving its window: WM_CLOSE (and so Ctrl+C, Ctrl+Break and the
// console's closing, which post it) still ends the watch. The end is then
// TerminateProcess with kExitOutputError and no message, since standard error
// may be the same stalled pipe: the blocked writer can be neither stopped nor
// joined, and the C runtime's exit would wait for the stream it holds.
#include <string_view>

#include "app/console/lister.h"
#include "app/console/win32/device_change_feed.h"

namespace torvane_list {

class WatchOutput final : public Output {
public:
    // Writes to `target`, serving `feed`'s messages meanwhile.
    WatchOutput(Output& target, DeviceChangeFeed& feed) : target_(target), feed_(feed) {}
    int Write(std::string_view text) override;

private:
    Output& target_;
    DeviceChangeFeed& feed_;
};

}  // namespace torvane_list

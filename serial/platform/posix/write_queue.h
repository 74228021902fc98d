#pragma once
// The port's queued writes, handed to the device in order; the head's
// write time-out starts when it becomes the head.
#include "serial/platform/posix/device.h"
#include "serial/platform/posix/port_requests.h"

namespace winapi::posix {

class WriteQueue : public TransferQueue {
public:
    // Gives the device what it takes now and completes the writes that are
    // done, timed out or failed (the device hung up); true when any byte moved.
    bool serve(Device& device, bool& hungUp, const COMMTIMEOUTS& timeouts, Clock::time_point now,
               CompletionSink& sink);
};

}  // namespace winapi::posix

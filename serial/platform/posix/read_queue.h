#pragma once
// The port's queued reads, served in order from the receive buffer under
// the COMMTIMEOUTS in force when each becomes the head.
#include "serial/platform/posix/port_requests.h"
#include "serial/platform/posix/received_input.h"

namespace winapi::posix {

class ReadQueue : public TransferQueue {
public:
    // Moves buffered bytes into the reads and completes those that are full,
    // due or timed out; true when any byte was taken.
    bool serve(ReceivedInput& input, const COMMTIMEOUTS& timeouts, Clock::time_point now, CompletionSink& sink);
};

}  // namespace winapi::posix

#pragma once
// Every text the library stores in its error slot. The callers read them as
// Windows-1250 bytes; the table keeps them in UTF-8 and converts each once.
#include <string_view>

namespace winseria {

enum class Message {
    Empty,
    DeviceNotFound,
    AccessDenied,
    InvalidHandle,
    WrongDevice,
    DcbUpdate,
    BufferSetup,
    TimeoutsRead,
    TimeoutsWrite,
    PortClosedCreate,
    EventSignal,
    EventCancel,
    WorkerCreateEvent,
    ReadCreateEvent,
    NoPortObject,
    HandleClose,
    WriteInvalid,
    WritePortInvalid,
    WriteTimeout,
    WriteAborted,
    ReadInvalid,
    ReadAbortedByDriver,
    ReadTimeout,
    ReadAbortedByClose,
    ReadRefused,
    WaitFailed,
    AlreadyInitialized,
    LineBreak,
    LineFrame,
    LineOverrun,
    LineRxOver,
    LineParity,
    LineTxFull,  // the last: messages.cpp checks its table against it
};

// The message as Windows-1250 bytes (no terminating zero).
std::string_view Text(Message message);

}  // namespace winseria

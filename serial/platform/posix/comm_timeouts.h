#pragma once
// The COMMTIMEOUTS rules as plain data: what a read or write of n bytes may
// wait for. Pure, so the rule table is tested without a device.
#include "serial/platform/win32_calls.h"

#include <chrono>
#include <optional>

namespace winapi::posix {

using Millis = std::chrono::milliseconds;

struct ReadPlan {
    bool immediate = false;        // complete now with what is buffered (maybe nothing)
    std::optional<Millis> total;   // from the start of the read
    std::optional<Millis> interval;  // from the last byte received
};

// What SetCommTimeouts accepts: a read interval of MAXDWORD only with both
// read totals 0 (the library's "return at once"; the other MAXDWORD modes,
// such as "wait for the first bytes", it never sets, so they are refused).
bool isValidTimeouts(const COMMTIMEOUTS& t);

// Interval MAXDWORD: immediate. Otherwise the total is multiplier * n +
// constant (0: none) and a non-zero interval runs after each byte.
ReadPlan planRead(const COMMTIMEOUTS& t, DWORD length);
// multiplier * n + constant; both 0: no limit.
std::optional<Millis> writeTotal(const COMMTIMEOUTS& t, DWORD length);

}  // namespace winapi::posix

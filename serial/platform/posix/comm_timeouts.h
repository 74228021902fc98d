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
    bool endsOnFirstBytes = false; // complete as soon as anything is buffered
    std::optional<Millis> total;   // from the start of the read
    std::optional<Millis> interval;  // from the last byte received
};

// Rejected by SetCommTimeouts: all three read fields MAXDWORD.
bool isValidTimeouts(const COMMTIMEOUTS& t);

// Interval MAXDWORD with both totals 0: immediate. Interval MAXDWORD with
// multiplier MAXDWORD and 0 < constant < MAXDWORD: wait up to the constant
// for the first bytes and return with them. Otherwise the total is
// multiplier * n + constant (0: none) and a non-zero interval runs after
// each byte.
ReadPlan planRead(const COMMTIMEOUTS& t, DWORD length);
// multiplier * n + constant; both 0: no limit.
std::optional<Millis> writeTotal(const COMMTIMEOUTS& t, DWORD length);

}  // namespace winapi::posix

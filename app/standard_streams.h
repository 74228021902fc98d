#pragma once
// What both programs do to their standard streams first thing in main, before
// any descriptor or file is opened.
namespace app {

// POSIX: SIGPIPE is ignored, so that a reader that went away shows as EPIPE at
// the write (the quiet end) instead of killing the program; and every one of
// descriptors 0, 1 and 2 that was closed at start is taken by /dev/null opened
// for reading only. So no descriptor opened later (a netlink socket, an
// eventfd) takes a standard stream's number and receives the program's output,
// while a write to that stream still fails with EBADF, as on the closed
// descriptor: "cannot write the output: Bad file descriptor" and status 3.
// These descriptors stay open for the program's life, as standard streams do.
// Windows: nothing to do (no SIGPIPE; the CRT never hands out 0-2).
void GuardStandardStreams();

}  // namespace app

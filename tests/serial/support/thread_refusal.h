#pragma once
// The system refusing a new thread, on demand: the test program's own
// pthread_create stands in front of the C library's, so the library under
// test (and the POSIX stand-in below it) meet a refusal exactly where the
// system would give one. Nothing of this is in the library itself.
namespace winseria::test {

// Lets the next `successes` thread creations of the process go through and
// refuses the one after with EAGAIN; a negative value turns refusing off.
void RefuseThreadCreationAfter(int successes);

}  // namespace winseria::test

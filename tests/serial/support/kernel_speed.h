#pragma once
// The kernel's own speed field of a terminal (termios2), which also holds
// speeds outside the B* table. In a file of its own: the kernel's termios
// headers clash with glibc's.
namespace winseria::test {

// Bits per second of the terminal's output side; 0 when it cannot be read.
unsigned KernelOutputSpeed(int fd);

}  // namespace winseria::test

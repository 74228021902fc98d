#pragma once
// The kernel's termios2 record, reached through functions: <linux/termios.h>
// (TCGETS2/TCSETS2, BOTHER) clashes with glibc's <termios.h>, so only
// kernel_termios.cpp includes the kernel headers. The record has termios2's
// layout (checked there at compile time) and is passed to the kernel as it
// is. The flag values are the same in both worlds; the mapping code uses
// glibc's names for them.
#include <cstdint>

namespace winapi::posix {

struct KernelTermios {
    std::uint32_t iflag = 0;
    std::uint32_t oflag = 0;
    std::uint32_t cflag = 0;
    std::uint32_t lflag = 0;
    std::uint8_t line = 0;
    std::uint8_t cc[19] = {};
    std::uint32_t ispeed = 0;
    std::uint32_t ospeed = 0;
};

// c_cflag's "speed in c_ispeed/c_ospeed" code, checked against the kernel's.
constexpr std::uint32_t kTermiosBother = 0010000;

// 0 or an errno.
int readKernelTermios(int fd, KernelTermios& out);
int writeKernelTermios(int fd, const KernelTermios& in);

}  // namespace winapi::posix

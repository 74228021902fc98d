// GetTickCount64 for the static MinGW runtime on Windows XP.
//
// winpthreads (linked statically, for std::thread, std::mutex and the C++
// runtime's guards) calls GetTickCount64 in its timed waits. Windows XP has
// no such function, and an import of it stops the program before main. The
// runtime calls it through the import pointer __imp__GetTickCount64@0;
// defining that pointer here, in an object linked into every program and
// DLL, keeps kernel32's import of it out of the PE file. The pointer starts
// at a resolver that looks the function up in kernel32 at run time (Vista
// and later: the system's own, as if imported) and falls back to
// GetTickCount with wrap counting (XP).
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "torvane/tick_count.h"

namespace {

using TickCount64Function = ULONGLONG(WINAPI*)();

// The last count handed out by the fallback, moved forward by each reading.
std::atomic<std::uint64_t> fallbackCount{0};

ULONGLONG WINAPI TickCount64FromTickCount() {
    return torvane::AdvanceTickCount(fallbackCount, [] { return static_cast<std::uint32_t>(GetTickCount()); });
}

ULONGLONG WINAPI ResolveTickCount64();

}  // namespace

// The import pointer the static runtime references (i686 stdcall name).
extern "C" {
TickCount64Function tickCount64Import __asm__("__imp__GetTickCount64@0") = ResolveTickCount64;
}

namespace {

// Several threads may resolve at once: each finds the same answer.
ULONGLONG WINAPI ResolveTickCount64() {
    TickCount64Function system = nullptr;
    if (HMODULE kernel = GetModuleHandleA("kernel32.dll"))
        system = reinterpret_cast<TickCount64Function>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "GetTickCount64")));
    if (system == nullptr) {
        std::uint64_t unset = 0;
        fallbackCount.compare_exchange_strong(unset, GetTickCount());
        system = TickCount64FromTickCount;
    }
    __atomic_store_n(&tickCount64Import, system, __ATOMIC_RELEASE);
    return system();
}

}  // namespace

// Processes, threads and time: the calls the library makes to raise its own
// process and threads. Priorities map onto nice values: the process class
// becomes the nice value of every thread of the process, a thread priority
// an offset from it. Where the system refuses (no CAP_SYS_NICE), the request
// is kept silently and the call still succeeds, as Windows does when it
// quietly turns REALTIME_PRIORITY_CLASS into HIGH_PRIORITY_CLASS for a user
// without the privilege. Real-time scheduling (SCHED_FIFO) is deliberately not
// used: a thread that ever spun at that level would starve the machine.
#include "serial/platform/posix/errors.h"
#include "serial/platform/posix/handle_table.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

namespace winapi::posix {

namespace {

// The calling process (the only one the library opens).
class ProcessObject : public KernelObject {};

// The nice value the process was started with: a program run under `nice`
// keeps that as its normal class instead of being raised to 0.
int startingNice() {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, 0);
    return errno == 0 ? nice : 0;
}

// The nice value the process class stands for; the base of thread priorities.
std::atomic<int> processBaseNice{startingNice()};

std::optional<int> niceForClass(DWORD priorityClass) {
    if (priorityClass == NORMAL_PRIORITY_CLASS) return 0;
    if (priorityClass == REALTIME_PRIORITY_CLASS) return -15;
    return std::nullopt;
}

std::optional<int> niceForThreadPriority(int priority, int base) {
    if (priority == THREAD_PRIORITY_TIME_CRITICAL) return -20;
    if (priority == THREAD_PRIORITY_NORMAL) return base;
    return std::nullopt;
}

// Linux keeps nice per thread: a process-wide class means every thread.
void applyNiceToAllThreads(int nice) {
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) {
        setpriority(PRIO_PROCESS, 0, nice);
        return;
    }
    while (dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.') continue;
        setpriority(PRIO_PROCESS, static_cast<id_t>(std::atoi(entry->d_name)), nice);
    }
    closedir(tasks);
}

}  // namespace

}  // namespace winapi::posix

namespace winapi {

using namespace posix;

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

HANDLE OpenProcess(DWORD, BOOL, DWORD processId) {
    if (processId != GetCurrentProcessId()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HANDLE handle = HandleTable::instance().insert(std::make_shared<ProcessObject>());
    if (!handle) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return handle;
}

BOOL SetPriorityClass(HANDLE process, DWORD priorityClass) {
    if (!lookup<ProcessObject>(process)) return FALSE;
    std::optional<int> nice = niceForClass(priorityClass);
    if (!nice) return fail(ERROR_INVALID_PARAMETER);
    processBaseNice = *nice;
    applyNiceToAllThreads(*nice);  // refused: kept silently, see above
    return TRUE;
}

HANDLE GetCurrentThread() { return CURRENT_THREAD_PSEUDO_HANDLE; }

BOOL SetThreadPriority(HANDLE thread, int priority) {
    // Only the calling thread can be named: the library raises its own threads.
    if (thread != CURRENT_THREAD_PSEUDO_HANDLE) return fail(ERROR_INVALID_HANDLE);
    std::optional<int> nice = niceForThreadPriority(priority, processBaseNice);
    if (!nice) return fail(ERROR_INVALID_PARAMETER);
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), *nice);  // refused: kept silently
    return TRUE;
}

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace winapi

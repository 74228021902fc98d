// Processes, threads and time: the calls the library makes to raise its own
// process and threads, and only the two priorities it asks for (any other ->
// 87). They map onto nice values: REALTIME_PRIORITY_CLASS becomes nice -15
// for every thread of the process, THREAD_PRIORITY_TIME_CRITICAL nice -20 for
// the calling thread. Where the system refuses (no CAP_SYS_NICE), the call
// still succeeds, as Windows does when it quietly turns
// REALTIME_PRIORITY_CLASS into HIGH_PRIORITY_CLASS for a user without the
// privilege. Real-time scheduling (SCHED_FIFO) is deliberately not
// used: a thread that ever spun at that level would starve the machine.
#include "serial/platform/posix/errors.h"
#include "serial/platform/posix/handle_table.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace winapi::posix {

namespace {

// The calling process (the only one the library opens).
class ProcessObject final : public KernelObject {};

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
    return insertNew([] { return std::make_shared<ProcessObject>(); });
}

BOOL SetPriorityClass(HANDLE process, DWORD priorityClass) {
    if (!lookup<ProcessObject>(process)) return FALSE;
    if (priorityClass != REALTIME_PRIORITY_CLASS) return fail(ERROR_INVALID_PARAMETER);
    applyNiceToAllThreads(-15);  // the real-time class; refused: ignored, see above
    return TRUE;
}

HANDLE GetCurrentThread() { return CURRENT_THREAD_PSEUDO_HANDLE; }

BOOL SetThreadPriority(HANDLE thread, int priority) {
    // Only the calling thread can be named: the library raises its own threads.
    if (thread != CURRENT_THREAD_PSEUDO_HANDLE) return fail(ERROR_INVALID_HANDLE);
    if (priority != THREAD_PRIORITY_TIME_CRITICAL) return fail(ERROR_INVALID_PARAMETER);
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -20);  // refused: ignored
    return TRUE;
}

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace winapi

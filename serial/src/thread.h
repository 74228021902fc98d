#pragma once
// The base of the library's two threads: started explicitly once the object
// is complete, a stop-request flag, a wait for the end that keeps serving the
// main thread's queue, and a blocking hand-over of a call to the main thread.
// Threads are always joined, never detached.
#include <atomic>
#include <functional>
#include <thread>

namespace winseria {

class TThread {
public:
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;
    virtual ~TThread();

    bool Terminated() const { return terminated_.load(); }
    // True once the thread body has returned, or when it was never started.
    bool Finished() const { return finished_.load(); }
    // Blocks until the thread has ended and joins it. On the main thread it
    // serves the hand-overs that are waiting meanwhile.
    void WaitFor();

protected:
    TThread() = default;
    // Launches the thread body; called last by the derived constructor.
    // False when the system refuses a new thread (the object then counts
    // as finished).
    bool Start();
    // Sets the stop-request flag and releases a hand-over still waiting for
    // the main thread.
    void RequestStop();
    // Runs `call` on the main thread and waits for it; false when a stop
    // request withdrew it before it ran.
    bool Synchronize(std::function<void()> call);
    // Requests the stop and joins. The base destructor calls it; a derived
    // class whose body waits on its own events signals them and joins first
    // (its StopThread, then WaitFor), since the body must not outlive it.
    void StopAndJoin();

    virtual void Run() = 0;

private:
    void Body();

    std::thread thread_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{true};
};

}  // namespace winseria

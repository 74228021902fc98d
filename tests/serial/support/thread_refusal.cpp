#include "tests/serial/support/thread_refusal.h"

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>

namespace winseria::test {
namespace {

std::atomic<int> creationsBeforeRefusal{-1};

// True when this creation is the one to refuse.
bool RefuseThisOne() {
    int remaining = creationsBeforeRefusal.load();
    while (remaining >= 0) {
        if (creationsBeforeRefusal.compare_exchange_weak(remaining, remaining - 1)) return remaining == 0;
    }
    return false;
}

}  // namespace

void RefuseThreadCreationAfter(int successes) { creationsBeforeRefusal.store(successes); }

}  // namespace winseria::test

// Found before the C library's (and before a sanitizer's, which is the next
// one then): the program's own definitions come first.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                              void* argument) noexcept {
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const auto next = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    if (winseria::test::RefuseThisOne()) return EAGAIN;
    return next(thread, attributes, start, argument);
}

#include "host/thread.h"

#include "host/debug.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <string>

namespace host {

void Event::Set() {
    std::lock_guard guard(WaitMutex());
    signalled_ = true;
    WakeWaiters();
}

void Event::Reset() {
    std::lock_guard guard(WaitMutex());
    signalled_ = false;
}

bool Event::Wait(DWORD msTimeout) {
    Event* self = this;
    return WaitForMultipleObjects(1, &self, false, msTimeout) == WAIT_OBJECT_0;
}

bool Event::IsSet() const {
    std::lock_guard guard(WaitMutex());
    return signalled_;
}

DWORD TakeSignalledEvents(DWORD cEvents, Event* const* events, bool fWaitAll) {
    if (fWaitAll) {
        for (DWORD i = 0; i < cEvents; ++i) {
            if (!events[i]->signalled_) return WAIT_TIMEOUT;
        }
        for (DWORD i = 0; i < cEvents; ++i) {
            if (!events[i]->manualReset_) events[i]->signalled_ = false;
        }
        return WAIT_OBJECT_0;
    }
    for (DWORD i = 0; i < cEvents; ++i) {
        if (events[i]->signalled_) {
            if (!events[i]->manualReset_) events[i]->signalled_ = false;
            return WAIT_OBJECT_0 + i;
        }
    }
    return WAIT_TIMEOUT;
}

DWORD WaitForMultipleObjects(DWORD cEvents, Event* const* events, bool fWaitAll, DWORD msTimeout) {
    if (cEvents == 0 || cEvents > MAXIMUM_WAIT_OBJECTS || events == nullptr) return WAIT_FAILED;
    for (DWORD i = 0; i < cEvents; ++i) {
        if (events[i] == nullptr) return WAIT_FAILED;
    }
    std::unique_lock lock(WaitMutex());
    DWORD result = WAIT_TIMEOUT;
    WaitUntil(lock, DeadlineAfter(msTimeout), [&] {
        result = TakeSignalledEvents(cEvents, events, fWaitAll);
        return result != WAIT_TIMEOUT;
    });
    return result;
}

void Thread::Release(const char* pszWhy) {
    if (!thread_.joinable()) return;
    if (thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
        return;
    }
    thread_.detach();
    OutputDebugString(std::string("thread: ") + pszWhy + " on its own thread; detached\n");
}

void StartDetachedThread(std::function<void()> body) {
    std::thread(std::move(body)).detach();
}

DWORD GetCurrentThreadId() {
    return static_cast<DWORD>(::syscall(SYS_gettid));
}

void Sleep(DWORD ms) {
    if (ms == 0) {
        std::this_thread::yield();
        return;
    }
    std::unique_lock lock(WaitMutex());
    WaitUntil(lock, DeadlineAfter(ms), [] { return false; });
}

} // namespace host

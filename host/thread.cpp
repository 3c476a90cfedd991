#include "host/thread.h"

#include <chrono>
#include <sys/syscall.h>
#include <unistd.h>

namespace host {

void Event::Set() {
    {
        std::lock_guard guard(mutex_);
        signalled_ = true;
    }
    if (manualReset_)
        changed_.notify_all();
    else
        changed_.notify_one();
}

void Event::Reset() {
    std::lock_guard guard(mutex_);
    signalled_ = false;
}

bool Event::Wait(DWORD msTimeout) {
    std::unique_lock guard(mutex_);
    auto ready = [this] { return signalled_; };
    if (msTimeout == INFINITE)
        changed_.wait(guard, ready);
    else if (!changed_.wait_for(guard, std::chrono::milliseconds(msTimeout), ready))
        return false;
    if (!manualReset_)
        signalled_ = false;
    return true;
}

bool Event::IsSet() const {
    std::lock_guard guard(mutex_);
    return signalled_;
}

void StartDetachedThread(std::function<void()> body) { std::thread(std::move(body)).detach(); }

DWORD GetCurrentThreadId() { return static_cast<DWORD>(::syscall(SYS_gettid)); }

void Sleep(DWORD ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

} // namespace host

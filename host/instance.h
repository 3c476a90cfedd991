// Single instance: named mutexes shared between processes, and windows published under a
// title so that another process can find them and post them a command.
//
// Both live in the runtime folder (GetRuntimeFolder). A named mutex is a set of lock files
// locked with flock, so the system releases them when a process dies, however it ends. A
// published window is a local socket per title; a listener thread of the publishing process
// answers lookups and posts the WM_COMMAND it is asked for to the window, which its owning
// thread then receives like any posted message. Titles compare as FindWindow compares them
// (without regard to case). Lock and socket files stay in the folder; a socket whose
// publisher has died is recognised as stale and replaced.
//
// Time-outs of mutex waits follow the clock in force (host/clock.h); lookups across
// processes use real time (at most two seconds for an unresponsive publisher).
//
// Named mutexes are in host_base; published windows reach the window service and come
// with host_ui.
#pragma once

#include "host/error.h"
#include "host/types.h"

#include <string>
#include <string_view>

namespace host {

constexpr DWORD ERROR_NOT_OWNER = 288;

// $KELVANO_RUNTIME_DIR when set (created if missing); else $XDG_RUNTIME_DIR/kelvano; else
// /tmp/kelvano-<uid>. Made with mode 0700; a folder that is not a directory of this user
// (or, under /tmp, that others may write to) is refused. Empty on failure.
std::string GetRuntimeFolder();

// A mutex named across processes. Ownership belongs to the thread that waited for it and is
// recursive for that thread; two NamedMutex objects are two handles, and each must win
// ownership on its own. Closing (or destroying) a handle gives up its ownership.
class NamedMutex {
public:
    NamedMutex() = default;
    ~NamedMutex() { Close(); }
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // Creates the mutex, or opens it when some handle (of any process) has it open, which
    // AlreadyExisted() then reports and the last error says (ERROR_ALREADY_EXISTS, else
    // ERROR_SUCCESS). fInitialOwner takes ownership of a mutex this call created.
    bool Create(std::string_view name, bool fInitialOwner = false);
    bool Create(std::u16string_view name, bool fInitialOwner = false);
    bool IsOpen() const { return fdPresence_ >= 0; }
    bool AlreadyExisted() const { return fExisted_; }

    // Waits for ownership: WAIT_OBJECT_0, WAIT_TIMEOUT, or WAIT_FAILED (not open).
    DWORD Wait(DWORD msTimeout);
    // Gives up one level of ownership; fails with ERROR_NOT_OWNER for other threads.
    bool Release();
    void Close();

private:
    int fdPresence_ = -1; // held shared while open, so that others see the mutex exists
    int fdOwner_ = -1;    // held exclusively by the owning handle
    bool fExisted_ = false;
    DWORD ownerThread_ = 0; // guarded by WaitMutex()
    int cOwned_ = 0;
};

// Makes hwnd (null: none yet) findable under title by other processes, or changes the
// window of a title this process already publishes. Fails with ERROR_ALREADY_EXISTS while
// another live process publishes the title.
bool PublishWindow(std::string_view title, HWND hwnd);
bool PublishWindow(std::u16string_view title, HWND hwnd);
bool UnpublishWindow(std::string_view title);
bool UnpublishWindow(std::u16string_view title);

// True when another process publishes title with a window that still exists.
bool FindWindowInOtherProcess(std::string_view title);
bool FindWindowInOtherProcess(std::u16string_view title);

// Has the process publishing title (this one included) post WM_COMMAND
// (MAKEWPARAM(id, code), 0) to its window; true once the message is queued there.
bool PostCommandToWindow(std::string_view title, WORD id, WORD code = 0);
bool PostCommandToWindow(std::u16string_view title, WORD id, WORD code = 0);

} // namespace host

#include "game/computer.h"

#include "foundation/memmgr.h"
#include "game/search.h"
#include "game/settings.h"
#include "host/debug.h"
#include "host/thread.h"

#include <atomic>
#include <cstdio>
#include <system_error>

namespace {

struct SEARCHSTATE {
    std::atomic<bool> fCancel{false}; // read by the worker at every node without the lock
    bool fRunning = false;
    host::Event evEnd{true, false}; // manual reset: signalled when the worker has finished
    host::CriticalSection lock;     // guards the flags and the hand-over
    SearchEngine engine;
    host::Thread worker;
    HANDOVERPROC pfnHandOver = nullptr;
    void* pContext = nullptr;
    MOVE handOver{};
    bool fHandOverPending = false;
    std::uint32_t nSearchGeneration = 0;   // generation the running search belongs to
    std::uint32_t nHandOverGeneration = 0; // generation of the pending hand-over
    std::atomic<std::uint32_t> nGeneration{0};
    std::uint64_t cLastNodes = 0;
};

SEARCHSTATE* s_pSearch = nullptr;
std::atomic<void (*)()> s_pfnStartHook{nullptr};

bool Ready(const char* pszCall) {
    if (s_pSearch != nullptr) return true;
    char szLine[96];
    std::snprintf(szLine, sizeof(szLine), "game: %s called without a search state\n", pszCall);
    host::OutputDebugString(szLine);
    return false;
}

void RunWorker(SEARCHSTATE* p) {
    if (auto pfnHook = s_pfnStartHook.load()) pfnHook();
    DECISION decision;
    const bool fChosen = p->engine.Run(&p->fCancel, &decision);

    host::CriticalSectionLock guard(p->lock);
    p->cLastNodes = decision.cNodes;
    if (!p->fCancel.load()) {
        if (fChosen) {
            p->handOver = decision.move;
            p->fHandOverPending = true;
            p->nHandOverGeneration = p->nSearchGeneration;
            p->pfnHandOver(p->pContext, &p->handOver);
        } else {
            p->pfnHandOver(p->pContext, nullptr);
        }
    }
    p->fRunning = false;
    p->evEnd.Set();
}

} // namespace

bool InitSearch(HANDOVERPROC pfnHandOver, void* pContext) {
    if (s_pSearch != nullptr) {
        host::OutputDebugString("game: InitSearch called twice\n");
        return false;
    }
    s_pSearch = MemNew(SEARCHSTATE);
    if (s_pSearch == nullptr) return false;
    s_pSearch->pfnHandOver = pfnHandOver;
    s_pSearch->pContext = pContext;
    return true;
}

void StartSearch(const BOARD& board, int nSide) {
    if (!Ready("StartSearch") || (nSide != PLAYER_BLUE && nSide != PLAYER_RED)) return;
    SEARCHSTATE* p = s_pSearch;
    CancelSearch();
    p->worker.Join();
    {
        host::CriticalSectionLock guard(p->lock);
        p->fCancel.store(false);
        p->fRunning = true;
        p->evEnd.Reset();
        // Whatever is still waiting to be taken belongs to a position that has gone.
        p->fHandOverPending = false;
        p->nSearchGeneration = p->nGeneration.load();
    }
    p->engine.Prepare(board, nSide, g_settings.aPlayer[nSide].nLevel, g_settings.fModern != 0);
    try {
        p->worker = host::Thread([p] { RunWorker(p); });
    } catch (const std::system_error&) {
        host::OutputDebugString("game: the search thread could not be started\n");
        host::CriticalSectionLock guard(p->lock);
        p->fRunning = false;
        p->evEnd.Set();
    }
}

void CancelSearch() {
    if (!Ready("CancelSearch")) return;
    SEARCHSTATE* p = s_pSearch;
    p->lock.Enter();
    if (p->fRunning) {
        p->fCancel.store(true);
        p->lock.Leave();
        p->evEnd.Wait(host::INFINITE);
    } else {
        p->lock.Leave();
    }
    // The worker leaves the lock after signalling; let it finish before anything else.
    p->worker.Join();
}

void AbandonSearch() {
    if (!Ready("AbandonSearch")) return;
    s_pSearch->fCancel.store(true);
    s_pSearch->nGeneration.fetch_add(1);
}

bool TakeHandOver(const MOVE* pPosted, MOVE* pMove) {
    if (!Ready("TakeHandOver") || pPosted == nullptr) return false;
    SEARCHSTATE* p = s_pSearch;
    host::CriticalSectionLock guard(p->lock);
    if (pPosted != &p->handOver || !p->fHandOverPending ||
        p->nHandOverGeneration != p->nGeneration.load())
        return false;
    p->fHandOverPending = false;
    *pMove = p->handOver;
    return true;
}

void ShutdownSearch() {
    if (!Ready("ShutdownSearch")) return;
    CancelSearch();
    s_pSearch->engine.Free();
    MemDelete(s_pSearch);
    s_pSearch = nullptr;
}

bool IsSearchRunning() {
    if (s_pSearch == nullptr) return false;
    host::CriticalSectionLock guard(s_pSearch->lock);
    return s_pSearch->fRunning;
}

std::uint64_t GetLastSearchNodes() {
    if (s_pSearch == nullptr) return 0;
    host::CriticalSectionLock guard(s_pSearch->lock);
    return s_pSearch->cLastNodes;
}

bool IsSearchCancelRequested() {
    return s_pSearch != nullptr && s_pSearch->fCancel.load();
}

void SetSearchStartHook(void (*pfnHook)()) {
    s_pfnStartHook.store(pfnHook);
}

#include "foundation/memmgr.h"

#include "host/debug.h"
#include "host/msgbox.h"
#include "host/thread.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace mem {
namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFF;
constexpr std::uint32_t kLargeId = 0x80000000; // ids of large blocks carry this bit
constexpr std::uint32_t kSlotsPerPool = kPoolSize / kBlockUnit;

enum Kind : std::uint8_t { kMemory = 0, kObject = 1, kForeign = 2 };
enum Flag : std::uint8_t { kLarge = 1, kTared = 2 };

// The record in front of every block's data. Links are 32-bit block ids rather than
// pointers so that the record, with the trailing signature, stays within the 72 bytes of
// overhead that the block sizes are computed from, and the data stays 16-byte aligned.
// The leading signature sits last, right against the data: an underrun reaches it before
// any field, so a record whose signature is intact can be trusted.
struct BlockHeader {
    std::int16_t iBucket; // -1 while free
    std::uint8_t nKind;
    std::uint8_t nFlags;
    std::uint32_t idHashPrev;
    std::uint32_t idHashNext;
    std::uint32_t idFreePrev;
    std::uint32_t idFreeNext;
    std::uint32_t iPool; // pool index; for large blocks the index in the large-block table
    std::uint32_t cbUsable;
    std::uint32_t cbRequested;
    const char* pszFile;
    const char* pszType;
    void* pObject; // the tracked thing, for objects and foreign resources
    std::int32_t nLine;
    std::uint32_t sigLead;
};
static_assert(sizeof(BlockHeader) == 64, "block header layout");
static_assert(sizeof(BlockHeader) + sizeof(std::uint32_t) <= kBlockOverhead);

constexpr std::size_t kHeaderSize = sizeof(BlockHeader);
constexpr std::size_t kTrailerSize = sizeof(std::uint32_t);

char* DataOf(BlockHeader* h) {
    return reinterpret_cast<char*>(h) + kHeaderSize;
}
std::size_t BlockSizeOf(const BlockHeader* h) {
    return h->cbUsable + kHeaderSize + kTrailerSize;
}
std::uint32_t* TrailerOf(BlockHeader* h) {
    return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(h) + BlockSizeOf(h) -
                                            kTrailerSize);
}
std::size_t BucketOf(const void* pv) {
    return (reinterpret_cast<std::uintptr_t>(pv) / 16) % kHashBuckets;
}

struct Pool {
    char* pbBase = nullptr; // nullptr once returned to the system
    std::uint32_t cbFree = 0;
    std::uint32_t offFree = 0;
    std::uint32_t cBlocks = 0;
    std::uint32_t cInUse = 0;
};

// A misuse found under the lock, shown once the lock is released.
struct Report {
    const char* pszMessage;
    const void* pv;
    const char* pszFile;
    int nLine;
};

class Manager {
public:
    Manager() {
        std::fill(std::begin(freeHeads_), std::end(freeHeads_), kNone);
        std::fill(std::begin(hashHeads_), std::end(hashHeads_), kNone);
    }

    void* Allocate(std::size_t cb, const char* pszType, const char* pszFile, int nLine) {
        std::size_t cbBlock = BlockSizeFor(cb);
        if (cbBlock == 0 || cbBlock - kHeaderSize - kTrailerSize > UINT32_MAX) return nullptr;
        host::CriticalSectionLock lock(lock_);
        BlockHeader* h = cbBlock > kLargeBlock ? NewLargeBlock(cbBlock) : TakePoolBlock(cbBlock);
        if (h == nullptr) return nullptr;
        Register(h, kMemory, DataOf(h), cb, pszType, pszFile, nLine);
        return DataOf(h);
    }

    bool Track(Kind nKind, void* pv, std::size_t cb, const char* pszType, const char* pszFile,
               int nLine) {
        host::CriticalSectionLock lock(lock_);
        BlockHeader* h = TakePoolBlock(kObjectRecordSize);
        if (h == nullptr) return false;
        Register(h, nKind, pv, cb, pszType, pszFile, nLine);
        return true;
    }

    // Releases the record of pv, which the caller expects to be of kind nExpected. Returns
    // true when it was found and of that kind.
    bool Release(void* pv, Kind nExpected, const char* pszFile, int nLine) {
        Report reports[2];
        int cReports = 0;
        bool fMatched = false;
        {
            host::CriticalSectionLock lock(lock_);
            std::uint32_t id = kNone;
            BlockHeader* h = Find(pv, &id);
            if (h == nullptr) {
                reports[cReports++] = {"An invalid address was deleted.", pv, pszFile, nLine};
            } else {
                fMatched = h->nKind == nExpected;
                if (!fMatched) {
                    const char* pszMessage =
                        nExpected == kMemory ? "A C++ object was deleted using the \"free\" method."
                                             : "A non-object memory address was deleted.";
                    reports[cReports++] = {pszMessage, pv, pszFile, nLine};
                }
                bool fLeadIntact = h->sigLead == kLeadingSignature;
                if (!fLeadIntact)
                    reports[cReports++] = {
                        "The leading signature on a memory block was overwritten.", pv, pszFile,
                        nLine};
                else if (*TrailerOf(h) != kTrailingSignature)
                    reports[cReports++] = {
                        "The trailing signature on a memory block was overwritten.", pv, pszFile,
                        nLine};
                Unregister(h, id, pv);
                // A block whose header was overwritten cannot be trusted: it is never reused.
                if (fLeadIntact) FreeBlock(h);
            }
        }
        for (int i = 0; i < cReports; ++i)
            Show(reports[i]);
        return fMatched;
    }

    void Tare(void* pv, const char* pszFile, int nLine) {
        {
            host::CriticalSectionLock lock(lock_);
            if (BlockHeader* h = Find(pv)) {
                h->nFlags |= kTared;
                return;
            }
        }
        Show({"An invalid address was tared.", pv, pszFile, nLine});
    }

    Stats GetStats() {
        host::CriticalSectionLock lock(lock_);
        Stats stats;
        stats.cPools = poolOrder_.size();
        stats.cEmptyPools = cEmptyPools_;
        stats.cBlocksInUse = cInUse_;
        stats.cLargeBlocks = cLarge_;
        stats.cbRequested = cbRequested_;
        return stats;
    }

    bool GetBlockInfo(const void* pv, BlockInfo* pInfo) {
        host::CriticalSectionLock lock(lock_);
        BlockHeader* h = Find(pv);
        if (h == nullptr || h->nKind != kMemory) return false;
        pInfo->cbBlock = BlockSizeOf(h);
        pInfo->cbUsable = h->cbUsable;
        pInfo->cbRequested = h->cbRequested;
        pInfo->fLarge = (h->nFlags & kLarge) != 0;
        pInfo->fTared = (h->nFlags & kTared) != 0;
        pInfo->pszType = h->pszType;
        pInfo->pszFile = h->pszFile;
        pInfo->nLine = h->nLine;
        return true;
    }

    void TareAllInUse() {
        host::CriticalSectionLock lock(lock_);
        for (std::uint32_t head : hashHeads_) {
            std::size_t cGuard = cInUse_;
            for (BlockHeader* h = HeaderOf(head); h != nullptr && cGuard-- > 0;
                 h = HeaderOf(h->idHashNext))
                h->nFlags |= kTared;
        }
    }

    std::size_t ReportLeaks() {
        std::vector<std::string> lines;
        std::size_t cbLeaked = 0;
        {
            host::CriticalSectionLock lock(lock_);
            for (std::uint32_t head : hashHeads_) {
                std::size_t cGuard = cInUse_;
                for (BlockHeader* h = HeaderOf(head); h != nullptr && cGuard-- > 0;
                     h = HeaderOf(h->idHashNext)) {
                    if (h->nFlags & kTared) continue;
                    char line[512];
                    std::snprintf(line, sizeof line, "  %s(%d): %s, %" PRIu32 " bytes\n",
                                  h->pszFile, static_cast<int>(h->nLine), h->pszType,
                                  h->cbRequested);
                    lines.emplace_back(line);
                    cbLeaked += h->cbRequested;
                }
            }
        }
        char summary[128];
        if (lines.empty())
            std::snprintf(summary, sizeof summary, "memory: no blocks left in use\n");
        else
            std::snprintf(summary, sizeof summary, "memory: %zu blocks left in use, %zu bytes\n",
                          lines.size(), cbLeaked);
        host::OutputDebugString(summary);
        for (const std::string& line : lines)
            host::OutputDebugString(line);
        return lines.size();
    }

private:
    // ---- block ids ------------------------------------------------------------------------

    std::uint32_t IdOf(const BlockHeader* h) const {
        if (h->nFlags & kLarge) return kLargeId | h->iPool;
        auto offset =
            static_cast<std::uint32_t>(reinterpret_cast<const char*>(h) - pools_[h->iPool].pbBase);
        return h->iPool * kSlotsPerPool + offset / kBlockUnit;
    }

    // Resolves an id, or returns nullptr for one that names nothing (a damaged link).
    BlockHeader* HeaderOf(std::uint32_t id) const {
        if (id == kNone) return nullptr;
        if (id & kLargeId) {
            std::uint32_t i = id & ~kLargeId;
            return i < large_.size() ? large_[i] : nullptr;
        }
        std::uint32_t iPool = id / kSlotsPerPool;
        std::uint32_t offset = (id % kSlotsPerPool) * kBlockUnit;
        if (iPool >= pools_.size() || pools_[iPool].pbBase == nullptr ||
            offset >= pools_[iPool].offFree)
            return nullptr;
        return reinterpret_cast<BlockHeader*>(pools_[iPool].pbBase + offset);
    }

    // ---- address hash ---------------------------------------------------------------------

    static const void* KeyOf(BlockHeader* h) {
        return h->nKind == kMemory ? DataOf(h) : h->pObject;
    }

    // The record of pv and its id, found by walking pv's bucket.
    BlockHeader* Find(const void* pv, std::uint32_t* pid = nullptr) const {
        if (pv == nullptr) return nullptr;
        std::size_t cGuard = cInUse_; // a damaged chain must not loop forever
        for (std::uint32_t id = hashHeads_[BucketOf(pv)]; cGuard-- > 0;) {
            BlockHeader* h = HeaderOf(id);
            if (h == nullptr) break;
            if (h->iBucket >= 0 && KeyOf(h) == pv) {
                if (pid != nullptr) *pid = id;
                return h;
            }
            id = h->idHashNext;
        }
        return nullptr;
    }

    void Register(BlockHeader* h, Kind nKind, const void* pKey, std::size_t cb, const char* pszType,
                  const char* pszFile, int nLine) {
        h->nKind = nKind;
        h->nFlags &= kLarge;
        h->pObject = nKind == kMemory ? nullptr : const_cast<void*>(pKey);
        h->cbRequested = static_cast<std::uint32_t>(std::min<std::size_t>(cb, UINT32_MAX));
        h->pszFile = pszFile != nullptr ? pszFile : "(unknown)";
        h->pszType = pszType != nullptr ? pszType : "(unknown)";
        h->nLine = nLine;
        std::size_t iBucket = BucketOf(pKey);
        h->iBucket = static_cast<std::int16_t>(iBucket);
        h->idHashPrev = kNone;
        h->idHashNext = hashHeads_[iBucket];
        std::uint32_t id = IdOf(h);
        if (BlockHeader* next = HeaderOf(h->idHashNext)) next->idHashPrev = id;
        hashHeads_[iBucket] = id;
        ++cInUse_;
        cbRequested_ += h->cbRequested;
        if (!(h->nFlags & kLarge)) {
            Pool& pool = pools_[h->iPool];
            if (pool.cInUse++ == 0) --cEmptyPools_;
        }
    }

    // Unlinks h from its bucket. Neighbours are only changed when they point back at h, so
    // that a record with damaged links cannot corrupt another one.
    void Unregister(BlockHeader* h, std::uint32_t id, const void* pKey) {
        std::size_t iBucket = BucketOf(pKey);
        BlockHeader* prev = HeaderOf(h->idHashPrev);
        BlockHeader* next = HeaderOf(h->idHashNext);
        if (hashHeads_[iBucket] == id)
            hashHeads_[iBucket] = h->idHashNext;
        else if (prev != nullptr && prev->idHashNext == id)
            prev->idHashNext = h->idHashNext;
        if (next != nullptr && next->idHashPrev == id) next->idHashPrev = h->idHashPrev;
        h->iBucket = -1;
        --cInUse_;
        cbRequested_ -= std::min<std::size_t>(cbRequested_, h->cbRequested);
    }

    // ---- free lists -----------------------------------------------------------------------

    static std::size_t ClassOf(std::size_t cbBlock) { return cbBlock / kBlockUnit - 1; }

    void PushFree(BlockHeader* h) {
        std::size_t iClass = ClassOf(BlockSizeOf(h));
        h->iBucket = -1;
        h->pszFile = "free";
        h->pszType = "free";
        h->idFreePrev = kNone;
        h->idFreeNext = freeHeads_[iClass];
        std::uint32_t id = IdOf(h);
        if (BlockHeader* next = HeaderOf(h->idFreeNext)) next->idFreePrev = id;
        freeHeads_[iClass] = id;
    }

    void UnlinkFree(BlockHeader* h) {
        BlockHeader* prev = HeaderOf(h->idFreePrev);
        BlockHeader* next = HeaderOf(h->idFreeNext);
        if (prev != nullptr)
            prev->idFreeNext = h->idFreeNext;
        else
            freeHeads_[ClassOf(BlockSizeOf(h))] = h->idFreeNext;
        if (next != nullptr) next->idFreePrev = h->idFreePrev;
        h->idFreePrev = h->idFreeNext = kNone;
    }

    // ---- blocks ---------------------------------------------------------------------------

    static void Stamp(BlockHeader* h, std::size_t cbBlock) {
        h->sigLead = kLeadingSignature;
        h->iBucket = -1;
        h->nKind = kMemory;
        h->nFlags = 0;
        h->idHashPrev = h->idHashNext = h->idFreePrev = h->idFreeNext = kNone;
        h->cbUsable = static_cast<std::uint32_t>(cbBlock - kHeaderSize - kTrailerSize);
        h->cbRequested = 0;
        h->nLine = 0;
        h->pszFile = h->pszType = "free";
        h->pObject = nullptr;
        *TrailerOf(h) = kTrailingSignature;
    }

    BlockHeader* TakePoolBlock(std::size_t cbBlock) {
        // A free block of class B/128 - 1 up to class B/128 + 15 is used whole, not split.
        std::size_t iFirst = ClassOf(cbBlock);
        std::size_t iLast = std::min(cbBlock / kBlockUnit + 15, kSizeClasses - 1);
        for (std::size_t iClass = iFirst; iClass <= iLast; ++iClass) {
            if (BlockHeader* h = HeaderOf(freeHeads_[iClass])) {
                UnlinkFree(h);
                std::uint32_t iPool = h->iPool;
                Stamp(h, BlockSizeOf(h));
                h->iPool = iPool;
                return h;
            }
        }
        return Carve(cbBlock);
    }

    BlockHeader* Carve(std::size_t cbBlock) {
        if (poolOrder_.empty() && !NewPool()) return nullptr;
        if (pools_[poolOrder_.back()].cbFree < cbBlock) {
            // The rest of the newest pool becomes a free block of its own, if a block fits.
            std::uint32_t iPool = poolOrder_.back();
            std::size_t cbRest = pools_[iPool].cbFree / kBlockUnit * kBlockUnit;
            if (cbRest > 0) {
                BlockHeader* rest = CarveFrom(iPool, cbRest);
                PushFree(rest);
            }
            if (!NewPool()) return nullptr;
        }
        return CarveFrom(poolOrder_.back(), cbBlock);
    }

    BlockHeader* CarveFrom(std::uint32_t iPool, std::size_t cbBlock) {
        Pool& pool = pools_[iPool];
        auto* h = reinterpret_cast<BlockHeader*>(pool.pbBase + pool.offFree);
        pool.offFree += static_cast<std::uint32_t>(cbBlock);
        pool.cbFree -= static_cast<std::uint32_t>(cbBlock);
        ++pool.cBlocks;
        Stamp(h, cbBlock);
        h->iPool = iPool;
        return h;
    }

    bool NewPool() {
        void* pb = std::aligned_alloc(kBlockUnit, kPoolSize);
        if (pb == nullptr) return false;
        std::uint32_t iPool;
        auto unused = std::find_if(pools_.begin(), pools_.end(),
                                   [](const Pool& p) { return p.pbBase == nullptr; });
        if (unused != pools_.end()) {
            iPool = static_cast<std::uint32_t>(unused - pools_.begin());
        } else {
            if (pools_.size() >= kLargeId / kSlotsPerPool) {
                std::free(pb);
                return false;
            }
            iPool = static_cast<std::uint32_t>(pools_.size());
            pools_.emplace_back();
        }
        pools_[iPool] =
            Pool{static_cast<char*>(pb), static_cast<std::uint32_t>(kPoolFreeSpace), 0, 0, 0};
        poolOrder_.push_back(iPool);
        ++cEmptyPools_;
        return true;
    }

    BlockHeader* NewLargeBlock(std::size_t cbBlock) {
        auto* h = static_cast<BlockHeader*>(std::aligned_alloc(kBlockUnit, cbBlock));
        if (h == nullptr) return nullptr;
        std::uint32_t i;
        if (!freeLargeSlots_.empty()) {
            i = freeLargeSlots_.back();
            freeLargeSlots_.pop_back();
        } else {
            i = static_cast<std::uint32_t>(large_.size());
            large_.push_back(nullptr);
        }
        large_[i] = h;
        Stamp(h, cbBlock);
        h->nFlags = kLarge;
        h->iPool = i;
        ++cLarge_;
        return h;
    }

    void FreeBlock(BlockHeader* h) {
        if (h->nFlags & kLarge) {
            std::uint32_t i = h->iPool;
            if (i < large_.size() && large_[i] == h) {
                large_[i] = nullptr;
                freeLargeSlots_.push_back(i);
                --cLarge_;
                std::free(h);
            }
            return;
        }
        std::uint32_t iPool = h->iPool;
        if (iPool >= pools_.size() || pools_[iPool].pbBase == nullptr) return;
        h->nKind = kMemory;
        h->pObject = nullptr;
        PushFree(h);
        Pool& pool = pools_[iPool];
        if (--pool.cInUse == 0 && ++cEmptyPools_ > kMaxEmptyPools) ReturnPool(iPool);
    }

    // Gives an empty pool back to the system once its free blocks are off the free lists.
    void ReturnPool(std::uint32_t iPool) {
        Pool& pool = pools_[iPool];
        std::vector<BlockHeader*> blocks;
        blocks.reserve(pool.cBlocks);
        for (std::uint32_t offset = 0; offset < pool.offFree;) {
            auto* h = reinterpret_cast<BlockHeader*>(pool.pbBase + offset);
            std::size_t cbBlock = BlockSizeOf(h);
            // Freed memory written to after its release leaves the pool where it is.
            if (h->sigLead != kLeadingSignature || h->iBucket != -1 || cbBlock % kBlockUnit != 0 ||
                offset + cbBlock > pool.offFree) {
                host::OutputDebugString("memory: a damaged empty pool is kept\n");
                return;
            }
            blocks.push_back(h);
            offset += static_cast<std::uint32_t>(cbBlock);
        }
        for (BlockHeader* h : blocks)
            UnlinkFree(h);
        std::free(pool.pbBase);
        pool = Pool{};
        poolOrder_.erase(std::remove(poolOrder_.begin(), poolOrder_.end(), iPool),
                         poolOrder_.end());
        --cEmptyPools_;
    }

    static void Show(const Report& report) {
        char text[1024];
        std::snprintf(text, sizeof text,
                      "%s\n\n   Address: 0x%08" PRIXPTR "\n   Current: %s line %d\n\n"
                      "Click OK to dismiss\nClick X to debug",
                      report.pszMessage, reinterpret_cast<std::uintptr_t>(report.pv),
                      report.pszFile != nullptr ? report.pszFile : "(unknown)", report.nLine);
        int nButton = host::MessageBox(nullptr, std::string_view(text), "Memory Manager",
                                       host::MB_OKCANCEL | host::MB_ICONERROR);
        if (nButton == host::IDCANCEL) host::DebugBreakIfAttached();
    }

    host::CriticalSection lock_;
    std::uint32_t freeHeads_[kSizeClasses];
    std::uint32_t hashHeads_[kHashBuckets];
    std::vector<Pool> pools_;
    std::vector<std::uint32_t> poolOrder_; // oldest first; the newest is carved from
    std::vector<BlockHeader*> large_;
    std::vector<std::uint32_t> freeLargeSlots_;
    std::size_t cEmptyPools_ = 0;
    std::size_t cInUse_ = 0;
    std::size_t cLarge_ = 0;
    std::size_t cbRequested_ = 0;
};

// Created on first use and never destroyed, so that blocks may be released by code that
// runs during static destruction.
Manager& TheManager() {
    static Manager* manager = new Manager;
    return *manager;
}

} // namespace

void* Allocate(std::size_t cb, const char* pszType, const char* pszFile, int nLine) {
    return TheManager().Allocate(cb, pszType, pszFile, nLine);
}

void Release(void* pv, const char* pszFile, int nLine) {
    if (pv != nullptr) TheManager().Release(pv, kMemory, pszFile, nLine);
}

void Tare(void* pv, const char* pszFile, int nLine) {
    TheManager().Tare(pv, pszFile, nLine);
}

bool ReallocArray(std::size_t cbElement, void** ppArray, std::uint32_t* pcCurrent,
                  std::uint32_t cNeeded, std::uint32_t cStep, const char* pszFile, int nLine) {
    if (*pcCurrent >= cNeeded) return true;
    // A step of 0 would leave the array one short of what was asked for.
    std::uint64_t cNew = std::uint64_t{cNeeded} + std::max<std::uint32_t>(cStep, 1) - 1;
    if (cNew > UINT32_MAX || cbElement == 0 || cNew > SIZE_MAX / cbElement) return false;
    auto* pbNew = static_cast<char*>(
        Allocate(static_cast<std::size_t>(cNew) * cbElement, "MemRealloc", pszFile, nLine));
    if (pbNew == nullptr) return false;
    std::size_t cbOld = *ppArray != nullptr ? std::size_t{*pcCurrent} * cbElement : 0;
    if (cbOld > 0) std::memcpy(pbNew, *ppArray, cbOld);
    std::memset(pbNew + cbOld, 0, static_cast<std::size_t>(cNew) * cbElement - cbOld);
    if (*ppArray != nullptr) Release(*ppArray, pszFile, nLine);
    *ppArray = pbNew;
    *pcCurrent = static_cast<std::uint32_t>(cNew);
    return true;
}

void TrackObject(void* pv, std::size_t cb, const char* pszType, const char* pszFile, int nLine) {
    if (pv != nullptr && !TheManager().Track(kObject, pv, cb, pszType, pszFile, nLine))
        host::OutputDebugString("memory: no room to track an object\n");
}

void TrackForeignResource(void* pv, const char* pszFile, int nLine) {
    if (pv != nullptr && !TheManager().Track(kForeign, pv, 0, "FOREIGN", pszFile, nLine))
        host::OutputDebugString("memory: no room to track a foreign resource\n");
}

bool ReleaseObject(void* pv, const char* pszFile, int nLine) {
    return pv != nullptr && TheManager().Release(pv, kObject, pszFile, nLine);
}

bool ReleaseForeignResource(void* pv, const char* pszFile, int nLine) {
    return pv != nullptr && TheManager().Release(pv, kForeign, pszFile, nLine);
}

Stats GetStats() {
    return TheManager().GetStats();
}

bool GetBlockInfo(const void* pv, BlockInfo* pInfo) {
    return pInfo != nullptr && TheManager().GetBlockInfo(pv, pInfo);
}

std::size_t ReportLeaks() {
    return TheManager().ReportLeaks();
}

int CheckAtExit(int nExit) {
    host::DebugCapture capture;
    const std::size_t cLeaked = ReportLeaks();
    const char* pszCheck = std::getenv("KELVANO_LEAK_CHECK");
    if (cLeaked == 0 || pszCheck == nullptr || std::strcmp(pszCheck, "fail") != 0) return nExit;
    // A failed run says why on standard error, where the debug output may not go.
    const char* pszDebug = std::getenv("KELVANO_DEBUG");
    if (pszDebug == nullptr || *pszDebug == '\0' || std::strcmp(pszDebug, "0") == 0)
        std::fputs(capture.Text().c_str(), stderr);
    std::fputs("memory: the end-of-program check failed (KELVANO_LEAK_CHECK=fail)\n", stderr);
    std::fflush(stderr);
    return kLeakExitCode;
}

void TareAllInUse() {
    TheManager().TareAllInUse();
}

} // namespace mem

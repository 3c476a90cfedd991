// The checking memory manager.
//
// Every allocation of the system's own code goes through here with a tag: the source file,
// the line and a type name (the upper-case name of the type, or the size expression of a
// buffer). The manager detects overwritten block edges, releases of addresses it never
// handed out and mismatched release calls, and reports each in a "Memory Manager" message
// box; the program then continues. One lock makes every call atomic across threads.
//
// Everyday use is one short line per allocation:
//
//     BYTE* pb = MemAllocArray(BYTE, cbData);       // tag "sizeof(BYTE) * cbData"
//     void* pv = MemAlloc(sizeof(ACTION) * cAction); // tag "sizeof(ACTION) * cAction"
//     MemFree(pv);
//     Graphic* pg = MemNew(Graphic, cx, cy);         // tag "GRAPHIC", tracked object
//     MemDelete(pg);
//     MemReallocArray(&pActions, &cActions, cNeeded, 64);
//     mem::vector<int> v{MEM_TAG("moves")};          // standard container, tagged
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <new>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace mem {

// Sizes of the manager's structures.
constexpr std::size_t kPoolSize = 0x100000;              // one pool obtained from the system
constexpr std::size_t kPoolFreeSpace = 0xFFFE4;          // bytes of a fresh pool given to blocks
constexpr std::size_t kBlockUnit = 128;                  // block sizes are multiples of this
constexpr std::size_t kSizeClasses = 4096;               // free lists, class = size / 128 - 1
constexpr std::size_t kLargeBlock = 0x80000;             // bigger blocks come from the system
constexpr std::size_t kHashBuckets = 16384;              // bucket = (address / 16) mod 16384
constexpr std::size_t kBlockOverhead = 72;               // header and trailing signature
constexpr std::size_t kObjectRecordSize = 128;           // record of a tracked object
constexpr std::size_t kMaxEmptyPools = 3;                // more empty pools than this are returned
constexpr std::uint32_t kLeadingSignature = 0x4D656D21;  // "Mem!"
constexpr std::uint32_t kTrailingSignature = 0x4F6B6179; // "Okay"

// The size of the block that holds a request of cb bytes: the smallest multiple of 128
// greater than cb + 72. Returns 0 when the request cannot be represented.
constexpr std::size_t BlockSizeFor(std::size_t cb) {
    if (cb > SIZE_MAX / 2) return 0;
    return ((cb + kBlockOverhead) / kBlockUnit + 1) * kBlockUnit;
}

// Memory blocks: data is aligned to 16 bytes and not cleared. Returns nullptr on failure.
void* Allocate(std::size_t cb, const char* pszType, const char* pszFile, int nLine);
void Release(void* pv, const char* pszFile, int nLine);
// Marks a live block or object so that it is left out of leak reports.
void Tare(void* pv, const char* pszFile, int nLine);

// Grows *ppArray, which holds *pcCurrent elements of cbElement bytes, so that it holds at
// least cNeeded: the new array has cNeeded + cStep - 1 elements, the old ones copied and
// the rest zero-filled. Does nothing when the array is big enough. False when allocation
// fails, leaving the array as it was.
bool ReallocArray(std::size_t cbElement, void** ppArray, std::uint32_t* pcCurrent,
                  std::uint32_t cNeeded, std::uint32_t cStep, const char* pszFile, int nLine);

// Objects made by the ordinary object allocator are tracked in records of their own, so
// that a wrong release is caught. ReleaseObject returns true when pv was a tracked object
// (the caller then destroys it); it reports and returns false otherwise.
void TrackObject(void* pv, std::size_t cb, const char* pszType, const char* pszFile, int nLine);
void TrackForeignResource(void* pv, const char* pszFile, int nLine);
bool ReleaseObject(void* pv, const char* pszFile, int nLine);
bool ReleaseForeignResource(void* pv, const char* pszFile, int nLine);

// What the manager holds at the moment; for tests and benchmarks.
struct Stats {
    std::size_t cPools = 0;       // pools obtained from the system
    std::size_t cEmptyPools = 0;  // pools with no block in use
    std::size_t cBlocksInUse = 0; // blocks, objects and foreign resources in use
    std::size_t cLargeBlocks = 0; // blocks taken directly from the system
    std::size_t cbRequested = 0;  // bytes requested by the blocks in use
};
Stats GetStats();

// The block behind a data pointer; for tests. False when pv is not a live block.
struct BlockInfo {
    std::size_t cbBlock = 0; // whole block, header included
    std::size_t cbUsable = 0;
    std::size_t cbRequested = 0;
    bool fLarge = false;
    bool fTared = false;
    const char* pszType = nullptr;
    const char* pszFile = nullptr;
    int nLine = 0;
};
bool GetBlockInfo(const void* pv, BlockInfo* pInfo);

// Writes a summary and one line per block still in use, tared ones left out, to the debug
// output ("  file(line): TYPE, n bytes"). Returns the number of blocks reported.
std::size_t ReportLeaks();

// The end-of-program check that each program runs last: the report above. With
// KELVANO_LEAK_CHECK=fail in the environment a non-empty report is a failure, and nExit
// becomes kLeakExitCode; otherwise nExit is returned unchanged.
constexpr int kLeakExitCode = 3;
int CheckAtExit(int nExit);

// For tests that run a whole program inside their own process: tares every block in use
// now, so that the program's own check reports only what the program left behind.
void TareAllInUse();

// The upper-case type name of a tracked object, made at compile time from the type's name.
template <std::size_t N> struct TypeTag {
    char sz[N]{};
    constexpr TypeTag(const char (&name)[N]) {
        for (std::size_t i = 0; i < N; ++i)
            sz[i] = (name[i] >= 'a' && name[i] <= 'z') ? static_cast<char>(name[i] - 32) : name[i];
    }
};
template <TypeTag tag> constexpr const char* UpperName() {
    return tag.sz;
}

template <class T, class... Args>
T* NewObject(const char* pszType, const char* pszFile, int nLine, Args&&... args) {
    // Plain records are built with braces, so that every compiler accepts them.
    T* p;
    if constexpr (std::is_aggregate_v<T>)
        p = new (std::nothrow) T{std::forward<Args>(args)...};
    else
        p = new (std::nothrow) T(std::forward<Args>(args)...);
    if (p != nullptr) TrackObject(p, sizeof(T), pszType, pszFile, nLine);
    return p;
}

template <class T> void DeleteObject(T* p, const char* pszFile, int nLine) {
    // Only an object that the manager knows as one may be destroyed here; anything else
    // has been reported and is left alone rather than handed to the wrong allocator.
    if (p != nullptr && ReleaseObject(const_cast<std::remove_cv_t<T>*>(p), pszFile, nLine))
        delete p;
}

// A tag for the allocator of a standard container.
struct Tag {
    const char* pszType;
    const char* pszFile;
    int nLine;
};

// Lets standard containers allocate through the manager under one tag.
template <class T> class Allocator {
public:
    using value_type = T;
    static_assert(alignof(T) <= 16, "the manager aligns data to 16 bytes");

    Allocator() noexcept : tag_{"std", "<untagged>", 0} {}
    Allocator(Tag tag) noexcept : tag_(tag) {}
    template <class U> Allocator(const Allocator<U>& other) noexcept : tag_(other.tag()) {}

    T* allocate(std::size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
        void* p = Allocate(n * sizeof(T), tag_.pszType, tag_.pszFile, tag_.nLine);
        if (p == nullptr) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) noexcept { Release(p, tag_.pszFile, tag_.nLine); }

    Tag tag() const noexcept { return tag_; }
    // All instances share the one manager, so any may free what another allocated.
    template <class U> bool operator==(const Allocator<U>&) const noexcept { return true; }

private:
    Tag tag_;
};

template <class T> using vector = std::vector<T, Allocator<T>>;
template <class T> using list = std::list<T, Allocator<T>>;
template <class T> using deque = std::deque<T, Allocator<T>>;
template <class K, class V, class Less = std::less<K>>
using map = std::map<K, V, Less, Allocator<std::pair<const K, V>>>;
template <class K, class V, class Hash = std::hash<K>, class Eq = std::equal_to<K>>
using unordered_map = std::unordered_map<K, V, Hash, Eq, Allocator<std::pair<const K, V>>>;
template <class Ch> using basic_string = std::basic_string<Ch, std::char_traits<Ch>, Allocator<Ch>>;

} // namespace mem

#define MEM_TAG(type) (::mem::Tag{(type), __FILE__, __LINE__})
#define MemAlloc(cb) ::mem::Allocate((cb), #cb, __FILE__, __LINE__)
#define MemAllocTagged(cb, type) ::mem::Allocate((cb), (type), __FILE__, __LINE__)
#define MemAllocArray(T, count)                                                                    \
    static_cast<T*>(                                                                               \
        ::mem::Allocate(sizeof(T) * (count), "sizeof(" #T ") * " #count, __FILE__, __LINE__))
#define MemFree(pv) ::mem::Release((pv), __FILE__, __LINE__)
#define MemTare(pv) ::mem::Tare((pv), __FILE__, __LINE__)
#define MemReallocArray(ppArray, pcCurrent, cNeeded, cStep)                                        \
    ::mem::ReallocArray(sizeof(**(ppArray)), reinterpret_cast<void**>(ppArray), (pcCurrent),       \
                        (cNeeded), (cStep), __FILE__, __LINE__)
#define MemNew(Type, ...)                                                                          \
    ::mem::NewObject<Type>(::mem::UpperName<::mem::TypeTag(#Type)>(), __FILE__,                    \
                           __LINE__ __VA_OPT__(, ) __VA_ARGS__)
#define MemDelete(p) ::mem::DeleteObject((p), __FILE__, __LINE__)

// Keyed containers of the template library.
//
// map is a skip list: every node ("mapnodetype") sits on level 0 and is promoted to each
// further level with probability 0.79, up to 32 levels. The levels come from a small
// generator of the map's own, seeded at construction, so the same seed and the same
// operations always build the same structure. Keys are kept in ascending order of Less.
//
// safemap answers a lookup of a missing key by adding the key with a default value;
// stringmap is a safemap keyed by case-insensitive text, which keeps a key spelled as it was
// first added.
//
// Not thread-safe: a map shared between threads needs its owner's lock. Copying copies
// every entry and the very structure of the list; moving hands the nodes over.
#pragma once

#include "foundation/memmgr.h"
#include "foundation/tl_exception.h"
#include "foundation/tl_string.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace cetl {

template <class K, class V, class Less = std::less<K>> class map {
public:
    using key_type = K;
    using mapped_type = V;
    using value_type = std::pair<const K, V>;

    static constexpr int kMaxLevels = 32;
    // Promotion to the next level when a 32-bit draw falls below 0.79 * 2^32.
    static constexpr std::uint32_t kPromoteBelow = static_cast<std::uint32_t>(0.79 * 4294967296.0);
    static constexpr std::uint64_t kDefaultSeed = 0x4B656C76616E6FULL;

private:
    // The forward pointers, one per level of the node, follow the node in its block.
    struct node {
        value_type item;
        node* pPrev;
        int cLevels;

        node** Next() { return reinterpret_cast<node**>(this + 1); }
    };
    static_assert(alignof(node) <= 16, "the memory manager aligns data to 16 bytes");
    static_assert(sizeof(node) % alignof(node*) == 0);

    // Knows its map, so that stepping back from the end reaches the last entry.
    template <bool fConst> class basic_iterator {
    public:
        using iterator_category = std::bidirectional_iterator_tag;
        using value_type = map::value_type;
        using difference_type = std::ptrdiff_t;
        using pointer = std::conditional_t<fConst, const value_type*, value_type*>;
        using reference = std::conditional_t<fConst, const value_type&, value_type&>;

        basic_iterator() = default;
        template <bool fOther>
        requires(fConst && !fOther) basic_iterator(const basic_iterator<fOther>& it)
            : pMap_(it.pMap_), pNode_(it.pNode_) {}

        reference operator*() const {
            if (pNode_ == nullptr) ThrowException(kszIteratorInvalid);
            return pNode_->item;
        }
        pointer operator->() const { return &**this; }

        basic_iterator& operator++() {
            if (pNode_ == nullptr) ThrowException(kszIteratorAtEnd);
            pNode_ = pNode_->Next()[0];
            return *this;
        }
        basic_iterator operator++(int) {
            basic_iterator it = *this;
            ++*this;
            return it;
        }
        basic_iterator& operator--() {
            node* pPrev =
                pNode_ != nullptr ? pNode_->pPrev : (pMap_ != nullptr ? pMap_->pTail_ : nullptr);
            if (pPrev == nullptr) ThrowException(kszIteratorAtBeginning);
            pNode_ = pPrev;
            return *this;
        }
        basic_iterator operator--(int) {
            basic_iterator it = *this;
            --*this;
            return it;
        }

        friend bool operator==(const basic_iterator&, const basic_iterator&) = default;

    private:
        friend class map;
        template <bool> friend class basic_iterator;
        basic_iterator(const map* pMap, node* pNode) : pMap_(pMap), pNode_(pNode) {}

        const map* pMap_ = nullptr;
        node* pNode_ = nullptr;
    };

public:
    using iterator = basic_iterator<false>;
    using const_iterator = basic_iterator<true>;

    explicit map(std::uint64_t nSeed = kDefaultSeed) : nState_(nSeed) {}
    // Rebuilds the same levels in the same order, and the generator goes on where the
    // original's was, so a copy grows exactly as the original would.
    map(const map& other) : map(other.nState_) {
        less_ = other.less_;
        node* apLast[kMaxLevels] = {};
        for (node* pFrom = other.apHead_[0]; pFrom != nullptr; pFrom = pFrom->Next()[0]) {
            node* pNode = NewNode(pFrom->cLevels, pFrom->item.first, pFrom->item.second);
            pNode->pPrev = pTail_;
            for (int iLevel = 0; iLevel < pNode->cLevels; ++iLevel) {
                NextOf(apLast[iLevel], iLevel) = pNode;
                apLast[iLevel] = pNode;
            }
            pTail_ = pNode;
            ++cItems_;
        }
        cLevels_ = other.cLevels_;
    }
    map(map&& other) noexcept { Swap(other); }
    map& operator=(map other) noexcept {
        Swap(other);
        return *this;
    }
    ~map() { Clear(); }

    void Swap(map& other) noexcept {
        for (int iLevel = 0; iLevel < kMaxLevels; ++iLevel)
            std::swap(apHead_[iLevel], other.apHead_[iLevel]);
        std::swap(pTail_, other.pTail_);
        std::swap(cLevels_, other.cLevels_);
        std::swap(cItems_, other.cItems_);
        std::swap(nState_, other.nState_);
        std::swap(less_, other.less_);
    }

    std::size_t Count() const { return cItems_; }
    bool IsEmpty() const { return cItems_ == 0; }

    // Adds the key or replaces the value of an existing one (whose key stays as it was).
    // True when the key was added.
    bool Set(const K& key, V value) {
        node* apUpdate[kMaxLevels];
        if (node* pNode = Search(key, apUpdate)) {
            pNode->item.second = std::move(value);
            return false;
        }
        Insert(apUpdate, key, std::move(value));
        return true;
    }

    iterator Find(const K& key) { return iterator(this, FindNode(key)); }
    const_iterator Find(const K& key) const { return const_iterator(this, FindNode(key)); }
    bool Contains(const K& key) const { return FindNode(key) != nullptr; }

    // A missing key throws.
    V& Get(const K& key) { return CheckedNode(key)->item.second; }
    const V& Get(const K& key) const { return CheckedNode(key)->item.second; }
    V& operator[](const K& key) { return Get(key); }
    const V& operator[](const K& key) const { return Get(key); }

    // A missing key throws.
    void Remove(const K& key) {
        node* apUpdate[kMaxLevels];
        node* pNode = Search(key, apUpdate);
        if (pNode == nullptr) ThrowException(kszMapIndexMissing);
        for (int iLevel = 0; iLevel < pNode->cLevels; ++iLevel)
            NextOf(apUpdate[iLevel], iLevel) = pNode->Next()[iLevel];
        node* pNext = pNode->Next()[0];
        (pNext != nullptr ? pNext->pPrev : pTail_) = pNode->pPrev;
        while (cLevels_ > 0 && apHead_[cLevels_ - 1] == nullptr)
            --cLevels_;
        --cItems_;
        DeleteNode(pNode);
    }

    void Clear() {
        node* pNode = apHead_[0];
        for (node*& pHead : apHead_)
            pHead = nullptr;
        pTail_ = nullptr;
        cLevels_ = 0;
        cItems_ = 0;
        while (pNode != nullptr) {
            node* pNext = pNode->Next()[0];
            DeleteNode(pNode);
            pNode = pNext;
        }
    }

    // The shape of the list: the number of levels in use and the nodes linked on one.
    int Levels() const { return cLevels_; }
    std::size_t CountAtLevel(int iLevel) const {
        std::size_t cNodes = 0;
        if (iLevel >= 0 && iLevel < kMaxLevels)
            for (node* pNode = apHead_[iLevel]; pNode != nullptr; pNode = pNode->Next()[iLevel])
                ++cNodes;
        return cNodes;
    }

    iterator begin() { return iterator(this, apHead_[0]); }
    iterator end() { return iterator(this, nullptr); }
    const_iterator begin() const { return const_iterator(this, apHead_[0]); }
    const_iterator end() const { return const_iterator(this, nullptr); }

protected:
    // The value of key, added with a default value when missing.
    V& GetOrAdd(const K& key) {
        node* apUpdate[kMaxLevels];
        if (node* pNode = Search(key, apUpdate)) return pNode->item.second;
        return Insert(apUpdate, key, V())->item.second;
    }

private:
    // The head's forward pointer stands in for a null predecessor.
    node*& NextOf(node* pNode, int iLevel) {
        return pNode != nullptr ? pNode->Next()[iLevel] : apHead_[iLevel];
    }
    node* NextOf(node* pNode, int iLevel) const {
        return pNode != nullptr ? pNode->Next()[iLevel] : apHead_[iLevel];
    }

    // Finds the node of key, filling apUpdate (if given) with the last node before the key
    // on every level in use, null meaning the head.
    node* Search(const K& key, node** apUpdate) const {
        node* pNode = nullptr;
        for (int iLevel = cLevels_ - 1; iLevel >= 0; --iLevel) {
            for (node* pNext;
                 (pNext = NextOf(pNode, iLevel)) != nullptr && less_(pNext->item.first, key);)
                pNode = pNext;
            if (apUpdate != nullptr) apUpdate[iLevel] = pNode;
        }
        node* pFound = NextOf(pNode, 0);
        return pFound != nullptr && !less_(key, pFound->item.first) ? pFound : nullptr;
    }
    node* FindNode(const K& key) const { return Search(key, nullptr); }
    node* CheckedNode(const K& key) const {
        node* pNode = FindNode(key);
        if (pNode == nullptr) ThrowException(kszMapIndexMissing);
        return pNode;
    }

    node* Insert(node** apUpdate, const K& key, V&& value) {
        int cLevels = RandomLevels();
        node* pNode = NewNode(cLevels, key, std::move(value));
        for (; cLevels_ < cLevels; ++cLevels_)
            apUpdate[cLevels_] = nullptr;
        for (int iLevel = 0; iLevel < cLevels; ++iLevel) {
            node*& pNext = NextOf(apUpdate[iLevel], iLevel);
            pNode->Next()[iLevel] = pNext;
            pNext = pNode;
        }
        pNode->pPrev = apUpdate[0];
        node* pNext = pNode->Next()[0];
        (pNext != nullptr ? pNext->pPrev : pTail_) = pNode;
        ++cItems_;
        return pNode;
    }

    // splitmix64: tiny, and good in every bit for any seed, zero included.
    std::uint32_t NextRandom() {
        std::uint64_t z = (nState_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
    }
    int RandomLevels() {
        int cLevels = 1;
        while (cLevels < kMaxLevels && NextRandom() < kPromoteBelow)
            ++cLevels;
        return cLevels;
    }

    template <class Key, class Value> static node* NewNode(int cLevels, Key&& key, Value&& value) {
        std::size_t cb = sizeof(node) + static_cast<std::size_t>(cLevels) * sizeof(node*);
        void* pv = ::mem::Allocate(cb, "mapnodetype", __FILE__, __LINE__);
        if (pv == nullptr) throw std::bad_alloc();
        node* pNode;
        try {
            pNode = ::new (pv) node{value_type(std::forward<Key>(key), std::forward<Value>(value)),
                                    nullptr, cLevels};
        } catch (...) {
            ::mem::Release(pv, __FILE__, __LINE__);
            throw;
        }
        std::uninitialized_value_construct_n(pNode->Next(), cLevels);
        return pNode;
    }
    static void DeleteNode(node* pNode) {
        std::destroy_at(pNode);
        ::mem::Release(pNode, __FILE__, __LINE__);
    }

    node* apHead_[kMaxLevels] = {};
    node* pTail_ = nullptr;
    int cLevels_ = 0;
    std::size_t cItems_ = 0;
    std::uint64_t nState_ = kDefaultSeed;
    [[no_unique_address]] Less less_{};
};

// A map whose lookups never fail: a missing key is added with a default value.
template <class K, class V, class Less = std::less<K>> class safemap : public map<K, V, Less> {
    using base = map<K, V, Less>;

public:
    using base::base;

    V& Get(const K& key) { return base::GetOrAdd(key); }
    // A const map cannot grow, so a missing key reads as the default value.
    const V& Get(const K& key) const {
        auto it = base::Find(key);
        return it != base::end() ? it->second : vDefault_;
    }
    V& operator[](const K& key) { return Get(key); }
    const V& operator[](const K& key) const { return Get(key); }

private:
    V vDefault_{};
};

// Orders text keys without regard to case.
struct iless {
    bool operator()(const istring& a, const istring& b) const { return a.Compare(b) < 0; }
};

template <class V> class stringmap : public safemap<istring, V, iless> {
public:
    using safemap<istring, V, iless>::safemap;
};

} // namespace cetl

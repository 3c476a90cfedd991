// Indexed sequence of the template library.
//
// Each item is allocated on its own ("myitemtype") and the vector keeps only their pointers,
// in one block ("myblocktype"). Items therefore never move: a reference to an item stays
// valid while other items are added, inserted or removed. The block starts with 16 slots and
// doubles when it is full; it is not shrunk until Clear releases it. A bad index or a missing
// item throws cetl::exception. An iterator holds an index, so inserting or removing before it
// shifts the item it refers to.
//
// Not thread-safe: a vector shared between threads needs its owner's lock. Copying copies
// every item; moving hands the block over and leaves the source empty.
#pragma once

#include "foundation/memmgr.h"
#include "foundation/tl_exception.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace cetl {

template <class T> class vector {
    static_assert(alignof(T) <= 16, "the memory manager aligns data to 16 bytes");

    // Knows its vector and an index, so that it can tell the end from a valid item.
    template <bool fConst> class basic_iterator {
    public:
        using iterator_category = std::bidirectional_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = std::conditional_t<fConst, const T*, T*>;
        using reference = std::conditional_t<fConst, const T&, T&>;

        basic_iterator() = default;
        template <bool fOther>
        requires(fConst && !fOther) basic_iterator(const basic_iterator<fOther>& it)
            : pVector_(it.pVector_), iItem_(it.iItem_) {}

        std::size_t Index() const { return iItem_; }

        reference operator*() const {
            if (pVector_ == nullptr || iItem_ >= pVector_->cItems_)
                ThrowException(kszIteratorInvalid);
            return *pVector_->ppItems_[iItem_];
        }
        pointer operator->() const { return &**this; }

        basic_iterator& operator++() {
            if (pVector_ == nullptr || iItem_ >= pVector_->cItems_)
                ThrowException(kszIteratorAtEnd);
            ++iItem_;
            return *this;
        }
        basic_iterator operator++(int) {
            basic_iterator it = *this;
            ++*this;
            return it;
        }
        basic_iterator& operator--() {
            // An index left beyond the end by removals steps back onto the last item.
            std::size_t iItem = pVector_ != nullptr ? std::min(iItem_, pVector_->cItems_) : 0;
            if (iItem == 0) ThrowException(kszIteratorAtBeginning);
            iItem_ = iItem - 1;
            return *this;
        }
        basic_iterator operator--(int) {
            basic_iterator it = *this;
            --*this;
            return it;
        }

        friend bool operator==(const basic_iterator&, const basic_iterator&) = default;

    private:
        friend class vector;
        template <bool> friend class basic_iterator;
        basic_iterator(const vector* pVector, std::size_t iItem)
            : pVector_(pVector), iItem_(iItem) {}

        const vector* pVector_ = nullptr;
        std::size_t iItem_ = 0;
    };

public:
    using value_type = T;
    using iterator = basic_iterator<false>;
    using const_iterator = basic_iterator<true>;

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    static constexpr std::size_t kFirstBlockSlots = 16;

    vector() = default;
    // Delegating first makes the vector whole, so a copy that fails halfway frees its items.
    vector(const vector& other) : vector() {
        Reserve(other.cItems_);
        for (const T& item : other)
            Add(item);
    }
    vector(vector&& other) noexcept { Swap(other); }
    vector& operator=(vector other) noexcept {
        Swap(other);
        return *this;
    }
    ~vector() { Clear(); }

    void Swap(vector& other) noexcept {
        std::swap(ppItems_, other.ppItems_);
        std::swap(cItems_, other.cItems_);
        std::swap(cSlots_, other.cSlots_);
    }

    std::size_t Count() const { return cItems_; }
    bool IsEmpty() const { return cItems_ == 0; }

    T& operator[](std::size_t iItem) { return *ppItems_[CheckIndex(iItem)]; }
    const T& operator[](std::size_t iItem) const { return *ppItems_[CheckIndex(iItem)]; }

    // Returns the index of the new item.
    std::size_t Add(T item) { return Insert(cItems_, std::move(item)); }

    // iItem may be Count(), which adds at the end.
    std::size_t Insert(std::size_t iItem, T item) {
        if (iItem > cItems_) ThrowException(kszVectorItemMissing);
        Reserve(cItems_ + 1);
        T* pItem = NewItem(std::move(item));
        std::memmove(ppItems_ + iItem + 1, ppItems_ + iItem, (cItems_ - iItem) * sizeof(T*));
        ppItems_[iItem] = pItem;
        ++cItems_;
        return iItem;
    }

    void RemoveAt(std::size_t iItem) {
        T* pItem = ppItems_[CheckIndex(iItem)];
        std::memmove(ppItems_ + iItem, ppItems_ + iItem + 1, (cItems_ - iItem - 1) * sizeof(T*));
        --cItems_;
        DeleteItem(pItem);
    }
    // Removes the first item equal to item.
    void Remove(const T& item) {
        std::size_t iItem = Find(item);
        if (iItem == npos) ThrowException(kszVectorItemMissing);
        RemoveAt(iItem);
    }

    // The index of the first item equal to item, or npos.
    std::size_t Find(const T& item) const {
        for (std::size_t iItem = 0; iItem < cItems_; ++iItem)
            if (*ppItems_[iItem] == item) return iItem;
        return npos;
    }
    bool Contains(const T& item) const { return Find(item) != npos; }

    void Clear() {
        T** ppItems = ppItems_;
        std::size_t cItems = cItems_;
        ppItems_ = nullptr;
        cItems_ = cSlots_ = 0;
        for (std::size_t iItem = 0; iItem < cItems; ++iItem)
            DeleteItem(ppItems[iItem]);
        if (ppItems != nullptr) ::mem::Release(ppItems, __FILE__, __LINE__);
    }

    // Makes room for cNeeded pointers, doubling from the first block's size.
    void Reserve(std::size_t cNeeded) {
        if (cNeeded <= cSlots_) return;
        std::size_t cSlots = cSlots_ != 0 ? cSlots_ : kFirstBlockSlots;
        while (cSlots < cNeeded) {
            if (cSlots > SIZE_MAX / 2 / sizeof(T*)) throw std::bad_alloc();
            cSlots *= 2;
        }
        void* pv = ::mem::Allocate(cSlots * sizeof(T*), "myblocktype", __FILE__, __LINE__);
        if (pv == nullptr) throw std::bad_alloc();
        T** ppItems = static_cast<T**>(pv);
        if (cItems_ != 0) std::memcpy(ppItems, ppItems_, cItems_ * sizeof(T*));
        if (ppItems_ != nullptr) ::mem::Release(ppItems_, __FILE__, __LINE__);
        ppItems_ = ppItems;
        cSlots_ = cSlots;
    }
    std::size_t Capacity() const { return cSlots_; }

    iterator begin() { return iterator(this, 0); }
    iterator end() { return iterator(this, cItems_); }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, cItems_); }

private:
    static T* NewItem(T&& item) {
        void* pv = ::mem::Allocate(sizeof(T), "myitemtype", __FILE__, __LINE__);
        if (pv == nullptr) throw std::bad_alloc();
        try {
            return ::new (pv) T(std::move(item));
        } catch (...) {
            ::mem::Release(pv, __FILE__, __LINE__);
            throw;
        }
    }
    static void DeleteItem(T* pItem) {
        std::destroy_at(pItem);
        ::mem::Release(pItem, __FILE__, __LINE__);
    }

    std::size_t CheckIndex(std::size_t iItem) const {
        if (iItem >= cItems_) ThrowException(kszVectorItemMissing);
        return iItem;
    }

    T** ppItems_ = nullptr;
    std::size_t cItems_ = 0;
    std::size_t cSlots_ = 0;
};

} // namespace cetl

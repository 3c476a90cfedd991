// Doubly linked list of the template library.
//
// Each item lives in a node of its own ("mynodetype") taken from the memory manager, so an
// item never moves while it is in the list: references and iterators to it stay valid until
// that item is removed. Misuse (taking from an empty list, removing an item that is not
// there, stepping an iterator off either end) throws cetl::exception.
//
// Not thread-safe: a list shared between threads needs its owner's lock. Copying copies
// every item; moving hands the nodes over and leaves the source empty.
#pragma once

#include "foundation/memmgr.h"
#include "foundation/tl_exception.h"

#include <cstddef>
#include <iterator>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace cetl {

template <class T> class list {
    struct node {
        node* pPrev;
        node* pNext;
        T item;
    };
    static_assert(alignof(node) <= 16, "the memory manager aligns data to 16 bytes");

    // Knows its list, so that stepping back from the end reaches the tail and removal can
    // refuse an iterator of another list. A null node is the position past the tail.
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
            : pList_(it.pList_), pNode_(it.pNode_) {}

        reference operator*() const {
            if (pNode_ == nullptr) ThrowException(kszIteratorInvalid);
            return pNode_->item;
        }
        pointer operator->() const { return &**this; }

        basic_iterator& operator++() {
            if (pNode_ == nullptr) ThrowException(kszIteratorAtEnd);
            pNode_ = pNode_->pNext;
            return *this;
        }
        basic_iterator operator++(int) {
            basic_iterator it = *this;
            ++*this;
            return it;
        }
        basic_iterator& operator--() {
            node* pPrev =
                pNode_ != nullptr ? pNode_->pPrev : (pList_ != nullptr ? pList_->pTail_ : nullptr);
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
        friend class list;
        template <bool> friend class basic_iterator;
        basic_iterator(const list* pList, node* pNode) : pList_(pList), pNode_(pNode) {}

        const list* pList_ = nullptr;
        node* pNode_ = nullptr;
    };

public:
    using value_type = T;
    using iterator = basic_iterator<false>;
    using const_iterator = basic_iterator<true>;

    list() = default;
    // Delegating first makes the list whole, so a copy that fails halfway frees its nodes.
    list(const list& other) : list() {
        for (const T& item : other)
            AddTail(item);
    }
    list(list&& other) noexcept { Swap(other); }
    list& operator=(list other) noexcept {
        Swap(other);
        return *this;
    }
    ~list() { Clear(); }

    void Swap(list& other) noexcept {
        std::swap(pHead_, other.pHead_);
        std::swap(pTail_, other.pTail_);
        std::swap(cItems_, other.cItems_);
    }

    std::size_t Count() const { return cItems_; }
    bool IsEmpty() const { return cItems_ == 0; }

    T& Head() { return CheckedHead()->item; }
    const T& Head() const { return CheckedHead()->item; }
    T& Tail() { return CheckedTail()->item; }
    const T& Tail() const { return CheckedTail()->item; }

    iterator AddHead(T item) { return Link(NewNode(std::move(item)), nullptr, pHead_); }
    iterator AddTail(T item) { return Link(NewNode(std::move(item)), pTail_, nullptr); }

    // Before the end position means at the tail; after it there is nowhere to go.
    iterator InsertBefore(const_iterator it, T item) {
        CheckOwn(it, true);
        node* pNext = it.pNode_;
        return Link(NewNode(std::move(item)), pNext != nullptr ? pNext->pPrev : pTail_, pNext);
    }
    iterator InsertAfter(const_iterator it, T item) {
        CheckOwn(it, false);
        return Link(NewNode(std::move(item)), it.pNode_, it.pNode_->pNext);
    }

    T RemoveHead() { return Take(CheckedHead()); }
    T RemoveTail() { return Take(CheckedTail()); }

    // Removes the first item equal to item.
    void Remove(const T& item) {
        node* pNode = FindNode(item);
        if (pNode == nullptr) ThrowException(kszListItemMissing);
        Unlink(pNode);
        DeleteNode(pNode);
    }
    // Returns the position that followed the removed item.
    iterator Remove(const_iterator it) {
        CheckOwn(it, false);
        node* pNext = it.pNode_->pNext;
        Unlink(it.pNode_);
        DeleteNode(it.pNode_);
        return iterator(this, pNext);
    }

    iterator Find(const T& item) { return iterator(this, FindNode(item)); }
    const_iterator Find(const T& item) const { return const_iterator(this, FindNode(item)); }
    bool Contains(const T& item) const { return FindNode(item) != nullptr; }

    void Clear() {
        node* pNode = pHead_;
        pHead_ = pTail_ = nullptr;
        cItems_ = 0;
        while (pNode != nullptr) {
            node* pNext = pNode->pNext;
            DeleteNode(pNode);
            pNode = pNext;
        }
    }

    iterator begin() { return iterator(this, pHead_); }
    iterator end() { return iterator(this, nullptr); }
    const_iterator begin() const { return const_iterator(this, pHead_); }
    const_iterator end() const { return const_iterator(this, nullptr); }

private:
    static node* NewNode(T&& item) {
        void* pv = ::mem::Allocate(sizeof(node), "mynodetype", __FILE__, __LINE__);
        if (pv == nullptr) throw std::bad_alloc();
        try {
            return ::new (pv) node{nullptr, nullptr, std::move(item)};
        } catch (...) {
            ::mem::Release(pv, __FILE__, __LINE__);
            throw;
        }
    }
    static void DeleteNode(node* pNode) {
        std::destroy_at(pNode);
        ::mem::Release(pNode, __FILE__, __LINE__);
    }

    iterator Link(node* pNode, node* pPrev, node* pNext) {
        pNode->pPrev = pPrev;
        pNode->pNext = pNext;
        (pPrev != nullptr ? pPrev->pNext : pHead_) = pNode;
        (pNext != nullptr ? pNext->pPrev : pTail_) = pNode;
        ++cItems_;
        return iterator(this, pNode);
    }
    void Unlink(node* pNode) {
        (pNode->pPrev != nullptr ? pNode->pPrev->pNext : pHead_) = pNode->pNext;
        (pNode->pNext != nullptr ? pNode->pNext->pPrev : pTail_) = pNode->pPrev;
        --cItems_;
    }
    T Take(node* pNode) {
        Unlink(pNode);
        // The node goes back to the manager even when moving the item out throws.
        struct release {
            node* pNode;
            ~release() { DeleteNode(pNode); }
        } guard{pNode};
        return std::move(pNode->item);
    }

    node* CheckedHead() const {
        if (pHead_ == nullptr) ThrowException(kszListEmpty);
        return pHead_;
    }
    node* CheckedTail() const {
        if (pTail_ == nullptr) ThrowException(kszListEmpty);
        return pTail_;
    }
    void CheckOwn(const_iterator it, bool fEndAllowed) const {
        if (it.pList_ != this || (it.pNode_ == nullptr && !fEndAllowed))
            ThrowException(kszIteratorInvalid);
    }
    node* FindNode(const T& item) const {
        for (node* pNode = pHead_; pNode != nullptr; pNode = pNode->pNext)
            if (pNode->item == item) return pNode;
        return nullptr;
    }

    node* pHead_ = nullptr;
    node* pTail_ = nullptr;
    std::size_t cItems_ = 0;
};

} // namespace cetl

#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <new>
#include <type_traits>

#include "geometry/mesh/pooledListIndex.h"
#include "math/qmtVector3.h"

// Intrusive doubly linked list with a sentinel head and a chain of spare nodes.
// Removed and cleared nodes are kept on the spare chain and handed out again before
// anything new is allocated, so a list that is cleared and refilled every step stops
// allocating once it has reached its largest size.
//
// T is a pointer type (the list never owns the pointees) or Qmt::QmtVector3.
//
// Shape: the elements are head->next, head->next->next, ... up to a null next; the
// first element's previous is the head. head->previous is only a loose "last-node
// link" (see pushFront/insertAfter/moveFrontToBack) and must not be taken as the
// tail. Spare nodes are chained through next; their previous fields carry no
// meaning.
//
// Node allocation never throws: when no node can be had the operation does nothing.
// After destroy() (or a failed head allocation) head is null and every operation
// except destroy, releaseSpares and reserveSpares does nothing.
//
// An Indexed list (of pointers) also keeps where each value sits and its last node, so
// contains, remove and appending take constant time instead of a walk; it holds the
// same values in the same order and reuses nodes the same way as a plain list. Its
// links must only change through these members.
template <class T, bool Indexed = false>
class PooledList {
    static_assert(std::is_pointer_v<T> || std::is_same_v<T, Qmt::QmtVector3>,
                  "PooledList holds pointers or Qmt::QmtVector3 values");
    static_assert(!Indexed || std::is_pointer_v<T>, "only lists of pointers are indexed");

public:
    struct Node {
        T value;
        Node* next;
        Node* previous;
    };

    std::uint32_t count = 0;  // number of nodes reachable from head
    Node* head = nullptr;     // sentinel; its value is zero and never read
    Node* spare = nullptr;    // first spare node, null when there is none

    PooledList() : head(new (std::nothrow) Node{T{}, nullptr, nullptr}) {
        if (head) {
            head->previous = head;
        }
        setLast(head);
    }

    // Starts from a head with null links (so its last-node link stays null), then
    // takes the other's values in order.
    PooledList(const PooledList& other) : head(new (std::nothrow) Node{T{}, nullptr, nullptr}) {
        setLast(head);
        *this = other;
    }

    ~PooledList() { destroy(); }

    // Holds the other's values in the other's order, reusing this list's nodes first.
    PooledList& operator=(const PooledList& other) {
        if (this == &other) {
            return *this;
        }
        clear();
        if (!head || !other.head) {
            return *this;
        }
        // P is always the running tail: P->next is non-null only when the node was
        // linked, so a failed allocation skips that value and keeps the rest.
        Node* p = head;
        for (const Node* n = other.head->next; n; n = n->next) {
            insertAfter(n->value, p);
            if (p->next) {
                p = p->next;
            }
        }
        return *this;
    }

    void pushFront(const T& value) {
        if (!head) {
            return;
        }
        Node* const n = takeNode(value);
        if (!n) {
            return;
        }
        Node* const first = head->next;
        head->next = n;
        n->next = first;
        n->previous = head;
        if (first) {
            first->previous = n;
        }
        if (!head->previous) {
            head->previous = first;
        }
        ++count;
        linked(n);
    }

    // Inserts right after `position`, which may be the head; a null position does nothing.
    void insertAfter(const T& value, Node* position) {
        if (!head || !position) {
            return;
        }
        Node* const n = takeNode(value);
        if (!n) {
            return;
        }
        Node* const after = position->next;
        position->next = n;
        n->next = after;
        n->previous = position;
        if (after) {
            after->previous = n;
        }
        if (position == head->previous) {
            head->previous = n;
        }
        ++count;
        linked(n);
    }

    // Unlinks the first node holding `value` and moves it to the front of the spare
    // chain; an absent value does nothing.
    void remove(T value)
        requires std::is_pointer_v<T>
    {
        Node* const n = firstNodeOf(value);
        if (!n) {
            return;
        }
        unlinked(n);
        n->previous->next = n->next;
        if (n->next) {
            n->next->previous = n->previous;
        }
        n->next = spare;
        if (spare) {
            spare->previous = n;
        }
        spare = n;
        n->previous = nullptr;
        --count;
    }

    // Moves the elements one by one to the front of the spare chain, so the chain
    // holds them in reverse order ahead of the older spares. Values are not released.
    void clear() {
        if (head) {
            while (Node* const n = head->next) {
                head->next = n->next;
                if (n->next) {
                    n->next->previous = head;
                }
                n->next = spare;
                if (spare) {
                    spare->previous = n;
                }
                spare = n;
            }
        }
        count = 0;
        if constexpr (Indexed) {
            lookup_.index.clear();
        }
        setLast(head);
    }

    // Moves the first element's node, without copying or allocating, to the end of
    // `to`: `toTail` is to's last node (its head while it is empty) and becomes the
    // moved node. Both counts follow; to's last-node link follows its tail, as
    // appending with insertAfter would leave it, and this list's falls back to the
    // head when it named the moved node. Nothing happens when this list is empty.
    void moveFrontToBack(PooledList& to, Node*& toTail) {
        if (!head || !to.head || !toTail) {
            return;
        }
        Node* const n = head->next;
        if (!n) {
            return;
        }
        unlinked(n);
        head->next = n->next;
        if (n->next) {
            n->next->previous = head;
        }
        if (head->previous == n) {
            head->previous = head;
        }
        --count;
        toTail->next = n;
        n->previous = toTail;
        n->next = nullptr;
        if (to.head->previous == toTail) {
            to.head->previous = n;
        }
        toTail = n;
        ++to.count;
        to.linked(n);
    }

    // Pushes every element of `source`, in order, at the front of this list (so they
    // end up reversed, ahead of the old elements). Only nodes actually linked count.
    void pushFrontAll(const PooledList& source) {
        if (!source.head) {
            return;
        }
        for (const Node* n = source.head->next; n; n = n->next) {
            pushFront(n->value);
        }
    }

    // Reverses the elements in place by relinking their nodes; nothing is allocated
    // or copied. The last-node link then names the new last node (the old first).
    void reverse() {
        if (!head || !head->next) {
            return;
        }
        Node* const oldFirst = head->next;
        Node* reversed = nullptr;
        for (Node* n = oldFirst; n;) {
            Node* const next = n->next;
            n->next = reversed;
            if (reversed) {
                reversed->previous = n;
            }
            reversed = n;
            n = next;
        }
        head->next = reversed;
        reversed->previous = head;
        head->previous = oldFirst;
        setLast(oldFirst);
    }

    // Frees every spare node.
    void releaseSpares() {
        while (Node* const n = spare) {
            spare = n->next;
            delete n;
        }
    }

    // Allocates spare nodes until the spare chain holds at least `n` nodes (fewer when
    // allocation fails).
    void reserveSpares(std::uint32_t n) {
        std::uint32_t have = 0;
        for (const Node* s = spare; s && have < n; s = s->next) {
            ++have;
        }
        for (; have < n; ++have) {
            Node* const node = new (std::nothrow) Node{T{}, spare, nullptr};
            if (!node) {
                return;
            }
            if (spare) {
                spare->previous = node;
            }
            spare = node;
        }
    }

    // Clears, then frees every spare node and the head. Safe to call again.
    void destroy() {
        clear();
        releaseSpares();
        delete head;
        head = nullptr;
        setLast(nullptr);
        if constexpr (Indexed) {
            lookup_.index.release();
        }
    }

    // The first node holding the value, or null; whether there is one.
    Node* find(const T& value) const { return firstNodeOf(value); }
    bool contains(const T& value) const { return firstNodeOf(value) != nullptr; }

    // The last element's node, the head while the list is empty (null without a head).
    Node* last() const {
        if constexpr (Indexed) {
            return lookup_.last;
        } else {
            Node* n = head;
            while (n && n->next) {
                n = n->next;
            }
            return n;
        }
    }

    template <class NodePtr, class Ref>
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = std::remove_reference_t<Ref>*;
        using reference = Ref;

        Iterator() = default;
        explicit Iterator(NodePtr node) : node_(node) {}

        reference operator*() const { return node_->value; }
        pointer operator->() const { return &node_->value; }
        Iterator& operator++() {
            node_ = node_->next;
            return *this;
        }
        Iterator operator++(int) {
            Iterator old = *this;
            node_ = node_->next;
            return old;
        }
        bool operator==(const Iterator&) const = default;

    private:
        NodePtr node_ = nullptr;
    };

    using iterator = Iterator<Node*, T&>;
    using const_iterator = Iterator<const Node*, const T&>;

    iterator begin() { return iterator(head ? head->next : nullptr); }
    iterator end() { return iterator(); }
    const_iterator begin() const { return const_iterator(head ? head->next : nullptr); }
    const_iterator end() const { return const_iterator(); }

private:
    struct Lookup {
        PooledListIndex<Node> index;
        Node* last = nullptr;
    };
    struct NoLookup {};
    [[no_unique_address]] std::conditional_t<Indexed, Lookup, NoLookup> lookup_;

    // The first node (in list order) holding the value, or null.
    Node* firstNodeOf(const T& value) const {
        if (!head) {
            return nullptr;
        }
        if constexpr (Indexed) {
            const PooledListIndex<Node>& index = lookup_.index;
            if (index.usable()) {
                if (Node* const only = index.only(value)) {
                    return only;
                }
                if (index.count(value) == 0) {
                    return nullptr;
                }
            }
        }
        Node* n = head->next;
        while (n && n->value != value) {
            n = n->next;
        }
        return n;
    }

    void setLast(Node* n) {
        if constexpr (Indexed) {
            lookup_.last = n;
        }
    }

    // Bookkeeping of an indexed list after element node n was linked, and before it is
    // unlinked.
    void linked(Node* n) {
        if constexpr (Indexed) {
            lookup_.index.add(n);
            if (!n->next) {
                lookup_.last = n;
            }
        }
    }
    void unlinked(Node* n) {
        if constexpr (Indexed) {
            lookup_.index.drop(n);
            if (lookup_.last == n) {
                lookup_.last = n->previous;
            }
        }
    }

    // Takes the first spare node, or allocates one with null links; null on failure.
    Node* takeNode(const T& value) {
        if (Node* const n = spare) {
            n->value = value;
            spare = n->next;
            if (spare) {
                spare->previous = nullptr;
            }
            return n;
        }
        return new (std::nothrow) Node{value, nullptr, nullptr};
    }
};

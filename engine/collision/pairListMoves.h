#pragma once

// Moves of list nodes between pooled lists during a walk (the collision manager's
// pair and body lists, the world's body lists).
// An unlinked node goes to its list's spare chain, so a list that is refilled every
// cycle stops allocating once its spare chain has grown to its largest size.

#include "geometry/mesh/pooledList.h"

// Unlinks n (an element node of list) and moves it to the front of the list's spare
// chain, as PooledList::remove does with the node it finds. The caller keeps the
// successor before the call.
template <class T>
void unlinkListNode(PooledList<T>& list, typename PooledList<T>::Node* n) {
    n->previous->next = n->next;
    if (n->next) {
        n->next->previous = n->previous;
    }
    n->next = list.spare;
    if (list.spare) {
        list.spare->previous = n;
    }
    list.spare = n;
    n->previous = nullptr;
    --list.count;
}

// The first element node, or null.
template <class T>
typename PooledList<T>::Node* firstListNode(const PooledList<T>& list) {
    return list.head ? list.head->next : nullptr;
}

// Unlinks the first element of `from` and pushes its value at the front of `to`.
template <class T>
void moveFirstToFront(PooledList<T>& from, PooledList<T>& to) {
    if (auto* const n = firstListNode(from)) {
        const T value = n->value;
        unlinkListNode(from, n);
        to.pushFront(value);
    }
}

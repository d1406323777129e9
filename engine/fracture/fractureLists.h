#pragma once

#include "geometry/mesh/pooledList.h"

// Small list operations the fracture code uses on its pooled pointer lists.
namespace fracture_lists {

template <class T>
bool contains(const PooledList<T>& list, const void* value) {
    for (const T& v : list) {
        if (static_cast<const void*>(v) == value) {
            return true;
        }
    }
    return false;
}

// The last element's node, or the head of an empty list (null without a head).
template <class T>
typename PooledList<T>::Node* lastNode(PooledList<T>& list) {
    typename PooledList<T>::Node* n = list.head;
    while (n && n->next) {
        n = n->next;
    }
    return n;
}

template <class T>
void append(PooledList<T>& list, const T& value) {
    list.insertAfter(value, lastNode(list));
}

// Unlinks the first node holding the value; true when it was there.
template <class T>
bool unlink(PooledList<T>& list, const T& value) {
    const auto before = list.count;
    list.remove(value);
    return list.count != before;
}

// First element of a non-empty list, or null.
template <class T>
typename PooledList<T>::Node* firstNode(const PooledList<T>& list) {
    return list.head ? list.head->next : nullptr;
}

// Inserts after the last element (anywhere in the list) whose key is not greater
// than the value's, at the front when there is none; in a sorted list equal keys
// keep their arrival order.
template <class T, class Key>
void insertOrdered(PooledList<T>& list, const T& value, Key key) {
    typename PooledList<T>::Node* position = list.head;
    if (!position) {
        return;
    }
    const auto k = key(value);
    for (auto* n = position->next; n; n = n->next) {
        if (key(n->value) <= k) {
            position = n;
        }
    }
    list.insertAfter(value, position);
}

}  // namespace fracture_lists

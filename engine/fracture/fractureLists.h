#pragma once

#include "geometry/mesh/pooledList.h"

// Small list operations the fracture code uses on its pooled pointer lists.
namespace fracture_lists {

// The element at that address (a body passed as a HardBody finds its PrivateHardBody
// entry), or null.
template <class T, bool I>
T find(const PooledList<T, I>& list, const void* value) {
    if constexpr (I) {
        // Only an address to look up: the pointer is compared, never followed.
        const auto* const n = list.find(static_cast<T>(const_cast<void*>(value)));
        return n ? n->value : nullptr;
    } else {
        for (const T& v : list) {
            if (static_cast<const void*>(v) == value) {
                return v;
            }
        }
        return nullptr;
    }
}

template <class T, bool I>
bool contains(const PooledList<T, I>& list, const void* value) {
    return find(list, value) != nullptr;
}

// The last element's node, or the head of an empty list (null without a head).
template <class T, bool I>
typename PooledList<T, I>::Node* lastNode(PooledList<T, I>& list) {
    return list.last();
}

template <class T, bool I>
void append(PooledList<T, I>& list, const T& value) {
    list.insertAfter(value, lastNode(list));
}

// Unlinks the first node holding the value; true when it was there.
template <class T, bool I>
bool unlink(PooledList<T, I>& list, const T& value) {
    const auto before = list.count;
    list.remove(value);
    return list.count != before;
}

// First element of a non-empty list, or null.
template <class T, bool I>
typename PooledList<T, I>::Node* firstNode(const PooledList<T, I>& list) {
    return list.head ? list.head->next : nullptr;
}

// Inserts after the last element (anywhere in the list) whose key is not greater
// than the value's, at the front when there is none; in a sorted list equal keys
// keep their arrival order. An indexed list knows its last node and is walked back
// from it to the first element that qualifies: in a sorted list, past only the larger
// keys.
template <class T, bool I, class Key>
void insertOrdered(PooledList<T, I>& list, const T& value, Key key) {
    typename PooledList<T, I>::Node* position = list.head;
    if (!position) {
        return;
    }
    const auto k = key(value);
    if constexpr (I) {
        position = list.last();
        while (position != list.head && !(key(position->value) <= k)) {
            position = position->previous;
        }
    } else {
        for (auto* n = position->next; n; n = n->next) {
            if (key(n->value) <= k) {
                position = n;
            }
        }
    }
    list.insertAfter(value, position);
}

}  // namespace fracture_lists

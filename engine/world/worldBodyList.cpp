// The world's body lists: linking and unlinking with the bodies' filings and the
// index order kept up to date.

#include "engine/world/worldBodyList.h"

#include "engine/collision/pairListMoves.h"

WorldBodyList::WorldBodyList(Role role)
    : role_(role), ordered_(role == DYNAMIC || role == STATIC), tail_(BodyList::head) {}

WorldBodyList::~WorldBodyList() { clear(); }

void BodyFiling::indexChanged() const {
    for (const Entry& entry : entries_) {
        if (entry.count != 0 && entry.list) {
            entry.list->orderChanged();
        }
    }
}

bool WorldBodyList::contains(const HardBody* body) const {
    const BodyFiling::Entry& entry = body->filing.entries_[role_];
    return entry.count != 0 && entry.list == this;
}

namespace {

// 1 when a and b (element nodes, a before b) are out of index order.
std::uint32_t descent(const BodyList::Node* a, const BodyList::Node* b) {
    return a->value->transform.index > b->value->transform.index ? 1u : 0u;
}

}  // namespace

bool WorldBodyList::sorted() {
    if (!orderKnown_) {
        descents_ = 0;
        for (const Node* n = firstListNode(nodes()); n && n->next; n = n->next) {
            descents_ += descent(n, n->next);
        }
        orderKnown_ = true;
    }
    return descents_ == 0;
}

void WorldBodyList::linked(Node* n) {
    if (!n) {
        return;
    }
    Node* const before = n->previous;
    const Node* const after = n->next;
    if (ordered_ && orderKnown_) {
        if (before != head) {
            descents_ += descent(before, n);
            if (after) {
                descents_ -= descent(before, after);
            }
        }
        if (after) {
            descents_ += descent(n, after);
        }
    }
    if (!after) {
        tail_ = n;
    }
    BodyFiling::Entry& entry = n->value->filing.entries_[role_];
    if (entry.count == 0 || entry.list != this) {
        entry = {this, n, 1};
        return;
    }
    // Listed twice: the first node stays first unless the new one comes before it.
    ++entry.count;
    for (Node* m = head->next; m != entry.first; m = m->next) {
        if (m == n) {
            entry.first = n;
            break;
        }
    }
}

void WorldBodyList::pushFront(HardBody* body) {
    const std::uint32_t before = count;
    BodyList::pushFront(body);
    linked(count != before ? head->next : nullptr);
}

void WorldBodyList::insertByIndex(HardBody* body) {
    if (!head) {
        return;
    }
    const std::int32_t index = body->transform.index;
    Node* position = head;
    if (ordered_ && sorted()) {
        // In index order the walk passes exactly the bodies of no greater index: the
        // place is found from both ends at once, from the tail for the usual newest
        // body in constant time.
        position = tail_;
        if (position != head && position->value->transform.index > index) {
            // Some body has a greater index: the forward walk stops at the first one,
            // the backward one at the last body of no greater index (or the head).
            const Node* front = head->next;
            Node* back = position;
            for (;;) {
                if (front->value->transform.index > index) {
                    position = front->previous;
                    break;
                }
                position = back->previous;
                if (position == head || position->value->transform.index <= index) {
                    break;
                }
                front = front->next;
                back = position;
            }
        }
    } else {
        for (Node* n = head->next; n && n->value->transform.index <= index; n = n->next) {
            position = n;
        }
    }
    const std::uint32_t before = count;
    insertAfter(body, position);
    linked(count != before ? position->next : nullptr);
}

void WorldBodyList::unlink(Node* n) {
    Node* const before = n->previous;
    Node* const after = n->next;
    if (ordered_ && orderKnown_) {
        if (before != head) {
            descents_ -= descent(before, n);
            if (after) {
                descents_ += descent(before, after);
            }
        }
        if (after) {
            descents_ -= descent(n, after);
        }
    }
    if (tail_ == n) {
        tail_ = before;
    }
    HardBody* const body = n->value;
    BodyFiling::Entry& entry = body->filing.entries_[role_];
    if (entry.list == this && entry.count != 0) {
        if (--entry.count == 0) {
            entry = {};
        } else if (entry.first == n) {
            // The next node of the same body follows the first one.
            Node* m = after;
            while (m->value != body) {
                m = m->next;
            }
            entry.first = m;
        }
    }
    unlinkListNode<HardBody*>(*this, n);
}

bool WorldBodyList::remove(HardBody* body) {
    if (!contains(body)) {
        return false;
    }
    unlink(body->filing.entries_[role_].first);
    return true;
}

void WorldBodyList::forget(HardBody* body) {
    BodyFiling::Entry& entry = body->filing.entries_[role_];
    if (entry.list == this) {
        entry = {};
    }
}

void WorldBodyList::clear() {
    for (HardBody* body : *this) {
        forget(body);
    }
    BodyList::clear();
    tail_ = head;
    descents_ = 0;
    orderKnown_ = true;
}

void WorldBodyList::deleteBodies() {
    for (HardBody* body : *this) {
        forget(body);
        delete body;
    }
    BodyList::clear();
    BodyList::releaseSpares();
    tail_ = head;
    descents_ = 0;
    orderKnown_ = true;
}

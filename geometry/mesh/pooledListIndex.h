#pragma once

#include <cstdint>
#include <new>

// Where the values of one pooled list sit: per value, how many nodes hold it and, while
// exactly one does, that node. An open-addressing table keyed by the value's address
// (linear probing, at most half full, backward-shift deletion), so it needs no
// tombstones and keeps its capacity when cleared: a list refilled to the same size
// allocates nothing.
//
// When the table cannot grow, or a null value is linked, it gives up (usable() turns
// false) until the next clear; the list then walks its nodes as a plain list does.
template <class Node>
class PooledListIndex {
public:
    PooledListIndex() = default;
    PooledListIndex(const PooledListIndex&) = delete;
    PooledListIndex& operator=(const PooledListIndex&) = delete;
    ~PooledListIndex() { delete[] slots_; }

    bool usable() const { return !failed_; }

    // Nodes holding the key (0 when the index is not usable).
    std::uint32_t count(const void* key) const {
        const Slot* const s = find(key);
        return s ? s->count : 0;
    }

    // The one node holding the key; null when none does, when several do, or when the
    // one left after a removal is not known.
    Node* only(const void* key) const {
        const Slot* const s = find(key);
        return s && s->count == 1 ? s->node : nullptr;
    }

    // Books node n, just linked.
    void add(Node* n) {
        if (failed_) {
            return;
        }
        const void* const key = n->value;
        // A null value cannot be told from an empty slot: the list walks instead.
        if (!key || (2 * (used_ + 1) > capacity_ && !grow())) {
            giveUp();
            return;
        }
        std::uint32_t i = home(key);
        while (slots_[i].key && slots_[i].key != key) {
            i = (i + 1) & (capacity_ - 1);
        }
        Slot& s = slots_[i];
        if (!s.key) {
            s = {key, n, 1};
            ++used_;
            return;
        }
        // Held twice: which node comes first is for the list to find out.
        ++s.count;
        s.node = nullptr;
    }

    // Forgets node n, about to be unlinked.
    void drop(const Node* n) {
        if (failed_) {
            return;
        }
        const void* const key = n->value;
        std::uint32_t i = home(key);
        while (slots_[i].key != key) {
            if (!slots_[i].key) {
                return;
            }
            i = (i + 1) & (capacity_ - 1);
        }
        if (--slots_[i].count != 0) {
            slots_[i].node = nullptr;
            return;
        }
        erase(i);
    }

    // Every key forgotten; the capacity stays. The index is usable again.
    void clear() {
        if (used_ != 0) {
            for (std::uint32_t i = 0; i < capacity_; ++i) {
                slots_[i] = {};
            }
        }
        used_ = 0;
        failed_ = false;
    }

    void release() {
        delete[] slots_;
        slots_ = nullptr;
        capacity_ = 0;
        used_ = 0;
        failed_ = false;
    }

private:
    struct Slot {
        const void* key = nullptr;
        Node* node = nullptr;
        std::uint32_t count = 0;
    };

    std::uint32_t home(const void* key) const {
        const auto h = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(key)) * 0x9E3779B97F4A7C15ull;
        return static_cast<std::uint32_t>(h >> 32) & (capacity_ - 1);
    }

    const Slot* find(const void* key) const {
        if (failed_ || used_ == 0 || !key) {
            return nullptr;
        }
        for (std::uint32_t i = home(key);; i = (i + 1) & (capacity_ - 1)) {
            if (slots_[i].key == key) {
                return &slots_[i];
            }
            if (!slots_[i].key) {
                return nullptr;
            }
        }
    }

    // Backward shift: later slots of the probe run move up, so no run has a hole.
    void erase(std::uint32_t i) {
        const std::uint32_t mask = capacity_ - 1;
        for (std::uint32_t j = (i + 1) & mask; slots_[j].key; j = (j + 1) & mask) {
            const std::uint32_t h = home(slots_[j].key);
            // Slot j may fill the hole at i when its home does not lie in (i, j].
            if (((j - h) & mask) >= ((j - i) & mask)) {
                slots_[i] = slots_[j];
                i = j;
            }
        }
        slots_[i] = {};
        --used_;
    }

    bool grow() {
        const std::uint32_t capacity = capacity_ ? 2 * capacity_ : 16;
        Slot* const slots = new (std::nothrow) Slot[capacity];
        if (!slots || capacity < capacity_) {
            delete[] slots;
            return false;
        }
        Slot* const old = slots_;
        const std::uint32_t oldCapacity = capacity_;
        slots_ = slots;
        capacity_ = capacity;
        for (std::uint32_t k = 0; k < oldCapacity; ++k) {
            if (old[k].key) {
                std::uint32_t i = home(old[k].key);
                while (slots_[i].key) {
                    i = (i + 1) & (capacity_ - 1);
                }
                slots_[i] = old[k];
            }
        }
        delete[] old;
        return true;
    }

    void giveUp() {
        release();
        failed_ = true;
    }

    Slot* slots_ = nullptr;
    std::uint32_t capacity_ = 0;  // a power of two, or 0
    std::uint32_t used_ = 0;
    bool failed_ = false;
};

#include "geometry/convexHullContext.h"

#include <algorithm>

namespace {

constexpr std::uint64_t EMPTY_KEY = ~std::uint64_t{0};

std::uint64_t pairKey(std::uint32_t a, std::uint32_t b) {
    return a < b ? (std::uint64_t{a} << 32) | b : (std::uint64_t{b} << 32) | a;
}

// Fibonacci hashing of the 64-bit pair key into a power-of-two table.
std::uint32_t hashSlot(std::uint64_t key, std::uint32_t mask) {
    return static_cast<std::uint32_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & mask;
}

}  // namespace

std::vector<ConvexHullContext::FaceView> ConvexHullContext::faceList() const {
    std::vector<FaceView> out;
    for (std::uint32_t s = faceHead_; s != NONE; s = faces_[s].next) {
        const std::uint32_t* c = corners(s);
        out.push_back({std::vector<std::uint32_t>(c, c + faces_[s].count), faces_[s].normal});
    }
    return out;
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> ConvexHullContext::edgeList() const {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    for (std::uint32_t s = edgeHead_; s != NONE; s = edges_[s].next) {
        out.emplace_back(edges_[s].a, edges_[s].b);
    }
    return out;
}

void ConvexHullContext::reset(std::uint32_t vertexCapacity) {
    faces_.clear();
    faceMark.clear();
    freeFaces_.clear();
    polygons_.clear();
    freePolygons_.clear();
    faceHead_ = NONE;
    faceCount_ = 0;
    nextSeq_ = 0;
    incidenceHead_.assign(vertexCapacity, NONE);
    incidenceCount_.assign(vertexCapacity, 0);
    incidenceNext_.clear();
    incidencePrev_.clear();
    incidenceVertex_.clear();
    edges_.clear();
    freeEdges_.clear();
    edgeHead_ = NONE;
    edgeCount_ = 0;
    // A table grown by the last build keeps its size: the rebuild of the same cloud
    // needs as much again.
    table_.resize(std::max<std::size_t>(table_.size(), 64));
    std::fill(table_.begin(), table_.end(), TableEntry{EMPTY_KEY, NONE});
    tableSize_ = 0;
    vertexCapacity_ = vertexCapacity;
    vertexStamp.assign(vertexCapacity, 0);
    vertexMark.assign(vertexCapacity, 0);
    vertexGroup.assign(vertexCapacity, 0);
    stamp_ = 0;
    createdFaces.clear();
    createdFrom.clear();
    destroyedFaces.clear();
    visibleHint.clear();
    hintActive = false;
}

std::uint32_t ConvexHullContext::nextStamp() {
    if (++stamp_ == 0) {
        // Wrapped: clear every mark so old stamps cannot collide with new ones.
        std::fill(faceMark.begin(), faceMark.end(), 0u);
        for (Edge& e : edges_) {
            e.mark = 0;
        }
        std::fill(vertexStamp.begin(), vertexStamp.end(), 0u);
        std::fill(vertexMark.begin(), vertexMark.end(), 0u);
        stamp_ = 1;
    }
    return stamp_;
}

std::uint32_t ConvexHullContext::createFace(std::uint32_t a, std::uint32_t b, std::uint32_t c,
                                            const Qmt::QmtVector3& normal) {
    std::uint32_t slot;
    if (!freeFaces_.empty()) {
        slot = freeFaces_.back();
        freeFaces_.pop_back();
    } else {
        slot = static_cast<std::uint32_t>(faces_.size());
        faces_.emplace_back();
        faceMark.push_back(0);
        incidenceNext_.resize(incidenceNext_.size() + 3, NONE);
        incidencePrev_.resize(incidencePrev_.size() + 3, NONE);
        incidenceVertex_.resize(incidenceVertex_.size() + 3, NONE);
    }
    Face& f = faces_[slot];
    f.normal = normal;
    f.corners[0] = a;
    f.corners[1] = b;
    f.corners[2] = c;
    f.count = 3;
    f.polygon = NONE;
    f.seq = nextSeq_++;
    faceMark[slot] = 0;
    f.prev = NONE;
    f.next = faceHead_;
    if (faceHead_ != NONE) {
        faces_[faceHead_].prev = slot;
    }
    faceHead_ = slot;
    ++faceCount_;
    linkIncidence(slot);
    return slot;
}

void ConvexHullContext::setCorners(std::uint32_t slot, const std::uint32_t* corners,
                                   std::uint32_t count) {
    Face& f = faces_[slot];
    if (count > 3) {
        if (f.polygon == NONE) {
            if (!freePolygons_.empty()) {
                f.polygon = freePolygons_.back();
                freePolygons_.pop_back();
            } else {
                f.polygon = static_cast<std::uint32_t>(polygons_.size());
                polygons_.emplace_back();
            }
        }
        polygons_[f.polygon].assign(corners, corners + count);
    } else if (f.polygon != NONE) {
        freePolygons_.push_back(f.polygon);
        f.polygon = NONE;
    }
    unlinkIncidence(slot);
    f.count = count;
    for (std::uint32_t k = 0; k < 3; ++k) {
        f.corners[k] = k < count ? corners[k] : NONE;
    }
    linkIncidence(slot);
}

void ConvexHullContext::destroyFace(std::uint32_t slot) {
    Face& f = faces_[slot];
    unlinkIncidence(slot);
    if (f.prev != NONE) {
        faces_[f.prev].next = f.next;
    } else {
        faceHead_ = f.next;
    }
    if (f.next != NONE) {
        faces_[f.next].prev = f.prev;
    }
    if (f.polygon != NONE) {
        freePolygons_.push_back(f.polygon);
        f.polygon = NONE;
    }
    f.count = 0;
    f.prev = f.next = NONE;
    --faceCount_;
    freeFaces_.push_back(slot);
}

void ConvexHullContext::linkIncidence(std::uint32_t slot) {
    const Face& f = faces_[slot];
    const std::uint32_t n = std::min<std::uint32_t>(f.count, 3);
    for (std::uint32_t k = 0; k < n; ++k) {
        const std::uint32_t v = f.corners[k];
        const std::uint32_t link = slot * 3 + k;
        incidenceVertex_[link] = v;
        incidencePrev_[link] = NONE;
        incidenceNext_[link] = incidenceHead_[v];
        if (incidenceHead_[v] != NONE) {
            incidencePrev_[incidenceHead_[v]] = link;
        }
        incidenceHead_[v] = link;
        ++incidenceCount_[v];
    }
}

void ConvexHullContext::unlinkIncidence(std::uint32_t slot) {
    for (std::uint32_t k = 0; k < 3; ++k) {
        const std::uint32_t link = slot * 3 + k;
        const std::uint32_t v = incidenceVertex_[link];
        if (v == NONE) {
            continue;
        }
        const std::uint32_t prev = incidencePrev_[link];
        const std::uint32_t next = incidenceNext_[link];
        if (prev != NONE) {
            incidenceNext_[prev] = next;
        } else {
            incidenceHead_[v] = next;
        }
        if (next != NONE) {
            incidencePrev_[next] = prev;
        }
        --incidenceCount_[v];
        incidenceVertex_[link] = NONE;
    }
}

void ConvexHullContext::remapCorners(const std::uint32_t* remap) {
    std::fill(incidenceHead_.begin(), incidenceHead_.end(), NONE);
    std::fill(incidenceCount_.begin(), incidenceCount_.end(), 0u);
    std::fill(incidenceVertex_.begin(), incidenceVertex_.end(), NONE);
    for (std::uint32_t s = faceHead_; s != NONE; s = faces_[s].next) {
        Face& f = faces_[s];
        std::uint32_t* c = f.count > 3 ? polygons_[f.polygon].data() : f.corners;
        for (std::uint32_t k = 0; k < f.count; ++k) {
            c[k] = remap[c[k]];
        }
        if (f.count > 3) {
            std::copy(c, c + 3, f.corners);
        }
        linkIncidence(s);
    }
}

std::uint32_t ConvexHullContext::findEdge(std::uint32_t a, std::uint32_t b) const {
    const std::uint64_t key = pairKey(a, b);
    const std::uint32_t mask = static_cast<std::uint32_t>(table_.size()) - 1;
    for (std::uint32_t i = hashSlot(key, mask);; i = (i + 1) & mask) {
        if (table_[i].key == key) {
            return table_[i].value;
        }
        if (table_[i].key == EMPTY_KEY) {
            return NONE;
        }
    }
}

void ConvexHullContext::prefetchEdge(std::uint32_t a, std::uint32_t b) const {
    const std::uint32_t mask = static_cast<std::uint32_t>(table_.size()) - 1;
    __builtin_prefetch(&table_[hashSlot(pairKey(a, b), mask)]);
}

std::uint32_t ConvexHullContext::createEdge(std::uint32_t a, std::uint32_t b) {
    std::uint32_t slot;
    if (!freeEdges_.empty()) {
        slot = freeEdges_.back();
        freeEdges_.pop_back();
    } else {
        slot = static_cast<std::uint32_t>(edges_.size());
        edges_.emplace_back();
    }
    edges_[slot] = Edge{a, b, NONE, NONE, 0};
    // Pairs are unique among live edges: the builders never make an edge twice.
    tableInsert(pairKey(a, b), slot);
    return slot;
}

void ConvexHullContext::pushFrontEdges(const std::vector<std::uint32_t>& slots) {
    for (auto it = slots.rbegin(); it != slots.rend(); ++it) {
        Edge& e = edges_[*it];
        e.prev = NONE;
        e.next = edgeHead_;
        if (edgeHead_ != NONE) {
            edges_[edgeHead_].prev = *it;
        }
        edgeHead_ = *it;
        ++edgeCount_;
    }
}

void ConvexHullContext::destroyEdge(std::uint32_t slot) {
    Edge& e = edges_[slot];
    if (e.prev != NONE) {
        edges_[e.prev].next = e.next;
    } else if (edgeHead_ == slot) {
        edgeHead_ = e.next;
    } else {
        // Made but never put in the list.
        tableErase(pairKey(e.a, e.b));
        e.a = e.b = NONE;
        freeEdges_.push_back(slot);
        return;
    }
    if (e.next != NONE) {
        edges_[e.next].prev = e.prev;
    }
    --edgeCount_;
    tableErase(pairKey(e.a, e.b));
    e.a = e.b = NONE;
    e.prev = e.next = NONE;
    freeEdges_.push_back(slot);
}

void ConvexHullContext::tableInsert(std::uint64_t key, std::uint32_t value) {
    if ((tableSize_ + 1) * 2 > table_.size()) {
        tableGrow();
    }
    const std::uint32_t mask = static_cast<std::uint32_t>(table_.size()) - 1;
    std::uint32_t i = hashSlot(key, mask);
    while (table_[i].key != EMPTY_KEY && table_[i].key != key) {
        i = (i + 1) & mask;
    }
    if (table_[i].key == EMPTY_KEY) {
        ++tableSize_;
    }
    table_[i] = {key, value};
}

// Backward-shift deletion keeps probe chains intact without tombstones.
void ConvexHullContext::tableErase(std::uint64_t key) {
    const std::uint32_t mask = static_cast<std::uint32_t>(table_.size()) - 1;
    std::uint32_t i = hashSlot(key, mask);
    while (table_[i].key != key) {
        if (table_[i].key == EMPTY_KEY) {
            return;
        }
        i = (i + 1) & mask;
    }
    std::uint32_t hole = i;
    for (std::uint32_t j = (hole + 1) & mask; table_[j].key != EMPTY_KEY; j = (j + 1) & mask) {
        const std::uint32_t home = hashSlot(table_[j].key, mask);
        // Move j into the hole when its home does not lie cyclically in (hole, j].
        const bool homeInRange = hole <= j ? (hole < home && home <= j) : (hole < home || home <= j);
        if (!homeInRange) {
            table_[hole] = table_[j];
            hole = j;
        }
    }
    table_[hole] = {EMPTY_KEY, NONE};
    --tableSize_;
}

void ConvexHullContext::tableGrow() {
    std::vector<TableEntry> old(table_.size() * 2, {EMPTY_KEY, NONE});
    old.swap(table_);
    tableSize_ = 0;
    for (const TableEntry& e : old) {
        if (e.key != EMPTY_KEY) {
            tableInsert(e.key, e.value);
        }
    }
}

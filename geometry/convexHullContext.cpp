#include "geometry/convexHullContext.h"

#include <algorithm>

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
    faceLinks_.clear();
    incidencePrev_.clear();
    freeFaces_.clear();
    polygons_.clear();
    freePolygons_.clear();
    faceHead_ = NONE;
    faceCount_ = 0;
    nextSeq_ = 0;
    incidenceHead_.assign(vertexCapacity, NONE);
    incidenceCount_.assign(vertexCapacity, 0);
    edges_.clear();
    freeEdges_.clear();
    edgeHead_ = NONE;
    edgeCount_ = 0;
    vertexCapacity_ = vertexCapacity;
    vertexStamp.assign(vertexCapacity, 0);
    vertexMark.assign(vertexCapacity, 0);
    vertexGroup.assign(vertexCapacity, 0);
    vertexEdge.assign(vertexCapacity, NONE);
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
        for (Face& f : faces_) {
            f.mark = 0;
        }
        for (Edge& e : edges_) {
            e.mark = 0;
        }
        std::fill(vertexStamp.begin(), vertexStamp.end(), 0u);
        std::fill(vertexMark.begin(), vertexMark.end(), 0u);
        stamp_ = 1;
    }
    return stamp_;
}

std::uint32_t ConvexHullContext::nextLoopTag() {
    // Sized on first use: most plain builds never test a horizon.
    if (loopTag.size() < vertexCapacity_) {
        loopTag.assign(vertexCapacity_, 0);
        loopNeighbours.resize(2 * std::size_t{vertexCapacity_});
        loopTag_ = 0;
    }
    if (++loopTag_ == 0) {
        std::fill(loopTag.begin(), loopTag.end(), 0u);
        loopTag_ = 1;
    }
    return loopTag_;
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
        faceLinks_.emplace_back();
        incidencePrev_.resize(incidencePrev_.size() + 3, NONE);
    }
    Face& f = faces_[slot];
    f.normal = normal;
    f.corners[0] = a;
    f.corners[1] = b;
    f.corners[2] = c;
    f.count = 3;
    f.seq = nextSeq_++;
    f.mark = 0;
    f.next = faceHead_;
    FaceLinks& l = faceLinks_[slot];
    l.prev = NONE;
    l.polygon = NONE;
    l.edges[0] = l.edges[1] = l.edges[2] = NONE;
    if (faceHead_ != NONE) {
        faceLinks_[faceHead_].prev = slot;
    }
    faceHead_ = slot;
    ++faceCount_;
    linkIncidence(slot);
    return slot;
}

void ConvexHullContext::setCorners(std::uint32_t slot, const std::uint32_t* corners,
                                   std::uint32_t count) {
    Face& f = faces_[slot];
    std::uint32_t& polygon = faceLinks_[slot].polygon;
    if (count > 3) {
        if (polygon == NONE) {
            if (!freePolygons_.empty()) {
                polygon = freePolygons_.back();
                freePolygons_.pop_back();
            } else {
                polygon = static_cast<std::uint32_t>(polygons_.size());
                polygons_.emplace_back();
            }
        }
        polygons_[polygon].assign(corners, corners + count);
    } else if (polygon != NONE) {
        freePolygons_.push_back(polygon);
        polygon = NONE;
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
    FaceLinks& l = faceLinks_[slot];
    unlinkIncidence(slot);
    if (l.prev != NONE) {
        faces_[l.prev].next = f.next;
    } else {
        faceHead_ = f.next;
    }
    if (f.next != NONE) {
        faceLinks_[f.next].prev = l.prev;
    }
    if (l.polygon != NONE) {
        freePolygons_.push_back(l.polygon);
        l.polygon = NONE;
    }
    f.count = 0;
    f.next = NONE;
    l.prev = NONE;
    --faceCount_;
    freeFaces_.push_back(slot);
}

// A live face has at least three corners, all linked; a free slot has none linked.
void ConvexHullContext::linkIncidence(std::uint32_t slot) {
    Face& f = faces_[slot];
    std::uint32_t* prevLinks = incidencePrev_.data();
    for (std::uint32_t k = 0; k < 3; ++k) {
        const std::uint32_t v = f.corners[k];
        const std::uint32_t link = slot * 3 + k;
        const std::uint32_t head = incidenceHead_[v];
        prevLinks[link] = NONE;
        f.incidenceNext[k] = head;
        if (head != NONE) {
            prevLinks[head] = link;
        }
        incidenceHead_[v] = link;
        ++incidenceCount_[v];
    }
}

void ConvexHullContext::unlinkIncidence(std::uint32_t slot) {
    Face& f = faces_[slot];
    std::uint32_t* prevLinks = incidencePrev_.data();
    for (std::uint32_t k = 0; k < 3; ++k) {
        const std::uint32_t v = f.corners[k];
        const std::uint32_t prev = prevLinks[slot * 3 + k];
        const std::uint32_t next = f.incidenceNext[k];
        if (prev != NONE) {
            faces_[prev / 3].incidenceNext[prev % 3] = next;
        } else {
            incidenceHead_[v] = next;
        }
        if (next != NONE) {
            prevLinks[next] = prev;
        }
        --incidenceCount_[v];
    }
}

void ConvexHullContext::remapCorners(const std::uint32_t* remap) {
    std::fill(incidenceHead_.begin(), incidenceHead_.end(), NONE);
    std::fill(incidenceCount_.begin(), incidenceCount_.end(), 0u);
    for (std::uint32_t s = faceHead_; s != NONE; s = faces_[s].next) {
        Face& f = faces_[s];
        std::uint32_t* c = f.count > 3 ? polygons_[faceLinks_[s].polygon].data() : f.corners;
        for (std::uint32_t k = 0; k < f.count; ++k) {
            c[k] = remap[c[k]];
        }
        if (f.count > 3) {
            std::copy(c, c + 3, f.corners);
        }
        linkIncidence(s);
    }
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
        e.a = e.b = NONE;
        freeEdges_.push_back(slot);
        return;
    }
    if (e.next != NONE) {
        edges_[e.next].prev = e.prev;
    }
    --edgeCount_;
    e.a = e.b = NONE;
    e.prev = e.next = NONE;
    freeEdges_.push_back(slot);
}

#include "geometry/hull/convexHullContext.h"

#include <algorithm>

namespace {

// Vertices whose table entries a reset makes at once; builds of more points hold
// entries for the vertices as they come (ConvexHullContext::holdVertices).
constexpr std::uint32_t FIRST_VERTEX_ENTRIES = 1024;

// Corners a polygon's first room takes at least.
constexpr std::uint32_t MIN_POLYGON_ROOM = 8;

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
    std::vector<std::uint32_t> slots;
    listEdges(slots);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    for (const std::uint32_t s : slots) {
        out.emplace_back(edges_[s].a, edges_[s].b);
    }
    return out;
}

void ConvexHullContext::listEdges(std::vector<std::uint32_t>& out) const {
    out.assign(edgeCount_, NONE);
    placeEdges([&out](std::uint32_t position, std::uint32_t slot) { out[position] = slot; });
}

void ConvexHullContext::reset(std::uint32_t vertexCapacity) {
    faces_.clear();
    faceLinks_.clear();
    mayWiden_.clear();
    widenEverywhere = false;
    facesFlagged = 0;
    facesPaired = 0;
    incidencePrev_.clear();
    freeFaces_.clear();
    polygonStore_.clear();
    polygons_.clear();
    polygonOf_.clear();
    freePolygons_.clear();
    faceHead_ = NONE;
    faceCount_ = 0;
    nextSeq_ = 0;
    // A hull of V vertices has 2V - 4 faces and 3V - 6 edges. For large clouds, room
    // for that many slots up front spares copying the slot arrays as they grow, and
    // the allocator the large blocks freed on the way (untouched room costs no memory:
    // such arrays are mapped directly and touched only as slots come into use). Small
    // builds grow within the heap; huge clouds start from a bound.
    constexpr std::uint32_t ROOM_FROM = 4096;
    constexpr std::size_t ROOM_BOUND = std::size_t{1} << 20;
    if (vertexCapacity >= ROOM_FROM) {
        const std::size_t faceRoom = std::min(2 * std::size_t{vertexCapacity} + 64, ROOM_BOUND);
        faces_.reserve(faceRoom);
        faceLinks_.reserve(faceRoom);
        mayWiden_.reserve(faceRoom);
        incidencePrev_.reserve(4 * faceRoom);
        edges_.reserve(faceRoom + faceRoom / 2);
    }
    edges_.clear();
    freeEdges_.clear();
    facesRecorded_ = 0;
    sidesComplete_ = true;
    lastPlace_ = 0;
    edgeCount_ = 0;
    vertexCapacity_ = vertexCapacity;
    forEachVertexTable([vertexCapacity](std::vector<std::uint32_t>& table, std::uint32_t) {
        table.clear();
        table.reserve(vertexCapacity);
    });
    holdVertices(std::min(vertexCapacity, FIRST_VERTEX_ENTRIES));
    loopTag.clear();
    loopNeighbours.clear();
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

void ConvexHullContext::growVertexTables(std::uint32_t count) {
    // Doubling within the room reset() made, so that the tables seldom move, and each
    // entry is written when its vertex may first be asked for.
    const auto size = static_cast<std::uint32_t>(incidenceHead_.size());
    const std::uint32_t grown = std::min(vertexCapacity_, std::max(count, 2 * size));
    forEachVertexTable([grown](std::vector<std::uint32_t>& table, std::uint32_t start) { table.resize(grown, start); });
}

std::uint32_t ConvexHullContext::nextLoopTag() {
    // Sized on first use (most plain builds never test a horizon), and again once more
    // vertices are held: the tags start over, as none is stored yet in the new tables.
    if (loopTag.size() < incidenceHead_.size()) {
        loopTag.assign(incidenceHead_.size(), 0);
        loopNeighbours.resize(2 * incidenceHead_.size());
        loopTag_ = 0;
    }
    if (++loopTag_ == 0) {
        std::fill(loopTag.begin(), loopTag.end(), 0u);
        loopTag_ = 1;
    }
    return loopTag_;
}

std::uint32_t ConvexHullContext::newFaceSlot() {
    const auto slot = static_cast<std::uint32_t>(faces_.size());
    faces_.emplace_back();
    faceLinks_.emplace_back();
    mayWiden_.push_back(0);
    incidencePrev_.resize(incidencePrev_.size() + 4, NONE);
    return slot;
}

std::uint32_t ConvexHullContext::newEdgeSlot() {
    const auto slot = static_cast<std::uint32_t>(edges_.size());
    edges_.emplace_back();
    return slot;
}

void ConvexHullContext::setCorners(std::uint32_t slot, const std::uint32_t* corners,
                                   std::uint32_t count) {
    Face& f = faces_[slot];
    if (count > 3) {
        if (polygonOf_.size() <= slot) {
            polygonOf_.resize(faces_.size(), NONE);
        }
        std::uint32_t& polygon = polygonOf_[slot];
        if (f.count <= 3) {
            if (!freePolygons_.empty()) {
                polygon = freePolygons_.back();
                freePolygons_.pop_back();
            } else {
                polygon = static_cast<std::uint32_t>(polygons_.size());
                polygons_.push_back({0, 0});
            }
        }
        PolygonRoom& room = polygons_[polygon];
        if (room.room < count) {
            // Merged polygons mostly grow a corner or two at a time: room to spare.
            room.room = std::max(count + count / 2, MIN_POLYGON_ROOM);
            room.at = static_cast<std::uint32_t>(polygonStore_.size());
            polygonStore_.resize(polygonStore_.size() + room.room);
        }
        std::copy(corners, corners + count, polygonStore_.data() + room.at);
    } else if (f.count > 3) {
        freePolygons_.push_back(polygonOf_[slot]);
    }
    unlinkIncidence(slot);
    f.count = count;
    for (std::uint32_t k = 0; k < 3; ++k) {
        f.corners[k] = k < count ? corners[k] : NONE;
    }
    linkIncidence(slot);
}

void ConvexHullContext::remapCorners(const std::uint32_t* remap) {
    forEachFaceBySlot([&](std::uint32_t s, std::uint32_t* c, std::uint32_t k) {
        for (std::uint32_t i = 0; i < k; ++i) {
            c[i] = remap[c[i]];
        }
        if (k > 3) {
            std::copy(c, c + 3, faces_[s].corners);
        }
    });
}

// Out of places: the listed edges take 1 up to their count, keeping their order.
void ConvexHullContext::renumberPlaces() {
    std::vector<std::uint32_t> slots;
    for (std::uint32_t s = 0; s < edges_.size(); ++s) {
        if (edges_[s].place != 0) {
            slots.push_back(s);
        }
    }
    std::sort(slots.begin(), slots.end(),
              [this](std::uint32_t x, std::uint32_t y) { return edges_[x].place > edges_[y].place; });
    lastPlace_ = static_cast<std::uint32_t>(slots.size());
    for (std::uint32_t i = 0; i < slots.size(); ++i) {
        edges_[slots[i]].place = lastPlace_ - i;
    }
}

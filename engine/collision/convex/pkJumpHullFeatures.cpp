#include "engine/collision/convex/pkJumpHullFeatures.h"

#include "math/qmtMatrix3.h"

namespace PkJumpDetail {

namespace {

bool faceHolds(const ZYLface& face, std::uint32_t v) {
    for (std::uint32_t k = 0; k < face.numVertices; ++k) {
        if (face.vertices[k] == v) {
            return true;
        }
    }
    return false;
}

double absolute(double x) { return x < 0.0 ? -x : x; }

}  // namespace

HullTopology::HullTopology(const BVmesh& hull) {
    const ZYLmesh* mesh = hull.getMesh();
    if (!mesh || !mesh->worldVertices) {
        return;
    }
    mesh_ = mesh;
    vertices_ = mesh->worldVertices;
    count_ = mesh->numVertices;
    if (hull.isConnectEdges() && hull.isConnectVertex() && hull.edges && hull.vertexRecords &&
        hull.numVertexRecords >= count_) {
        links_ = hull.vertexRecords;
        edges_ = hull.edges;
        edgeCount_ = hull.numEdges;
    }
}

Qmt::QmtVector3 HullTopology::faceNormal(std::uint32_t f) const {
    if (f >= mesh_->numFaces) {
        return {};  // an edge side without a face contributes nothing
    }
    if (mesh_->worldNormals) {
        return mesh_->worldNormals[f];
    }
    const ZYLface& face = mesh_->faces[f];
    Qmt::QmtVector3 n;
    for (std::uint32_t k = 0; k < face.numVertices; ++k) {
        n += vertices_[face.vertices[k]].Cross(vertices_[face.vertices[(k + 1) % face.numVertices]]);
    }
    n.Unitize(Qmt::QmtMatrix3::EPSILON);
    return n;
}

std::uint32_t HullTopology::firstFace(std::uint32_t v) const {
    return links_[v].numFaces > 0 ? links_[v].faces[0] : 0;
}

std::uint32_t HullTopology::edgeJoining(std::uint32_t a, std::uint32_t b) const {
    const connect_vertex& l = links_[a];
    for (std::uint32_t k = 0; k < l.numEdges; ++k) {
        const std::uint32_t e = l.edges[k];
        if (e < edgeCount_ && ((edges_[e].v0 == a && edges_[e].v1 == b) || (edges_[e].v0 == b && edges_[e].v1 == a))) {
            return e >= NO_FEATURE ? NO_FEATURE : e;
        }
    }
    return NO_FEATURE;
}

std::uint32_t HullTopology::faceWith(std::uint32_t a, std::uint32_t b) const {
    const connect_vertex& l = links_[a];
    for (std::uint32_t k = 0; k < l.numFaces; ++k) {
        const std::uint32_t f = l.faces[k];
        if (f < mesh_->numFaces && faceHolds(mesh_->faces[f], b)) {
            return f;
        }
    }
    return NO_FEATURE;
}

std::uint32_t HullTopology::mostParallelEdge(std::uint32_t a, std::uint32_t b) const {
    Qmt::QmtVector3 dir = vertices_[b] - vertices_[a];
    dir.Unitize(Qmt::QmtMatrix3::EPSILON);
    std::uint32_t best = NO_FEATURE;
    double bestCos = -1.0;
    for (const std::uint32_t v : {a, b}) {
        const connect_vertex& l = links_[v];
        for (std::uint32_t k = 0; k < l.numEdges; ++k) {
            const std::uint32_t e = l.edges[k];
            if (e >= edgeCount_) {
                continue;
            }
            Qmt::QmtVector3 ed = vertices_[edges_[e].v1] - vertices_[edges_[e].v0];
            ed.Unitize(Qmt::QmtMatrix3::EPSILON);
            const double c = absolute(ed.Dot(dir));
            if (c > bestCos) {
                bestCos = c;
                best = e;
            }
        }
    }
    return best;
}

std::uint32_t HullTopology::faceOfThree(const std::uint32_t* v) const {
    std::uint32_t fewest = 0;
    for (std::uint32_t i = 1; i < 3; ++i) {
        if (links_[v[i]].numFaces <= links_[v[fewest]].numFaces) {
            fewest = i;
        }
    }
    const connect_vertex& l = links_[v[fewest]];
    for (std::uint32_t k = 0; k < l.numFaces; ++k) {
        const std::uint32_t f = l.faces[k];
        if (f < mesh_->numFaces && faceHolds(mesh_->faces[f], v[0]) && faceHolds(mesh_->faces[f], v[1]) &&
            faceHolds(mesh_->faces[f], v[2])) {
            return f;
        }
    }
    // No face holds all three: the face whose plane they fit best.
    std::uint32_t best = 0;
    double bestFit = 3.4028234663852886e38;
    for (std::uint32_t f = 0; f < mesh_->numFaces; ++f) {
        const Qmt::QmtVector3 n = faceNormal(f);
        const Qmt::QmtVector3& p0 = vertices_[mesh_->faces[f].vertices[0]];
        const double fit = absolute((vertices_[v[0]] - p0).Dot(n)) + absolute((vertices_[v[1]] - p0).Dot(n)) +
                           absolute((vertices_[v[2]] - p0).Dot(n));
        if (fit < bestFit) {
            bestFit = fit;
            best = f;
        }
    }
    return best;
}

Qmt::QmtVector3 HullTopology::vertexNormalSum(std::uint32_t v) const {
    Qmt::QmtVector3 sum;
    const connect_vertex& l = links_[v];
    for (std::uint32_t k = 0; k < l.numFaces; ++k) {
        if (l.faces[k] < mesh_->numFaces) {
            sum += faceNormal(l.faces[k]);
        }
    }
    return sum;
}

std::uint32_t HullTopology::facePolygon(std::uint32_t f, Qmt::QmtVector3* out) const {
    const ZYLface& face = mesh_->faces[f];
    const std::uint32_t n = face.numVertices < ZYLFACE_MAX_CORNERS ? face.numVertices : ZYLFACE_MAX_CORNERS;
    for (std::uint32_t k = 0; k < n; ++k) {
        out[k] = vertices_[face.vertices[k]];
    }
    return n;
}

HullFeature HullTopology::faceFeature(std::uint32_t f) const {
    HullFeature feature;
    feature.kind = HullFeature::FACE;
    feature.id = f;
    for (std::uint32_t i = 0; i < 3; ++i) {
        feature.vertices[i] = mesh_->faces[f].vertices[i];
    }
    return feature;
}

HullFeature HullTopology::name(const std::uint32_t* v, std::uint32_t count) const {
    HullFeature feature;
    feature.vertices[0] = v[0];
    if (count == 2) {
        feature.kind = HullFeature::EDGE;
        feature.vertices[1] = v[1];
        feature.id = edgeJoining(v[0], v[1]);
        if (feature.id == NO_FEATURE) {
            const std::uint32_t f = faceWith(v[0], v[1]);
            if (f != NO_FEATURE) {
                return faceFeature(f);
            }
            feature.id = mostParallelEdge(v[0], v[1]);
        }
    } else if (count == 3) {
        feature.kind = HullFeature::FACE;
        feature.vertices[1] = v[1];
        feature.vertices[2] = v[2];
        feature.id = faceOfThree(v);
    }
    if (feature.id >= NO_FEATURE) {
        feature.id = 0;  // no id: treated as id 0, like the connectivity's no-face marker
    }
    return feature;
}

}  // namespace PkJumpDetail

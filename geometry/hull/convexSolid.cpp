#include "geometry/hull/convexSolid.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

using Qmt::QmtVector3;

namespace {

struct FacePlane {
    QmtVector3 normal;  // unit
    double offset;      // the largest normal . corner of the face
};

// Solid angle of the triangle a, b, c seen from the origin (signed by its winding).
double solidAngle(const QmtVector3& a, const QmtVector3& b, const QmtVector3& c) {
    const double la = a.Length();
    const double lb = b.Length();
    const double lc = c.Length();
    const double det = a.Dot(b.Cross(c));
    const double div = la * lb * lc + a.Dot(b) * lc + a.Dot(c) * lb + b.Dot(c) * la;
    return 2.0 * std::atan2(det, div);
}

}  // namespace

bool surelyConvexSolid(const ZYL_DFmesh& mesh, double volume) {
    const std::uint32_t n = mesh.numVertices;
    const QmtVector3* p = mesh.vertices;
    if (n < 4 || n >= 512 || !p || !mesh.faces || mesh.numFaces < 4 || !(volume > 0.0)) {
        return false;
    }
    QmtVector3 lo = p[0];
    QmtVector3 hi = p[0];
    QmtVector3 sum;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (!std::isfinite(p[i].x) || !std::isfinite(p[i].y) || !std::isfinite(p[i].z)) {
            return false;
        }
        lo = {std::min(lo.x, p[i].x), std::min(lo.y, p[i].y), std::min(lo.z, p[i].z)};
        hi = {std::max(hi.x, p[i].x), std::max(hi.y, p[i].y), std::max(hi.z, p[i].z)};
        sum += p[i];
    }
    const double size = (hi - lo).Length();
    // Far above the hull's point tolerances (1e-5, and sqrt(1e-5) between points).
    if (!(size >= 0.01)) {
        return false;
    }
    const double eps = 1e-9 * size;

    std::vector<FacePlane> planes;
    std::vector<std::uint64_t> edges;
    planes.reserve(mesh.numFaces);
    double area = 0.0;
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        const ZYL_DFface& face = mesh.faces[f];
        const std::uint32_t m = face.numVertices;
        if (m < 3 || m > face.capacity || !face.vertices) {
            return false;
        }
        for (std::uint32_t k = 0; k < m; ++k) {
            const std::uint32_t a = face.vertices[k];
            const std::uint32_t b = face.vertices[k + 1 == m ? 0 : k + 1];
            if (a >= n || a == b) {
                return false;
            }
            edges.push_back(std::uint64_t{a} << 32 | b);
        }
        const QmtVector3& origin = p[face.vertices[0]];
        QmtVector3 normal;
        for (std::uint32_t k = 2; k < m; ++k) {
            normal += (p[face.vertices[k - 1]] - origin).Cross(p[face.vertices[k]] - origin);
        }
        const double length = normal.Length();
        if (!(length > 1e-12 * size * size)) {
            return false;
        }
        area += 0.5 * length;
        normal = normal / length;
        double top = normal.Dot(p[face.vertices[0]]);
        double bottom = top;
        for (std::uint32_t k = 1; k < m; ++k) {
            const double d = normal.Dot(p[face.vertices[k]]);
            top = std::max(top, d);
            bottom = std::min(bottom, d);
        }
        if (top - bottom > eps) {
            return false;  // not planar
        }
        planes.push_back({normal, top});
    }

    // The hull may stray from the cloud by 1e-5 of its size (at least 1e-5); a merged
    // hull face may lean further, by the angle of its merge test (0.0045), but only
    // where two of its triangles lie on planes that close together. Faces on one plane
    // are fine; faces on distinct planes must be well apart in direction. Over the
    // whole surface (with room for the surface of the widened hull) the straying must
    // stay well inside the tenth by which the hull's volume may fall short.
    for (std::size_t i = 0; i < planes.size(); ++i) {
        for (std::size_t j = i + 1; j < planes.size(); ++j) {
            const double cosine = planes[i].normal.Dot(planes[j].normal);
            const bool samePlane = cosine >= 1.0 - 1e-9 && std::fabs(planes[i].offset - planes[j].offset) <= 2.0 * eps;
            if (cosine > 0.9999 && !samePlane) {
                return false;
            }
        }
    }
    const double tolerance = 1e-5 * std::max(size, 1.0) + 2.0 * eps;
    if (!(1.5 * tolerance * area <= 0.099 * volume)) {
        return false;
    }

    // Every vertex behind every face's plane.
    for (const FacePlane& plane : planes) {
        for (std::uint32_t i = 0; i < n; ++i) {
            if (plane.normal.Dot(p[i]) > plane.offset + eps) {
                return false;
            }
        }
    }

    // Closed: each directed edge once, with its reverse once.
    std::sort(edges.begin(), edges.end());
    if (std::adjacent_find(edges.begin(), edges.end()) != edges.end()) {
        return false;
    }
    for (const std::uint64_t e : edges) {
        const std::uint64_t reverse = (e << 32) | (e >> 32);
        if (!std::binary_search(edges.begin(), edges.end(), reverse)) {
            return false;
        }
    }

    // Once around the vertex mean, which must lie clearly inside.
    const QmtVector3 centre = sum / static_cast<double>(n);
    for (const FacePlane& plane : planes) {
        if (!(plane.offset - plane.normal.Dot(centre) > 1e-6 * size)) {
            return false;
        }
    }
    double turns = 0.0;
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        const ZYL_DFface& face = mesh.faces[f];
        const QmtVector3 a = p[face.vertices[0]] - centre;
        for (std::uint32_t k = 2; k < face.numVertices; ++k) {
            turns += solidAngle(a, p[face.vertices[k - 1]] - centre, p[face.vertices[k]] - centre);
        }
    }
    turns /= 4.0 * std::numbers::pi;
    return std::fabs(turns - 1.0) < 0.25;
}

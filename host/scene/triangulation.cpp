#include <algorithm>
#include <cmath>

#include "host/scene/meshGeometry.h"

namespace host {

namespace {

struct P2 {
    double x, y;
};

double cross(const P2& a, const P2& b, const P2& c) { return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x); }

// The polygon's corners projected onto the plane of its normal, outer loop counter-clockwise.
std::vector<P2> project(const MeshGeometry& m, int p) {
    const auto n = m.polygonNormal(p);
    int axis = 2;
    if (std::abs(n[0]) >= std::abs(n[1]) && std::abs(n[0]) >= std::abs(n[2])) axis = 0;
    else if (std::abs(n[1]) >= std::abs(n[2])) axis = 1;
    const int u = (axis + 1) % 3, v = (axis + 2) % 3;
    const bool flip = n[axis] < 0;
    std::vector<P2> out;
    for (int k = m.polygonStart[p]; k < m.polygonStart[p + 1]; ++k) {
        const Float3& q = m.points[static_cast<std::size_t>(m.faceVertices[k])];
        out.push_back({q[u], flip ? -double(q[v]) : double(q[v])});
    }
    return out;
}

double signedArea(const std::vector<P2>& pts, const std::vector<int>& loop) {
    double a = 0;
    for (std::size_t i = 0; i < loop.size(); ++i) {
        const P2& p = pts[loop[i]];
        const P2& q = pts[loop[(i + 1) % loop.size()]];
        a += p.x * q.y - q.x * p.y;
    }
    return a / 2;
}

bool strictlyInside(const P2& p, const P2& a, const P2& b, const P2& c) {
    return cross(a, b, p) > 0 && cross(b, c, p) > 0 && cross(c, a, p) > 0;
}

// Splices a hole into the outer ring through a vertex of the ring that its
// rightmost vertex can see.
void bridge(const std::vector<P2>& pts, std::vector<int>& ring, std::vector<int> hole) {
    std::size_t mi = 0;
    for (std::size_t i = 1; i < hole.size(); ++i)
        if (pts[hole[i]].x > pts[hole[mi]].x) mi = i;
    const P2 m = pts[hole[mi]];
    // The nearest ring edge hit by the ray towards +x, and its right end.
    double best = 1e300;
    std::size_t pick = 0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const P2& a = pts[ring[i]];
        const P2& b = pts[ring[(i + 1) % ring.size()]];
        if ((a.y > m.y) == (b.y > m.y) && a.y != m.y) continue;
        if (a.y == b.y) continue;
        const double x = a.x + (m.y - a.y) * (b.x - a.x) / (b.y - a.y);
        if (x < m.x || x >= best) continue;
        best = x;
        pick = a.x > b.x ? i : (i + 1) % ring.size();
    }
    // A reflex ring vertex inside the triangle (m, hit, pick) blocks the view: take the
    // one with the smallest angle to the ray instead.
    const P2 hit{best, m.y};
    const P2 cand = pts[ring[pick]];
    double bestAngle = 1e300;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const P2& q = pts[ring[i]];
        if (i == pick) continue;
        const bool inside = (cross(m, hit, q) >= 0 && cross(hit, cand, q) >= 0 && cross(cand, m, q) >= 0) ||
                            (cross(m, hit, q) <= 0 && cross(hit, cand, q) <= 0 && cross(cand, m, q) <= 0);
        if (!inside || q.x < m.x) continue;
        const double angle = std::abs(std::atan2(q.y - m.y, q.x - m.x));
        if (angle < bestAngle) {
            bestAngle = angle;
            pick = i;
        }
    }
    std::rotate(hole.begin(), hole.begin() + static_cast<std::ptrdiff_t>(mi), hole.end());
    std::vector<int> merged(ring.begin(), ring.begin() + static_cast<std::ptrdiff_t>(pick) + 1);
    merged.insert(merged.end(), hole.begin(), hole.end());
    merged.push_back(hole.front());
    merged.insert(merged.end(), ring.begin() + static_cast<std::ptrdiff_t>(pick), ring.end());
    ring = std::move(merged);
}

}  // namespace

std::vector<std::array<int, 3>> triangulatePolygon(const MeshGeometry& mesh, int polygon) {
    const std::vector<P2> pts = project(mesh, polygon);
    std::vector<int> ring = mesh.loopCorners(polygon, 0);
    if (signedArea(pts, ring) < 0) std::reverse(ring.begin(), ring.end());
    std::vector<std::vector<int>> holes;
    for (int l = 1; l < mesh.polygonLoops[polygon]; ++l) {
        auto h = mesh.loopCorners(polygon, l);
        if (signedArea(pts, h) > 0) std::reverse(h.begin(), h.end());
        holes.push_back(std::move(h));
    }
    // Rightmost holes first, so later bridges never cross earlier ones.
    auto maxX = [&](const std::vector<int>& h) {
        double x = -1e300;
        for (const int c : h) x = std::max(x, pts[c].x);
        return x;
    };
    std::sort(holes.begin(), holes.end(), [&](const auto& a, const auto& b) { return maxX(a) > maxX(b); });
    for (const auto& h : holes) bridge(pts, ring, h);

    std::vector<std::array<int, 3>> out;
    const double scale = [&] {
        double s = 0;
        for (const auto& p : pts) s = std::max({s, std::abs(p.x), std::abs(p.y)});
        return s > 0 ? s : 1.0;
    }();
    const double eps = 1e-12 * scale * scale;
    while (ring.size() > 3) {
        const std::size_t n = ring.size();
        std::size_t ear = n;
        // Pass 0: a proper convex ear; pass 1: a flat (collinear) corner; else the first corner.
        for (int pass = 0; pass < 2 && ear == n; ++pass)
            for (std::size_t i = 0; i < n && ear == n; ++i) {
                const int a = ring[(i + n - 1) % n], b = ring[i], c = ring[(i + 1) % n];
                const double area = cross(pts[a], pts[b], pts[c]);
                if (pass == 0 ? area <= eps : area < -eps) continue;
                bool blocked = false;
                for (std::size_t j = 0; j < n && !blocked; ++j) {
                    const int q = ring[j];
                    if (q == a || q == b || q == c) continue;
                    const P2& pq = pts[q];
                    auto same = [&](int k) { return pts[k].x == pq.x && pts[k].y == pq.y; };
                    if (same(a) || same(b) || same(c)) continue;
                    blocked = strictlyInside(pq, pts[a], pts[b], pts[c]);
                }
                if (!blocked) ear = i;
            }
        if (ear == n) ear = 0;
        out.push_back({ring[(ear + n - 1) % n], ring[ear], ring[(ear + 1) % n]});
        ring.erase(ring.begin() + static_cast<std::ptrdiff_t>(ear));
    }
    if (ring.size() == 3) out.push_back({ring[0], ring[1], ring[2]});
    return out;
}

bool isConvexPolygon(const MeshGeometry& mesh, int polygon) {
    if (mesh.isHoled(polygon)) return false;
    const std::vector<P2> pts = project(mesh, polygon);
    const std::size_t n = pts.size();
    if (n < 3) return false;
    int sign = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double c = cross(pts[(i + n - 1) % n], pts[i], pts[(i + 1) % n]);
        if (c == 0) continue;
        const int s = c > 0 ? 1 : -1;
        if (sign && s != sign) return false;
        sign = s;
    }
    return true;
}

}  // namespace host

#include "geometry/clip/droppedFaceStitch.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>

#include "math/qmtMatrix3.h"

namespace {

using Qmt::QmtVector3;

constexpr double kMergeDistanceSq = 1e-5;  // squared, as for cut vertices

std::uint64_t directed(std::uint32_t a, std::uint32_t b) { return (std::uint64_t{a} << 32) | b; }

// A vertex to go in after corner `after`, at parameter t along that corner's edge.
struct Insertion {
    std::uint32_t after;
    std::uint32_t vertex;
    double t;
};

// The attribute index of a corner put in at t between corners k and k1: their shared
// index, or a new entry interpolated between their values (the index of k when there is
// no table or it cannot grow).
std::uint32_t between(Compacted* table, const std::uint32_t* indices, std::uint32_t k, std::uint32_t k1, double t,
                      bool unit) {
    const std::uint32_t a = indices[k];
    const std::uint32_t b = indices[k1];
    if (!table || !table->values || a == b) {
        return a;
    }
    const auto value = [table](std::uint32_t i) { return i < table->length ? table->values[i] : QmtVector3::ZERO; };
    QmtVector3 v = value(a) * (1.0 - t) + value(b) * t;
    if (unit) {
        v.Unitize(Qmt::QmtMatrix3::EPSILON);
    }
    const std::uint32_t index = appendCompacted(*table, v);
    return index == ABSENT_INDEX ? a : index;
}

// Rebuilds the face's corner arrays with the insertions (sorted by corner, then t).
bool insertCorners(ZYL_DFface& face, const std::vector<Insertion>& plan, const CornerTables& tables) {
    const std::uint32_t m = face.numVertices;
    const auto n = static_cast<std::uint32_t>(m + plan.size());
    if (face.capacity < n || !face.vertices || !face.normals || !face.uvs) {
        face.resize(std::max(n, face.capacity), face.numUVSets);  // also makes the arrays it lacks
        if (face.capacity < n || !face.vertices || !face.normals || !face.uvs) {
            return false;
        }
    }
    const std::uint32_t sets = faceExtraUVSets(face);
    std::vector<std::uint32_t> vertices, normals, uvs, setIndices[MAX_EXTRA_UV_SETS];
    std::size_t next = 0;
    for (std::uint32_t k = 0; k < m; ++k) {
        vertices.push_back(face.vertices[k]);
        normals.push_back(face.normals[k]);
        uvs.push_back(face.uvs[k]);
        for (std::uint32_t s = 0; s < sets; ++s) {
            setIndices[s].push_back(face.uvSets[s] ? face.uvSets[s][k] : 0);
        }
        const std::uint32_t k1 = k + 1 < m ? k + 1 : 0;
        for (; next < plan.size() && plan[next].after == k; ++next) {
            const double t = plan[next].t;
            vertices.push_back(plan[next].vertex);
            normals.push_back(between(tables.normals, face.normals, k, k1, t, true));
            uvs.push_back(between(tables.uvs, face.uvs, k, k1, t, false));
            for (std::uint32_t s = 0; s < sets; ++s) {
                setIndices[s].push_back(face.uvSets[s] ? between(tables.sets[s], face.uvSets[s], k, k1, t, false) : 0);
            }
        }
    }
    std::copy(vertices.begin(), vertices.end(), face.vertices);
    std::copy(normals.begin(), normals.end(), face.normals);
    std::copy(uvs.begin(), uvs.end(), face.uvs);
    for (std::uint32_t s = 0; s < sets; ++s) {
        if (face.uvSets[s]) {
            std::copy(setIndices[s].begin(), setIndices[s].end(), face.uvSets[s]);
        }
    }
    face.numVertices = n;
    return true;
}

// Union of vertices, each set named by its lowest index.
class VertexMerges {
public:
    explicit VertexMerges(std::uint32_t count) : m_parent(count) {
        for (std::uint32_t v = 0; v < count; ++v) {
            m_parent[v] = v;
        }
    }
    std::uint32_t find(std::uint32_t v) {
        while (m_parent[v] != v) {
            v = m_parent[v] = m_parent[m_parent[v]];
        }
        return v;
    }
    void unite(std::uint32_t a, std::uint32_t b) {
        a = find(a);
        b = find(b);
        m_parent[std::max(a, b)] = std::min(a, b);
    }

private:
    std::vector<std::uint32_t> m_parent;
};

// The face's corners renamed by the merges; a corner equal to the one before it goes
// (cyclically), and a face left with fewer than 3 corners is emptied.
void renameCorners(ZYL_DFface& face, VertexMerges& merges) {
    const std::uint32_t sets = faceExtraUVSets(face);
    std::uint32_t kept = 0;
    for (std::uint32_t k = 0; k < face.numVertices; ++k) {
        const std::uint32_t v = merges.find(face.vertices[k]);
        if (kept > 0 && face.vertices[kept - 1] == v) {
            continue;
        }
        face.vertices[kept] = v;
        face.normals[kept] = face.normals[k];
        face.uvs[kept] = face.uvs[k];
        for (std::uint32_t s = 0; s < sets; ++s) {
            if (face.uvSets[s]) {
                face.uvSets[s][kept] = face.uvSets[s][k];
            }
        }
        ++kept;
    }
    while (kept > 1 && face.vertices[kept - 1] == face.vertices[0]) {
        --kept;
    }
    face.numVertices = kept < 3 ? 0 : kept;
}

}  // namespace

std::uint32_t stitchDroppedFaces(ZYL_DFface* faces, const std::vector<std::uint32_t>& written,
                                 const std::vector<std::uint32_t>& dropped, const QmtVector3* world,
                                 std::uint32_t vertexCount, const CornerTables& tables) {
    // Corners of a dropped face within the merge distance of one another become one.
    VertexMerges merges(vertexCount);
    bool merged = false;
    std::vector<std::uint32_t> candidates;
    for (const std::uint32_t d : dropped) {
        const ZYL_DFface& face = faces[d];
        const auto first = candidates.size();
        std::copy_if(face.vertices, face.vertices + face.numVertices, std::back_inserter(candidates),
                     [vertexCount](std::uint32_t v) { return v < vertexCount; });
        for (auto i = first; i < candidates.size(); ++i) {
            for (auto j = i + 1; j < candidates.size(); ++j) {
                const std::uint32_t a = candidates[i];
                const std::uint32_t b = candidates[j];
                if (merges.find(a) != merges.find(b) && (world[a] - world[b]).SquaredLength() < kMergeDistanceSq) {
                    merges.unite(a, b);
                    merged = true;
                }
            }
        }
    }
    if (merged) {
        for (const std::uint32_t f : written) {
            renameCorners(faces[f], merges);
        }
    }
    for (std::uint32_t& v : candidates) {
        v = merges.find(v);
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());

    // How many more times each directed edge is walked than its reverse.
    std::unordered_map<std::uint64_t, std::int32_t> excess;
    for (const std::uint32_t f : written) {
        const ZYL_DFface& face = faces[f];
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            const std::uint32_t a = face.vertices[k];
            const std::uint32_t b = face.vertices[k + 1 < face.numVertices ? k + 1 : 0];
            ++excess[directed(a, b)];
            --excess[directed(b, a)];
        }
    }

    // The other corners go into the faces whose edges run along them.
    std::uint32_t added = 0;
    std::vector<Insertion> plan;
    for (const std::uint32_t f : written) {
        ZYL_DFface& face = faces[f];
        const std::uint32_t m = face.numVertices;
        plan.clear();
        for (std::uint32_t k = 0; k < m; ++k) {
            const std::uint32_t a = face.vertices[k];
            const std::uint32_t b = face.vertices[k + 1 < m ? k + 1 : 0];
            const QmtVector3 d = world[b] - world[a];
            const double lengthSq = d.SquaredLength();
            if (excess[directed(a, b)] <= 0 || lengthSq < kMergeDistanceSq) {
                continue;
            }
            for (const std::uint32_t w : candidates) {
                const auto planned = [w](const Insertion& in) { return in.vertex == w; };
                if (std::find(face.vertices, face.vertices + m, w) != face.vertices + m ||
                    std::any_of(plan.begin(), plan.end(), planned)) {
                    continue;
                }
                const QmtVector3 fromA = world[w] - world[a];
                const double t = fromA.Dot(d) / lengthSq;
                if (t > 0.0 && t < 1.0 && fromA.SquaredLength() >= kMergeDistanceSq &&
                    (world[w] - world[b]).SquaredLength() >= kMergeDistanceSq &&
                    (fromA - d * t).SquaredLength() < kMergeDistanceSq) {
                    plan.push_back({k, w, t});
                }
            }
        }
        if (plan.empty()) {
            continue;
        }
        std::stable_sort(plan.begin(), plan.end(), [](const Insertion& x, const Insertion& y) {
            return x.after != y.after ? x.after < y.after : x.t < y.t;
        });
        if (insertCorners(face, plan, tables)) {
            added += static_cast<std::uint32_t>(plan.size());
        }
    }
    return added;
}

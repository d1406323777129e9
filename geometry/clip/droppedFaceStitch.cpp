#include "geometry/clip/droppedFaceStitch.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>

#include "math/qmtMatrix3.h"

namespace {

using Qmt::QmtVector3;

constexpr double kMergeDistanceSq = 1e-5;  // squared, as for cut vertices
// A face dropped as collapsing to a line lies within 1e-5 of its length of that line
// (the write-back's relative test): corners across it are at most twice that apart.
constexpr double kRelativeWeld = 4e-5;

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

// Squared distance below which two corners of a dropped face are one, and a corner lies
// on an edge: the merge distance, or in the second pass, for a face that collapses to a
// line for its size, a few times the width it may have about that line.
double weldDistanceSq(const ZYL_DFface& face, const QmtVector3* world, std::uint32_t vertexCount, bool relative) {
    if (!relative) {
        return kMergeDistanceSq;
    }
    double reach = 0.0;
    for (std::uint32_t i = 0; i < face.numVertices; ++i) {
        for (std::uint32_t j = i + 1; j < face.numVertices; ++j) {
            const std::uint32_t a = face.vertices[i];
            const std::uint32_t b = face.vertices[j];
            if (a < vertexCount && b < vertexCount) {
                reach = std::max(reach, (world[a] - world[b]).SquaredLength());
            }
        }
    }
    return std::max(kMergeDistanceSq, kRelativeWeld * kRelativeWeld * reach);
}

// One stitch pass: merges the corners of the dropped faces, then puts the other corners
// into the edges of the written faces that still lack their reverse.
class StitchPass {
public:
    StitchPass(ZYL_DFface* faces, const std::vector<std::uint32_t>& written, const QmtVector3* world,
               std::uint32_t vertexCount, VertexMerges& merges)
        : m_faces(faces), m_written(written), m_world(world), m_vertexCount(vertexCount), m_merges(merges) {}

    // The corners of the dropped faces with the weld distance of their face.
    void gather(const std::vector<std::uint32_t>& dropped, bool relative) {
        m_corners.clear();
        bool merged = false;
        for (const std::uint32_t d : dropped) {
            const ZYL_DFface& face = m_faces[d];
            const double weldSq = weldDistanceSq(face, m_world, m_vertexCount, relative);
            const auto first = m_corners.size();
            for (std::uint32_t k = 0; k < face.numVertices; ++k) {
                if (face.vertices[k] < m_vertexCount) {
                    m_corners.push_back({face.vertices[k], weldSq});
                }
            }
            for (auto i = first; i < m_corners.size(); ++i) {
                for (auto j = i + 1; j < m_corners.size(); ++j) {
                    const std::uint32_t u = m_corners[i].vertex;
                    const std::uint32_t v = m_corners[j].vertex;
                    if (m_merges.find(u) != m_merges.find(v) && (m_world[u] - m_world[v]).SquaredLength() < weldSq) {
                        m_merges.unite(u, v);
                        merged = true;
                    }
                }
            }
        }
        if (merged) {
            for (const std::uint32_t f : m_written) {
                renameCorners(m_faces[f], m_merges);
            }
        }
        for (Corner& c : m_corners) {
            c.vertex = m_merges.find(c.vertex);
        }
        // One entry per vertex, with the largest weld distance it was given.
        std::sort(m_corners.begin(), m_corners.end(), [](const Corner& x, const Corner& y) {
            return x.vertex != y.vertex ? x.vertex < y.vertex : x.weldSq > y.weldSq;
        });
        m_corners.erase(std::unique(m_corners.begin(), m_corners.end(),
                                    [](const Corner& x, const Corner& y) { return x.vertex == y.vertex; }),
                        m_corners.end());
        countExcess();
    }

    std::uint32_t insert(const CornerTables& tables) {
        std::uint32_t added = 0;
        std::vector<Insertion> plan;
        for (const std::uint32_t f : m_written) {
            ZYL_DFface& face = m_faces[f];
            const std::uint32_t m = face.numVertices;
            plan.clear();
            for (std::uint32_t k = 0; k < m; ++k) {
                const std::uint32_t a = face.vertices[k];
                const std::uint32_t b = face.vertices[k + 1 < m ? k + 1 : 0];
                const QmtVector3 d = m_world[b] - m_world[a];
                const double lengthSq = d.SquaredLength();
                if (m_excess[directed(a, b)] <= 0 || lengthSq < kMergeDistanceSq) {
                    continue;
                }
                for (const auto& [w, weldSq] : m_corners) {
                    const auto planned = [vertex = w](const Insertion& in) { return in.vertex == vertex; };
                    if (std::find(face.vertices, face.vertices + m, w) != face.vertices + m ||
                        std::any_of(plan.begin(), plan.end(), planned)) {
                        continue;
                    }
                    const QmtVector3 fromA = m_world[w] - m_world[a];
                    const double t = fromA.Dot(d) / lengthSq;
                    if (t > 0.0 && t < 1.0 && fromA.SquaredLength() >= weldSq &&
                        (m_world[w] - m_world[b]).SquaredLength() >= weldSq &&
                        (fromA - d * t).SquaredLength() < weldSq) {
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

    // Whether an edge of a written face at a corner of a dropped face still lacks its reverse.
    bool leftOpen() {
        countExcess();
        const auto isCorner = [this](std::uint32_t v) {
            return std::binary_search(m_corners.begin(), m_corners.end(), Corner{v, 0.0},
                                      [](const Corner& x, const Corner& y) { return x.vertex < y.vertex; });
        };
        return std::any_of(m_excess.begin(), m_excess.end(), [&](const auto& entry) {
            return entry.second != 0 &&
                   (isCorner(static_cast<std::uint32_t>(entry.first >> 32)) ||
                    isCorner(static_cast<std::uint32_t>(entry.first & 0xFFFFFFFFu)));
        });
    }

private:
    struct Corner {
        std::uint32_t vertex;
        double weldSq;
    };

    // How many more times each directed edge is walked than its reverse.
    void countExcess() {
        m_excess.clear();
        for (const std::uint32_t f : m_written) {
            const ZYL_DFface& face = m_faces[f];
            for (std::uint32_t k = 0; k < face.numVertices; ++k) {
                const std::uint32_t a = face.vertices[k];
                const std::uint32_t b = face.vertices[k + 1 < face.numVertices ? k + 1 : 0];
                ++m_excess[directed(a, b)];
                --m_excess[directed(b, a)];
            }
        }
    }

    ZYL_DFface* m_faces;
    const std::vector<std::uint32_t>& m_written;
    const QmtVector3* m_world;
    std::uint32_t m_vertexCount;
    VertexMerges& m_merges;
    std::vector<Corner> m_corners;
    std::unordered_map<std::uint64_t, std::int32_t> m_excess;
};

}  // namespace

std::uint32_t stitchDroppedFaces(ZYL_DFface* faces, const std::vector<std::uint32_t>& written,
                                 const std::vector<std::uint32_t>& dropped, const QmtVector3* world,
                                 std::uint32_t vertexCount, const CornerTables& tables) {
    VertexMerges merges(vertexCount);
    StitchPass pass(faces, written, world, vertexCount, merges);
    pass.gather(dropped, false);
    std::uint32_t added = pass.insert(tables);
    // A sliver that collapses to a line only for its length may be wider than the merge
    // distance: the corners across it are then welded at its own scale.
    if (pass.leftOpen()) {
        pass.gather(dropped, true);
        added += pass.insert(tables);
    }
    return added;
}

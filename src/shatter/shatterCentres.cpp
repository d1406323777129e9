#include "src/shatter/shatterCentres.h"

#include <algorithm>
#include <array>
#include <cfloat>

#include "host/api/fnMesh.h"
#include "host/api/meshIterators.h"
#include "host/api/vectors.h"
#include "math/qmtMath.h"
#include "src/sceneUtils.h"
#include "src/shatter/seedPatternCore.h"
#include "src/shatter/seedPatterns.h"

using Qmt::QmtVector3;

namespace {

constexpr std::size_t kPlaces = 16;

// The sharpest vertices met so far, in ascending score order; free places score FLT_MAX.
struct CornerCandidates {
    std::array<double, kPlaces> scores;
    std::array<QmtVector3, kPlaces> positions{};
    std::uint32_t count = 0;

    CornerCandidates() { scores.fill(FLT_MAX); }

    // Placed after the last of places 0..14 scoring below it (so ahead of equal
    // scores), else at the front; the last place falls off.
    void offer(double score, const QmtVector3& position) {
        if (score > scores[kPlaces - 1]) {
            return;
        }
        std::size_t place = 0;
        for (std::size_t i = 0; i + 1 < kPlaces; ++i) {
            if (scores[i] < score) {
                place = i + 1;
            }
        }
        std::copy_backward(scores.begin() + place, scores.end() - 1, scores.end());
        std::copy_backward(positions.begin() + place, positions.end() - 1, positions.end());
        scores[place] = score;
        positions[place] = position;
        count = std::min<std::uint32_t>(count + 1, kPlaces);
    }

    // Keeps the candidates scoring at most their mean (they are sorted, so a prefix).
    void dropAboveMean() {
        if (count == 0) {
            return;
        }
        double sum = 0.0;
        for (std::uint32_t i = 0; i < count; ++i) {
            sum += scores[i];
        }
        const double limit = sum / count + 1e-5;
        while (count > 0 && scores[count - 1] > limit) {
            --count;
        }
    }
};

}  // namespace

void findSharpCornerVertices(const MDagPath& meshPath, QmtVector3* out, std::uint32_t& count, std::uint32_t seed) {
    const std::uint32_t wanted = out ? count : 0;
    count = 0;
    MDagPath path = meshPath;
    if (path.apiType() == MFn::kTransform && !path.extendToShape()) {
        return;
    }
    // Corners of a mesh-op's output are judged on the mesh its history starts from.
    if (hasMeshOpUpstream(path.node())) {
        path = findFarthestUpstreamMesh(path);
    }
    MStatus status;
    const MFnMesh fn(path, &status);
    if (!status) {
        return;
    }

    seedPatterns::reseed(seed);
    CornerCandidates candidates;
    MIntArray faces;
    for (MItMeshVertex it(path); !it.isDone(); it.next()) {
        it.getConnectedFaces(faces);
        if (faces.length() < 2) {
            continue;
        }
        MVector first, other;
        fn.getPolygonNormal(faces[0], first, MSpace::kWorld);
        double sum = 0.0;
        for (unsigned k = 1; k < faces.length(); ++k) {
            fn.getPolygonNormal(faces[k], other, MSpace::kWorld);
            sum += first * other;
        }
        const MPoint p = it.position(MSpace::kWorld);
        candidates.offer(sum / (faces.length() - 1), QmtVector3(p.x, p.y, p.z));
    }
    candidates.dropAboveMean();

    // Drawn even without a candidate, so the running sequence does not depend on the mesh.
    const double draw = Qmt::Math::UnitRandom();
    if (candidates.count == 0) {
        return;
    }
    const auto start = static_cast<std::uint32_t>(candidates.count * draw);
    count = std::min(wanted, candidates.count);
    for (std::uint32_t j = 0; j < count; ++j) {
        out[j] = candidates.positions[(start + j) % candidates.count];
    }
}

void generateShatterCenters(std::uint32_t n, QmtVector3* out, std::uint32_t seed, const MDagPath& meshPath,
                            const ZYL_DFmesh* mesh) {
    if (!out || n == 0) {
        return;
    }
    // The inside fills use the random-start push: the nearest-face push would carry
    // points already inside out across their nearest face.
    if (n > 1) {
        std::uint32_t corners = n;
        findSharpCornerVertices(meshPath, out, corners, seed);
        if (corners < n) {
            generateSeedsInHull(mesh, out + corners, n - corners, seed, false);
        }
    }
    const std::uint32_t inside = (n + 1) / 2;
    generateSeedsInHull(mesh, out + (n - inside), inside, seed, false);
}

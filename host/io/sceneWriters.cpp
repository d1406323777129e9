#include "host/io/sceneWriters.h"

#include <charconv>
#include <fstream>

#include "host/api/dagPath.h"
#include "host/core/runtime.h"
#include "host/scene/dag.h"
#include "host/scene/meshShape.h"
#include "host/scene/transformChannels.h"

namespace host::io {

std::string number(double v) {
    if (v == 0) v = 0;  // one text for both zeros
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string number(float v) {
    if (v == 0) v = 0;
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

int writeObj(std::ostream& out) {
    Scene& scene = runtime().scene;
    int base = 1;
    int skipped = 0;
    for (const auto id : scene.nodeIds()) {
        const Node* n = scene.find(id);
        if (!n || n->type->apiType != MFn::kMesh || dag::isIntermediate(id)) continue;
        const MeshGeometry local = tweakedGeometry(id);
        const auto paths = dag::pathsTo(id);
        for (std::size_t i = 0; i < paths.size(); ++i) {
            if (dag::hidden(paths[i])) continue;
            MeshGeometry g = local;
            transformGeometry(g, dag::pathMatrix(paths[i], paths[i].size()));
            out << "o " << MDagPath(paths[i]).fullPathName().str() << '\n';
            for (const auto& p : g.points) out << "v " << number(p[0]) << ' ' << number(p[1]) << ' ' << number(p[2]) << '\n';
            for (int p = 0; p < g.numPolygons(); ++p) {
                // Holed polygons go out as their triangles: OBJ faces have no holes.
                if (g.isHoled(p)) {
                    for (const auto& t : triangulatePolygon(g, p)) {
                        out << 'f';
                        for (const int c : t) out << ' ' << base + g.faceVertices[static_cast<std::size_t>(g.polygonStart[p] + c)];
                        out << '\n';
                    }
                    continue;
                }
                // A face needs three corners in OBJ: one or two make the file invalid.
                if (g.polygonSize(p) < 3) {
                    ++skipped;
                    continue;
                }
                out << 'f';
                for (int k = g.polygonStart[p]; k < g.polygonStart[p + 1]; ++k) out << ' ' << base + g.faceVertices[k];
                out << '\n';
            }
            base += static_cast<int>(g.points.size());
        }
    }
    return skipped;
}

MStatus writeObj(const std::string& path) {
    std::ofstream out(path);
    if (!out) return MStatus(MS::kFailure, "Cannot write '" + path + "'.");
    if (const int skipped = writeObj(out))
        runtime().log.add(LogKind::Warning, std::to_string(skipped) + " face(s) of fewer than three corners left out of '" +
                                                path + "'.");
    return out ? MStatus(MS::kSuccess) : MStatus(MS::kFailure, "Cannot write '" + path + "'.");
}

void writeTransformsHeader(std::ostream& out) { out << "frame,node,tx,ty,tz,rx,ry,rz,sx,sy,sz,wx,wy,wz\n"; }

void writeTransformRows(std::ostream& out, double frame) {
    Scene& scene = runtime().scene;
    for (const auto id : scene.nodeIds()) {
        const Node* n = scene.find(id);
        if (!n || n->type->apiType != MFn::kTransform || n->name == "viewCamera") continue;
        out << number(frame) << ',' << n->name;
        for (const char* a : {"translate", "rotate", "scale"}) {
            const MVector v = dag::readVector(id, a);
            out << ',' << number(v.x) << ',' << number(v.y) << ',' << number(v.z);
        }
        const auto path = dag::firstPathTo(id);
        const MMatrix w = dag::pathMatrix(path, path.size());
        out << ',' << number(w[3][0]) << ',' << number(w[3][1]) << ',' << number(w[3][2]) << '\n';
    }
}

MStatus writeTransforms(const std::string& path, double frame) {
    std::ofstream out(path);
    if (!out) return MStatus(MS::kFailure, "Cannot write '" + path + "'.");
    writeTransformsHeader(out);
    writeTransformRows(out, frame);
    return out ? MStatus(MS::kSuccess) : MStatus(MS::kFailure, "Cannot write '" + path + "'.");
}

}  // namespace host::io

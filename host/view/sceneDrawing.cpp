#include "host/view/sceneDrawing.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "host/core/runtime.h"
#include "host/scene/dag.h"
#include "host/scene/meshShape.h"

namespace host::view {

namespace {

constexpr std::array<float, 4> kMeshGrey{0.68f, 0.68f, 0.68f, 1};

// World-space triangles with a colour per corner, drawn as one vertex array.
struct TriangleBatch {
    std::vector<float> positions;  // 3 per corner
    std::vector<float> colors;     // 4 per corner
};

MVector worldPoint(const Float3& p, const MMatrix& m) {
    const MPoint q = MPoint(p[0], p[1], p[2]) * m;
    return {q.x, q.y, q.z};
}

void addMeshInstance(const MeshGeometry& g, const MMatrix& world, const MVector& lightDir, TriangleBatch& batch) {
    std::vector<MVector> points(g.points.size());
    for (std::size_t i = 0; i < points.size(); ++i) points[i] = worldPoint(g.points[i], world);
    const ColorSetData* colorSet = g.currentColorSet >= 0 && g.currentColorSet < static_cast<int>(g.colorSets.size())
                                       ? &g.colorSets[static_cast<std::size_t>(g.currentColorSet)]
                                       : nullptr;
    auto colorOf = [&](int v) {
        const auto k = static_cast<std::size_t>(v);
        if (colorSet && k < colorSet->has.size() && colorSet->has[k] && k < colorSet->colors.size())
            return colorSet->colors[k];
        return kMeshGrey;
    };
    std::vector<std::array<int, 3>> triangles;
    for (int p = 0; p < g.numPolygons(); ++p) {
        const int start = g.polygonStart[p];
        const int n = g.outerSize(p);
        if (n < 3) continue;
        // Flat shading: one Newell normal per polygon, in world space, lit from the eye.
        MVector normal;
        for (int k = 0; k < n; ++k) {
            const MVector& a = points[static_cast<std::size_t>(g.faceVertices[start + k])];
            const MVector& b = points[static_cast<std::size_t>(g.faceVertices[start + (k + 1) % n])];
            normal += MVector((a.y - b.y) * (a.z + b.z), (a.z - b.z) * (a.x + b.x), (a.x - b.x) * (a.y + b.y));
        }
        const double len = normal.length();
        const float light = static_cast<float>(0.25 + 0.75 * (len > 0 ? std::abs(normal * lightDir) / len : 0));
        triangles.clear();
        if (n == 3 && !g.isHoled(p)) {
            triangles.push_back({0, 1, 2});
        } else if (isConvexPolygon(g, p)) {
            for (int k = 1; k + 1 < n; ++k) triangles.push_back({0, k, k + 1});
        } else {
            triangles = triangulatePolygon(g, p);
        }
        for (const auto& t : triangles)
            for (const int corner : t) {
                const int v = g.faceVertices[start + corner];
                const MVector& q = points[static_cast<std::size_t>(v)];
                batch.positions.insert(batch.positions.end(), {float(q.x), float(q.y), float(q.z)});
                const auto c = colorOf(v);
                batch.colors.insert(batch.colors.end(), {c[0] * light, c[1] * light, c[2] * light, c[3]});
            }
    }
}

TriangleBatch visibleMeshes(const MVector& lightDir) {
    TriangleBatch batch;
    Scene& scene = runtime().scene;
    for (const auto id : scene.nodeIds()) {
        const Node* n = scene.find(id);
        if (!n || n->type->apiType != MFn::kMesh || dag::isIntermediate(id)) continue;
        std::vector<dag::Path> shown;
        for (auto& path : dag::pathsTo(id))
            if (!dag::hidden(path)) shown.push_back(std::move(path));
        if (shown.empty()) continue;
        // Untweaked meshes are read in place; tweaks need a copy with them applied.
        MeshGeometry tweaked;
        const MeshGeometry* g = nullptr;
        const auto data = shapeMeshData(id);
        if (hasTweaks(id)) {
            tweaked = tweakedGeometry(id);
            g = &tweaked;
        } else if (data) {
            g = &data->geometry;
        }
        if (!g) continue;
        for (const auto& path : shown) addMeshInstance(*g, dag::pathMatrix(path, path.size()), lightDir, batch);
    }
    return batch;
}

void drawGrid(const MBoundingBox& sceneBox) {
    const bool zUp = runtime().options.upAxis == "z";
    // Enough lines to reach past the scene on the ground plane, at most 100 each way.
    double reach = 5;
    if (!sceneBox.isEmpty())
        for (const MPoint& p : {sceneBox.min(), sceneBox.max()})
            reach = std::max({reach, std::abs(p.x) * 1.25, std::abs(zUp ? p.y : p.z) * 1.25});
    double spacing = 1;
    while (reach / spacing > 50) spacing *= 10;
    const int lines = static_cast<int>(std::ceil(reach / spacing));
    const double extent = lines * spacing;
    auto vertex = [zUp](double a, double b) {
        if (zUp)
            glVertex3d(a, b, 0);
        else
            glVertex3d(a, 0, b);
    };
    glLineWidth(1);
    glBegin(GL_LINES);
    for (int i = -lines; i <= lines; ++i) {
        const float shade = i == 0 ? 0.2f : 0.46f;
        glColor3f(shade, shade, shade);
        const double at = i * spacing;
        vertex(at, -extent);
        vertex(at, extent);
        vertex(-extent, at);
        vertex(extent, at);
    }
    glEnd();
}

}  // namespace

void loadViewMatrices(const ViewProjection& projection, const MMatrix& model) {
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(&projection.projection.matrix[0][0]);
    glMatrixMode(GL_MODELVIEW);
    const MMatrix modelView = model * projection.worldToCamera;
    glLoadMatrixd(&modelView.matrix[0][0]);
}

void drawSceneGeometry(const ViewProjection& projection, M3dView::DisplayStyle style) {
    glViewport(0, 0, projection.width, projection.height);
    glClearColor(0.3f, 0.33f, 0.38f, 1);
    glClearDepth(1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glShadeModel(GL_SMOOTH);
    loadViewMatrices(projection);
    if (runtime().options.gridShown) drawGrid(projection.sceneBox);

    // A head light: fixed to the camera, shining from a little above and left of the
    // eye so that faces at equal angles to the view direction still differ.
    const MVector lightDir = (MVector(0.35, -0.55, -1) * projection.cameraWorld).normal();
    const TriangleBatch batch = visibleMeshes(lightDir);
    if (batch.positions.empty()) return;
    const bool wire = style == M3dView::kWireFrame;
    glPolygonMode(GL_FRONT_AND_BACK, wire ? GL_LINE : GL_FILL);
    // Meshes sit a little behind lines drawn on them later (locators, manipulators).
    if (!wire) {
        glEnable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(1, 1);
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, batch.positions.data());
    glColorPointer(4, GL_FLOAT, 0, batch.colors.data());
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(batch.positions.size() / 3));
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisable(GL_POLYGON_OFFSET_FILL);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

}  // namespace host::view

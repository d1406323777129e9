#include "host/api/meshIterators.h"

#include "host/api/fnMesh.h"
#include "host/scene/meshGeometry.h"

namespace {

// The geometry of a shape path, shape node or mesh data object, object space,
// and the matrix to world space.
std::shared_ptr<const host::MeshGeometry> load(const MFnMesh& fn, MStatus& st) {
    return fn.geometryPtr(MSpace::kObject, &st);
}

MStatus done() { return MStatus(MS::kFailure, "iterator done"); }

}  // namespace

MItMeshPolygon::MItMeshPolygon(const MObject& mesh, MStatus* status) {
    MStatus st;
    MFnMesh fn(mesh, &st);
    if (st) mesh_ = load(fn, st);
    if (st && mesh.kind() == MObject::Kind::Node) world_ = fn.dagPath().inclusiveMatrix();
    if (status) *status = st;
}

MItMeshPolygon::MItMeshPolygon(const MDagPath& mesh, const MObject& component, MStatus* status) {
    MDagPath shape = mesh;
    shape.extendToShape();
    MStatus st;
    MFnMesh fn(shape, &st);
    if (st) mesh_ = load(fn, st);
    if (st) world_ = shape.inclusiveMatrix();
    if (component.kind() == MObject::Kind::Data && component.hasFn(MFn::kMeshPolygonComponent))
        only_ = host::componentIndices(component);
    if (status) *status = st;
}

MItMeshPolygon::~MItMeshPolygon() = default;

int MItMeshPolygon::current() const {
    if (!mesh_) return -1;
    if (!only_.empty()) return at_ < only_.size() ? only_[at_] : -1;
    return at_ < static_cast<std::size_t>(mesh_->numPolygons()) ? static_cast<int>(at_) : -1;
}

bool MItMeshPolygon::isDone(MStatus* status) const {
    if (status) *status = MS::kSuccess;
    return current() < 0;
}

MStatus MItMeshPolygon::next() {
    ++at_;
    return MS::kSuccess;
}

MStatus MItMeshPolygon::reset() {
    at_ = 0;
    return MS::kSuccess;
}

unsigned MItMeshPolygon::count(MStatus* status) const {
    if (status) *status = MS::kSuccess;
    if (!mesh_) return 0;
    return only_.empty() ? static_cast<unsigned>(mesh_->numPolygons()) : static_cast<unsigned>(only_.size());
}

unsigned MItMeshPolygon::index(MStatus* status) const {
    if (status) *status = isDone() ? done() : MStatus(MS::kSuccess);
    return static_cast<unsigned>(std::max(0, current()));
}

MStatus MItMeshPolygon::setIndex(int index, int& previous) {
    if (!mesh_ || index < 0 || index >= mesh_->numPolygons()) return MStatus(MS::kInvalidParameter, "no such polygon");
    previous = std::max(0, current());
    only_.clear();
    at_ = static_cast<std::size_t>(index);
    return MS::kSuccess;
}

unsigned MItMeshPolygon::polygonVertexCount(MStatus* status) const {
    const int p = current();
    if (status) *status = p < 0 ? done() : MStatus(MS::kSuccess);
    return p < 0 ? 0u : static_cast<unsigned>(mesh_->polygonSize(p));
}

int MItMeshPolygon::vertexIndex(int corner, MStatus* status) const {
    const int p = current();
    const bool ok = p >= 0 && corner >= 0 && corner < mesh_->polygonSize(p);
    if (status) *status = ok ? MStatus(MS::kSuccess) : MStatus(MS::kInvalidParameter, "no such corner");
    return ok ? mesh_->faceVertices[static_cast<std::size_t>(mesh_->polygonStart[p] + corner)] : -1;
}

MStatus MItMeshPolygon::getVertices(MIntArray& vertices) const {
    const int p = current();
    if (p < 0) return done();
    vertices.clear();
    for (int k = mesh_->polygonStart[p]; k < mesh_->polygonStart[p + 1]; ++k) vertices.append(mesh_->faceVertices[k]);
    return MS::kSuccess;
}

int MItMeshPolygon::normalIndex(int corner, MStatus* status) const {
    const int p = current();
    const bool ok = p >= 0 && corner >= 0 && corner < mesh_->polygonSize(p);
    if (status) *status = ok ? MStatus(MS::kSuccess) : MStatus(MS::kInvalidParameter, "no such corner");
    return ok ? mesh_->polygonStart[p] + corner : -1;
}

MStatus MItMeshPolygon::getNormal(MVector& normal, MSpace::Space space) const {
    const int p = current();
    if (p < 0) return done();
    const auto n = mesh_->polygonNormal(p);
    normal = MVector(n[0], n[1], n[2]);
    if (space == MSpace::kWorld) normal = (normal * world_.inverse().transpose()).normal();
    return MS::kSuccess;
}

MPoint MItMeshPolygon::center(MSpace::Space space, MStatus* status) const {
    const int p = current();
    if (status) *status = p < 0 ? done() : MStatus(MS::kSuccess);
    if (p < 0) return {};
    MPoint c(0, 0, 0);
    const int n = mesh_->outerSize(p);
    for (int k = 0; k < n; ++k) {
        const auto& q = mesh_->points[static_cast<std::size_t>(mesh_->faceVertices[static_cast<std::size_t>(mesh_->polygonStart[p] + k)])];
        c = c + MVector(q[0], q[1], q[2]) / n;
    }
    return space == MSpace::kWorld ? c * world_ : c;
}

bool MItMeshPolygon::isConvex(MStatus* status) const {
    const int p = current();
    if (status) *status = p < 0 ? done() : MStatus(MS::kSuccess);
    return p >= 0 && host::isConvexPolygon(*mesh_, p);
}

bool MItMeshPolygon::isHoled(MStatus* status) const {
    const int p = current();
    if (status) *status = p < 0 ? done() : MStatus(MS::kSuccess);
    return p >= 0 && mesh_->isHoled(p);
}

const std::vector<std::array<int, 3>>& MItMeshPolygon::triangles(int polygon) const {
    if (trianglesOf_ != polygon) {
        triangles_ = host::triangulatePolygon(*mesh_, polygon);
        trianglesOf_ = polygon;
    }
    return triangles_;
}

MStatus MItMeshPolygon::numTriangles(int& count) const {
    const int p = current();
    if (p < 0) return done();
    count = static_cast<int>(triangles(p).size());
    return MS::kSuccess;
}

MStatus MItMeshPolygon::getTriangle(int t, MPointArray& points, MIntArray& vertices, MSpace::Space space) const {
    const int p = current();
    if (p < 0) return done();
    const auto& tris = triangles(p);
    if (t < 0 || static_cast<std::size_t>(t) >= tris.size()) return MStatus(MS::kInvalidParameter, "no such triangle");
    points.clear();
    vertices.clear();
    for (const int corner : tris[static_cast<std::size_t>(t)]) {
        const int v = mesh_->faceVertices[static_cast<std::size_t>(mesh_->polygonStart[p] + corner)];
        const auto& q = mesh_->points[static_cast<std::size_t>(v)];
        const MPoint pt(q[0], q[1], q[2]);
        points.append(space == MSpace::kWorld ? pt * world_ : pt);
        vertices.append(v);
    }
    return MS::kSuccess;
}

MStatus MItMeshPolygon::getUVIndex(int corner, int& id, const MString* set) const {
    const int p = current();
    if (p < 0) return done();
    if (corner < 0 || corner >= mesh_->polygonSize(p)) return MStatus(MS::kInvalidParameter, "no such corner");
    const host::UVSetData* s = nullptr;
    if (!set || set->length() == 0) {
        if (static_cast<std::size_t>(mesh_->currentUVSet) < mesh_->uvSets.size())
            s = &mesh_->uvSets[static_cast<std::size_t>(mesh_->currentUVSet)];
    } else {
        for (const auto& u : mesh_->uvSets)
            if (u.name == set->str()) s = &u;
    }
    if (!s) return MStatus(MS::kInvalidParameter, "no such UV set");
    const int uv = s->ids[static_cast<std::size_t>(mesh_->polygonStart[p] + corner)];
    if (uv < 0) return MStatus(MS::kFailure, "corner has no UV");
    id = uv;
    return MS::kSuccess;
}

bool MItMeshPolygon::hasUVs(MStatus* status) const {
    int id;
    const MStatus st = getUVIndex(0, id);
    if (status) *status = MS::kSuccess;
    return st.statusCode() == MS::kSuccess;
}

MStatus MItMeshPolygon::getArea(double& area, MSpace::Space space) const {
    const int p = current();
    if (p < 0) return done();
    const bool world = space == MSpace::kWorld;
    area = 0;
    for (const auto& t : host::triangulatePolygon(*mesh_, p)) {
        MPoint q[3];
        for (int c = 0; c < 3; ++c) {
            const auto& x = mesh_->points[static_cast<std::size_t>(mesh_->faceVertices[static_cast<std::size_t>(mesh_->polygonStart[p] + t[c])])];
            q[c] = world ? MPoint(x[0], x[1], x[2]) * world_ : MPoint(x[0], x[1], x[2]);
        }
        area += 0.5 * ((q[1] - q[0]) ^ (q[2] - q[0])).length();
    }
    return MS::kSuccess;
}

MItMeshVertex::MItMeshVertex(const MObject& mesh, MStatus* status) {
    MStatus st;
    MFnMesh fn(mesh, &st);
    if (st) mesh_ = load(fn, st);
    if (st && mesh.kind() == MObject::Kind::Node) world_ = fn.dagPath().inclusiveMatrix();
    if (mesh_) faces_ = mesh_->vertexFaces();
    if (status) *status = st;
}

MItMeshVertex::MItMeshVertex(const MDagPath& mesh, const MObject&, MStatus* status) {
    MDagPath shape = mesh;
    shape.extendToShape();
    MStatus st;
    MFnMesh fn(shape, &st);
    if (st) mesh_ = load(fn, st);
    if (st) world_ = shape.inclusiveMatrix();
    if (mesh_) faces_ = mesh_->vertexFaces();
    if (status) *status = st;
}

MItMeshVertex::~MItMeshVertex() = default;

bool MItMeshVertex::isDone(MStatus* status) const {
    if (status) *status = MS::kSuccess;
    return !mesh_ || at_ >= mesh_->points.size();
}

MStatus MItMeshVertex::next() {
    ++at_;
    return MS::kSuccess;
}

MStatus MItMeshVertex::reset() {
    at_ = 0;
    return MS::kSuccess;
}

unsigned MItMeshVertex::count(MStatus* status) const {
    if (status) *status = MS::kSuccess;
    return mesh_ ? static_cast<unsigned>(mesh_->points.size()) : 0u;
}

int MItMeshVertex::index(MStatus* status) const {
    if (status) *status = isDone() ? done() : MStatus(MS::kSuccess);
    return static_cast<int>(at_);
}

MStatus MItMeshVertex::setIndex(int index, int& previous) {
    if (!mesh_ || index < 0 || static_cast<std::size_t>(index) >= mesh_->points.size())
        return MStatus(MS::kInvalidParameter, "no such vertex");
    previous = static_cast<int>(at_);
    at_ = static_cast<std::size_t>(index);
    return MS::kSuccess;
}

MPoint MItMeshVertex::position(MSpace::Space space, MStatus* status) const {
    if (status) *status = isDone() ? done() : MStatus(MS::kSuccess);
    if (isDone()) return {};
    const auto& q = mesh_->points[at_];
    const MPoint p(q[0], q[1], q[2]);
    return space == MSpace::kWorld ? p * world_ : p;
}

MStatus MItMeshVertex::getConnectedFaces(MIntArray& faces) const {
    if (isDone()) return done();
    faces.clear();
    for (const int f : faces_[at_]) faces.append(f);
    return MS::kSuccess;
}

MStatus MItMeshVertex::numConnectedFaces(int& count) const {
    if (isDone()) return done();
    count = static_cast<int>(faces_[at_].size());
    return MS::kSuccess;
}

#include "src/collisionShapeNode.h"

#include <algorithm>
#include <initializer_list>
#include <new>
#include <utility>
#include <vector>

#include "engine/world/engineApi.h"
#include "host/api/fnAttribute.h"
#include "host/api/fnDependencyNode.h"
#include "host/api/fnMesh.h"
#include "host/api/iterators.h"
#include "host/api/meshIterators.h"
#include "src/crackerNode.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"

MObject collisionShapeNode::type;
MObject collisionShapeNode::outCollisionShape;
MObject collisionShapeNode::outCollisionType;
MObject collisionShapeNode::inShape;
MObject collisionShapeNode::animatedMesh;
MObject collisionShapeNode::flipCollisionSide;
MObject collisionShapeNode::ca_collisionShape;
MObject collisionShapeNode::collisionShapeParam;

namespace {

// The collision type whose mesh may deform: only a triangle-mesh body follows it.
constexpr short kMeshType = 3;
// Normals shorter than this are left as the record holds them.
constexpr double kNormalLength = 1e-5;
// Unit-length tolerance, taken in single precision.
constexpr double kUnitizeTolerance = static_cast<double>(1e-6f);

// How one host polygon becomes faces.
enum class Split { Whole, Fan, HostTriangles };

struct PolygonPlan {
    Split split;
    unsigned faces;
};

// The full build gives a polygon that is not convex the host's triangles; both builds
// fan out a polygon of more than 32 corners; any other polygon is one face.
PolygonPlan planPolygon(const MItMeshPolygon& it, bool full) {
    const unsigned n = it.polygonVertexCount();
    if (full && !it.isConvex()) {
        int triangles = 0;
        it.numTriangles(triangles);
        return {Split::HostTriangles, static_cast<unsigned>(std::max(0, triangles))};
    }
    // A face holds at most 32 corners.
    if (n > ZYLFACE_MAX_CORNERS) return {Split::Fan, n - 2};
    return {Split::Whole, 1};
}

// Writes up to capacity faces, each with its normal, into a mesh whose points are in
// place.
class FaceWriter {
public:
    FaceWriter(ZYLmesh& mesh, bool flip, unsigned capacity) : mesh_(mesh), flip_(flip), capacity_(capacity) {}

    void add(std::initializer_list<int> corners) { add(corners.begin(), static_cast<unsigned>(corners.size())); }

    void add(const int* corners, unsigned n) {
        if (written_ >= capacity_) return;
        ZYLface& face = mesh_.faces[written_];
        face.numVertices = std::min(n, ZYLFACE_MAX_CORNERS);
        for (unsigned c = 0; c < face.numVertices; ++c) face.vertices[c] = static_cast<std::uint32_t>(corners[c]);
        if (face.numVertices >= 3) setNormal(face, mesh_.normals[written_]);
        ++written_;
    }

    unsigned written() const { return written_; }

private:
    void setNormal(const ZYLface& face, Qmt::QmtVector3& normal) const {
        const Qmt::QmtVector3& p1 = mesh_.vertices[face.vertices[0]];
        const Qmt::QmtVector3& p2 = mesh_.vertices[face.vertices[1]];
        const Qmt::QmtVector3& p3 = mesh_.vertices[face.vertices[2]];
        Qmt::QmtVector3 n = (p2 - p1).Cross(p3 - p2);
        if (n.Length() <= kNormalLength) return;
        if (flip_) n = -n;
        n.Unitize(kUnitizeTolerance);
        normal = n;
    }

    ZYLmesh& mesh_;
    bool flip_;
    unsigned capacity_;
    unsigned written_ = 0;
};

}  // namespace

collisionShapeNode::~collisionShapeNode() { releaseMesh(); }

void* collisionShapeNode::creator() { return new (std::nothrow) collisionShapeNode; }

MStatus collisionShapeNode::initialize() {
    MFnEnumAttribute enumAttr;
    type = enumAttr.create("type", "tp", 2);
    enumAttr.addField("None", 0);
    enumAttr.addField("Capsule", 1);
    enumAttr.addField("Convex Hull", 2);
    enumAttr.addField("Mesh", 3);
    enumAttr.addField("Auto", 4);
    enumAttr.addField("Cracker", 6);
    enumAttr.setKeyable(false);
    addAttribute(type);

    outCollisionShape = addTypedAttr("outCollisionShape", "oucs", MFnData::kMesh, kNotStorable);
    outCollisionType = addNumericAttr("outCollisionType", "ouct", MFnNumericData::kInt, 0, kNotStorable);
    inShape = addTypedAttr("inShape", "insh", MFnData::kMesh, kNotStorable);
    animatedMesh = addNumericAttr("animated(Mesh)", "ac", MFnNumericData::kBoolean, 0);
    flipCollisionSide = addNumericAttr("flipCollisionSide(Mesh)", "fcs", MFnNumericData::kBoolean, 0);

    ca_collisionShape = addConnectableChangeFlag("ca_collisionShape", "ccs");
    collisionShapeParam = addChangeFlag("collisionShapeParam", "cspm");

    attributeAffects(type, ca_collisionShape);
    attributeAffects(type, outCollisionType);
    attributeAffects(type, collisionShapeParam);
    attributeAffects(inShape, collisionShapeParam);
    attributeAffects(animatedMesh, collisionShapeParam);
    attributeAffects(flipCollisionSide, collisionShapeParam);
    attributeAffects(flipCollisionSide, outCollisionType);
    attributeAffects(flipCollisionSide, ca_collisionShape);
    return MS::kSuccess;
}

MStatus collisionShapeNode::compute(const MPlug& plug, MDataBlock& data) {
    const MObject attr = plug.attribute();
    if (attr == outCollisionType) {
        MDataHandle out = data.outputValue(outCollisionType);
        out.setInt(data.inputValue(type).asShort());
        out.setClean();
        return MS::kSuccess;
    }
    if (attr == ca_collisionShape) {
        const bool flip = data.inputValue(flipCollisionSide).asBool();
        buildMesh(meshInput(data.inputValue(inShape).data()), flip, true, true);
        markFlagDone(data, plug);
        return MS::kSuccess;
    }
    if (attr == collisionShapeParam) {
        applyParams(data);
        markFlagDone(data, plug);
        return MS::kSuccess;
    }
    return MS::kUnknownParameter;
}

void collisionShapeNode::applyParams(MDataBlock& data) {
    MDataHandle flag = data.outputValue(collisionShapeParam);
    flag.setBool(true);
    if (data.inputValue(type).asShort() != kMeshType) {
        // Deforming and flipped meshes only mean something to a triangle-mesh body.
        const MObject self = thisMObject();
        for (const MObject& attr : {animatedMesh, flipCollisionSide}) {
            MPlug switchPlug(self, attr);
            if (switchPlug.asBool()) switchPlug.setValue(false);
        }
    }
    if (data.inputValue(animatedMesh).asBool()) {
        // A deforming mesh is refreshed in place every evaluation.
        const bool flip = data.inputValue(flipCollisionSide).asBool();
        buildMesh(meshInput(data.inputValue(inShape).data()), flip, false, true);
    }
}

ZYLmesh* collisionShapeNode::getCollisionMesh() {
    const MObject self = thisMObject();
    if (!mesh_) {
        const bool flip = MPlug(self, flipCollisionSide).asBool();
        buildMesh(meshInput(MPlug(self, inShape).asMObject()), flip, true, false);
    }
    // Dirty flags run their computes here, so a pending full build replaces the simple one.
    MPlug(self, outCollisionType).asInt();
    MPlug(self, ca_collisionShape).asBool();
    MPlug(self, collisionShapeParam).asBool();
    return mesh_;
}

void collisionShapeNode::releaseMesh() { deleteMesh(&mesh_); }

MObject collisionShapeNode::meshInput(const MObject& value) const {
    // A mesh no longer connected (deleted, say) leaves its last value behind: it is not
    // the shape's mesh any more, nor would a saved scene give it one.
    return MPlug(thisMObject(), inShape).isConnected() ? value : MObject::kNullObj;
}

MObject addCollisionShape(MDGModifier& modifier, const MObject& node, const MObject& typeInput, const MDagPath& mesh,
                          unsigned instance, int type, const MObject* animatedInput) {
    using S = collisionShapeNode;
    const MObject shape = modifier.createNode(S::id);
    modifier.renameNode(shape, MFnDependencyNode(node).name() + "Shape");
    modifier.connect(MPlug(shape, S::outCollisionType), MPlug(node, typeInput));
    modifier.connect(MFnDependencyNode(mesh.node()).findPlug("worldMesh").elementByLogicalIndex(instance),
                     MPlug(shape, S::inShape));
    if (animatedInput) modifier.connect(MPlug(shape, S::animatedMesh), MPlug(node, *animatedInput));
    modifier.doIt();
    MPlug(shape, S::type).setValue(type);
    MPlug(shape, S::ca_collisionShape).asBool();
    return shape;
}

void collisionShapeNode::nodeRemovedCallback(MObject& node, void*) {
    if (auto* shape = userNodeAs<collisionShapeNode>(node, id)) shape->releaseMesh();
}

void collisionShapeNode::buildMesh(const MObject& meshData, bool flip, bool force, bool full) {
    MStatus status;
    MFnMesh fn(meshData, &status);
    MFloatPointArray points;
    if (status) fn.getPoints(points, MSpace::kWorld);

    unsigned faceCount = 0;
    if (status)
        for (MItMeshPolygon it(meshData); !it.isDone(); it.next()) faceCount += planPolygon(it, full).faces;

    // A mesh refreshed in place keeps its arrays: both its faces and its points must fit.
    const bool reuse = full && !force && mesh_ && faceCount <= mesh_->numFaces && points.length() <= mesh_->numVertices;
    if (!reuse) {
        deleteMesh(&mesh_);
        mesh_ = createMesh(points.length(), faceCount);
        if (!mesh_) return;
    }
    ZYLmesh& mesh = *mesh_;
    mesh.numVertices = points.length();
    for (unsigned i = 0; i < points.length(); ++i)
        mesh.vertices[i] = {static_cast<double>(points[i].x), static_cast<double>(points[i].y),
                            static_cast<double>(points[i].z)};

    FaceWriter writer(mesh, flip, faceCount);
    MIntArray corners;
    MPointArray trianglePoints;
    MIntArray triangle;
    for (MItMeshPolygon it(meshData); !it.isDone(); it.next()) {
        const PolygonPlan plan = planPolygon(it, full);
        it.getVertices(corners);
        switch (plan.split) {
        case Split::Whole:
            if (corners.length() > 0) writer.add(&corners[0], corners.length());
            break;
        case Split::Fan:
            for (unsigned k = 2; k < corners.length(); ++k) writer.add({corners[0], corners[k - 1], corners[k]});
            break;
        case Split::HostTriangles:
            for (unsigned t = 0; t < plan.faces; ++t)
                if (it.getTriangle(static_cast<int>(t), trianglePoints, triangle) && triangle.length() == 3)
                    writer.add({triangle[0], triangle[1], triangle[2]});
            break;
        }
    }
    mesh.numFaces = writer.written();
}

std::uint64_t collisionShapeNode::meshFingerprint() const {
    const MObject mesh = firstConnectedNode(MPlug(thisMObject(), inShape), ConnectionSide::source);
    MDagPath path;
    if (mesh.isNull() || mesh.apiType() != MFn::kMesh || !MDagPath::getAPathTo(mesh, path)) return 0;
    const MFnMesh fn(path);
    MFloatPointArray points;
    MIntArray counts, vertices;
    fn.getPoints(points, MSpace::kObject);
    fn.getVertices(counts, vertices);
    // FNV-1a over the values' bytes.
    std::uint64_t hash = 0xcbf29ce484222325ull;
    const auto add = [&](const void* data, std::size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 0x100000001b3ull;
    };
    for (unsigned i = 0; i < points.length(); ++i) {
        const float xyz[3] = {points[i].x, points[i].y, points[i].z};
        add(xyz, sizeof xyz);
    }
    for (const MIntArray* list : {&counts, &vertices})
        for (unsigned i = 0; i < list->length(); ++i) {
            const int v = (*list)[i];
            add(&v, sizeof v);
        }
    return hash | 1;  // never 0, which means no mesh
}

bool rewriteShapeTypeOf(const MObject& shape) {
    if (!hasTypeId(shape, collisionShapeNode::id)) return false;
    MPlug type(shape, collisionShapeNode::type);
    type.setValue(type.asInt());
    return true;
}

void rebuildBodiesOfChangedMeshes() {
    std::vector<std::pair<MObject, MObject>> due;  // shape, body or cracker
    for (MItDependencyNodes it(MFn::kPluginDependNode); !it.isDone(); it.next()) {
        const MObject node = it.thisNode();
        const auto* shape = userNodeAs<collisionShapeNode>(node, collisionShapeNode::id);
        if (!shape) continue;
        const bool meshless = !MPlug(node, collisionShapeNode::inShape).isConnected();
        for (const MObject& user :
             connectedNodes(MPlug(node, collisionShapeNode::outCollisionType), ConnectionSide::destination)) {
            auto* rb = userNodeAs<rigidBodyNode>(user, rigidBodyNode::id);
            const auto* cracker = userNodeAs<zylCrackerNode>(user, zylCrackerNode::id);
            const bool built = (rb && rb->getBody(false)) || (cracker && cracker->getBody());
            if (!built) continue;
            // A deforming mesh is followed frame by frame instead.
            const bool deforming = MPlug(node, collisionShapeNode::animatedMesh).asBool() || (rb && rb->isAnimatedAspect(2));
            const std::uint64_t builtFrom = rb ? rb->builtMeshFingerprint() : cracker->builtMeshFingerprint();
            if (meshless || (!deforming && shape->meshFingerprint() != builtFrom)) due.emplace_back(node, user);
        }
    }
    for (const auto& [shape, node] : due) {
        rewriteShapeTypeOf(shape);
        if (auto* rb = userNodeAs<rigidBodyNode>(node, rigidBodyNode::id)) rb->getBody(true);
        if (auto* cracker = userNodeAs<zylCrackerNode>(node, zylCrackerNode::id)) cracker->evaluateAttributes();
    }
    // A body whose collision shape is gone (an undo took it) has nothing to be built
    // from, as an opened scene has it.
    std::vector<rigidBodyNode*> shapeless;
    for (MItDependencyNodes it(MFn::kPluginLocatorNode); !it.isDone(); it.next())
        if (auto* rb = userNodeAs<rigidBodyNode>(it.thisNode(), rigidBodyNode::id);
            rb && rb->getBody(false) && !hasTypeId(rb->getCollisionShapeNode(), collisionShapeNode::id))
            shapeless.push_back(rb);
    for (rigidBodyNode* rb : shapeless) rb->getBody(true);
}

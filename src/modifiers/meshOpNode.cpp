#include "src/modifiers/meshOpNode.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "engine/tools/meshTools.h"
#include "engine/world/engineApi.h"
#include "host/api/fnAttribute.h"
#include "src/meshReader.h"
#include "src/meshWriter.h"
#include "src/sceneUtils.h"

MObject zylMeshOpNode::inputComponents;
MObject zylMeshOpNode::operationType;
MObject zylMeshOpNode::operationMode;
MObject zylMeshOpNode::operationIter;
MObject zylMeshOpNode::inMesh;
MObject zylMeshOpNode::outMesh;
MObject zylMeshOpNode::jaggyPoints;
MObject zylMeshOpNode::indexBPoints;

void* zylMeshOpNode::creator() { return new (std::nothrow) zylMeshOpNode; }

MStatus zylMeshOpNode::initialize() {
    MFnTypedAttribute typed;
    MFnEnumAttribute enumerated;
    MFnNumericAttribute numeric;

    inputComponents = typed.create("inputComponents", "ics", MFnData::kComponentList);
    typed.setStorable(true);

    operationType = enumerated.create("operationType", "oprt", kClean);
    enumerated.addField("clean", kClean);
    enumerated.addField("subdivideFaces", kSubdivideFaces);
    enumerated.addField("SubdivideEdges", kSubdivideEdges);
    enumerated.addField("assignUVs", kAssignUVs);
    enumerated.setHidden(false);
    enumerated.setKeyable(true);
    enumerated.setStorable(true);

    operationMode = enumerated.create("operationMode", "opmd", 0);
    enumerated.addField("hard_edges", 0);
    enumerated.addField("soft_faces", 1);
    enumerated.setHidden(false);
    enumerated.setKeyable(true);
    enumerated.setStorable(true);

    operationIter = numeric.create("operationIter", "oit", MFnNumericData::kShort, 0);
    numeric.setKeyable(false);
    numeric.setStorable(true);

    inMesh = typed.create("inMesh", "im", MFnData::kMesh);
    typed.setStorable(true);

    outMesh = typed.create("outMesh", "om", MFnData::kMesh);
    typed.setStorable(false);
    typed.setWritable(false);

    jaggyPoints = numeric.create("jaggyPoints", "jgp", MFnNumericData::k3Float, 0);
    numeric.setStorable(true);
    numeric.setKeyable(false);
    numeric.setArray(true);

    indexBPoints = numeric.create("indexBPoints", "ibp", MFnNumericData::k2Int, 0);
    numeric.setStorable(true);
    numeric.setKeyable(false);
    numeric.setArray(true);

    for (const MObject* attr : {&inputComponents, &operationType, &operationMode, &operationIter, &inMesh, &outMesh,
                                &jaggyPoints, &indexBPoints}) {
        if (const MStatus status = addAttribute(*attr); !status) {
            status.perror("addAttribute");
            return status;
        }
    }
    for (const MObject* input : {&inMesh, &inputComponents, &operationType, &operationIter, &operationMode}) {
        if (const MStatus status = attributeAffects(*input, outMesh); !status) {
            status.perror("attributeAffects");
            return status;
        }
    }
    return MS::kSuccess;
}

MStatus zylMeshOpNode::compute(const MPlug& plug, MDataBlock& data) {
    MDataHandle output = data.outputValue(outMesh);
    if (data.inputValue(state).asShort() == 1) {  // no effect: every operation passes the mesh on
        output.setMObject(data.inputValue(inMesh).data());
        output.setClean();
        return MS::kSuccess;
    }
    if (plug != MPlug(thisMObject(), outMesh)) return MS::kUnknownParameter;

    const MObject input = data.inputValue(inMesh).data();
    data.inputValue(inputComponents);
    const short type = data.inputValue(operationType).asShort();
    const short mode = data.inputValue(operationMode).asShort();
    const short iterations = data.inputValue(operationIter).asShort();

    // The operation's own status stays with the node: the output is set either way.
    switch (type) {
        case kClean:
            output.setMObject(input);
            break;
        case kSubdivideFaces: {
            inputMeshData_ = input;
            MObject fresh = MFnMeshData().create();
            performOperation(fresh, kSubdivideFaces, mode, iterations);
            output.setMObject(fresh);
            break;
        }
        case kAssignUVs: {
            inputMeshData_ = input;
            output.setMObject(input);
            MObject own = output.data();  // the output's own copy: the input stays as it is
            performOperation(own, kAssignUVs, mode, iterations);
            break;
        }
        default:  // edges are not subdivided: the output keeps its value
            break;
    }
    data.setClean(plug);
    return MS::kSuccess;
}

MStatus zylMeshOpNode::performOperation(MObject& meshData, int operation, int, short iterations) {
    if (operation == kSubdivideFaces) return subdivideCutFaces(meshData, iterations);
    if (operation == kAssignUVs) assignUVsAtPoints(meshData);
    return MS::kSuccess;
}

// The input's cut faces are subdivided into the given data; the faces they became are
// the changed faces, tagged 1, with smooth normals.
MStatus zylMeshOpNode::subdivideCutFaces(MObject& meshData, short iterations) {
    MStringArray uvSets;
    ZYL_DFmesh* mesh = readMeshPolygonsIntoDFmesh(inputMeshData_, faceSetIndices_, uvSets);
    if (!mesh) return MS::kFailure;
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f)
        if (mesh->faces[f].flags & FACE_CUT) mesh->faces[f].flags |= FACE_CAP;
    // A level outside 1 to 3 subdivides nothing.
    tessellateDFmesh(mesh, static_cast<std::uint16_t>(iterations), true);

    MFnMesh fn;
    MStatus status;
    createMeshFromDFmesh(status, mesh, fn, uvSets, &meshData);
    if (status) {
        faceSetIndices_.setLength(mesh->numFaces);
        changedFaces_.clear();
        for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
            faceSetIndices_[f] = mesh->faces[f].material;
            if (mesh->faces[f].flags & FACE_CAP) changedFaces_.append(static_cast<int>(f));
        }
        writeCutFaceValues(fn);
        unlockCutFaceNormals(fn);
    }
    deleteDFmesh(&mesh);
    return status;
}

// 1 on every changed face, 0 on the other faces below the largest changed one; faces
// above it get no value (read as 0 anyway).
MStatus zylMeshOpNode::writeCutFaceValues(MFnMesh& mesh) const {
    MStatus status;
    const bool used = mesh.isBlindDataTypeUsed(cutFace::kBlindDataId, &status);
    if (!status) return status;
    if (!used) {
        MStringArray longNames, shortNames, formats;
        longNames.append(cutFace::kLongName);
        shortNames.append(cutFace::kShortName);
        formats.append(cutFace::kDataType);
        status = mesh.createBlindDataType(cutFace::kBlindDataId, longNames, shortNames, formats);
        if (!status) return status;
    }
    if (changedFaces_.length() == 0) return MS::kFailure;
    status = mesh.setIntBlindData(changedFaces_, MFn::kMeshPolygonComponent, cutFace::kBlindDataId,
                                  cutFace::kLongName, cutFace::kCut);
    const int largest = *std::max_element(changedFaces_.begin(), changedFaces_.end());
    std::vector<bool> changed(static_cast<std::size_t>(largest) + 1, false);
    for (const int f : changedFaces_) changed[static_cast<std::size_t>(f)] = true;
    for (int f = 0; f < largest; ++f)
        if (!changed[static_cast<std::size_t>(f)])
            mesh.setIntBlindData(f, MFn::kMeshPolygonComponent, cutFace::kBlindDataId, cutFace::kLongName,
                                 cutFace::kSurface);
    return status;
}

void zylMeshOpNode::unlockCutFaceNormals(MFnMesh& mesh) const {
    MIntArray faces, vertices;
    for (const int f : changedFaces_) {
        MIntArray corners;
        mesh.getPolygonVertices(f, corners);
        for (const int v : corners) {
            faces.append(f);
            vertices.append(v);
        }
    }
    mesh.unlockFaceVertexNormals(faces, vertices);
    mesh.updateSurface();
}

// Each (face, vertex) element of "indexBPoints" gets the UV that point `vertex` of
// "jaggyPoints" has inside that face, anchored at the vertex's corner.
void zylMeshOpNode::assignUVsAtPoints(MObject& meshData) const {
    const MPlug pointsPlug(thisMObject(), jaggyPoints);
    std::vector<MPoint> points;
    for (unsigned i = 0; i < pointsPlug.numElements(); ++i) {
        float x = 0.0f, y = 0.0f, z = 0.0f;
        MFnNumericData(pointsPlug.elementByPhysicalIndex(i).asMObject()).getData(x, y, z);
        points.emplace_back(x, y, z);
    }
    MFnMesh mesh(meshData);
    const MString uvSet = mesh.currentUVSetName();
    MIntArray ids;
    MFloatArray us, vs;
    const MPlug pairs(thisMObject(), indexBPoints);
    for (unsigned i = 0; i < pairs.numElements(); ++i) {
        const MPlug element = pairs.elementByPhysicalIndex(i);
        if (element.isNull()) continue;
        int face = 0, vertex = 0;
        if (!MFnNumericData(element.asMObject()).getData(face, vertex)) continue;
        MIntArray corners;
        if (!mesh.getPolygonVertices(face, corners)) continue;
        const auto at = std::find(corners.begin(), corners.end(), vertex);
        if (at == corners.end() || vertex < 0 || static_cast<std::size_t>(vertex) >= points.size()) continue;
        const int corner = static_cast<int>(at - corners.begin());
        int id = 0;
        float u = 0.0f, v = 0.0f;
        if (!mesh.getPolygonUVid(face, corner, id, &uvSet)) continue;
        if (!interpolatePolygonUV(points[static_cast<std::size_t>(vertex)], face, corner, mesh, uvSet, u, v)) continue;
        ids.append(id);
        us.append(u);
        vs.append(v);
    }
    mesh.setSomeUVs(ids, us, vs, &uvSet);
}

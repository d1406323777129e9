#pragma once

#include <cstddef>
#include <vector>

#include "host/api/dagPath.h"
#include "src/commandBase.h"

class rigidBodyNode;

// The body node's name for a transform: "ZylBody" goes in front of the name's trailing
// digits (pCube12 → pCubeZylBody12), at its end without any (wall → wallZylBody).
MString zylBodyName(const MString& transformName);

// `new_ZYLBody`: makes each selected polygon mesh a rigid body of the scene's solver
// (a body node under its transform and a collision shape fed by the mesh), or, unless
// -multiple, updates the body it already has.
class RigidBodyCmd : public ZylCommandBase {
public:
    static void* creator();
    static MSyntax newSyntax();
    MStatus redoIt() override;

private:
    struct Options {
        int active = 0;           // the body's `passive`
        unsigned shapeType = 0;   // the collision shape's `type`
        bool multiple = false;    // a further body even where there is one
    };

    // One selected mesh; true when it qualifies (a mesh, not an intermediate object).
    bool handleMesh(const MDagPath& selected, const Options& options, const MObject& solver, bool& created);
    // The body a transform already has takes the options.
    void updateBody(rigidBodyNode& body, const Options& options);
    // A new body under the transform, fed by the mesh's world geometry.
    void createBody(const MObject& transform, const MDagPath& mesh, unsigned instance, bool jagged,
                    const Options& options, const MObject& solver);

    // The world's indices of the bodies made, in making order: a redo gives them back,
    // so that the world files the bodies as it did.
    std::vector<int> madeIndices_;
    std::size_t made_ = 0;  // bodies made by the current run
};

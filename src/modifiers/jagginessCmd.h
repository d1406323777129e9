#pragma once

#include <memory>
#include <vector>

#include "host/api/argDatabase.h"
#include "host/api/arrays.h"
#include "host/api/dagPath.h"
#include "host/api/pxCommand.h"
#include "host/api/selectionList.h"
#include "host/api/status.h"
#include "host/api/syntax.h"
#include "host/api/timer.h"
#include "host/api/vectors.h"

// What the faces around a vertex tell the displacement.
enum JaggyFlag : unsigned {
    kJaggyCutFace = 1,            // at least one cut face
    kJaggyOtherFace = 2,          // at least one face that is not a cut face
    kJaggySeveralCutNormals = 4,  // cut faces of several directions meet an outer face
};

struct JaggyDirection {
    MVector direction;
    unsigned flags = 0;
    // Only a vertex on a cut face moves, and not where differently turned cut faces
    // meet the outer surface (the edge between them would tear).
    bool moves() const { return (flags & kJaggyCutFace) && !(flags & kJaggySeveralCutNormals); }
};

// Per polygon of one mesh instance: its world-space normal and whether it is a cut
// face of the last cut (value exactly 1; a polygon without a value is none).
struct CutFaceTable {
    std::vector<MVector> normals;
    std::vector<char> cut;
};
CutFaceTable readCutFaceTable(const MDagPath& shape);

// The direction a vertex on `faces` is pushed along. Normals closer than 0.99 count
// once. Only cut faces: up to two directions, the one nearer the horizontal wins,
// turned so that its largest component is positive; three or more stay put. Cut and
// outer faces: the one cut normal made perpendicular to the one outer normal; more
// outer directions, or a cut normal along the outer one, stay put.
JaggyDirection jaggyDirection(const MIntArray& faces, const CutFaceTable& mesh);

// The meshes among a group's children, a transform child standing for its shape (not
// for the intermediate copy beside it).
MDagPathArray shatterGroupMeshes(const MDagPath& group);

// zylJagginess: roughens the cut faces of shatter shards. -compute subdivides them
// through a zylMeshOpNode chain and pushes their vertices in and out along the cut
// normals by an amount that ripples with the distance from the origin; -strength
// alone pushes again from the undisplaced surface; -softnormal softens the cut faces'
// normals, or with -delete removes the softened-normal node. It works on the selected
// shard (-affect 0), every shard of its shatter group (1) or the whole hierarchy of
// nested shatter groups (2); the jaggy length and strength live on each group's
// voronoiNode. Shards that are bodies leave the simulation first, once the user agrees.
class jagginessCmd : public MPxCommand {
public:
    static void* creator();
    static MSyntax newSyntax();

    MStatus doIt(const MArgList& args) override;
    MStatus redoIt() override;
    bool isUndoable() const override { return false; }
    bool hasSyntax() const override { return true; }

    // Puts the mesh-operation chain (subdividing the cut faces) on one mesh; false only
    // when the tessellation command cannot be made.
    bool tessellateCutFaces(MDagPath shape, unsigned resolution, bool softnormal) const;
    // Displaces each listed mesh, updating its surface.
    void displaceMeshes(const MDagPathArray& meshes) const;
    // Displaces the group's meshes that carry mesh-operation history.
    void displaceGroup(const MDagPath& group) const;
    // Vertices whose faces are all cut faces get the mean normal of those faces.
    static void softenCutFaceNormals(const MDagPath& shape);
    // Deletes the UV-tweak node (kind 746) feeding the mesh, past any merge nodes (745).
    static void removeSoftNormalNode(const MDagPath& shape);
    // Reads the group's jaggy length (working one out the first time) and, when asked,
    // stores the strength. Failure, with an error, when the group has no voronoiNode.
    MStatus readVoronoiJaggySettings(const MDagPath& group, bool writeStrength);
    // Cut faces smaller than factor × the largest cut face become older cut faces (2).
    static void markSmallCutFaces(const MDagPath& group, double factor);
    // 0.02 × the cube root of the mean box volume of the group's meshes.
    static double defaultJaggyLength(const MDagPath& group);
    // The length readVoronoiJaggySettings will arrive at for the group, without writing
    // anything; `current` where the group has no voronoiNode.
    static double plannedJaggyLength(const MDagPath& group, double current);

    double jaggyLength() const { return jaggyLength_; }
    void setJaggyLength(double length) { jaggyLength_ = length; }
    void setStrength(double strength) { strength_ = strength; }

private:
    struct Options {
        unsigned affect = 0;  // 0, 1 or 2
        bool compute = false;
        bool remove = false;
        bool softnormal = false;
        bool strengthGiven = false;
    };

    void readFlags();
    // Whether every vertex the command may displace stays finite in single precision.
    bool displacementKeepsFinite(const MDagPath& shard, const MDagPath& group) const;
    // The same over the group's meshes (and, nested, its shatter groups'), `length`
    // carried from group to group as the command carries it.
    bool groupKeepsFinite(const MDagPath& group, double& length, bool nested) const;
    // The shard's transform has a body: the user decides whether it goes.
    MStatus removeBodies(const MDagPath& transform, const MDagPath& group) const;
    void removeSoftNormalNodes(const MDagPath& shard, const MDagPath& group) const;
    MStatus processShard(const MDagPath& shard, const MDagPath& group);
    MStatus processHierarchy(const MDagPath& group);
    // Subdivides the group's meshes without mesh-operation history, appending them to
    // `done`, under the progress window the caller reserved; stops on a cancel.
    void tessellateGroup(const MDagPath& group, MDagPathArray& done) const;
    void displaceMesh(const MDagPath& shape, bool updateSurface) const;
    void softenGroup(const MDagPath& group) const;
    void printTime();

    std::unique_ptr<MArgDatabase> argDatabase_;
    MSelectionList selection_;
    MTimer timer_;
    double jaggyLength_ = 1.0;
    double strength_ = 1.0;
    unsigned resolution_ = 0;
    Options options_;
};

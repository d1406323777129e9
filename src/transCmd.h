#pragma once

#include <memory>

#include "host/api/argDatabase.h"
#include "host/api/dagModifier.h"
#include "host/api/plug.h"
#include "host/api/pxCommand.h"

// `zylTrans`: a keyed transform cannot be simulated while its curves drive it. With
// -dynamics the translate and rotate curves of a body's transform (or of the group above
// a fracture body's members) are parked on the node's key attributes `keysTX`..`keysRZ`,
// so that the solver drives the transform; -animation puts them back. For a fracture
// body the members' active state is switched with them. Not undoable.
class dResumeCmd : public MPxCommand {
public:
    static void* creator();
    static MSyntax newSyntax();

    MStatus doIt(const MArgList& args) override;
    bool isUndoable() const override { return false; }

private:
    // Which way the curves go between a transform's channels and a node's key attributes.
    enum class Move { park, restore };

    // The six channel pairs of the transform, queued on the modifier and executed.
    void moveCurves(const MObject& transform, const MObject& keysNode, Move move);
    // One pair: the channel's curve onto the key attribute (whose old input goes);
    // false when the channel has no curve.
    bool park(const MPlug& channel, const MPlug& key);
    // One pair: the key attribute's curve back onto the channel, unless the channel has
    // gained an input meanwhile (the curve is then only let go).
    void restore(const MPlug& channel, const MPlug& key);

    MStatus switchBody(const MString& name, bool dynamics, bool animation);
    void switchFractureBody(const MString& name, bool dynamics, bool animation);

    std::unique_ptr<MArgDatabase> args_;
    std::unique_ptr<MDagModifier> modifier_;
};

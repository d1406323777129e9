#pragma once

#include <memory>

#include "host/api/argDatabase.h"
#include "host/api/pxCommand.h"
#include "host/api/selectionList.h"
#include "src/commandBase.h"

// Small commands the user-interface script calls.

// `dComputeRotDist`: whether two XYZ Euler rotations (radians; a flag left out is 0)
// are equivalent within a tolerance. Not undoable.
class ComputeRotDistCmd : public MPxCommand {
public:
    static void* creator();
    static MSyntax newSyntax();
    MStatus doIt(const MArgList& args) override;
    bool isUndoable() const override { return false; }

private:
    std::unique_ptr<MArgDatabase> argData_;
};

// `zylConnectForceFields`: wires force fields to the `fieldList` of bodies. With
// -connect, the given fields replace those of the fracture body named by -fbodyName
// or else the rigid body named by -bodyName; -connectAll adds one field, by name, to
// every body of the solver that is affected by force fields.
class connectForceFieldsCmd : public ZylCommandBase {
public:
    static void* creator();
    static MSyntax newSyntax();
    MStatus redoIt() override;

private:
    // Replaces the connections of `fieldList` with the command's force fields, in order.
    void connectFieldsTo(const MPlug& fieldList);
    // Adds the field after the elements of each listed body's `fieldList`, where the
    // body's `affectForceFields` is on.
    void connectToAffected(const MPlug& bodies, const MPlug& field);
    // Connects and executes at once; false when the host refuses.
    bool connectNow(const MPlug& source, const MPlug& destination);
};

// `deleteUserNode`: deletes the given nodes (or the selected ones). Not undoable.
class deleteUserNodeCmd : public MPxCommand {
public:
    static void* creator();
    static MSyntax newSyntax();
    MStatus doIt(const MArgList& args) override;
    bool isUndoable() const override { return false; }

private:
    std::unique_ptr<MArgDatabase> argData_;
    MSelectionList selection_;
};

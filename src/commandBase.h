#pragma once

#include <climits>
#include <memory>

#include "host/api/argDatabase.h"
#include "host/api/dagModifier.h"
#include "host/api/dgModifier.h"
#include "host/api/pxCommand.h"
#include "host/api/selectionList.h"
#include "host/api/syntax.h"

// A syntax that takes objects, or else the active selection (minObjects to maxObjects
// of them), in neither query nor edit mode; the command adds its flags.
MSyntax objectsSyntax(unsigned minObjects = 0, unsigned maxObjects = UINT_MAX);

// value := the flag's first argument when the flag is set; whether it is.
template <class T>
bool readFlag(const MArgDatabase& args, const char* flag, T& value) {
    if (!args.isFlagSet(flag)) return false;
    args.getFlagArgument(flag, 0, value);
    return true;
}

// The shape of the module's undoable editing commands: doIt parses the arguments
// against the command's syntax and runs redoIt; every edit goes through one modifier
// (a DAG or a graph one) made on first use, which undo reverts and drops, so that a
// later redo starts a fresh one. Edits made outside the modifier stay.
template <class Modifier>
class ZylEditCommand : public MPxCommand {
public:
    // A parse failure is returned as it is; otherwise redoIt's status.
    MStatus doIt(const MArgList& argList) override {
        MStatus status;
        argData_ = std::make_unique<MArgDatabase>(syntax(), argList, &status);
        if (!status) return status;
        return redoIt();
    }
    MStatus undoIt() override {
        revertEdits();
        return MS::kSuccess;
    }
    bool isUndoable() const override { return true; }
    bool hasSyntax() const override { return true; }

protected:
    const MArgDatabase& args() const { return *argData_; }
    // The modifier, made when first asked for.
    Modifier& modifier() {
        if (!modifier_) modifier_ = std::make_unique<Modifier>();
        return *modifier_;
    }
    void revertEdits() {
        if (!modifier_) return;
        modifier_->undoIt();
        modifier_.reset();
    }
    // selection_ := the objects given, or else the active selection; with none it says
    // so and answers false.
    bool takeSelection() {
        selection_.clear();
        args().getObjects(selection_);
        if (selection_.length() > 0) return true;
        invalidSelection();
        return false;
    }
    static MStatus invalidSelection() {
        displayError("invalid selection");
        return MS::kFailure;
    }

    MSelectionList selection_;  // the objects the command was given

private:
    std::unique_ptr<MArgDatabase> argData_;
    std::unique_ptr<Modifier> modifier_;
};

// Most scene-editing commands: DAG edits, and undo first puts back the selection the
// command worked on.
class ZylCommandBase : public ZylEditCommand<MDagModifier> {
public:
    // The stored selection becomes the active one (replacing it), then the modifier's
    // work is reverted.
    MStatus undoIt() override;

protected:
    // Bodies are built at the start of the play range, where animated and simulated
    // objects rest: when the time is elsewhere and a selected object (or a parent) is
    // animated or carries a rigid body, the time moves there, with a warning.
    void moveToStartForMovingSelection() const;
};

#pragma once

#include "host/api/argDatabase.h"
#include "host/api/pxCommand.h"
#include "host/api/selectionList.h"

class zylSolverNode;

// Small commands the user-interface script asks about bodies. Each takes its objects, or
// else the active selection, and none is undoable. The two that need the solver find it
// only under its default name, "zylSolverNode1".

// `ManageZylListCmd -additems b`: the selected rigid bodies join the engine world (true)
// or leave it (false, the default); each change drops the solver's cached play-back.
class ManageZylListCmd : public MPxCommand {
public:
    static void* creator();
    static MSyntax newSyntax();
    MStatus doIt(const MArgList& args) override;

private:
    MSelectionList objects_;
};

// `queryZylBody`: the first of these flags that is set decides what is asked.
//   -collisionList    names of the engine bodies the selected bodies were reported
//                     colliding with, gathered into one string array (no result when none)
//   -collisionPoints  the reported contact points of the first two objects, x y z each
//   -isTransition     always false
//   -isMassNegative   whether a selected body's mesh has no positive volume
class queryZylBodyCmd : public MPxCommand {
public:
    static void* creator();
    static MSyntax newSyntax();
    MStatus doIt(const MArgList& args) override;

private:
    MStatus collisionList();
    MStatus collisionPoints();
    void isMassNegative();

    MSelectionList objects_;
    MArgDatabase args_;
    zylSolverNode* solver_ = nullptr;
};

// `queryZylFBody -getTransformNodes`: the names of the transforms of a fracture body's
// members, its own members first, then each cluster's.
class queryZylFBodyCmd : public MPxCommand {
public:
    static void* creator();
    static MSyntax newSyntax();
    MStatus doIt(const MArgList& args) override;

private:
    MSelectionList objects_;
    MArgDatabase args_;
};

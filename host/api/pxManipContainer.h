#pragma once

#include "host/api/dagPath.h"
#include "host/api/pxNode.h"
#include "host/api/typeId.h"
#include "host/api/view3d.h"

// Base of module manipulator containers. A container type is registered like a
// node type (kind kManipContainer, initialize = MPxManipContainer::initialize) under
// the name of the node type it serves followed by "Manip". showManip makes one
// for a node: createChildren, then connectToDependNode. The host owns it and
// destroys it when the node is deleted, when another container is shown, and
// before its module is unloaded.
class MPxManipContainer : public MPxNode {
public:
    Type type() const override { return kManipContainer; }

    // A container type's initialize: there is nothing to add.
    static MStatus initialize();

    virtual MStatus createChildren();
    // Remembers the node; a null node fails. Call after finishAddingManips.
    virtual MStatus connectToDependNode(const MObject& node);
    // Drawn by the view before the host draws the visible triads.
    virtual void draw(M3dView& view, const MDagPath& path, M3dView::DisplayStyle style,
                      M3dView::DisplayStatus status);
    // Called when a manipulator move ends.
    virtual MStatus doRelease();

    // A free-point triad child; its path goes to MFnFreePointTriadManip.
    MDagPath addFreePointTriadManip(const MString& manipName, const MString& pointName);
    MStatus finishAddingManips();

    // The node type gets containers from showManip: its type name + "Manip".
    static MStatus addToManipConnectTable(const MTypeId& nodeType);
    static MStatus removeFromManipConnectTable(const MTypeId& nodeType);

    // Host side.
    bool finished() const { return finished_; }
    MObject connectedNode() const { return node_; }

private:
    bool finished_ = false;
    MObject node_;
};

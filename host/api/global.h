#pragma once

#include "host/api/arrays.h"
#include "host/api/object.h"
#include "host/api/selectionList.h"
#include "host/api/selectionMask.h"
#include "host/api/status.h"
#include "host/api/text.h"

// Host-wide services: running MEL, user messages, selection, node deletion.
class MGlobal {
public:
    enum MSelectionMode { kSelectionMode = 0, kSelectObjectMode = 0, kSelectComponentMode = 1 };
    // Picking is by box centres either way.
    enum MSelectionMethod { kSurfaceSelectMethod = 0, kWireframeSelectMethod = 1 };
    enum ListAdjustment { kReplaceList = 0, kXORWithList, kAddToList, kRemoveFromList, kAddToHeadOfList };

    // Runs MEL at once. Not shown and not undoable unless asked; an undoable
    // command run this way still never enters the undo queue unless `undoEnabled`.
    static MStatus executeCommand(const MString& command, bool displayEnabled = false, bool undoEnabled = false);
    static MStatus executeCommand(const MString& command, int& result, bool displayEnabled = false,
                                  bool undoEnabled = false);
    static MStatus executeCommand(const MString& command, double& result, bool displayEnabled = false,
                                  bool undoEnabled = false);
    static MStatus executeCommand(const MString& command, MString& result, bool displayEnabled = false,
                                  bool undoEnabled = false);
    static MStatus executeCommand(const MString& command, MIntArray& result, bool displayEnabled = false,
                                  bool undoEnabled = false);
    static MStatus executeCommand(const MString& command, MDoubleArray& result, bool displayEnabled = false,
                                  bool undoEnabled = false);
    static MStatus executeCommand(const MString& command, MStringArray& result, bool displayEnabled = false,
                                  bool undoEnabled = false);
    // Queues MEL for when the host is idle.
    static MStatus executeCommandOnIdle(const MString& command, bool displayEnabled = false);

    static void displayInfo(const MString& text);
    static void displayWarning(const MString& text);
    static void displayError(const MString& text);

    // Deletes at once (not undoable).
    static MStatus deleteNode(const MObject& node);

    static MStatus getActiveSelectionList(MSelectionList& out);
    static MStatus setActiveSelectionList(const MSelectionList& list, ListAdjustment mode = kReplaceList);
    static MStatus getSelectionListByName(const MString& name, MSelectionList& out);
    static MSelectionMode selectionMode(MStatus* status = nullptr);
    static MStatus setSelectionMode(MSelectionMode mode);
    static MSelectionMask objectSelectionMask(MStatus* status = nullptr);
    static MStatus setObjectSelectionMask(const MSelectionMask& mask);
    static MSelectionMask componentSelectionMask(MStatus* status = nullptr);
    static MStatus setComponentSelectionMask(const MSelectionMask& mask);
    // Selects the transforms whose visible shapes' world-box centres project inside
    // the rectangle of view pixels (origin bottom left, top > bottom). A rectangle
    // of zero size picks the nearest centre within 4 pixels, or nothing.
    static MStatus selectFromScreen(short left, short top, short right, short bottom,
                                    ListAdjustment mode = kReplaceList,
                                    MSelectionMethod method = kWireframeSelectMethod);
};

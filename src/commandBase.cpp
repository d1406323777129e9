#include "src/commandBase.h"

#include "host/api/animControl.h"
#include "host/api/global.h"
#include "src/sceneUtils.h"

namespace {

// Whether a transform at or above the path carries a rigid body, which the solver moves
// off the start frame.
bool movedBySolver(MDagPath path) {
    for (; path.isValid() && path.length() > 0; path.pop()) {
        MObject body;
        if (path.hasFn(MFn::kTransform) && findZylRigidBodyChild(path.node(), body)) return true;
    }
    return false;
}

// Whether any selected object moves, by animation or by the solver, its parents included.
bool anyMoving(const MSelectionList& list) {
    for (unsigned i = 0; i < list.length(); ++i) {
        MDagPath path;
        if (list.getDagPath(i, path) && path.isValid()) {
            if (MAnimUtil::isAnimated(path, true) || movedBySolver(path)) return true;
        } else if (MObject node; list.getDependNode(i, node) && MAnimUtil::isAnimated(node, true)) {
            return true;
        }
    }
    return false;
}

}  // namespace

MSyntax objectsSyntax(unsigned minObjects, unsigned maxObjects) {
    MSyntax syntax;
    syntax.setObjectType(MSyntax::kSelectionList, minObjects, maxObjects);
    syntax.useSelectionAsDefault(true);
    syntax.enableQuery(false);
    syntax.enableEdit(false);
    return syntax;
}

MStatus ZylCommandBase::undoIt() {
    MGlobal::setActiveSelectionList(selection_, MGlobal::kReplaceList);
    revertEdits();
    return MS::kSuccess;
}

void ZylCommandBase::moveToStartForMovingSelection() const {
    // Off the start frame such an object stands where a run put it, not where the scene
    // keeps it: a body or cracker made from it must start from the stored pose.
    if (MAnimControl::currentTime() == MAnimControl::minTime() || !anyMoving(selection_)) return;
    MAnimControl::setCurrentTime(MAnimControl::minTime());
    displayWarning(" time set to start frame becouse animated object selected");
}

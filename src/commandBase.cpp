#include "src/commandBase.h"

#include "host/api/animControl.h"
#include "host/api/global.h"

namespace {

// Whether any selected object moves by animation, its parents included.
bool anyAnimated(const MSelectionList& list) {
    for (unsigned i = 0; i < list.length(); ++i) {
        MDagPath path;
        if (list.getDagPath(i, path) && path.isValid()) {
            if (MAnimUtil::isAnimated(path, true)) return true;
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

void ZylCommandBase::moveToStartForAnimatedSelection() const {
    if (MAnimControl::currentTime() == MAnimControl::minTime() || !anyAnimated(selection_)) return;
    MAnimControl::setCurrentTime(MAnimControl::minTime());
    displayWarning(" time set to start frame becouse animated object selected");
}

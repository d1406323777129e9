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

MStatus ZylCommandBase::doIt(const MArgList& argList) {
    MStatus status;
    argData_ = std::make_unique<MArgDatabase>(syntax(), argList, &status);
    if (!status) return status;
    return redoIt();
}

MStatus ZylCommandBase::undoIt() {
    MGlobal::setActiveSelectionList(selection_, MGlobal::kReplaceList);
    if (modifier_) {
        modifier_->undoIt();
        modifier_.reset();
    }
    return MS::kSuccess;
}

MDagModifier& ZylCommandBase::modifier() {
    if (!modifier_) modifier_ = std::make_unique<MDagModifier>();
    return *modifier_;
}

void ZylCommandBase::moveToStartForAnimatedSelection() const {
    if (MAnimControl::currentTime() == MAnimControl::minTime() || !anyAnimated(selection_)) return;
    MAnimControl::setCurrentTime(MAnimControl::minTime());
    displayWarning(" time set to start frame becouse animated object selected");
}

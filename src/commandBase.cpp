#include "src/commandBase.h"

#include "host/api/global.h"

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

#pragma once

#include <memory>

#include "host/api/dgModifier.h"
#include "src/commandBase.h"

// `zylFractureBody`: binds two or more selected rigid bodies into one fracture body (a
// new fBodyNode whose stress nodes stand for the joints found between them), settles
// its passive and first-hit state from the ground and from animation, and answers the
// node's name. With -check it only reports bodies without volume. Not undoable: the
// build reaches far beyond what a modifier can take back.
class FractureBodyCmd : public ZylCommandBase {
public:
    static void* creator();
    static MSyntax newSyntax();
    MStatus redoIt() override;
    bool isUndoable() const override { return false; }

private:
    MDGModifier& graphModifier();

    std::unique_ptr<MDGModifier> modifier_;
};

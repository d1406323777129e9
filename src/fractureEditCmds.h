#pragma once

#include <optional>
#include <vector>

#include "src/commandBase.h"
#include "src/fractureBodyLinks.h"

class FractureBodyNode;
class rigidBodyNode;

// The commands that edit fracture bodies after zylFractureBody made them. Each works on
// its objects or else the active selection, and refuses an empty one.

// `update_dFBody`:
//   -stressesMap         recolours the selected fracture bodies' stresses
//   -staticFrags v       makes the selected fragments static (or dynamic again); the
//                        joints leading out of the selection become weak (or get half
//                        the threshold back)
//   neither              the selected fracture bodies take their members' edited meshes
// Its edits stay on undo.
class FBodyUpdateCmd : public ZylCommandBase {
public:
    static void* creator();
    static MSyntax newSyntax();
    MStatus redoIt() override;
    MStatus undoIt() override { return MS::kSuccess; }

private:
    void recolour();
    void setStaticFragments(bool makeStatic);
    void refreshMembers();
};

// `deleteZylFBody [-deleteBodies]`: dissolves the selected fracture bodies; their members
// become free bodies again (a member waiting for its first hit starts passive), or with
// -deleteBodies are deleted. Every solver is reset first. Its edits stay on undo.
class FBodyDeleteCmd : public ZylCommandBase {
public:
    static void* creator();
    static MSyntax newSyntax();
    MStatus redoIt() override;
    MStatus undoIt() override { return MS::kSuccess; }

private:
    void dissolve(FractureBodyNode& fb, bool deleteBodies);
};

// The detach and stress commands: graph edits, undone without touching the selection.
class FBodyTwinCmd : public ZylEditCommand<MDGModifier> {
protected:
    // The selected rigid body's fracture body, when the first selected object is one.
    FractureBodyNode* firstMemberOwner(rigidBodyNode** member = nullptr) const;
};

// `Detach_FBody`: takes the selected fragments out of their fracture body: one fragment,
// or fragments that are all static, each on its own; several others together, as a new
// fracture body named after the old one with "1" appended. Fragments that share no joint
// cannot form one: the command then fails and changes nothing. Undo puts every fragment
// back into the old fracture body, with its joints.
class FBodyDetachCmd : public FBodyTwinCmd {
public:
    static void* creator();
    static MSyntax newSyntax();
    MStatus redoIt() override;
    MStatus undoIt() override;

private:
    MStatus detachAsNewBody(FractureBodyNode& source, const std::vector<rigidBodyNode*>& members);
    // The new fracture body (if any) goes and the old one takes its fragments back.
    void takeBack();

    std::optional<FractureBodyLinks> before_;  // the old fracture body as it was
    MObject created_;                          // the new one
};

// `fBody_selStresses`, always answering a string array:
//   -resetAll / -setToMass   every stress of the selected fracture body back to its
//                            threshold / scaled by the masses it ties
//   -getLastBroken           the joints broken since the last call
//   otherwise                joint names of the selected fragments: one fragment's all;
//                            several: -type 0 the joints between them, -type 1 those
//                            leading out of the selection
class FBodyStressesCmd : public FBodyTwinCmd {
public:
    static void* creator();
    static MSyntax newSyntax();
    MStatus redoIt() override;

private:
    MStatus editFractureBody();
    MStatus listJoints();
};

#pragma once

#include <memory>
#include <vector>

#include "host/api/argDatabase.h"
#include "host/api/dagPath.h"
#include "host/api/dgModifier.h"
#include "host/api/pxCommand.h"
#include "host/api/selectionList.h"
#include "host/api/syntax.h"
#include "src/commandBase.h"

class FractureBodyNode;

// `zylCluster`: with -assign, groups the selected fragments of one fracture body into
// a new cluster node, which takes over their member links and the stress nodes around
// (outer) and inside (inner) the group and gives them its own threshold; with -remove,
// hands the selected clusters' links back to their fracture body and deletes them.
// Every run first resets the simulation. Not undoable: the graph edits stay.
class zylClusterCmd : public MPxCommand {
public:
    static void* creator();
    static MSyntax newSyntax();
    MStatus doIt(const MArgList& args) override;
    bool isUndoable() const override { return false; }
    bool hasSyntax() const override { return true; }

private:
    MDGModifier& modifier();
    // The modifier's queued edit runs at once.
    void execute();
    MStatus assign(const MString& name);
    void remove();
    // Moves the destination `to` of plug `from` to plug `onto`.
    void moveConnection(const MPlug& from, const MPlug& onto, const MPlug& to);

    MSelectionList selection_;
    std::unique_ptr<MDGModifier> modifier_;
};

// `zylCracker`: makes each selected polygon mesh a cracker of the scene's solver: a
// zylCracker locator under the mesh's transform with a collision shape of type
// "Cracker" fed by the mesh. Undo removes what it made and puts the selection back.
class zylCrackerCmd : public ZylCommandBase {
public:
    static void* creator();
    // -diameter and -new are accepted and not read.
    static MSyntax newSyntax();
    MStatus redoIt() override;

private:
    // The cracker of one mesh; its name becomes the result.
    void createCracker(const MDagPath& mesh, const MObject& solver);
};

#pragma once

#include "host/api/argList.h"
#include "host/api/object.h"
#include "host/api/status.h"
#include "src/modifiers/modifierCmd.h"

// Puts a zylMeshOpNode into a mesh's history, or, for a mesh without history while
// history recording is off, subdivides the mesh in place. Not registered with the host:
// the jagginess command drives an object of it; doIt, redoIt and undoIt serve a
// registration that does not happen.
class tesselateFacesCmd : public zylModifierCmd {
public:
    tesselateFacesCmd();
    ~tesselateFacesCmd() override = default;

    MStatus doIt(const MArgList& args) override;
    MStatus undoIt() override;
    MStatus redoIt() override;
    bool isUndoable() const override { return true; }

    MStatus setupModifierNode(MObject node) override;
    MStatus modifyMeshDirectly(MObject mesh) override;

    static void* creator();

private:
    // Component-list data: empty unless doIt found selected faces.
    MObject componentList_;
};

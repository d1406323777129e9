#pragma once

#include "host/api/dagPath.h"
#include "host/api/syntax.h"
#include "src/commandBase.h"

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

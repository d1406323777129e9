#pragma once

#include <memory>

#include "host/api/argDatabase.h"
#include "host/api/argList.h"
#include "host/api/arrays.h"
#include "host/api/dagModifier.h"
#include "host/api/dagPath.h"
#include "host/api/fnNurbsCurve.h"
#include "host/api/object.h"
#include "host/api/pxCommand.h"
#include "host/api/selectionList.h"
#include "host/api/status.h"
#include "host/api/syntax.h"
#include "host/api/text.h"
#include "host/api/timer.h"
#include "src/shatter/voronoiNode.h"

class ShatterLocatorNode;

// zylShatter: breaks each selected polygon mesh into Voronoi shards. Seeds come from a
// seed pattern, or from the shatter preview under the mesh's transform; the source is
// hidden, the shards grouped with a history node that keeps the seeds. -undoLast cuts
// a mesh again with the seeds its history kept from the shatter before the last one.
class shatterCmd : public MPxCommand {
public:
    shatterCmd();
    ~shatterCmd() override;

    static void* creator();
    static MSyntax newSyntax();

    MStatus doIt(const MArgList& args) override;
    MStatus redoIt() override;
    MStatus undoIt() override;
    bool isUndoable() const override { return true; }
    bool hasSyntax() const override { return true; }

    // One mesh cut into one shard per Voronoi cell of its seeds: from the record's
    // points when it has any, else `count` seeds of the record's pattern. Shard names
    // are appended to `names`; the history node is made unless cancelled.
    MStatus cutMeshIntoCells(const MDagPath& shapePath, unsigned count, unsigned seed, const MFnNurbsCurve* curve,
                             bool newMaterial, ShatterSeedSet& record, MStringArray& names);

private:
    struct Flags;

    Flags readFlags();
    void makeCutMaterial();
    MStatus reshatterLast(const MDagPath& meshPath);
    // Deletes the objects made since the first `first` created objects and forgets them.
    void removeCreatedSince(unsigned first);
    // The group command for the shards of a shatter of `transformPath`, run on idle.
    void groupShards(const MDagPath& transformPath, bool animated, const MStringArray& names) const;

    std::unique_ptr<MArgDatabase> argDatabase_;
    std::unique_ptr<MDagModifier> modifier_;
    MSelectionList pathSelection_;
    MStringArray hiddenNames_;
    MObjectArray createdObjects_;
    MObject historyNode_;
    MString cutMaterialName_;
    MTimer timer_;
    MStringArray uvSetNames_;
    int numCenters_ = 1;
    int minRings_ = 0;
    int maxRings_ = 0;
    int numRings_ = 0;
    double width_ = 0.0;
    double noise_ = 0.0;
    double minNoise_ = 0.0;
    double maxNoise_ = 0.0;
    int deleteSource_ = 0;
    // The preview locator of the last object, held by handle: the user may delete it.
    MObject previewLocator_;
    MObject existingHistory_;
    // The last cut failed with an error of its own about the mesh (too thin, seeds that
    // are no numbers, shards unsound or not made), which makes the whole command fail.
    bool reportedError_ = false;
};

// The MEL that prints a run's time: " \n print " + the time as
// "shatter time H::M::S.SS" in double quotes after one blank + a line end.
MString shatterTimeCommand(double seconds);

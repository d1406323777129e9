#pragma once

#include <vector>

#include "host/api/hostTime.h"
#include "host/api/pxNode.h"
#include "host/api/timer.h"
#include "math/qmtVector3.h"
#include "src/runMotion.h"
#include "src/typeIds.h"

class FractureBodyNode;
class HardBody;
class rigidBodyNode;
class zylCrackerNode;

// Set by the solver's `displaySelected`: whether bodies and crackers draw only when
// selected. True at load.
inline bool displaySelected = true;

// The nodes wired to a solver, gathered anew from its message plugs for each use and
// identified by type id; other nodes there are left out.
struct SolverNodeLists {
    std::vector<rigidBodyNode*> rigidBodies;
    std::vector<zylCrackerNode*> crackers;
    std::vector<FractureBodyNode*> fractureBodies;
};

// The scene's one solver: it owns the engine world and advances it with the time line.
// Bodies follow its `solver` plug to it for their mass scaling and to drop cached
// play-back when they change. Its `rigidBodies` output, which every body pulls, runs
// one frame of the simulation each time the host's time changes.
class zylSolverNode : public MPxNode {
public:
    static constexpr MTypeId id = zylTypes::kSolver;

    static MObject version;
    static MObject inTime;
    static MObject startTime;
    static MObject startFrame;
    static MObject rigidBodies;
    static MObject fractureBodies;
    static MObject crackers;
    static MObject gravity;
    static MObject substeps;
    static MObject fitUnitsToMayaScale;
    static MObject gravityEnabled;
    static MObject useGroundGrid;
    static MObject ca_solverParams;
    static MObject numThreads;
    static MObject ca_numThreads;
    static MObject ca_indexFbodies;
    static MObject displaySelected;
    static MObject ca_displaySelected;
    static MObject cacheSize;
    static MObject ca_cacheSize;
    static MObject cachedMode;
    static MObject cacheActive;

    // Replaces any world by a new one with its ground plane (kept out of the world
    // until `useGroundGrid` asks for it).
    zylSolverNode();
    ~zylSolverNode() override;
    zylSolverNode(const zylSolverNode&) = delete;
    zylSolverNode& operator=(const zylSolverNode&) = delete;

    static void* creator();
    static MStatus initialize();
    void postConstructor() override;
    MStatus compute(const MPlug& plug, MDataBlock& data) override;
    bool setInternalValueInContext(const MPlug& plug, const MDataHandle& handle, MDGContext& ctx) override;
    MStatus setDependentsDirty(const MPlug& plug, MPlugArray& affected) override;

    // The frames a body's cache is given: `cacheSize`, but never more than a run through
    // the play range stores.
    int cacheFrames() const;
    // Tells the user that frame caches of that many frames could not be had.
    static void reportCacheFailure(int frames);
    // Whether masses and gravity are fitted to the host's unit scale.
    bool getFitUnits();
    // Leaves cached play-back, warning when it was on: the cached frames no longer
    // match the scene.
    void disableCachedMode();
    // Files a rigid-body node's body in the world, or takes it out; false without a
    // world or a body.
    bool addBodyToWorld(const MObject& node);
    bool removeBodyFromWorld(const MObject& node);
    // The collision report: the bodies colliding with one body (count; `index` gets the
    // world's shared array) and the contact points of two bodies; 0 without a world
    // or a body.
    int queryCollisionCount(const MObject& bodyNode, HardBody**& index);
    int queryCollisionPair(const MObject& bodyNode, const MObject& otherNode, Qmt::QmtVector3*& index);
    void setCollisionReporting(bool on);
    void clearCollisionReport();
    // The ground plane (the barrier body "groundGrid"), in the world or not; may be null.
    HardBody* getGroundPlane() const { return groundPlane; }
    // Rebuilds the engine objects of a scene just read from a file.
    void refreshAfterLoad();
    // Deletes the wired nodes, the ground plane and the world. Runs once: at exit and
    // again when the host deletes the node, only the first call acts.
    void teardown();

    // ---- The frame routine.

    SolverNodeLists gatherNodeLists() const;
    // One run of the frame routine at the data block's `inTime`.
    void advanceFrame(const MPlug& plug, MDataBlock& data);
    // The world and every wired node back to the start state.
    void resetSimulation(const SolverNodeLists& nodes);
    // Settings set on the bodies, crackers and fracture bodies and not taken yet reach
    // the engine, and fracture bodies that lost members are built anew, as a saved scene
    // brings them back. Before a run starts and before the scene is saved.
    void takePendingChanges(const SolverNodeLists& nodes);
    // Transforms of free bodies that a user moved while the scene showed the start
    // become their rest, with the bodies built there, as a scene saved then has them.
    void adoptMovedTransforms(const SolverNodeLists& nodes);
    // Set while an opened scene is brought to life: its rebuild takes every setting.
    bool rebuildingScene = false;
    // Rest poses, start velocities and first cache frames of a run starting at `time`.
    void startSimulation(const SolverNodeLists& nodes, const MTime& time, int substepCount);
    // One frame's advance up to t in substepCount substeps of dt seconds.
    void stepFrame(const SolverNodeLists& nodes, const MTime& t, int substepCount, double dt);
    // Host force fields on the bodies that take them, inside one substep.
    void applyForceFields(const SolverNodeLists& nodes, int frame, double dt);

private:
    void applySolverParams(MDataBlock& data);
    void resizeCaches(MDataBlock& data);
    void startAtMinTime(const SolverNodeLists& nodes, const MTime& tmin, int substepCount, bool cached);
    // Leaving the start frame for the run: what changed since the start pass (made
    // there, or a scene built there since) is taken, and the start pass made again.
    void leaveStart(const SolverNodeLists& nodes, const MTime& t, int substepCount);
    // Takes the changes made since the last run start; true when cached play-back may go
    // on (it is on, and nothing that shapes the run changed or is animated).
    bool cachedRunHolds(const SolverNodeLists& nodes);
    void finishRun(bool cacheActiveOn);
    bool cachedStartInvalidated(const SolverNodeLists& nodes) const;

    friend void releaseAllModuleBodies(const zylSolverNode* except);

    HardBody* groundPlane = nullptr;  // owned
    MTime lastTime{0.0};
    MTime lastSimulatedTime{0.0};
    MTimer simulationTimer;
    int cacheCapacity = 0;
    // The animation that moved the crackers and animated bodies through the last run.
    RunMotion runMotion_;
    // A change reached the scene since the last run start: the next run starts anew.
    bool startDue_ = true;
    // The bodies show the start state (nothing ran or played since the start frame):
    // a transform standing off its rest was moved by the user.
    bool showsStart_ = true;
    // Set while a run's start takes a new cache size: the caches are made anew.
    bool renewingCaches_ = false;
    bool tornDown_ = false;
};

// Ahead of destroying the world: every fBodyNode deletes its engine fracture body and
// joints (its stress nodes forget them), then every zylRigidBody and zylCracker node
// deletes its engine body (it is built again on its next read) and every other solver's
// ground plane leaves the world, so that no node is left pointing into the deleted world.
void releaseAllModuleBodies(const zylSolverNode* except = nullptr);

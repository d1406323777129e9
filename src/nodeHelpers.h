#pragma once

#include <vector>

#include "host/api/dataBlock.h"
#include "host/api/fnAttribute.h"
#include "host/api/fnDependencyNode.h"
#include "host/api/object.h"
#include "host/api/plug.h"
#include "host/api/status.h"
#include "host/api/text.h"
#include "host/api/typeId.h"

// Small services shared by the module's nodes, commands and callbacks.

// --- Attributes: the node types' initialisers make theirs through these.

// Property switches, each applied only where it departs from the host's default for
// the attribute's kind (readable, writable, connectable, not keyable, not hidden;
// storable, but for messages).
enum AttrProps : unsigned {
    kKeyable = 1,
    kNotKeyable = 2,
    kHidden = 4,
    kNotStorable = 8,
    kNotConnectable = 16,
    kStorable = 32,
};
// State a node keeps to itself.
inline constexpr unsigned kInternal = kHidden | kNotStorable | kNotConnectable;

// Applies the switches and adds the attribute to the node type being initialised.
MStatus addWithProps(MFnAttribute& fn, const MObject& attr, unsigned props);
// Attributes made and added that way; `status` gets the add's.
MObject addNumericAttr(const char* longName, const char* shortName, MFnNumericData::Type type, double value,
                       unsigned props = 0, MStatus* status = nullptr);
// A numeric attribute with a minimum and a maximum.
MObject addRangedAttr(const char* longName, const char* shortName, MFnNumericData::Type type, double value,
                      double low, double high, unsigned props = 0);
MObject addPointAttr(const char* longName, const char* shortName, unsigned props = 0);
MObject addMessageAttr(const char* longName, const char* shortName, unsigned props = 0, bool array = false,
                       MStatus* status = nullptr);
MObject addUnitAttr(const char* longName, const char* shortName, MFnUnitAttribute::Type type, double value,
                    unsigned props = 0, MStatus* status = nullptr);
MObject addTypedAttr(const char* longName, const char* shortName, MFnData::Type type, unsigned props = 0);

// --- Change flags: hidden bool outputs whose compute pushes an input into the engine.

// Creates a change flag (bool, false, hidden, not storable, not keyable, not
// connectable) and adds it to the node type being initialised.
MObject addChangeFlag(const MString& longName, const MString& shortName, MStatus* status = nullptr);
// The same, but connectable (a flag that other nodes read through a connection).
MObject addConnectableChangeFlag(const MString& longName, const MString& shortName, MStatus* status = nullptr);
// Ends a change flag's compute: the output holds true and is clean.
void markFlagDone(MDataBlock& data, const MPlug& plug);

// --- Wiring: nodes find each other by the first connection of a plug.

// Which end of the plug's connections to follow: its sources, its destinations, or both
// (in the order the connections were made).
enum class ConnectionSide { source, destination, either };

// The plug at the other end of the first such connection, or a null plug.
MPlug firstConnectedPlug(const MPlug& plug, ConnectionSide side = ConnectionSide::either);
// Its node, or a null object.
MObject firstConnectedNode(const MPlug& plug, ConnectionSide side = ConnectionSide::either);
// The plugs at the other ends of all such connections, in order (none for a null plug),
// and their nodes.
std::vector<MPlug> connectedPlugs(const MPlug& plug, ConnectionSide side = ConnectionSide::either);
std::vector<MObject> connectedNodes(const MPlug& plug, ConnectionSide side = ConnectionSide::either);

// Whether obj is a live node of the type.
bool hasTypeId(const MObject& obj, const MTypeId& id);

// The module's object of a node, when the node's type id is `id` (tested before the
// object is touched) and the object is a T; else null.
template <class T>
T* userNodeAs(const MObject& obj, const MTypeId& id) {
    if (!hasTypeId(obj, id)) return nullptr;
    return dynamic_cast<T*>(MFnDependencyNode(obj).userNode());
}

// A module object held by a weak handle to its node: the object while it is still that
// node's, else null (the node was deleted, or is waiting in an undo's limbo).
template <class T>
T* liveUserNode(const MObject& handle, T* object) {
    return object && MFnDependencyNode(handle).userNode() == object ? object : nullptr;
}

// The module's objects among the nodes connected to the plug.
template <class T>
std::vector<T*> connectedUserNodes(const MPlug& plug, const MTypeId& id, ConnectionSide side = ConnectionSide::either) {
    std::vector<T*> out;
    for (const MObject& node : connectedNodes(plug, side))
        if (T* user = userNodeAs<T>(node, id)) out.push_back(user);
    return out;
}

// Whether obj is one of the host's force fields (the field kinds and the volume-axis field).
bool isForceField(const MObject& obj);

// --- The solver.

// The first plug-in dependency node with the solver's type id, in creation order.
MObject findFirstSolver();
// The last one.
MObject findLastSolver();
// The node of that name, when it is a solver.
MObject findSolverByName(const MString& name = "zylSolverNode1");
// The first node connected to obj's "solver" plug, when it is a solver.
MObject solverOf(const MObject& obj);

// --- Locks.

// Unlocks a locked node for the life of the object and locks it again after.
class ScopedNodeUnlock {
public:
    explicit ScopedNodeUnlock(const MObject& node);
    ~ScopedNodeUnlock();
    ScopedNodeUnlock(const ScopedNodeUnlock&) = delete;
    ScopedNodeUnlock& operator=(const ScopedNodeUnlock&) = delete;

    bool wasLocked() const { return wasLocked_; }

private:
    MObject node_;
    bool wasLocked_ = false;
};

// --- Reports of failed host calls; the caller goes on.

// Standard output: "maya error: " + the status's text + " while: " + description.
void printHostError(const MStatus& status, const MString& description);
// Standard error: "\nAPI error detected in " + file + " at line " + line, a line end,
// then status.perror(perrorText).
void printApiError(const MStatus& status, const MString& fileText, int line, const MString& perrorText = "");

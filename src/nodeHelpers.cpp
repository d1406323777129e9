#include "src/nodeHelpers.h"

#include <cstdio>

#include "host/api/fnAttribute.h"
#include "host/api/iterators.h"
#include "host/api/pxNode.h"
#include "host/api/selectionList.h"
#include "src/typeIds.h"

MStatus addWithProps(MFnAttribute& fn, const MObject& attr, unsigned props) {
    if (props & kKeyable) fn.setKeyable(true);
    if (props & kNotKeyable) fn.setKeyable(false);
    if (props & kHidden) fn.setHidden(true);
    if (props & kNotStorable) fn.setStorable(false);
    if (props & kStorable) fn.setStorable(true);
    if (props & kNotConnectable) fn.setConnectable(false);
    return MPxNode::addAttribute(attr);
}

namespace {

MObject added(MFnAttribute& fn, const MObject& attr, unsigned props, MStatus* status) {
    const MStatus st = addWithProps(fn, attr, props);
    if (status) *status = st;
    return attr;
}

MObject addFlag(const MString& longName, const MString& shortName, bool connectable, MStatus* status) {
    MFnNumericAttribute fn;
    MStatus st;
    MObject attr = fn.create(longName, shortName, MFnNumericData::kBoolean, 0, &st);
    if (st) {
        fn.setHidden(true);
        fn.setStorable(false);
        fn.setKeyable(false);
        fn.setConnectable(connectable);
        st = MPxNode::addAttribute(attr);
    }
    if (status) *status = st;
    return attr;
}

}  // namespace

MObject addNumericAttr(const char* longName, const char* shortName, MFnNumericData::Type type, double value,
                       unsigned props, MStatus* status) {
    MFnNumericAttribute fn;
    const MObject attr = fn.create(longName, shortName, type, value);
    return added(fn, attr, props, status);
}

MObject addRangedAttr(const char* longName, const char* shortName, MFnNumericData::Type type, double value,
                      double low, double high, unsigned props) {
    MFnNumericAttribute fn;
    const MObject attr = fn.create(longName, shortName, type, value);
    fn.setMin(low);
    fn.setMax(high);
    return added(fn, attr, props, nullptr);
}

MObject addPointAttr(const char* longName, const char* shortName, unsigned props) {
    MFnNumericAttribute fn;
    const MObject attr = fn.createPoint(longName, shortName);
    return added(fn, attr, props, nullptr);
}

MObject addMessageAttr(const char* longName, const char* shortName, unsigned props, bool array, MStatus* status) {
    MFnMessageAttribute fn;
    const MObject attr = fn.create(longName, shortName);
    if (array) fn.setArray(true);
    return added(fn, attr, props, status);
}

MObject addUnitAttr(const char* longName, const char* shortName, MFnUnitAttribute::Type type, double value,
                    unsigned props, MStatus* status) {
    MFnUnitAttribute fn;
    const MObject attr = fn.create(longName, shortName, type, value);
    return added(fn, attr, props, status);
}

MObject addTypedAttr(const char* longName, const char* shortName, MFnData::Type type, unsigned props) {
    MFnTypedAttribute fn;
    const MObject attr = fn.create(longName, shortName, type);
    return added(fn, attr, props, nullptr);
}

MObject addChangeFlag(const MString& longName, const MString& shortName, MStatus* status) {
    return addFlag(longName, shortName, false, status);
}

MObject addConnectableChangeFlag(const MString& longName, const MString& shortName, MStatus* status) {
    return addFlag(longName, shortName, true, status);
}

void markFlagDone(MDataBlock& data, const MPlug& plug) {
    data.outputValue(plug).setBool(true);
    data.setClean(plug);
}

MPlug firstConnectedPlug(const MPlug& plug, ConnectionSide side) {
    MPlugArray ends;
    plug.connectedTo(ends, side != ConnectionSide::destination, side != ConnectionSide::source);
    return ends.length() ? ends[0] : MPlug();
}

MObject firstConnectedNode(const MPlug& plug, ConnectionSide side) {
    const MPlug end = firstConnectedPlug(plug, side);
    return end.isNull() ? MObject() : end.node();
}

std::vector<MPlug> connectedPlugs(const MPlug& plug, ConnectionSide side) {
    MPlugArray ends;
    plug.connectedTo(ends, side != ConnectionSide::destination, side != ConnectionSide::source);
    std::vector<MPlug> out;
    for (unsigned i = 0; i < ends.length(); ++i) out.push_back(ends[i]);
    return out;
}

std::vector<MObject> connectedNodes(const MPlug& plug, ConnectionSide side) {
    std::vector<MObject> out;
    for (const MPlug& end : connectedPlugs(plug, side)) out.push_back(end.node());
    return out;
}

bool hasTypeId(const MObject& obj, const MTypeId& id) {
    if (obj.isNull()) return false;
    MStatus st;
    const MFnDependencyNode fn(obj, &st);
    return st && fn.typeId() == id;
}

bool isForceField(const MObject& obj) {
    if (obj.isNull()) return false;
    const MFn::Type kind = obj.apiType();
    return (kind >= MFn::kField && kind <= MFn::kVortexField) || kind == MFn::kVolumeAxisField;
}

MObject findFirstSolver() {
    for (MItDependencyNodes it(MFn::kPluginDependNode); !it.isDone(); it.next())
        if (const MObject node = it.thisNode(); hasTypeId(node, zylTypes::kSolver)) return node;
    return {};
}

MObject findLastSolver() {
    MObject last;
    for (MItDependencyNodes it(MFn::kPluginDependNode); !it.isDone(); it.next())
        if (const MObject node = it.thisNode(); hasTypeId(node, zylTypes::kSolver)) last = node;
    return last;
}

MObject findSolverByName(const MString& name) {
    MSelectionList list;
    MObject node;
    if (!list.add(name) || list.length() == 0 || !list.getDependNode(list.length() - 1, node)) return {};
    return hasTypeId(node, zylTypes::kSolver) ? node : MObject();
}

MObject solverOf(const MObject& obj) {
    MStatus st;
    const MFnDependencyNode fn(obj, &st);
    if (!st) return {};
    const MPlug solver = fn.findPlug("solver", true, &st);
    if (!st) return {};
    const MObject node = firstConnectedNode(solver);
    return hasTypeId(node, zylTypes::kSolver) ? node : MObject();
}

ScopedNodeUnlock::ScopedNodeUnlock(const MObject& node) : node_(node) {
    MFnDependencyNode fn;
    if (!fn.setObject(node_)) return;
    wasLocked_ = fn.isLocked();
    if (wasLocked_) fn.setLocked(false);
}

ScopedNodeUnlock::~ScopedNodeUnlock() {
    MFnDependencyNode fn;
    if (wasLocked_ && fn.setObject(node_)) fn.setLocked(true);
}

void printHostError(const MStatus& status, const MString& description) {
    std::printf("maya error: %s while: %s\n", status.errorString().asChar(), description.asChar());
}

void printApiError(const MStatus& status, const MString& fileText, int line, const MString& perrorText) {
    std::fprintf(stderr, "\nAPI error detected in %s at line %d\n", fileText.asChar(), line);
    status.perror(perrorText);
}

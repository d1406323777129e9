#include "src/stressNode.h"

#include "engine/fracture/dynamicStress.h"
#include "host/api/fnAttribute.h"
#include "host/api/fnDependencyNode.h"
#include "host/api/global.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"

MObject SceneStress::enabled;
MObject SceneStress::torsion;
MObject SceneStress::breakByForce;
MObject SceneStress::breakByFrame;
MObject SceneStress::position;
MObject SceneStress::forceStrenght;
MObject SceneStress::breakEnergy;
MObject SceneStress::frameToBreak;
MObject SceneStress::fracture;
MObject SceneStress::body1Name;
MObject SceneStress::body2Name;
MObject SceneStress::ca_enabled;
MObject SceneStress::ca_torsion;
MObject SceneStress::ca_breakByFrame;
MObject SceneStress::ca_frameToBreak;
MObject SceneStress::ca_breakByForce;
MObject SceneStress::ca_forceStrenght;
MObject SceneStress::ca_breakEnergy;

namespace {

void setJointBit(DynamicStress* joint, std::uint32_t bit, bool on) {
    if (!joint) return;
    if (on)
        joint->flags |= bit;
    else
        joint->flags &= ~bit;
}

void reportGetter(const MString& name) { MGlobal::displayError("sceneStrNode ppty" + name + " not found"); }
void reportSetter(const MString& name) { MGlobal::displayError("sceneStrNode ppty " + name + " not found"); }

}  // namespace

SceneStress::~SceneStress() {
    // The owner's by-frame list must not keep a node that is gone, nor its engine body
    // a joint that the scene no longer stores.
    if (FractureBodyNode* owner = getOwner()) owner->stressNodeGone(this);
    if (ownsJoint_) delete joint_;
}

void* SceneStress::creator() { return new SceneStress; }

MStatus SceneStress::initialize() {
    enabled = addNumericAttr("enabled", "enb", MFnNumericData::kBoolean, 0);
    torsion = addNumericAttr("torsion", "tor", MFnNumericData::kBoolean, 0);
    breakByForce = addNumericAttr("breakByForce", "bbf", MFnNumericData::kBoolean, 1);
    breakByFrame = addNumericAttr("breakByFrame", "bfr", MFnNumericData::kBoolean, 0);

    position = addPointAttr("position", "pos");
    forceStrenght = addNumericAttr("forceStrenght", "fes", MFnNumericData::kDouble, 0.0, kKeyable);
    breakEnergy = addNumericAttr("breakEnergy", "bre", MFnNumericData::kDouble, 0.0, kKeyable);
    frameToBreak = addNumericAttr("frameToBreak", "frb", MFnNumericData::kInt, 0.0);
    fracture = addMessageAttr("fracture", "frac");

    body1Name = addTypedAttr("body1Name", "bd1", MFnData::kString);
    body2Name = addTypedAttr("body2Name", "bd2", MFnData::kString);

    ca_enabled = addChangeFlag("ca_enabled", "cebl");
    ca_torsion = addChangeFlag("ca_torsion", "ctor");
    ca_breakByFrame = addChangeFlag("ca_breakByFrame", "cbfr");
    ca_frameToBreak = addChangeFlag("ca_frameToBreak", "cftb");
    ca_breakByForce = addChangeFlag("ca_breakByForce", "cfrb");
    ca_forceStrenght = addChangeFlag("ca_forceStrenght", "cfrv");
    ca_breakEnergy = addChangeFlag("ca_breakEnergy", "cbre");

    attributeAffects(enabled, ca_enabled);
    attributeAffects(torsion, ca_torsion);
    attributeAffects(breakByFrame, ca_breakByFrame);
    attributeAffects(breakByForce, ca_breakByForce);
    attributeAffects(frameToBreak, ca_frameToBreak);
    attributeAffects(forceStrenght, ca_forceStrenght);
    return attributeAffects(breakEnergy, ca_breakEnergy);
}

MStatus SceneStress::compute(const MPlug& plug, MDataBlock& data) {
    const MObject attr = plug.attribute();
    bool recolor = false;
    if (attr == ca_enabled) {
        setBoolProperty("enabled", data.inputValue(enabled).asBool());
    } else if (attr == ca_torsion) {
        // A value given to the node is its start value too, as it is for the others.
        setBoolProperty("torsion", data.inputValue(torsion).asBool());
        snapTorsion_ = torsion_;
        if (DynamicStress* joint = getJoint()) joint->storeInitialState(JOINT_TORSION);
    } else if (attr == ca_breakByFrame) {
        setBoolProperty("breakByFrame", data.inputValue(breakByFrame).asBool());
        recolor = true;
    } else if (attr == ca_breakByForce) {
        setBoolProperty("breakByForce", data.inputValue(breakByForce).asBool());
        if (DynamicStress* joint = getJoint()) joint->storeInitialState(JOINT_BREAK_BY_FORCE);
        recolor = true;
    } else if (attr == ca_frameToBreak) {
        setIntProperty("frameToBreak", data.inputValue(frameToBreak).asInt());
    } else if (attr == ca_forceStrenght) {
        setDoubleProperty("forceStrenght", data.inputValue(forceStrenght).asDouble());
        recolor = true;
    } else if (attr == ca_breakEnergy) {
        setDoubleProperty("breakEnergy", data.inputValue(breakEnergy).asDouble());
        recolor = true;
    } else {
        return MS::kUnknownParameter;
    }
    if (recolor) recolorEnds();
    if (FractureBodyNode* owner = getOwner(); owner && !restoring_) owner->notifySolver();
    markFlagDone(data, plug);
    return MS::kSuccess;
}

void SceneStress::recolorEnds() const {
    FractureBodyNode* owner = getOwner();
    if (!owner) return;
    const MObject ownerNode = owner->thisMObject();
    if (!MPlug(ownerNode, FractureBodyNode::displayStressses).asBool()) return;
    const MString names[2] = {getBody1Name(), getBody2Name()};
    MObject members[2];
    MPlugArray ends;
    MPlug(ownerNode, FractureBodyNode::rigidBodies).connectedTo(ends, true, true);
    for (unsigned i = 0; i < ends.length(); ++i) {
        const MObject node = ends[i].node();
        const MString name = MFnDependencyNode(node).name();
        for (int k = 0; k < 2; ++k)
            if (members[k].isNull() && name == names[k]) members[k] = node;
        if (!members[0].isNull() && !members[1].isNull()) break;
    }
    for (const MObject& member : members)
        if (!member.isNull()) owner->colorStresses(member, 0);
}

int SceneStress::getIntProperty(const MString& name) {
    if (name == "frameToBreak") {
        frameToBreak_ = plug(frameToBreak).asInt();
        return frameToBreak_;
    }
    reportGetter(name);
    return 0;
}

bool SceneStress::getBoolProperty(const MString& name) const {
    if (name == "enabled") return plug(enabled).asBool();
    if (name == "breakByFrame") return plug(breakByFrame).asBool();
    if (name == "breakByForce") return plug(breakByForce).asBool();
    if (name == "torsion") return plug(torsion).asBool();
    reportGetter(name);
    return false;
}

double SceneStress::getDoubleProperty(const MString& name) const {
    if (name == "forceStrenght") return plug(forceStrenght).asDouble();
    if (name == "breakEnergy") return plug(breakEnergy).asDouble();
    reportGetter(name);
    return 0.0;
}

bool SceneStress::setIntProperty(const MString& name, int value) {
    if (name == "frameToBreak") {
        plug(frameToBreak).setValue(value);
        frameToBreak_ = value;
    } else {
        reportSetter(name);
    }
    return true;
}

bool SceneStress::setDoubleProperty(const MString& name, double value) {
    if (name == "forceStrenght") {
        plug(forceStrenght).setValue(value);
        forceStrenght_ = value;
        if (DynamicStress* joint = getJoint()) joint->set_break_tolerance(value);
        snapForceStrenght_ = value;
    } else if (name == "breakEnergy") {
        plug(breakEnergy).setValue(value);
        breakEnergy_ = value;
        if (DynamicStress* joint = getJoint()) joint->setBreakEnergy(value);
        snapBreakEnergy_ = value;
    } else {
        reportSetter(name);
    }
    return true;
}

bool SceneStress::setBoolProperty(const MString& name, bool value) {
    if (name == "enabled") {
        plug(enabled).setValue(value);
        enabled_ = value;
        if (FractureBodyNode* owner = getOwner(); !owner)
            setJointBit(getJoint(), JOINT_ACTIVE, value);
        else if (value)
            owner->activateStress(this);
        else
            owner->deactivateStress(this);
        snapEnabled_ = enabled_;
        if (DynamicStress* joint = getJoint()) joint->storeInitialState(JOINT_ACTIVE);
    } else if (name == "breakByFrame") {
        plug(breakByFrame).setValue(value);
        if (FractureBodyNode* owner = getOwner()) {
            if (value)
                owner->addByFrameStress(this);
            else
                owner->removeByFrameStress(this);
        } else {
            breakByFrame_ = value;
            setJointBit(getJoint(), JOINT_BREAK_BY_FRAME, value);
        }
        setIntProperty("frameToBreak", plug(frameToBreak).asInt());
        snapBreakByFrame_ = value;
        if (DynamicStress* joint = getJoint()) joint->storeInitialState(JOINT_BREAK_BY_FRAME);
    } else if (name == "breakByForce") {
        plug(breakByForce).setValue(value);
        setJointBit(getJoint(), JOINT_BREAK_BY_FORCE, value);
        // The tolerance is pushed again even when it did not change.
        setDoubleProperty("forceStrenght", plug(forceStrenght).asDouble());
    } else if (name == "torsion") {
        plug(torsion).setValue(value);
        torsion_ = value;
        setJointBit(getJoint(), JOINT_TORSION, value);
    } else if (name == "locked") {
        MStatus status;
        MPlug locked = MFnDependencyNode(thisMObject()).findPlug("locked", true, &status);
        if (status && !locked.isNull()) locked.setValue(value);
    } else {
        reportSetter(name);
    }
    return true;
}

void SceneStress::setPosition(float x, float y, float z) {
    const MPlug p = plug(position);
    p.child(0).setValue(x);
    p.child(1).setValue(y);
    p.child(2).setValue(z);
}

void SceneStress::getPosition(float& x, float& y, float& z) const {
    const MPlug p = plug(position);
    x = p.child(0).asFloat();
    y = p.child(1).asFloat();
    z = p.child(2).asFloat();
}

void SceneStress::setBody1Name(const MString& name) { plug(body1Name).setValue(name); }
MString SceneStress::getBody1Name() const { return plug(body1Name).asString(); }
void SceneStress::setBody2Name(const MString& name) { plug(body2Name).setValue(name); }
MString SceneStress::getBody2Name() const { return plug(body2Name).asString(); }
void SceneStress::setNodeName(const MString& name) { MFnDependencyNode(thisMObject()).setName(name); }
MString SceneStress::getNodeName() const { return MFnDependencyNode(thisMObject()).name(); }

void SceneStress::storeInitialState() {
    // As the plug holds it: read in single precision and written back at reset, a start
    // position would be narrowed in the scene (and a value beyond floats made infinite).
    const MPlug p = plug(position);
    for (unsigned i = 0; i < 3; ++i) snapPosition_[i] = p.child(i).asDouble();
    snapForceStrenght_ = plug(forceStrenght).asDouble();
    snapBreakEnergy_ = plug(breakEnergy).asDouble();
    snapEnabled_ = plug(enabled).asBool();
    snapTorsion_ = plug(torsion).asBool();
    // The plug, like the others: a node just read from a file has it before its member.
    snapBreakByFrame_ = plug(breakByFrame).asBool();
    DynamicStress* joint = getJoint();
    if (!joint) return;
    // The joint records a mask as a whole (set when any of its bits is), so the low
    // sixteen bits are copied one at a time.
    for (unsigned bit = 0; bit < 16; ++bit) joint->storeInitialState(1u << bit);
}

void SceneStress::restoreInitialState() {
    const MPlug p = plug(position);
    for (unsigned i = 0; i < 3; ++i) p.child(i).setValue(snapPosition_[i]);
    setDoubleProperty("forceStrenght", snapForceStrenght_);
    setDoubleProperty("breakEnergy", snapBreakEnergy_);
    setBoolProperty("enabled", snapEnabled_);
    setBoolProperty("torsion", snapTorsion_);
    setBoolProperty("breakByFrame", snapBreakByFrame_);
    if (DynamicStress* joint = getJoint()) joint->applyInitialState();
    // The plugs written above hold the start state again, which is no change: they are
    // taken now without telling the solver, whose cached frames still hold.
    restoring_ = true;
    for (const MObject& flag :
         {ca_enabled, ca_breakByFrame, ca_frameToBreak, ca_forceStrenght, ca_breakEnergy, ca_torsion})
        plug(flag).asBool();
    restoring_ = false;
}

void SceneStress::pullChangeFlags() {
    const MObject self = thisMObject();
    for (const MObject& flag : {ca_enabled, ca_breakByFrame, ca_frameToBreak, ca_forceStrenght, ca_breakByForce,
                                ca_breakEnergy, ca_torsion})
        MPlug(self, flag).asBool();
}

void SceneStress::syncAll() {
    setBoolProperty("enabled", plug(enabled).asBool());
    setBoolProperty("breakByFrame", plug(breakByFrame).asBool());
    setIntProperty("frameToBreak", plug(frameToBreak).asInt());
    setDoubleProperty("forceStrenght", plug(forceStrenght).asDouble());
    setBoolProperty("breakByForce", plug(breakByForce).asBool());
    setDoubleProperty("breakEnergy", plug(breakEnergy).asDouble());
    setBoolProperty("torsion", plug(torsion).asBool());
}

bool SceneStress::ownerGone() const {
    return owner_ && !liveUserNode(ownerNode_, owner_);
}

FractureBodyNode* SceneStress::getOwner() const { return ownerGone() ? nullptr : owner_; }

DynamicStress* SceneStress::getJoint() const { return ownerGone() && !ownsJoint_ ? nullptr : joint_; }

void SceneStress::setOwner(FractureBodyNode* owner) {
    owner_ = owner;
    ownerNode_ = owner ? owner->thisMObject() : MObject();
}

void SceneStress::setJoint(DynamicStress* joint, bool owned) {
    if (ownsJoint_ && joint_ != joint) delete joint_;
    joint_ = joint;
    ownsJoint_ = owned && joint;
}

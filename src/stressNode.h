#pragma once

#include "host/api/dataBlock.h"
#include "host/api/object.h"
#include "host/api/plug.h"
#include "host/api/pxNode.h"
#include "host/api/status.h"
#include "host/api/text.h"
#include "host/api/typeId.h"
#include "src/typeIds.h"

class DynamicStress;
class FractureBodyNode;

// One breakable joint of a fracture body as a scene node. Its plugs are the stored form
// of the joint; once the fracture body is built, every change of a plug reaches the
// engine joint through the change flags. Properties are reached by attribute name.
class SceneStress : public MPxNode {
public:
    SceneStress() = default;
    // Leaves its owner's by-frame list and deletes the joint when it owns it.
    ~SceneStress() override;

    static void* creator();
    static MStatus initialize();

    void postConstructor() override {}
    MStatus compute(const MPlug& plug, MDataBlock& data) override;

    // Getters read the plug ("frameToBreak" also keeps it); an unknown name reports an
    // error and gives 0 / false.
    int getIntProperty(const MString& name);
    bool getBoolProperty(const MString& name) const;
    double getDoubleProperty(const MString& name) const;
    // Setters write the plug and the joint (when there is one); an unknown name reports
    // an error and changes nothing. They always answer true.
    bool setIntProperty(const MString& name, int value);
    bool setDoubleProperty(const MString& name, double value);
    bool setBoolProperty(const MString& name, bool value);

    void setPosition(float x, float y, float z);
    void getPosition(float& x, float& y, float& z) const;
    void setBody1Name(const MString& name);
    MString getBody1Name() const;
    void setBody2Name(const MString& name);
    MString getBody2Name() const;
    void setNodeName(const MString& name);
    MString getNodeName() const;

    // The start-frame snapshot of the plugs and of the joint's flags, and the way back.
    void storeInitialState();
    void restoreInitialState();
    // Pushes every property from its plug, as after a joint was attached.
    void syncAll();
    // Reads every change flag: a value set on a plug and not taken yet reaches the node
    // and its joint, and becomes its start value.
    void pullChangeFlags();

    // The owning fracture-body node. A node that lost its connection to its owner by
    // hand is not let go when the owner dies: then the owner reads as null, and so does
    // the joint unless the node owns it (the engine deleted the others with the body).
    FractureBodyNode* getOwner() const;
    void setOwner(FractureBodyNode* owner);
    DynamicStress* getJoint() const;
    // A joint taken out of every engine list belongs to the node (`owned`): it is deleted
    // when the node dies or gets another joint. Filing it again passes owned false.
    void setJoint(DynamicStress* joint, bool owned = false);
    bool ownsJoint() const { return ownsJoint_; }

    // The members the owner's by-frame list keeps in step with the joint.
    bool isBreakByFrame() const { return breakByFrame_; }
    void setBreakByFrameMember(bool value) { breakByFrame_ = value; }
    // The last frameToBreak read or written; -1 until then.
    int frameToBreakMember() const { return frameToBreak_; }

    // Cell numbers of the joint's end bodies, kept by the owner.
    int getBody1Id() const { return bodyIds_[0]; }
    int getBody2Id() const { return bodyIds_[1]; }
    void setBodyIds(int body1, int body2) {
        bodyIds_[0] = body1;
        bodyIds_[1] = body2;
    }

    static constexpr MTypeId id = zylTypes::kStress;

    static MObject enabled;
    static MObject torsion;
    static MObject breakByForce;
    static MObject breakByFrame;
    static MObject position;
    static MObject forceStrenght;
    static MObject breakEnergy;
    static MObject frameToBreak;
    static MObject fracture;
    static MObject body1Name;
    static MObject body2Name;
    static MObject ca_enabled;
    static MObject ca_torsion;
    static MObject ca_breakByFrame;
    static MObject ca_frameToBreak;
    static MObject ca_breakByForce;
    static MObject ca_forceStrenght;
    static MObject ca_breakEnergy;

private:
    MPlug plug(const MObject& attr) const { return MPlug(thisMObject(), attr); }
    bool ownerGone() const;
    // Redraws the stress colours of the two members this joint ties, when the owner
    // shows them.
    void recolorEnds() const;

    FractureBodyNode* owner_ = nullptr;
    MObject ownerNode_;  // weak: tells whether owner_ still lives
    DynamicStress* joint_ = nullptr;
    bool ownsJoint_ = false;
    bool enabled_ = false;
    bool breakByFrame_ = false;
    bool torsion_ = false;
    int frameToBreak_ = -1;
    double forceStrenght_ = 0.0;
    double breakEnergy_ = 0.0;
    double snapPosition_[3] = {};
    double snapForceStrenght_ = 0.0;
    double snapBreakEnergy_ = 0.0;
    bool snapEnabled_ = false;
    bool snapTorsion_ = false;
    bool snapBreakByFrame_ = false;
    int bodyIds_[2] = {};
    bool restoring_ = false;  // the start state is being written back
};
